#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"

// The on-disk vocabulary of an OpenDML (AVI 2.0) file: four-character codes, flags and the little-endian
// encoder every header and index is built with. All multi-byte values in the file are little-endian.
namespace avi {

constexpr uint32_t FourCc(std::string_view s) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

constexpr uint32_t kRiff = FourCc("RIFF");
constexpr uint32_t kList = FourCc("LIST");
constexpr uint32_t kAvi = FourCc("AVI ");
constexpr uint32_t kAvix = FourCc("AVIX");
constexpr uint32_t kHdrl = FourCc("hdrl");
constexpr uint32_t kAvih = FourCc("avih");
constexpr uint32_t kStrl = FourCc("strl");
constexpr uint32_t kStrh = FourCc("strh");
constexpr uint32_t kStrf = FourCc("strf");
constexpr uint32_t kIndx = FourCc("indx");
constexpr uint32_t kOdml = FourCc("odml");
constexpr uint32_t kDmlh = FourCc("dmlh");
constexpr uint32_t kMovi = FourCc("movi");
constexpr uint32_t kIdx1 = FourCc("idx1");
constexpr uint32_t kIx00 = FourCc("ix00");
constexpr uint32_t kJunk = FourCc("JUNK");
constexpr uint32_t kVids = FourCc("vids");
constexpr uint32_t kCompressedFrame = FourCc("00dc");
constexpr uint32_t kUncompressedFrame = FourCc("00db");

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kIndexFlagKeyFrame = 0x10;    // idx1 entry flag
constexpr uint32_t kDeltaFrameBit = 0x80000000u; // standard index: size with this bit set is not a key frame
constexpr uint8_t kIndexOfIndexes = 0;
constexpr uint8_t kIndexOfChunks = 1;

constexpr uint32_t kMainHeaderSize = 56;
constexpr uint32_t kStreamHeaderSize = 56;
constexpr uint32_t kDmlhSize = 248;
constexpr uint32_t kSuperIndexHeaderSize = 24;
constexpr uint32_t kSuperIndexEntrySize = 16;
constexpr uint32_t kStandardIndexHeaderSize = 24;
constexpr uint32_t kStandardIndexEntrySize = 8;
constexpr uint32_t kIdx1EntrySize = 16;

// A chunk's payload is followed by one pad byte when its size is odd.
constexpr uint64_t Padded(uint64_t size) {
    return size + (size & 1);
}

// Appends little-endian fields to a byte buffer and reports where each one landed, so that fields
// patched later (sizes, counts) are addressed by the offset recorded while building.
class Encoder {
public:
    size_t size() const { return m_bytes.size(); }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    std::vector<uint8_t>& bytes() { return m_bytes; }
    size_t U8(uint8_t v) { return Bytes(&v, 1); }
    size_t U16(uint16_t v) {
        uint8_t b[2];
        little_endian::StoreU16(b, v);
        return Bytes(b, 2);
    }
    size_t U32(uint32_t v) {
        uint8_t b[4];
        little_endian::StoreU32(b, v);
        return Bytes(b, 4);
    }
    size_t U64(uint64_t v) {
        uint8_t b[8];
        little_endian::StoreU64(b, v);
        return Bytes(b, 8);
    }
    size_t Bytes(const void* data, size_t n) {
        size_t at = m_bytes.size();
        const auto* p = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), p, p + n);
        return at;
    }
    size_t Zeros(size_t n) {
        size_t at = m_bytes.size();
        m_bytes.resize(at + n, 0);
        return at;
    }
    // Stores in the size field at `at` the count of bytes appended after it.
    void PatchSize(size_t at) {
        little_endian::StoreU32(&m_bytes[at], static_cast<uint32_t>(m_bytes.size() - at - 4));
    }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace avi
