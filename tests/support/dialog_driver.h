#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);
// This process's dialogs (class #32770) with the title (empty: any), topmost first.
std::vector<HWND> Dialogs(const std::wstring& title, bool visibleOnly = true);
// A visible one other than `except`; null when none came in time.
HWND WaitForDialog(const std::wstring& title, std::chrono::milliseconds timeout = 10s, HWND except = nullptr);
std::wstring TextOf(HWND window);
// UTF-8 source text as UTF-16, and as the ANSI code page's bytes.
std::wstring Wide(const char* utf8);
std::string Ansi(const char* utf8);
// A button's click as its dialog sees it; posted, so a modal loop it starts never blocks the caller.
void PostCommand(HWND dialog, int id);
// A click on a button (BM_CLICK, posted).
void PressButton(HWND dialog, int id);

} // namespace test_support
