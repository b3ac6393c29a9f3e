#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/cp932_support.h"
#include "ui/path_split.h"
#include "ui/tray_tip.h"

using test_support::IsCp932LeadByte;

namespace {

bool PlatformLeadByte(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != FALSE;
}

} // namespace

// The portable tests step code page 932 with their own table; this is what the program gets.
TEST(AnsiCodePage, PlatformLeadBytesAreCodePage932) {
    ASSERT_EQ(::GetACP(), 932u);
    for (int byte = 0; byte < 256; ++byte)
        EXPECT_EQ(PlatformLeadByte(static_cast<unsigned char>(byte)),
                  IsCp932LeadByte(static_cast<unsigned char>(byte)))
            << "byte " << byte;
}

TEST(AnsiCodePage, PathSplitAndTipCutWithThePlatformLeadBytes) {
    // "C:\動画表\ソフト表.avi"
    SplitPath split = SplitAtLastBackslash("C:\\\x93\xAE\x89\xE6\x95\x5C\\\x83\x5C\x83t\x83g\x95\x5C.avi",
                                           PlatformLeadByte);
    EXPECT_EQ(split.folder, "C:\\\x93\xAE\x89\xE6\x95\x5C\\");
    EXPECT_EQ(split.fileName, "\x83\x5C\x83t\x83g\x95\x5C.avi");

    EXPECT_EQ(TruncateAnsi("a\x95\x5C\x95\x5C", 4, PlatformLeadByte), "a\x95\x5C");
}
