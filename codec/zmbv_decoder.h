#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

enum class DecodeStatus {
    Ok,
    NeedKeyFrame,  // an inter frame with no good picture to build on: at the start, after Reset or an error
    Malformed,     // the frame breaks the format or does not fit the picture size
    Unsupported,   // a frame of the format this decoder does not read: another version, compression or depth
    FormatChanged, // a key frame whose depth or block size differs from the stream's earlier key frames
};

// Decoder of the Zip Motion Blocks Video format as ZmbvEncoder writes it: 32-bit pixels, any block
// size, frames compressed with zlib or stored. Frames come from files anyone may send, so nothing in
// a frame is trusted: sizes, vectors and the zlib data are checked against the picture before use.
class ZmbvDecoder {
public:
    static constexpr int kMaxPixels = 1 << 26;

    ZmbvDecoder(int width, int height);
    ~ZmbvDecoder();
    ZmbvDecoder(const ZmbvDecoder&) = delete;
    ZmbvDecoder& operator=(const ZmbvDecoder&) = delete;

    // False when the size is not 1 to kMaxPixels pixels or memory or zlib could not be had; such a
    // decoder refuses every frame as unsupported.
    bool ready() const { return m_zlib != nullptr; }

    // Decodes one frame. On any status but Ok the picture stays the last good one and inter frames
    // are refused until a key frame decodes.
    DecodeStatus Decode(const uint8_t* data, size_t size);
    // Makes the next frame have to be a key frame, as after seeking.
    void Reset() { m_canContinue = false; }

    // Writes the picture as rows of width pixels of 32 bits (blue, green, red, unused) or 24 bits
    // (blue, green, red), the top row at topRow and each next row stride bytes further (negative for
    // bottom-up); bytes between rows are left alone. False, writing nothing, before the first good
    // frame, for other depths and for a stride shorter than a row.
    bool CopyTo(uint8_t* topRow, ptrdiff_t stride, int bitsPerPixel) const;

private:
    struct Zlib;

    DecodeStatus DecodeKeyFrame(const uint8_t* data, size_t size);
    DecodeStatus DecodeInterFrame(const uint8_t* data, size_t size);
    const uint8_t* Unpack(const uint8_t* data, size_t size, bool compressed, size_t* unpacked);
    void MoveBlock(int x, int y, int bw, int bh, int dx, int dy);
    size_t Offset(int x, int y) const { return (static_cast<size_t>(y) * m_width + x) * 4; }

    int m_width, m_height;
    size_t m_maxFrameSize = 0, m_payloadCapacity = 0;
    std::unique_ptr<Zlib> m_zlib;
    std::unique_ptr<uint8_t[]> m_picture, m_next, m_payload;
    // The stream's format, fixed by its first good key frame.
    int m_blockWidth = 0, m_blockHeight = 0;
    bool m_compressed = false, m_havePicture = false, m_canContinue = false;
};
