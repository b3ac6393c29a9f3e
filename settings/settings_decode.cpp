#include "settings/settings_decode.h"

#include <algorithm>
#include <cstring>

#include "platform/little_endian.h"

namespace {

void PutInt32(uint8_t* out, int32_t value) {
    little_endian::StoreU32(out, static_cast<uint32_t>(value));
}

int32_t GetInt32(const uint8_t* in) {
    return static_cast<int32_t>(little_endian::LoadU32(in));
}

} // namespace

void SetFaceName(FontRecord& font, const char* face) {
    font.lfFaceName.fill('\0');
    size_t length = std::min(std::strlen(face), kFaceNameSize - 1);
    std::memcpy(font.lfFaceName.data(), face, length);
}

std::string FaceNameOf(const FontRecord& font) {
    const char* begin = font.lfFaceName.data();
    return std::string(begin, std::find(begin, begin + kFaceNameSize, '\0'));
}

std::array<uint8_t, kFontRecordSize> EncodeFontRecord(const FontRecord& font) {
    std::array<uint8_t, kFontRecordSize> out{};
    PutInt32(&out[0], font.lfHeight);
    PutInt32(&out[4], font.lfWidth);
    PutInt32(&out[8], font.lfEscapement);
    PutInt32(&out[12], font.lfOrientation);
    PutInt32(&out[16], font.lfWeight);
    out[20] = font.lfItalic;
    out[21] = font.lfUnderline;
    out[22] = font.lfStrikeOut;
    out[23] = font.lfCharSet;
    out[24] = font.lfOutPrecision;
    out[25] = font.lfClipPrecision;
    out[26] = font.lfQuality;
    out[27] = font.lfPitchAndFamily;
    std::memcpy(&out[28], font.lfFaceName.data(), kFaceNameSize);
    return out;
}

std::optional<FontRecord> DecodeFontRecord(std::span<const uint8_t> bytes) {
    if (bytes.size() < kFontRecordSize)
        return std::nullopt;
    FontRecord font;
    font.lfHeight = GetInt32(&bytes[0]);
    font.lfWidth = GetInt32(&bytes[4]);
    font.lfEscapement = GetInt32(&bytes[8]);
    font.lfOrientation = GetInt32(&bytes[12]);
    font.lfWeight = GetInt32(&bytes[16]);
    font.lfItalic = bytes[20];
    font.lfUnderline = bytes[21];
    font.lfStrikeOut = bytes[22];
    font.lfCharSet = bytes[23];
    font.lfOutPrecision = bytes[24];
    font.lfClipPrecision = bytes[25];
    font.lfQuality = bytes[26];
    font.lfPitchAndFamily = bytes[27];
    std::memcpy(font.lfFaceName.data(), &bytes[28], kFaceNameSize);
    // Whoever reads the face as a C string must find its end inside the record.
    if (std::find(font.lfFaceName.begin(), font.lfFaceName.end(), '\0') == font.lfFaceName.end())
        font.lfFaceName.back() = '\0';
    return font;
}

std::array<uint8_t, 4> EncodeInt32(int32_t value) {
    std::array<uint8_t, 4> out{};
    PutInt32(out.data(), value);
    return out;
}

std::optional<int32_t> DecodeInt32(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4)
        return std::nullopt;
    return GetInt32(bytes.data());
}

std::optional<std::string> DecodeString(const StoredValue& value) {
    // REG_EXPAND_SZ is never written here; expanding it would put environment text into a path
    // the user never chose, and taking it unexpanded would use "%VAR%" as a folder name.
    if (value.type != kStoredString)
        return std::nullopt;
    auto end = std::find(value.bytes.begin(), value.bytes.end(), uint8_t{0});
    return std::string(value.bytes.begin(), end);
}

std::optional<std::vector<uint8_t>> DecodeBinary(const StoredValue& value) {
    if (value.type != kStoredBinary)
        return std::nullopt;
    return value.bytes;
}
