// The program's texts as the platform hands them over, in code page 932.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/ansi_text.h"
#include "res/resource.h"
#include "tests/support/cp932_support.h"

TEST(Resources, EveryStringIsWholeInCodePage932) {
    // The portable tests step code page 932 with a table of their own; this is what the program gets.
    ASSERT_EQ(::GetACP(), 932u);
    for (int byte = 0; byte < 256; ++byte)
        EXPECT_EQ(IsAnsiLeadByte(byte & 0xFF), test_support::IsCp932LeadByte(byte & 0xFF)) << byte;
    // A script compiled as another code page holds characters that code page 932 lacks.
    for (UINT id = IDS_ABOUTBOX; id <= IDS_CAPTION_FACE; ++id) {
        wchar_t text[1024];
        const int length = ::LoadStringW(nullptr, id, text, 1024);
        EXPECT_NE(AnsiOrEmpty({text, static_cast<size_t>(std::max(length, 0))}), "") << "string " << id;
    }
}
