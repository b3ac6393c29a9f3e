#include "platform/dialog_init_data.h"
#include "settings/settings_decode.h"
#include "ui/path_split.h"
#include "ui/recording_timing.h"
#include "ui/tray_tip.h"

#include <gtest/gtest.h>

#include <climits>

#include "avi/avi_layout.h"
#include "tests/support/cp932_support.h"

using dialog_init_data::Item;
using dialog_init_data::kComboAddString;
using test_support::IsCp932LeadByte;
using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;

namespace {

// Stand-ins for the string table's texts, with its placeholders.
const TrayTipTexts kTexts = {"Rec\nWindow %s\r\nN %d\nLeft: %s", "Window %s\r\nN %d", "%Hh%Mm:%Ss", "none"};

// Records of control id, message, 32-bit byte count (given, or the text's size) and the text; id 0 is
// the end marker alone.
std::vector<uint8_t> Records(std::initializer_list<std::tuple<uint16_t, std::string, uint32_t>> records) {
    avi::Encoder e;
    for (const auto& [id, text, count] : records) {
        e.U16(id);
        if (id != 0)
            e.U16(kComboAddString), e.U32(count ? count : text.size()), e.Bytes(text.data(), text.size());
    }
    return e.bytes();
}

} // namespace

TEST(TrayTip, RemainingTimeFieldsWithinTheirUnits) {
    // A negative span (an update a second after the end) shows as zero.
    const std::pair<int64_t, const char*> cases[] = {{1800, "00h30m:00s"}, {21600, "06h00m:00s"},
                                                     {3661, "01h01m:01s"}, {86400 + 5, "00h00m:05s"},
                                                     {-1, "00h00m:00s"},   {INT64_MIN, "00h00m:00s"}};
    for (auto [seconds, text] : cases)
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
        {{false, "w", 0x80000000u, 0, 0}, "Window w\r\nN -2147483648"}};
    for (const auto& [state, tip] : cases)
        EXPECT_EQ(TrayTipText(kTexts, state, IsCp932LeadByte), tip) << state.itemText;
    EXPECT_EQ(FillPlaceholders("a%sb%dc%xd%%e%s%", {"1", "2"}), "a1b2c%xd%e%");
    for (auto [count, icon] :
         {std::pair{0u, 0}, {1u, 1}, {2u, 2}, {3u, 0}, {0xFFFFFFFFu, 0}, {0x80000000u, 2}})
        EXPECT_EQ(RecordingIconIndex(count), icon) << count;
}

TEST(TrayTip, CutsOnWholeCharacters) {
    // "表" is 0x95 0x5C; a lead byte with nothing after it stands alone.
    const std::tuple<const char*, size_t, const char*> cuts[] = {
        {"abc", 2, "ab"}, {"a\x95\x5C", 2, "a"}, {"a\x95\x5C", 3, "a\x95\x5C"}, {"ab\x95", 3, "ab\x95"}};
    for (auto [text, max, cut] : cuts)
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
    const std::pair<std::string, std::string> cases[] = {
        {"movie", "|movie"},
        {"\\\\server\\share\\a.avi", "\\\\server\\share\\|a.avi"},
        {"C:\\\x95\x5C\\a.avi", "C:\\\x95\x5C\\|a.avi"},
        {"C:\\\x83\x5C\x83t\x83g\x95\x5C", "C:\\|\x83\x5C\x83t\x83g\x95\x5C"},
        {"a\\\x95", "a\\|\x95"},
        {"a\\b\\\x95\x5C\x5C", "a\\b\\\x95\x5C\\|"}};
    for (const auto& [path, split] : cases) {
        SplitPath s = SplitAtLastBackslash(path, IsCp932LeadByte);
        EXPECT_EQ(s.folder + "|" + s.fileName, split) << path;
    }
}

TEST(RecordingTiming, TickIntervalDividesFirst) {
    const std::array<int, 3> cases[] = {{1, 4, 250},   {1, 3, 333},      {1, 60, 16},  {200, 7, 28400},
                                        {10, 4, 2500}, {200, 1, 200000}, {3, 0, 3000}, {3, -5, 3000}};
    for (auto [rate, fps, ms] : cases)
        EXPECT_EQ(TickIntervalMs(rate, fps), ms) << rate << " at " << fps << " fps";
}

TEST(DialogInitData, RecordsUpToTheEndMarkerAndNoFurther) {
    const std::string halfHour("0.5\x8e\x9e\x8a\xd4\0", 8); // odd counts leave later records unaligned
    const std::pair<std::vector<uint8_t>, std::vector<Item>> cases[] = {
        {{}, {}},
        {Records({{0, "", 0}}), {}},
        {Records({{1013, halfHour, 0}, {1013, std::string("ab\0cd\0", 6), 0}}),
         {{1013, kComboAddString, "0.5\x8e\x9e\x8a\xd4"}, {1013, kComboAddString, "ab"}}},
        {Records({{5, std::string("x\0", 2), 0}, {0, "", 0}, {6, "y", 0}}), {{5, kComboAddString, "x"}}},
        {Records({{5, "abc", 0}, {6, "", 0}}), {{5, kComboAddString, "abc"}, {6, kComboAddString, ""}}},
        // A byte count beyond the data, though its low 16 bits would fit, ends the list before its record.
        {Records({{8, "z", 0}, {9, "abc", 0xFFFF0003u}}), {{8, kComboAddString, "z"}}}};
    for (const auto& [data, items] : cases)
        EXPECT_EQ(dialog_init_data::Parse(data), items) << data.size() << " bytes";
    const auto whole = Records({{1013, std::string("ab\0", 3), 0}, {1014, std::string("cd\0", 3), 0}});
    for (size_t cut = 1; cut < whole.size(); ++cut)
        EXPECT_EQ(dialog_init_data::Parse({whole.data(), cut}).size(), cut < 11 ? 0u : 1u)
            << "cut at " << cut;
}

TEST(SettingsDecode, Int32IsTheFirstFourBytesLeastSignificantFirst) {
    const std::pair<Bytes, std::optional<int32_t>> cases[] = {{{}, std::nullopt},
                                                              {{7, 0, 0}, std::nullopt},
                                                              {{0xF4, 0x01, 0, 0}, 500},
                                                              {{0, 0, 0, 0x80}, INT32_MIN},
                                                              {{30, 0, 0, 0, 9, 9, 9, 9}, 30}};
    for (const auto& [bytes, value] : cases)
        EXPECT_EQ(DecodeInt32(bytes), value) << bytes.size() << " bytes";
    EXPECT_EQ(EncodeInt32(-2), (std::array<uint8_t, 4>{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(SettingsDecode, FontRecordHasTheLogFontLayoutAndSixtyBytes) {
    // Every field differs from its neighbours, to catch swapped offsets.
    FontRecord font{-24, 0x01020304, 900, -900, 700, 1, 2, 3, 128, 4, 5, 6, 0x22, {}};
    SetFaceName(font, "\x82l\x82r \x82o\x83S\x83V\x83\x62\x83N"); // "ＭＳ Ｐゴシック"
    std::array<uint8_t, kFontRecordSize> bytes = EncodeFontRecord(font);
    const Bytes head = {0xE8, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x84, 0x03, 0, 0, 0x7C, 0xFC,
                        0xFF, 0xFF, 0xBC, 0x02, 0,    0,    1,    2,    3,    128,  4, 5, 6,    0x22};
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 28), head);
    Bytes longer(bytes.begin(), bytes.end());
    longer.push_back(0xAA);
    EXPECT_EQ(DecodeFontRecord(longer), font);
    EXPECT_EQ(DecodeFontRecord(Bytes(bytes.begin(), bytes.end() - 1)), std::nullopt);

    // A face without NUL is cut to 31 bytes; bytes after a NUL inside the face read back as stored.
    std::fill(bytes.begin() + 28, bytes.end(), uint8_t{'A'});
    EXPECT_EQ(FaceNameOf(*DecodeFontRecord(bytes)), std::string(31, 'A'));
    bytes[28 + 5] = 0;
    EXPECT_EQ(EncodeFontRecord(*DecodeFontRecord(bytes)), bytes);
    SetFaceName(font, std::string(40, 'F').c_str());
    EXPECT_EQ(FaceNameOf(font), std::string(31, 'F'));
    SetFaceName(font, "ab");
    EXPECT_EQ(FaceNameOf(font), "ab");
}

TEST(SettingsDecode, StringsAreRegSzAndBinariesRegBinary) {
    const std::string longText(100'000, 'q');
    const std::tuple<uint32_t, std::string, std::optional<std::string>> cases[] = {
        {kStoredString, "C:\\out\\\0"s, "C:\\out\\"},
        {kStoredString, "", ""},
        {kStoredString, "ab\0cd\0"s, "ab"},
        {kStoredString, longText, longText},
        {kStoredExpandString, "%TEMP%\\\0"s, std::nullopt},
        {kStoredBinary, "x.avi\0"s, std::nullopt},
        {kStoredDword, "\1\0\0\0"s, std::nullopt}};
    for (const auto& [type, stored, text] : cases) {
        const Bytes bytes(stored.begin(), stored.end());
        EXPECT_EQ(DecodeString({type, bytes}), text) << "type " << type;
        EXPECT_EQ(DecodeBinary({type, bytes}), type == kStoredBinary ? std::optional(bytes) : std::nullopt);
    }
}
