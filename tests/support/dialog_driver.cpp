#include "tests/support/dialog_driver.h"

#include "platform/ansi_text.h"

#include <thread>

namespace test_support {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (; !condition(); std::this_thread::sleep_for(5ms))
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    return true;
}

std::vector<HWND> Dialogs(const std::wstring& title, bool visibleOnly) {
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr;) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid == ::GetCurrentProcessId() && (::IsWindowVisible(w) || !visibleOnly) &&
            (title.empty() || TextOf(w) == title))
            found.push_back(w);
    }
    return found;
}

HWND WaitForDialog(const std::wstring& title, std::chrono::milliseconds timeout, HWND except) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND dialog : Dialogs(title))
                found = dialog != except ? dialog : found;
            return found != nullptr;
        },
        timeout);
    return found;
}

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    ::GetWindowTextW(window, text, 4096);
    return text;
}

std::wstring Wide(const char* utf8) {
    std::wstring w(::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), static_cast<int>(w.size()));
    return w.c_str();
}

void PostCommand(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

std::string Ansi(const char* utf8) {
    return AnsiFromWide(Wide(utf8));
}

void PressButton(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

} // namespace test_support
