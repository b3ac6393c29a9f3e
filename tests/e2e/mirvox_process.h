#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "tests/support/dialog_driver.h"

namespace e2e {

using namespace std::chrono_literals;

// Mirvox.exe started as a process of its own. Everything the driver does to it goes through its
// windows; a run that a failing test leaves behind is ended when the object goes.
class MirvoxProcess {
public:
    MirvoxProcess(const std::string& exe, const std::string& workingFolder);
    ~MirvoxProcess();
    MirvoxProcess(const MirvoxProcess&) = delete;
    MirvoxProcess& operator=(const MirvoxProcess&) = delete;

    bool started() const { return static_cast<bool>(m_process); }
    DWORD id() const { return m_id; }
    // The visible top-level dialogs (class #32770) of the process with the title (any title when
    // none is given), topmost first.
    std::vector<HWND> Dialogs(const std::wstring* title) const;
    HWND WaitForDialog(const std::wstring& title, std::chrono::milliseconds timeout = 20s,
                       HWND except = nullptr) const {
        return WaitForDialogTitled(&title, timeout, except);
    }
    HWND WaitForAnyDialog(HWND except, std::chrono::milliseconds timeout = 20s) const {
        return WaitForDialogTitled(nullptr, timeout, except);
    }
    bool WaitForExit(std::chrono::milliseconds timeout = 20s) const;
    bool Exited() const;
    // Ends the process's host (Unix) process with SIGKILL, as `kill -9` from a shell would: the
    // Wine process found by its command line and its WINEPREFIX. Returns how many were killed.
    int KillHostProcess() const;

private:
    // The first dialog with the title (any title when none is given) other than `except`; null when
    // none came in time or the process ended.
    HWND WaitForDialogTitled(const std::wstring* title, std::chrono::milliseconds timeout, HWND except) const;

    UniqueFile m_process;
    UniqueFile m_thread;
    DWORD m_id = 0;
};

// Waits until the condition holds, pumping this thread's messages meanwhile: the driver owns the
// windows Mirvox records, and they must keep painting.
bool Until(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);

// Window texts and combo items of another process, read and written with the wide messages.
std::wstring Text(HWND window);
void SetText(HWND window, const std::wstring& text);
std::vector<std::wstring> ComboItems(HWND combo);
// Selects an item as the user would: the selection, then the owner's change notification.
bool SelectComboItem(HWND combo, const std::wstring& item);
// A click on a button (posted, so that a nested modal loop it opens never blocks the driver).
void Click(HWND dialog, int id);
// The Esc key pressed in a dialog.
void PressEscape(HWND dialog);

// Child windows of Wine's stand-alone notification area ("Wine System Tray"), one per icon shown;
// -1 when there is no such window.
int TrayIconWindows();

using test_support::Wide;
std::string Utf8(const std::wstring& text);

} // namespace e2e
