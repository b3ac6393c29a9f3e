#include "ui/tray_tip.h"

#include <gtest/gtest.h>

#include <climits>

#include "tests/support/cp932_support.h"

using test_support::IsCp932LeadByte;

namespace {

// The string table's texts in code page 932, cut where the program fills them.
const std::string kCapturing = "\x83L\x83\x83\x83v\x83`\x83\x83\x92\x86\r\n"; // "キャプチャ中\r\n"
const std::string kWindow = "\x83L\x83\x83\x83v\x83`\x83\x83\x83"
                            "E\x83"
                            "B\x83\x93\x83h\x83"
                            "E ";                                     // "キャプチャウィンドウ "
const std::string kCount = "\r\n\x83t\x83\x8C\x81[\x83\x80\x90\x94 "; // "\r\nフレーム数 "
const std::string kLeft = "\n\x8E"
                          "c\x82\xE8\x8E\x9E\x8A\xD4: ";  // "\n残り時間: "
const std::string kNoLimit = "\x96\xB3\x90\xA7\x8C\xC0";  // "無制限"
const std::string kWholeScreen = "\x91S\x89\xE6\x96\xCA"; // "全画面"
const TrayTipTexts kTexts = {kCapturing + kWindow + "%s" + kCount + "%d" + kLeft + "%s",
                             kWindow + "%s" + kCount + "%d",
                             "%H\x8E\x9E\x8A\xD4%M\x95\xAA:%S\x95"
                             "b", // "%H時間%M分:%S秒"
                             kNoLimit};

std::string Span(const char* h, const char* m, const char* s) {
    return std::string(h) + "\x8E\x9E\x8A\xD4" + m + "\x95\xAA:" + s + "\x95" + "b";
}

} // namespace

TEST(TrayTip, RemainingTimeFieldsWithinTheirUnits) {
    struct Case {
        int64_t seconds;
        std::string text;
    };
    // A negative span (an update a second after the end) shows as zero.
    for (const Case& c : {Case{1800, Span("00", "30", "00")}, Case{21600, Span("06", "00", "00")},
                          Case{3661, Span("01", "01", "01")}, Case{86400 + 5, Span("00", "00", "05")},
                          Case{-1, Span("00", "00", "00")}, Case{INT64_MIN, Span("00", "00", "00")}})
        EXPECT_EQ(FormatRemainingTime(kTexts.remaining, c.seconds), c.text) << c.seconds << " s";
    EXPECT_EQ(FormatRemainingTime("%%%H%Q%", 3600), "%01%Q%");
}

TEST(TrayTip, TipsForEachState) {
    struct Case {
        TrayState state;
        std::string tip;
    };
    const Case cases[] = {
        {{false, kWholeScreen, 0, 0, 0}, kWindow + kWholeScreen + kCount + "0"},
        {{true, "Notepad", 57, 12, 21600},
         kCapturing + kWindow + "Notepad" + kCount + "57" + kLeft + Span("06", "00", "00")},
        {{true, kWholeScreen, 9, 0, 1800},
         kCapturing + kWindow + kWholeScreen + kCount + "9" + kLeft + kNoLimit},
        {{true, "w", 9, -1, 1800}, kCapturing + kWindow + "w" + kCount + "9" + kLeft + kNoLimit},
        // A window title is never a format; %d prints the count's bits as a signed number.
        {{true, "%s%d%n%%", 5, 0, 0}, kCapturing + kWindow + "%s%d%n%%" + kCount + "5" + kLeft + kNoLimit},
        {{false, "w", 0x80000000u, 0, 0}, kWindow + "w" + kCount + "-2147483648"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrayTipText(kTexts, c.state, IsCp932LeadByte), c.tip) << c.state.itemText;
    EXPECT_EQ(FillPlaceholders("a%sb%dc%xd%%e%", {"1", "2"}), "a1b2c%xd%e%");
}

TEST(TrayTip, RecordingIconsCycleByCountAsUnsigned) {
    struct Case {
        uint32_t count;
        int index;
    };
    for (auto c :
         {Case{0, 0}, Case{1, 1}, Case{2, 2}, Case{3, 0}, Case{0xFFFFFFFFu, 0}, Case{0x80000000u, 2}})
        EXPECT_EQ(RecordingIconIndex(c.count), c.index) << c.count;
}

TEST(TrayTip, CutsOnWholeCharacters) {
    struct Case {
        std::string text;
        size_t max;
        std::string cut;
    };
    // "表" is 0x95 0x5C; a lead byte with nothing after it stands alone.
    for (const Case& c : {Case{"abc", 2, "ab"}, Case{"a\x95\x5C", 2, "a"}, Case{"a\x95\x5C", 3, "a\x95\x5C"},
                          Case{"\x95\x5C\x95\x5C", 3, "\x95\x5C"}, Case{"ab\x95", 3, "ab\x95"}})
        EXPECT_EQ(TruncateAnsi(c.text, c.max, IsCp932LeadByte), c.cut) << c.text << " to " << c.max;

    // Both tips put an odd number of bytes before a 1023-byte title, so the 127th byte is a lead byte.
    std::string title = "x";
    while (title.size() < 1023)
        title += "\x95\x5C";
    for (bool recording : {false, true}) {
        const std::string head = recording ? kCapturing + kWindow : kWindow;
        const std::string tip =
            TrayTipText(kTexts, TrayState{recording, title, 12, 1, 1800}, IsCp932LeadByte);
        EXPECT_EQ(tip, head + title.substr(0, kTrayTipMaxBytes - 1 - head.size()));
    }
}
