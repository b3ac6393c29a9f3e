#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

namespace test_support {

using namespace std::chrono_literals;

// Runs `modal` (a modal dialog's run) on this thread while `drive` works the dialogs from a second
// thread. Whatever `drive` leaves open is closed afterwards, so a failing test never hangs.
void RunWithDriver(const std::function<void()>& modal, const std::function<void()>& drive);

// Waits until condition() holds (polling, bounded).
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);

// A visible top-level dialog (class #32770) of this process with the title, other than `except`.
HWND WaitForDialog(const std::wstring& title, std::chrono::milliseconds timeout = 10s, HWND except = nullptr);

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);
// UTF-8 source text as UTF-16, for comparisons with what windows show.
std::wstring Wide(const char* utf8);
// UTF-8 source text as the ANSI code page's bytes.
std::string Ansi(const char* utf8);

// Presses a dialog's button as a click would (BM_CLICK is posted, so the call never blocks on a
// nested modal loop the click starts).
void PressButton(HWND dialog, int id);
// Sends a command to a dialog without waiting for it to be handled.
void PostCommand(HWND dialog, int id);

} // namespace test_support
