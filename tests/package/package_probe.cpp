// The packaging check's hands inside Wine.
//   package_probe window <program> <ms>: starts the program the way its Start-menu shortcut does
//     (working folder = its own folder), waits for its first visible top-level window, prints that
//     window's class and title, closes it with IDCANCEL and waits for the process to end.
//   package_probe run <command line> <ms>: runs the command line exactly as given (Wine would quote
//     an argument with spaces, which an NSIS uninstaller's "_?=" does not accept) and waits for it.
// Exit code 0 only when all of that happened in time (for run: the command's own exit code).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/unique_handle.h"

namespace {

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM lp) {
    auto* search = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid || !::IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND WaitForProcessWindow(DWORD pid, HANDLE process, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (::GetTickCount64() < end) {
        Search search{pid, nullptr};
        ::EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        if (::WaitForSingleObject(process, 50) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}

struct Started {
    UniqueFile process, thread;
    DWORD pid;
};

std::optional<Started> Start(const std::string& commandLine, const char* application, const char* folder) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (!::CreateProcessA(application, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                          &info)) {
        std::fprintf(stderr, "package_probe: cannot start %s (error %lu)\n", commandLine.c_str(),
                     ::GetLastError());
        return std::nullopt;
    }
    return Started{UniqueFile(info.hProcess), UniqueFile(info.hThread), info.dwProcessId};
}

bool WaitForExit(HANDLE process, DWORD timeoutMs, DWORD* code) {
    if (::WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "package_probe: the program did not end within %lu ms\n", timeoutMs);
        ::TerminateProcess(process, 1);
        return false;
    }
    ::GetExitCodeProcess(process, code);
    return true;
}

int ShowWindowAndClose(const std::string& program, DWORD timeoutMs) {
    const std::string folder = program.substr(0, program.find_last_of('\\'));
    auto started = Start("\"" + program + "\"", program.c_str(), folder.c_str());
    if (!started)
        return 1;
    HWND window = WaitForProcessWindow(started->pid, started->process.get(), timeoutMs);
    if (!window) {
        std::fprintf(stderr, "package_probe: no window within %lu ms\n", timeoutMs);
        ::TerminateProcess(started->process.get(), 1);
        return 1;
    }
    char className[64] = {}, title[256] = {};
    ::GetClassNameA(window, className, sizeof(className));
    ::GetWindowTextA(window, title, sizeof(title));
    std::printf("window %s \"%s\"\n", className, title);
    ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    DWORD code = 1;
    if (!WaitForExit(started->process.get(), timeoutMs, &code))
        return 1;
    std::printf("exit code %lu\n", code);
    return 0;
}

int Run(const std::string& commandLine, DWORD timeoutMs) {
    auto started = Start(commandLine, nullptr, nullptr);
    DWORD code = 1;
    if (!started || !WaitForExit(started->process.get(), timeoutMs, &code))
        return 1;
    return static_cast<int>(code);
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc == 4 ? argv[1] : "";
    if (mode != "window" && mode != "run") {
        std::fprintf(stderr, "usage: package_probe window <program> <ms> | run <command line> <ms>\n");
        return 2;
    }
    const DWORD timeoutMs = std::strtoul(argv[3], nullptr, 10);
    return mode == "window" ? ShowWindowAndClose(argv[2], timeoutMs) : Run(argv[2], timeoutMs);
}
