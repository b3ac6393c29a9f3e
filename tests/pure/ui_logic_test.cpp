#include "ui/path_split.h"
#include "ui/recording_timing.h"
#include "ui/tray_tip.h"

#include <gtest/gtest.h>

#include "tests/support/cp932_support.h"

using test_support::IsCp932LeadByte;

namespace {

// Stand-ins for the string table's texts, with its placeholders.
const TrayTipTexts kTexts = {"Rec\nWindow %s\r\nN %d\nLeft: %s", "Window %s\r\nN %d", "%Hh%Mm:%Ss", "none"};

} // namespace

TEST(TrayTip, RemainingTimeFieldsWithinTheirUnits) {
    // A negative span (an update a second after the end) shows as zero.
    for (auto [seconds, text] : {std::pair<int64_t, const char*>{1800, "00h30m:00s"},
                                 {21600, "06h00m:00s"},
                                 {3661, "01h01m:01s"},
                                 {86400 + 5, "00h00m:05s"},
                                 {-1, "00h00m:00s"},
                                 {INT64_MIN, "00h00m:00s"}})
        EXPECT_EQ(FormatRemainingTime(kTexts.remaining, seconds), text) << seconds << " s";
    EXPECT_EQ(FormatRemainingTime("%%%H%Q%", 3600), "%01%Q%");
}

TEST(TrayTip, TipsForEachStateAndIconsByCountAsUnsigned) {
    const std::pair<TrayState, std::string> cases[] = {
        {{false, "Screen", 0, 0, 0}, "Window Screen\r\nN 0"},
        {{true, "Notepad", 57, 12, 21600}, "Rec\nWindow Notepad\r\nN 57\nLeft: 06h00m:00s"},
        {{true, "Screen", 9, 0, 1800}, "Rec\nWindow Screen\r\nN 9\nLeft: none"},
        {{true, "w", 9, -1, 1800}, "Rec\nWindow w\r\nN 9\nLeft: none"},
        // A window title is never a format; %d prints the count's bits as a signed number.
        {{true, "%s%d%n%%", 5, 0, 0}, "Rec\nWindow %s%d%n%%\r\nN 5\nLeft: none"},
        {{false, "w", 0x80000000u, 0, 0}, "Window w\r\nN -2147483648"},
    };
    for (const auto& [state, tip] : cases)
        EXPECT_EQ(TrayTipText(kTexts, state, IsCp932LeadByte), tip) << state.itemText;
    EXPECT_EQ(FillPlaceholders("a%sb%dc%xd%%e%s%", {"1", "2"}), "a1b2c%xd%e%");
    for (auto [count, icon] :
         {std::pair{0u, 0}, {1u, 1}, {2u, 2}, {3u, 0}, {0xFFFFFFFFu, 0}, {0x80000000u, 2}})
        EXPECT_EQ(RecordingIconIndex(count), icon) << count;
}

TEST(TrayTip, CutsOnWholeCharacters) {
    // "表" is 0x95 0x5C; a lead byte with nothing after it stands alone.
    for (auto [text, max, cut] : {std::tuple<const char*, size_t, const char*>{"abc", 2, "ab"},
                                  {"a\x95\x5C", 2, "a"},
                                  {"a\x95\x5C", 3, "a\x95\x5C"},
                                  {"\x95\x5C\x95\x5C", 3, "\x95\x5C"},
                                  {"ab\x95", 3, "ab\x95"}})
        EXPECT_EQ(TruncateAnsi(text, max, IsCp932LeadByte), cut) << text << " to " << max;
    // Both tips put an odd number of bytes before a 1023-byte title, so the 127th byte is a lead byte.
    std::string title = "x";
    while (title.size() < 1023)
        title += "\x95\x5C";
    for (std::string head : {"Window ", "Rec\nWindow "})
        EXPECT_EQ(TrayTipText(kTexts, {head.size() > 7, title, 12, 1, 1800}, IsCp932LeadByte),
                  head + title.substr(0, kTrayTipMaxBytes - 1 - head.size()));
}

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
        SplitPath s = SplitAtLastBackslash(path, IsCp932LeadByte);
        EXPECT_EQ(s.folder + "|" + s.fileName, split) << path;
    }
}

TEST(RecordingTiming, TickIntervalDividesFirst) {
    for (auto [rate, fps, ms] : {std::tuple{1, 4, 250},
                                 {1, 3, 333},
                                 {1, 60, 16},
                                 {200, 7, 28400},
                                 {10, 4, 2500},
                                 {200, 1, 200000},
                                 {3, 0, 3000},
                                 {3, -5, 3000}})
        EXPECT_EQ(TickIntervalMs(rate, fps), ms) << rate << " at " << fps << " fps";
}
