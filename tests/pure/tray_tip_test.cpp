#include "ui/tray_tip.h"

#include <gtest/gtest.h>

#include <climits>

#include "tests/support/cp932_support.h"

using test_support::EndsOnWholeCp932Character;
using test_support::IsCp932LeadByte;

namespace {

// The string table's texts in code page 932.
const TrayTipTexts kTexts = {
    // "キャプチャ中\r\nキャプチャウィンドウ %s\r\nフレーム数 %d\n残り時間: %s"
    "\x83L\x83\x83\x83v\x83`\x83\x83\x92\x86\r\n\x83L\x83\x83\x83v\x83`\x83\x83\x83"
    "E\x83"
    "B\x83\x93\x83h\x83"
    "E %s\r\n"
    "\x83t\x83\x8C\x81[\x83\x80\x90\x94 %d\n\x8E"
    "c\x82\xE8\x8E\x9E\x8A\xD4: %s",
    // "キャプチャウィンドウ %s\r\nフレーム数 %d"
    "\x83L\x83\x83\x83v\x83`\x83\x83\x83"
    "E\x83"
    "B\x83\x93\x83h\x83"
    "E %s\r\n\x83t\x83\x8C\x81[\x83\x80\x90\x94 %d",
    "%H\x8E\x9E\x8A\xD4%M\x95\xAA:%S\x95"
    "b",                        // "%H時間%M分:%S秒"
    "\x96\xB3\x90\xA7\x8C\xC0", // "無制限"
};
const std::string kWholeScreen = "\x91S\x89\xE6\x96\xCA"; // "全画面"
const std::string kRecordingHead =
    "\x83L\x83\x83\x83v\x83`\x83\x83\x92\x86\r\n\x83L\x83\x83\x83v\x83`\x83\x83\x83"
    "E\x83"
    "B\x83\x93\x83h\x83"
    "E ";
const std::string kIdleHead = "\x83L\x83\x83\x83v\x83`\x83\x83\x83"
                              "E\x83"
                              "B\x83\x93\x83h\x83"
                              "E ";
const std::string kCountLabel = "\r\n\x83t\x83\x8C\x81[\x83\x80\x90\x94 "; // "\r\nフレーム数 "
const std::string kRemainingLabel = "\n\x8E"
                                    "c\x82\xE8\x8E\x9E\x8A\xD4: "; // "\n残り時間: "

std::string Span(const char* hours, const char* minutes, const char* seconds) {
    return std::string(hours) + "\x8E\x9E\x8A\xD4" + minutes + "\x95\xAA:" + seconds +
           "\x95"
           "b";
}

} // namespace

TEST(TrayTip, RemainingTimeFieldsWithinTheirUnits) {
    struct Case {
        int64_t seconds;
        std::string text;
    };
    const Case cases[] = {
        {1800, Span("00", "30", "00")},
        {21600, Span("06", "00", "00")},
        {0, Span("00", "00", "00")},
        {3661, Span("01", "01", "01")},
        {86399, Span("23", "59", "59")},
        {86400 + 5, Span("00", "00", "05")},
        // One update can come a second after the end time; a negative span shows as zero.
        {-1, Span("00", "00", "00")},
        {INT64_MIN, Span("00", "00", "00")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatRemainingTime(kTexts.remaining, c.seconds), c.text) << c.seconds << " s";
    EXPECT_EQ(FormatRemainingTime("%%%H%Q%", 3600), "%01%Q%");
}

TEST(TrayTip, TipsForEachState) {
    struct Case {
        TrayState state;
        std::string tip;
    };
    const std::string noLimit = kTexts.noLimit;
    const Case cases[] = {
        {{false, kWholeScreen, 0, 0, 0}, kIdleHead + kWholeScreen + kCountLabel + "0"},
        {{false, "Notepad", 1234, 3, 100}, kIdleHead + "Notepad" + kCountLabel + "1234"},
        {{true, kWholeScreen, 0, 1, 1800},
         kRecordingHead + kWholeScreen + kCountLabel + "0" + kRemainingLabel + Span("00", "30", "00")},
        {{true, "Notepad", 57, 12, 21600},
         kRecordingHead + "Notepad" + kCountLabel + "57" + kRemainingLabel + Span("06", "00", "00")},
        {{true, kWholeScreen, 9, 0, 1800},
         kRecordingHead + kWholeScreen + kCountLabel + "9" + kRemainingLabel + noLimit},
        {{true, kWholeScreen, 9, -1, 1800},
         kRecordingHead + kWholeScreen + kCountLabel + "9" + kRemainingLabel + noLimit},
        {{true, "w", 3, 2, -1},
         kRecordingHead + "w" + kCountLabel + "3" + kRemainingLabel + Span("00", "00", "00")},
        // %d prints the count's bits as a signed number.
        {{false, "w", 0x80000000u, 0, 0}, kIdleHead + "w" + kCountLabel + "-2147483648"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrayTipText(kTexts, c.state, IsCp932LeadByte), c.tip)
            << "recording " << c.state.recording << ", count " << c.state.frameCount;
}

TEST(TrayTip, UserTextIsNeverAFormat) {
    TrayState state{true, "%s%d%n%%", 5, 0, 0};
    EXPECT_EQ(TrayTipText(kTexts, state, IsCp932LeadByte),
              kRecordingHead + "%s%d%n%%" + kCountLabel + "5" + kRemainingLabel + kTexts.noLimit);
    EXPECT_EQ(FillPlaceholders("a%sb%dc%xd%%e%", {"1", "2"}), "a1b2c%xd%e%");
    EXPECT_EQ(FillPlaceholders("%s %s %d", {"only"}), "only  ");
}

TEST(TrayTip, RecordingIconsCycleByCount) {
    const int icons[] = {143, 130, 131};
    // Counts past 2^31 stay unsigned: taken as signed, 0x80000000 would give index -2.
    struct Case {
        uint32_t count;
        int icon;
    };
    for (auto c : {Case{0, 143}, Case{1, 130}, Case{2, 131}, Case{3, 143}, Case{4, 130},
                   Case{0xFFFFFFFFu, 143}, Case{0x80000000u, 131}})
        EXPECT_EQ(icons[RecordingIconIndex(c.count)], c.icon) << c.count;
}

TEST(TrayTip, TruncationKeepsWholeCharacters) {
    struct Case {
        std::string text;
        size_t max;
        std::string cut;
    };
    const Case cases[] = {
        {"abc", 2, "ab"},
        {"abc", 3, "abc"},
        {"", 5, ""},
        {"a\x95\x5C", 2, "a"},
        {"a\x95\x5C", 3, "a\x95\x5C"},
        {"\x95\x5C\x95\x5C", 3, "\x95\x5C"},
        {"ab\x95", 3, "ab\x95"}, // a lead byte with nothing after it stands alone
        {"\x83L\x83L", 1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TruncateAnsi(c.text, c.max, IsCp932LeadByte), c.cut) << c.text << " to " << c.max;
}

TEST(TrayTip, LongDoubleByteTitleFitsTheTipMember) {
    // 1023 bytes. Both tips put an odd number of bytes before the title, so with its leading
    // single-byte character the 127th byte is the lead byte of a "表", which must go.
    std::string title = "x";
    while (title.size() < 1023)
        title += "\x95\x5C"; // "表"
    ASSERT_EQ(title.size(), 1023u);
    for (bool recording : {false, true}) {
        const std::string& head = recording ? kRecordingHead : kIdleHead;
        std::string tip = TrayTipText(kTexts, TrayState{recording, title, 12, 1, 1800}, IsCp932LeadByte);
        EXPECT_EQ(tip.size(), kTrayTipMaxBytes - 1);
        EXPECT_TRUE(EndsOnWholeCp932Character(tip));
        EXPECT_EQ(tip, head + title.substr(0, tip.size() - head.size()));
    }
}
