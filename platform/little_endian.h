#pragma once

#include <cstdint>

// Fields stored least significant byte first, at any alignment, whatever the host's byte order: the
// AVI file, dialog resource data and the stored settings all hold them.
namespace little_endian {

inline uint16_t LoadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LoadU32(const uint8_t* p) {
    return LoadU16(p) | static_cast<uint32_t>(LoadU16(p + 2)) << 16;
}
inline uint64_t LoadU64(const uint8_t* p) {
    return LoadU32(p) | uint64_t{LoadU32(p + 4)} << 32;
}

inline void StoreU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
    StoreU16(p, static_cast<uint16_t>(v));
    StoreU16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void StoreU64(uint8_t* p, uint64_t v) {
    StoreU32(p, static_cast<uint32_t>(v));
    StoreU32(p + 4, static_cast<uint32_t>(v >> 32));
}

} // namespace little_endian
