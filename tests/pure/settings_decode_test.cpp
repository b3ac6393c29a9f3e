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
    FontRecord font;
    font.lfHeight = -24;
    font.lfWidth = 0x01020304;
    font.lfEscapement = 900;
    font.lfOrientation = -900;
    font.lfWeight = 700;
    font.lfItalic = 1;
    font.lfUnderline = 2;
    font.lfStrikeOut = 3;
    font.lfCharSet = 128;
    font.lfOutPrecision = 4;
    font.lfClipPrecision = 5;
    font.lfQuality = 6;
    font.lfPitchAndFamily = 0x22;
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
    const Case cases[] = {
        {{}, std::nullopt},
        {{7}, std::nullopt},
        {{7, 0, 0}, std::nullopt},
        {{1, 0, 0, 0}, 1},
        {{0xF4, 0x01, 0, 0}, 500},
        {{0x63, 0, 0, 0}, 99},
        {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {{0, 0, 0, 0x80}, INT32_MIN},
        {{30, 0, 0, 0, 9, 9, 9, 9}, 30},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeInt32(c.bytes), c.value) << c.bytes.size() << " bytes";
}

TEST(SettingsDecode, Int32EncodesLittleEndianAndRoundTrips) {
    EXPECT_EQ(EncodeInt32(500), (std::array<uint8_t, 4>{0xF4, 0x01, 0, 0}));
    EXPECT_EQ(EncodeInt32(-2), (std::array<uint8_t, 4>{0xFE, 0xFF, 0xFF, 0xFF}));
    for (int32_t v : {0, 1, 4, 200, -1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(DecodeInt32(EncodeInt32(v)), v);
}

TEST(SettingsDecode, FontRecordHasTheLogFontLayout) {
    std::array<uint8_t, kFontRecordSize> bytes = EncodeFontRecord(SampleFont());
    const Bytes head = {0xE8, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x84, 0x03, 0, 0, 0x7C, 0xFC,
                        0xFF, 0xFF, 0xBC, 0x02, 0,    0,    1,    2,    3,    128,  4, 5, 6,    0x22};
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 28), head);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[28])), "\x82l\x82r \x82o\x83S\x83V\x83"
                                                                      "b\x83N");
    EXPECT_EQ(DecodeFontRecord(bytes), SampleFont());
}

TEST(SettingsDecode, FontRecordNeedsSixtyBytesAndUsesOnlyThose) {
    std::array<uint8_t, kFontRecordSize> encoded = EncodeFontRecord(SampleFont());
    Bytes bytes(encoded.begin(), encoded.end());
    EXPECT_EQ(DecodeFontRecord(Bytes(bytes.begin(), bytes.end() - 1)), std::nullopt);
    EXPECT_EQ(DecodeFontRecord(Bytes{}), std::nullopt);
    bytes.insert(bytes.end(), {0xAA, 0xBB, 0xCC, 0xDD});
    EXPECT_EQ(DecodeFontRecord(bytes), SampleFont());
}

TEST(SettingsDecode, FaceWithoutNulIsTerminatedInsideTheRecord) {
    std::array<uint8_t, kFontRecordSize> bytes = EncodeFontRecord(SampleFont());
    std::fill(bytes.begin() + 28, bytes.end(), uint8_t{'A'});
    std::optional<FontRecord> font = DecodeFontRecord(bytes);
    ASSERT_TRUE(font);
    EXPECT_EQ(FaceNameOf(*font), std::string(31, 'A'));
    EXPECT_EQ(font->lfFaceName[31], '\0');
    EXPECT_EQ(font->lfWeight, 700);

    // Bytes after a NUL inside the face are kept, so a record reads back as it was written.
    bytes[28 + 5] = 0;
    font = DecodeFontRecord(bytes);
    ASSERT_TRUE(font);
    EXPECT_EQ(FaceNameOf(*font), "AAAAA");
    EXPECT_EQ(EncodeFontRecord(*font), bytes);
}

TEST(SettingsDecode, SetFaceNameKeepsRoomForTheNul) {
    FontRecord font;
    font.lfFaceName.fill('x');
    SetFaceName(font, std::string(40, 'F').c_str());
    EXPECT_EQ(FaceNameOf(font), std::string(31, 'F'));
    SetFaceName(font, "Arial");
    EXPECT_EQ(FaceNameOf(font), "Arial");
    EXPECT_EQ(font.lfFaceName[31], '\0');
}

TEST(SettingsDecode, StringsAreRegSzUpToTheFirstNul) {
    struct Case {
        uint32_t type;
        Bytes bytes;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {kStoredString, ToBytes(std::string("C:\\out\\\0", 8)), "C:\\out\\"},
        {kStoredString, Bytes{0}, ""},
        {kStoredString, Bytes{}, ""},
        {kStoredString, ToBytes("no terminator"), "no terminator"},
        {kStoredString, ToBytes(std::string("ab\0cd\0", 6)), "ab"},
        {kStoredString, ToBytes(std::string("\x95\x5C.avi\0", 7)), "\x95\x5C.avi"},
        {kStoredExpandString, ToBytes(std::string("%TEMP%\\\0", 8)), std::nullopt},
        {kStoredBinary, ToBytes(std::string("x.avi\0", 6)), std::nullopt},
        {kStoredDword, Bytes{1, 0, 0, 0}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeString({c.type, c.bytes}), c.text)
            << "type " << c.type << ", " << c.bytes.size() << " bytes";
}

TEST(SettingsDecode, LongStringIsTakenWhole) {
    std::string text(100'000, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 26);
    EXPECT_EQ(DecodeString({kStoredString, ToBytes(text)}), text);
    EXPECT_EQ(DecodeString({kStoredString, ToBytes(text + '\0')}), text);
}

TEST(SettingsDecode, BinaryIsRegBinaryOnly) {
    struct Case {
        uint32_t type;
        Bytes bytes;
        std::optional<Bytes> binary;
    };
    const Case cases[] = {
        {kStoredBinary, Bytes{1, 2, 3}, Bytes{1, 2, 3}},
        {kStoredBinary, Bytes{}, Bytes{}},
        {kStoredDword, Bytes{25, 0, 0, 0}, std::nullopt},
        {kStoredString, Bytes{'2', '5', 0}, std::nullopt},
        {kStoredExpandString, Bytes{'2', '5', 0}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeBinary({c.type, c.bytes}), c.binary) << "type " << c.type;
}
