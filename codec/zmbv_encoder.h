#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/zmbv_scroll.h"

// Encoder of the Zip Motion Blocks Video format for 32-bit frames: key frames carry the whole
// picture, inter frames a motion vector per block and the XOR against the previous picture, all
// through one deflate stream that restarts at every key frame.
class ZmbvEncoder {
public:
    static constexpr int kBlockSize = 16;

    ZmbvEncoder(int width, int height);
    ~ZmbvEncoder();
    ZmbvEncoder(const ZmbvEncoder&) = delete;
    ZmbvEncoder& operator=(const ZmbvEncoder&) = delete;

    // False when zlib could not be set up.
    bool ready() const { return m_firstHalf != nullptr; }
    // The largest frame Encode can produce for this size.
    static size_t MaxFrameSize(int width, int height);

    // Encodes one frame: width x height pixels of 4 bytes (blue, green, red, unused), the top row
    // at topRow and each next row stride bytes further (negative for a bottom-up picture). The
    // first frame is a key frame whatever keyFrame says. Returns the bytes written to out, 0 on
    // failure (capacity below MaxFrameSize is allowed but may fail).
    size_t Encode(const uint8_t* topRow, ptrdiff_t stride, bool keyFrame, uint8_t* out, size_t capacity);

private:
    struct Deflater;
    class Helper;
    struct Vector {
        int dx, dy;
    };

    size_t BuildInterPayload();
    Vector ChooseVector(int bx, int by, int bh, const std::vector<int>& shifts, bool* rowsMatch) const;
    Vector SearchVector(int x, int y, int bw, int bh, Vector v) const;
    uint32_t BlockCost(int x, int y, int bw, int bh, Vector v, int first, uint32_t bound) const;
    bool BlockEqual(int x, int y, int bw, int bh, Vector v) const;
    const uint32_t* SourceRow(int x, int y, Vector v) const;
    size_t Deflate(const uint8_t* data, size_t size, bool split, bool key, uint8_t* out, size_t capacity);

    int m_width, m_height, m_blocksX, m_blocksY;
    std::unique_ptr<Deflater> m_firstHalf, m_secondHalf;
    std::unique_ptr<Helper> m_helper;
    bool m_firstLags = false;
    std::vector<uint8_t> m_history; // after a split or a bypass, the last window of the frame's input
    bool m_haveKeyFrame = false;
    std::vector<uint32_t> m_current, m_previous;
    zmbv_scroll::SegmentHashes m_currentHashes, m_previousHashes;
    // Left uninitialised: an inter frame writes only its table and changed blocks, so a recording of
    // small changes never touches most of this frame-sized buffer.
    std::unique_ptr<uint8_t[]> m_payload;
};
