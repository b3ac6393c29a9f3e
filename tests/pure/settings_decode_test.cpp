#include "settings/settings_decode.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

} // namespace

TEST(SettingsDecode, Int32IsTheFirstFourBytesLeastSignificantFirst) {
    for (const auto& [bytes, value] : {std::pair<Bytes, std::optional<int32_t>>{{}, std::nullopt},
                                       {{7, 0, 0}, std::nullopt},
                                       {{0xF4, 0x01, 0, 0}, 500},
                                       {{0, 0, 0, 0x80}, INT32_MIN},
                                       {{30, 0, 0, 0, 9, 9, 9, 9}, 30}})
        EXPECT_EQ(DecodeInt32(bytes), value) << bytes.size() << " bytes";
    EXPECT_EQ(EncodeInt32(-2), (std::array<uint8_t, 4>{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(SettingsDecode, FontRecordHasTheLogFontLayoutAndSixtyBytes) {
    // Every field differs from its neighbours, to catch swapped offsets.
    FontRecord font{-24, 0x01020304, 900, -900, 700, 1, 2, 3, 128, 4, 5, 6, 0x22, {}};
    SetFaceName(font, "\x82l\x82r \x82o\x83S\x83V\x83"
                      "b\x83N"); // "ＭＳ Ｐゴシック"
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
    const std::tuple<uint32_t, Bytes, std::optional<std::string>> cases[] = {
        {kStoredString, ToBytes(std::string("C:\\out\\\0", 8)), "C:\\out\\"},
        {kStoredString, Bytes{}, ""},
        {kStoredString, ToBytes(std::string("ab\0cd\0", 6)), "ab"},
        {kStoredString, ToBytes(longText), longText},
        {kStoredExpandString, ToBytes(std::string("%TEMP%\\\0", 8)), std::nullopt},
        {kStoredBinary, ToBytes(std::string("x.avi\0", 6)), std::nullopt},
        {kStoredDword, Bytes{1, 0, 0, 0}, std::nullopt},
    };
    for (const auto& [type, bytes, text] : cases) {
        EXPECT_EQ(DecodeString({type, bytes}), text) << "type " << type;
        EXPECT_EQ(DecodeBinary({type, bytes}), type == kStoredBinary ? std::optional(bytes) : std::nullopt);
    }
}
