#pragma once

#include <cstddef>
#include <cstdint>

// Sizes of the frame buffer. The grab reads the display bitmap's own depth only to size its first
// allocation; the frame handed on is always 32 bits per pixel behind a 40-byte header.
namespace frame_layout {

constexpr uint32_t kHeaderSize = 40;
constexpr uint32_t kEnlargementSlack = 400; // holds the header; the rest is spare

// planes x bits per pixel (as a 16-bit unsigned value) rounded up to 1, 4, 8, 16, 24 or 32.
int StandardDepth(uint16_t planesTimesBits);
// Bytes of one row at the given depth, padded to a multiple of 4.
uint64_t Stride(int32_t width, int depth);
// 4 x 2^depth below 24 bits, otherwise 0.
uint64_t ColorTableAllowance(int depth);
uint64_t FirstAllocationSize(int32_t width, int32_t height, int depth);
uint64_t EnlargedAllocationSize(uint32_t sizeImage, int depth);
// The 32-bit frame's pixel bytes: 4 x width x height.
uint64_t FrameBytes(int32_t width, int32_t height);

} // namespace frame_layout
