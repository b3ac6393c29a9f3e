#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

inline constexpr size_t kFontRecordSize = 60;
inline constexpr size_t kFaceNameSize = 32;

// The persisted caption font description, with the platform's LOGFONTA layout.
struct FontRecord {
    int32_t lfHeight = 0;
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0;
    int32_t lfOrientation = 0;
    int32_t lfWeight = 0;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 0;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = 0;
    uint8_t lfPitchAndFamily = 0;
    std::array<char, kFaceNameSize> lfFaceName{};

    bool operator==(const FontRecord&) const = default;
};
static_assert(sizeof(FontRecord) == kFontRecordSize);
static_assert(std::is_standard_layout_v<FontRecord>);

// Replaces the face name, cut to 31 bytes so that the NUL always fits.
void SetFaceName(FontRecord& font, const char* face);
std::string FaceNameOf(const FontRecord& font);

std::array<uint8_t, kFontRecordSize> EncodeFontRecord(const FontRecord& font);
// The first 60 bytes; absent when there are fewer. A face name without a NUL in its 32 bytes is
// terminated at its last byte.
std::optional<FontRecord> DecodeFontRecord(std::span<const uint8_t> bytes);

std::array<uint8_t, 4> EncodeInt32(int32_t value);
// The first 4 bytes, least significant first; absent when there are fewer.
std::optional<int32_t> DecodeInt32(std::span<const uint8_t> bytes);

// The registry's type codes, named here so that the decoding needs no platform header.
inline constexpr uint32_t kStoredString = 1;       // REG_SZ
inline constexpr uint32_t kStoredExpandString = 2; // REG_EXPAND_SZ
inline constexpr uint32_t kStoredBinary = 3;       // REG_BINARY
inline constexpr uint32_t kStoredDword = 4;        // REG_DWORD

// One value as the store returns it: its type and its bytes, whatever they are.
struct StoredValue {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
};

// REG_SZ only (REG_EXPAND_SZ counts as another type): the bytes up to the first NUL, or all of
// them when there is none.
std::optional<std::string> DecodeString(const StoredValue& value);
// REG_BINARY only: the bytes as stored.
std::optional<std::vector<uint8_t>> DecodeBinary(const StoredValue& value);

// The eight persisted values of the recorder window, with their defaults. The font has no
// portable default: the loader substitutes the platform's description.
struct RecorderSettings {
    int32_t rate = 1;
    int32_t fps = 4;
    std::string folder;
    std::string fileName = "Mirvox.avi";
    FontRecord font;
    std::string captionFormat = "%a, %d %b %Y %H:%M:%S %z";
    int32_t location = 0;
    int32_t caption = 1;

    bool operator==(const RecorderSettings&) const = default;
};
