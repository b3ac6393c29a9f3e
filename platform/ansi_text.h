#pragma once

#include <string>
#include <string_view>

// The program's texts are byte strings in the ANSI code page; these are the one way across to and
// from the platform's UTF-16.
std::wstring WideFromAnsi(std::string_view text);
// Characters with no form in the ANSI code page come out as the code page's default character.
std::string AnsiFromWide(std::wstring_view text);
// Empty when any character has no form in the ANSI code page.
std::string AnsiOrEmpty(std::wstring_view text);

// Whether a byte starts a double-byte character of the ANSI code page.
bool IsAnsiLeadByte(unsigned char byte);
