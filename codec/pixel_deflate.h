#pragma once

#include <cstddef>
#include <cstdint>

// A deflate compressor for pixel data that zlib's long searches make little of, such as the XOR
// data of moving pictures. It steps a pixel (4 bytes) at a time and looks for a match only at the
// last distance used, one and two pixels back, a 16-pixel block row back, and where the pixel was
// last seen; matches end on pixel boundaries and may begin a byte before one.
//
// Writes data[0, size) as raw deflate blocks that end on a byte boundary with an empty stored
// block, as zlib's sync flush does, so the output may follow any flushed deflate data. Matches reach
// back up to `history` bytes before data, which the inflater must already hold (at most 32 KiB are
// used). Returns the bytes written, or 0 when they do not fit in capacity; PixelDeflateBound(size)
// always fits. With out null nothing is written, and the result is what the output would take,
// give or take a byte a block.
size_t PixelDeflate(const uint8_t* data, size_t size, size_t history, uint8_t* out, size_t capacity);
size_t PixelDeflateBound(size_t size);
