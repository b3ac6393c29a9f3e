#include "tests/support/dialog_driver.h"

#include <atomic>
#include <thread>
#include <vector>

namespace test_support {

namespace {

std::vector<HWND> VisibleDialogsOfThisProcess() {
    std::vector<HWND> dialogs;
    ::EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            wchar_t cls[64] = {};
            ::GetClassNameW(w, cls, 64);
            if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w) && std::wstring(cls) == L"#32770")
                reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

} // namespace

void RunWithDriver(const std::function<void()>& modal, const std::function<void()>& drive) {
    std::atomic<bool> modalDone{false};
    std::thread driver([&] {
        drive();
        // Close whatever is still open: the innermost dialogs first (enumeration order is z-order,
        // topmost first), until the modal run has returned.
        auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!modalDone && std::chrono::steady_clock::now() < deadline) {
            for (HWND dialog : VisibleDialogsOfThisProcess()) {
                if (::IsWindowEnabled(dialog)) {
                    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                    break;
                }
            }
            std::this_thread::sleep_for(50ms);
        }
    });
    modal();
    modalDone = true;
    driver.join();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

HWND WaitForDialog(const std::wstring& title, std::chrono::milliseconds timeout, HWND except) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND dialog : VisibleDialogsOfThisProcess())
                if (dialog != except && TextOf(dialog) == title) {
                    found = dialog;
                    return true;
                }
            return false;
        },
        timeout);
    return found;
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[4096] = {};
    ::GetWindowTextW(window, buffer, 4096);
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t buffer[256] = {};
    ::GetClassNameW(window, buffer, 256);
    return buffer;
}

std::wstring Wide(const char* utf8) {
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), n);
    w.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return w;
}

std::string Ansi(const char* utf8) {
    std::wstring w = Wide(utf8);
    int n = ::WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string a(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, a.data(), n, nullptr, nullptr);
    a.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return a;
}

void PressButton(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PostCommand(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

} // namespace test_support
