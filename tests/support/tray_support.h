#pragma once

#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <string>
#include <vector>

#include "ui/tray_icon.h"

namespace test_support {

// One record handed to the notification area, as the recorder filled it.
struct TrayCall {
    DWORD operation;
    DWORD cbSize;
    HWND window;
    UINT id;
    UINT flags;
    UINT callbackMessage;
    HICON icon;
    std::string tip;    // szTip up to its NUL
    bool tipTerminated; // a NUL inside the 128-byte member
};

// Notes every record the recorder hands to the notification area for the scope, and still passes
// it on to the shell.
class TrayLogScope {
public:
    TrayLogScope();
    ~TrayLogScope();
    TrayLogScope(const TrayLogScope&) = delete;
    TrayLogScope& operator=(const TrayLogScope&) = delete;

    std::vector<TrayCall> Calls() const;
    size_t Count() const;

private:
    TrayNotifier m_previous;
};

// The recorder's tray icons as LoadIcon hands them out (shared handles).
HICON TrayIconResource(int id);

} // namespace test_support
