#include "settings/settings_decode.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A record whose every field differs from its neighbours, to catch swapped offsets.
FontRecord SampleFont() {
    FontRecord font{-24, 0x01020304, 900, -900, 700, 1, 2, 3, 128, 4, 5, 6, 0x22, {}};
    SetFaceName(font, "\x82l\x82r \x82o\x83S\x83V\x83"
                      "b\x83N"); // "ＭＳ Ｐゴシック"
    return font;
}

} // namespace

TEST(SettingsDecode, Int32IsTheFirstFourBytesLeastSignificantFirst) {
    struct Case {
        Bytes bytes;
        std::optional<int32_t> value;
    };
    for (const Case& c :
         {Case{{}, std::nullopt}, Case{{7, 0, 0}, std::nullopt}, Case{{0xF4, 0x01, 0, 0}, 500},
          Case{{0, 0, 0, 0x80}, INT32_MIN}, Case{{30, 0, 0, 0, 9, 9, 9, 9}, 30}})
        EXPECT_EQ(DecodeInt32(c.bytes), c.value) << c.bytes.size() << " bytes";
    EXPECT_EQ(EncodeInt32(-2), (std::array<uint8_t, 4>{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(SettingsDecode, FontRecordHasTheLogFontLayoutAndSixtyBytes) {
    std::array<uint8_t, kFontRecordSize> bytes = EncodeFontRecord(SampleFont());
    const Bytes head = {0xE8, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x84, 0x03, 0, 0, 0x7C, 0xFC,
                        0xFF, 0xFF, 0xBC, 0x02, 0,    0,    1,    2,    3,    128,  4, 5, 6,    0x22};
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 28), head);
    EXPECT_EQ(FaceNameOf(*DecodeFontRecord(bytes)), FaceNameOf(SampleFont()));
    Bytes longer(bytes.begin(), bytes.end());
    longer.push_back(0xAA);
    EXPECT_EQ(DecodeFontRecord(longer), SampleFont());
    EXPECT_EQ(DecodeFontRecord(Bytes(bytes.begin(), bytes.end() - 1)), std::nullopt);

    // A face without NUL is cut to 31 bytes; bytes after a NUL inside the face read back as stored.
    std::fill(bytes.begin() + 28, bytes.end(), uint8_t{'A'});
    EXPECT_EQ(FaceNameOf(*DecodeFontRecord(bytes)), std::string(31, 'A'));
    bytes[28 + 5] = 0;
    EXPECT_EQ(EncodeFontRecord(*DecodeFontRecord(bytes)), bytes);
    FontRecord font;
    SetFaceName(font, std::string(40, 'F').c_str());
    EXPECT_EQ(FaceNameOf(font), std::string(31, 'F'));
}

TEST(SettingsDecode, StringsAreRegSzAndBinariesRegBinary) {
    struct Case {
        uint32_t type;
        Bytes bytes;
        std::optional<std::string> text;
        bool binary;
    };
    const std::string longText(100'000, 'q');
    const Case cases[] = {
        {kStoredString, ToBytes(std::string("C:\\out\\\0", 8)), "C:\\out\\", false},
        {kStoredString, Bytes{}, "", false},
        {kStoredString, ToBytes(std::string("ab\0cd\0", 6)), "ab", false},
        {kStoredString, ToBytes(longText), longText, false},
        {kStoredExpandString, ToBytes(std::string("%TEMP%\\\0", 8)), std::nullopt, false},
        {kStoredBinary, ToBytes(std::string("x.avi\0", 6)), std::nullopt, true},
        {kStoredDword, Bytes{1, 0, 0, 0}, std::nullopt, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeString({c.type, c.bytes}), c.text) << "type " << c.type;
        EXPECT_EQ(DecodeBinary({c.type, c.bytes}).has_value(), c.binary) << "type " << c.type;
    }
    EXPECT_EQ(DecodeBinary({kStoredBinary, Bytes{1, 2, 3}}), (Bytes{1, 2, 3}));
}
