#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// A strict reader of one-video-stream AVI files with OpenDML indexes. It parses what a player uses
// and lists every way the file disagrees with itself, so that a test asserts on `errors` being empty
// and then on the values. It shares nothing with the writer but the little-endian loads.
namespace test_support {

struct AviRiff {
    uint64_t offset; // of the "RIFF" id
    uint32_t size;   // as its header says
    uint32_t form;   // "AVI " or "AVIX"
    uint64_t movi;   // of the movi list's "movi" type, the base of idx1 offsets; 0 when missing
    uint64_t moviEnd;
};

struct AviFrame {
    uint64_t offset; // of the chunk's header
    uint32_t size;
    bool key;

    bool operator==(const AviFrame&) const = default;
};

struct AviFile {
    std::vector<AviRiff> riffs;
    uint64_t end = 0; // end of the last RIFF that fits in the file
    // avih
    uint32_t microSecPerFrame = 0, flags = 0, totalFrames = 0, streams = 0, width = 0, height = 0;
    // strh
    uint32_t handler = 0, scale = 0, rate = 0, length = 0, suggestedBufferSize = 0, quality = 0;
    std::vector<uint8_t> format; // strf
    uint32_t dmlhFrames = 0;
    uint32_t chunkId = 0;         // the super index's
    std::vector<AviFrame> frames; // through the super index and the standard indexes, in order
    bool hasIdx1 = false;
    std::vector<AviFrame> idx1; // offsets made absolute
    std::vector<std::string> errors;
};

AviFile ReadAvi(std::span<const uint8_t> file);
// The frame's payload; empty when it lies outside the file.
std::vector<uint8_t> FrameBytes(std::span<const uint8_t> file, const AviFrame& frame);

} // namespace test_support
