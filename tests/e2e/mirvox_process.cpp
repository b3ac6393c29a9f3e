#include "tests/e2e/mirvox_process.h"

#include "tests/support/test_support.h"

namespace e2e {

MirvoxProcess::MirvoxProcess(const std::string& exe, const std::string& workingFolder) {
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          workingFolder.c_str(), &startup, &info))
        return;
    m_process.reset(info.hProcess);
    m_thread.reset(info.hThread);
    m_id = info.dwProcessId;
    ::WaitForInputIdle(m_process.get(), 20'000);
}

MirvoxProcess::~MirvoxProcess() {
    if (m_process && !Exited()) {
        ::TerminateProcess(m_process.get(), 1);
        ::WaitForSingleObject(m_process.get(), 10'000);
    }
}

std::vector<HWND> MirvoxProcess::Dialogs(const std::wstring* title) const {
    struct Search {
        DWORD pid;
        const std::wstring* title;
        std::vector<HWND> found;
    } search{m_id, title, {}};
    ::EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            wchar_t cls[16] = {};
            ::GetClassNameW(w, cls, 16);
            if (pid == s.pid && ::IsWindowVisible(w) && std::wstring(cls) == L"#32770" &&
                (!s.title || Text(w) == *s.title))
                s.found.push_back(w);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND MirvoxProcess::WaitForDialogTitled(const std::wstring* title, std::chrono::milliseconds timeout,
                                        HWND except) const {
    HWND found = nullptr;
    Until(
        [&] {
            for (HWND w : Dialogs(title))
                if (w != except) {
                    found = w;
                    return true;
                }
            return Exited();
        },
        timeout);
    return found;
}

bool MirvoxProcess::WaitForExit(std::chrono::milliseconds timeout) const {
    return Until([&] { return Exited(); }, timeout);
}

bool MirvoxProcess::Exited() const {
    return !m_process || ::WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0;
}

int MirvoxProcess::KillHostProcess() const {
    char prefix[MAX_PATH * 4] = {};
    if (!::GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof(prefix)))
        return 0;
    // Only a process of this prefix whose command line names the program: never one of another run.
    const std::string script = "n=0; for d in /proc/[0-9]*; do "
                               "tr '\\0' '\\n' <$d/cmdline 2>/dev/null | grep -q 'Mirvox\\.exe' || continue; "
                               "tr '\\0' '\\n' <$d/environ 2>/dev/null | grep -qxF 'WINEPREFIX=" +
                               std::string(prefix) +
                               "' || continue; "
                               "kill -9 ${d#/proc/} && n=$((n+1)); done; echo $n";
    const int killed = std::atoi(test_support::RunHost(script).c_str());
    if (killed)
        WaitForExit();
    return killed;
}

int TrayIconWindows() {
    HWND tray = ::FindWindowW(nullptr, L"Wine System Tray");
    if (!tray)
        return -1;
    int count = 0;
    ::EnumChildWindows(
        tray,
        [](HWND, LPARAM lp) -> BOOL {
            ++*reinterpret_cast<int*>(lp);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

bool Until(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return test_support::PumpUntil(condition, timeout);
}

std::wstring Text(HWND window) {
    // WM_GETTEXT is marshalled across processes; GetWindowText would not ask a foreign control.
    std::wstring text(4096, L'\0');
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                               SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    text.resize(length);
    return text;
}

void SetText(HWND window, const std::wstring& text) {
    ::SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                          5000, nullptr);
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        const LRESULT got = ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                                           reinterpret_cast<LPARAM>(text.data()));
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);
        items.push_back(text);
    }
    return items;
}

bool SelectComboItem(HWND combo, const std::wstring& item) {
    const std::vector<std::wstring> items = ComboItems(combo);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] != item)
            continue;
        ::SendMessageW(combo, CB_SETCURSEL, i, 0);
        ::SendMessageW(::GetParent(combo), WM_COMMAND,
                       MAKEWPARAM(static_cast<WORD>(::GetDlgCtrlID(combo)), CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(combo));
        return true;
    }
    return false;
}

void Click(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PressEscape(HWND dialog) {
    ::PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0xC0000001);
}

std::string Utf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
    return s;
}

} // namespace e2e
