#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// A string-table entry in the ANSI code page; empty when the entry does not exist.
std::string LoadResString(UINT id);

// An OK-only message box owned by the given window.
void ShowMessage(HWND owner, const std::string& text, const std::string& caption);

// Shows a number in decimal as a window's text.
void SetWindowNumber(HWND window, int32_t value);

// Window text in the ANSI code page, whatever its length.
std::string GetWindowTextString(HWND window);

// The text of a combo box item in the ANSI code page, whatever its length (empty: no such item).
std::string ComboItemText(HWND combo, int index);
