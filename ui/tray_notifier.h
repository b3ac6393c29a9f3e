#pragma once

#include <windows.h>
#include <shellapi.h>

// Where the notification-area icon records go: Shell_NotifyIconA, unless a test looks at them.
using TrayNotifier = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAA);
// Installs a notifier (null: Shell_NotifyIconA again) and returns the previous one.
TrayNotifier SetTrayNotifier(TrayNotifier notifier);
