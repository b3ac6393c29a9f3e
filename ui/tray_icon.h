#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <string>

#include "platform/unique_handle.h"
#include "ui/tray_tip.h"

// Where the notification-area icon records go: Shell_NotifyIconA, unless a test looks at them.
using TrayNotifier = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);
// Installs a notifier (null: Shell_NotifyIconA again) and returns the previous one.
TrayNotifier SetTrayNotifier(TrayNotifier notifier);

// The recorder's one icon in the notification area: its pictures, its tip and its popup menu.
class CTrayIcon {
public:
    CTrayIcon() = default;
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Loads the menu, the icons and the tip texts, and adds the idle icon, without a tip yet.
    void Add(HWND owner);
    // Adds the icon again as it last was, for a notification area that was re-created.
    void Restore();
    void Remove();
    // Shows the tip and the picture of the state.
    void Update(const TrayState& state);
    // Opens the popup menu at the cursor; the chosen command reaches the owner.
    void ShowMenu();

    // Builds the icon record for one operation and hands it to the notifier.
    void TrayNotify(DWORD operation, HICON icon, const char* tip);

private:
    HWND m_owner = nullptr;
    HICON m_idleIcon = nullptr; // shared icons from LoadIcon: not destroyed
    std::array<HICON, 3> m_recordingIcons{};
    UniqueMenu m_menu;
    TrayTipTexts m_texts;
    HICON m_shownIcon = nullptr;
    std::string m_shownTip;
};
