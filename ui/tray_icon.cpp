#include "ui/tray_icon.h"

#include <cstring>

#include "platform/ansi_text.h"
#include "platform/ui_text.h"
#include "res/resource.h"

namespace {

TrayNotifier g_trayNotifier = &::Shell_NotifyIconA;

HICON LoadAppIcon(int id) {
    return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}

} // namespace

TrayNotifier SetTrayNotifier(TrayNotifier notifier) {
    TrayNotifier previous = g_trayNotifier;
    g_trayNotifier = notifier ? notifier : &::Shell_NotifyIconA;
    return previous;
}

void CTrayIcon::Add(HWND owner) {
    m_owner = owner;
    m_menu.reset(::LoadMenuA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAY_MENU)));
    m_idleIcon = LoadAppIcon(IDI_TRAY_IDLE);
    m_recordingIcons = {LoadAppIcon(IDI_TRAY_REC0), LoadAppIcon(IDI_TRAY_REC1), LoadAppIcon(IDI_TRAY_REC2)};
    m_texts = {LoadResString(IDS_TIP_RECORDING), LoadResString(IDS_TIP_IDLE), LoadResString(IDS_REMAINING),
               LoadResString(IDS_UNLIMITED)};
    m_shownIcon = m_idleIcon;
    TrayNotify(NIM_ADD, m_idleIcon, nullptr);
}

void CTrayIcon::Restore() {
    TrayNotify(NIM_ADD, m_shownIcon, m_shownTip.empty() ? nullptr : m_shownTip.c_str());
}

void CTrayIcon::Remove() {
    m_menu.reset();
    TrayNotify(NIM_DELETE, m_idleIcon, nullptr);
}

void CTrayIcon::Update(const TrayState& state) {
    m_shownTip = TrayTipText(m_texts, state, &IsAnsiLeadByte);
    m_shownIcon = state.recording
                      ? m_recordingIcons[static_cast<size_t>(RecordingIconIndex(state.frameCount))]
                      : m_idleIcon;
    TrayNotify(NIM_MODIFY, m_shownIcon, m_shownTip.c_str());
}

void CTrayIcon::ShowMenu() {
    HMENU popup = ::GetSubMenu(m_menu.get(), 0);
    POINT cursor{};
    ::GetCursorPos(&cursor);
    // Without the owner in the foreground the menu stays open when the user clicks elsewhere.
    ::SetForegroundWindow(m_owner);
    ::TrackPopupMenu(popup, TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, m_owner,
                     nullptr);
    // The posted message makes the menu go away properly once it has closed.
    ::PostMessageA(m_owner, WM_USER, 0, 0);
}

void CTrayIcon::TrayNotify(DWORD operation, HICON icon, const char* tip) {
    NOTIFYICONDATAA data{};
    // The layout with the 128-byte tip, as this build lays it out.
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = m_owner;
    data.uID = TRAY_ICON_ID;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = icon;
    switch (operation) {
    case NIM_ADD: data.uFlags = NIF_MESSAGE | NIF_ICON | (tip ? NIF_TIP : 0); break;
    case NIM_MODIFY: data.uFlags = (icon ? NIF_ICON : 0) | (tip ? NIF_TIP : 0); break;
    default: data.uFlags = 0; break;
    }
    if (tip) {
        const std::string fitted = TruncateAnsi(tip, kTrayTipMaxBytes, &IsAnsiLeadByte);
        std::memcpy(data.szTip, fitted.c_str(), fitted.size() + 1);
    }
    g_trayNotifier(operation, &data);
}
