#include "ui/path_split.h"

#include <gtest/gtest.h>

#include "tests/support/cp932_support.h"

TEST(PathSplit, SplitsAtTheLastTrueBackslash) {
    // "表" is 0x95 0x5C and "ソ" 0x83 0x5C: their trail bytes equal a backslash.
    for (auto [path, split] : {std::pair<std::string, std::string>{"C:\\movie.avi", "C:\\|movie.avi"},
                               {"movie", "|movie"},
                               {"\\\\server\\share\\a.avi", "\\\\server\\share\\|a.avi"},
                               {"C:\\dir\\\x95\x5C.avi", "C:\\dir\\|\x95\x5C.avi"},
                               {"C:\\\x95\x5C\\a.avi", "C:\\\x95\x5C\\|a.avi"},
                               {"C:\\\x83\x5C\x83t\x83g\x95\x5C", "C:\\|\x83\x5C\x83t\x83g\x95\x5C"},
                               {"a\\\x95", "a\\|\x95"},
                               {"a\\b\\\x95\x5C\x5C", "a\\b\\\x95\x5C\\|"}}) {
        SplitPath s = SplitAtLastBackslash(path, test_support::IsCp932LeadByte);
        EXPECT_EQ(s.folder + "|" + s.fileName, split) << path;
    }
}
