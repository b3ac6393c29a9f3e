#include "codec/zmbv_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr uint8_t kKeyFrameFlag = 0x01, kXorFlag = 0x01;
constexpr size_t kKeyHeaderSize = 7, kInterHeaderSize = 1;
constexpr uint8_t kCompressionZlib = 1;
constexpr uint8_t kFormatNone = 0, kFormat32Bit = 8, kLastFormat = 8;

size_t VectorTableSize(int blocksX, int blocksY) {
    return (static_cast<size_t>(blocksX) * blocksY * 2 + 3) & ~size_t{3};
}

} // namespace

struct ZmbvDecoder::Zlib {
    z_stream stream{};
    ~Zlib() { inflateEnd(&stream); }
};

ZmbvDecoder::ZmbvDecoder(int width, int height) : m_width(width), m_height(height) {
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxPixels)
        return;
    const size_t pictureSize = static_cast<size_t>(width) * height * 4;
    // The largest unpacked frame has blocks of one pixel, all of them with XOR data.
    m_payloadCapacity = VectorTableSize(width, height) + pictureSize + 1;
    m_maxFrameSize = kKeyHeaderSize + compressBound(static_cast<uLong>(m_payloadCapacity));
    m_picture.reset(new (std::nothrow) uint8_t[pictureSize]);
    m_next.reset(new (std::nothrow) uint8_t[pictureSize]);
    m_payload.reset(new (std::nothrow) uint8_t[m_payloadCapacity]);
    auto zlib = std::make_unique<Zlib>();
    if (m_picture && m_next && m_payload && inflateInit(&zlib->stream) == Z_OK)
        m_zlib = std::move(zlib);
}

ZmbvDecoder::~ZmbvDecoder() = default;

DecodeStatus ZmbvDecoder::Decode(const uint8_t* data, size_t size) {
    DecodeStatus status = DecodeStatus::Malformed;
    if (!ready())
        status = DecodeStatus::Unsupported;
    else if (size > 0 && size <= m_maxFrameSize)
        status = data[0] & kKeyFrameFlag ? DecodeKeyFrame(data, size) : DecodeInterFrame(data, size);
    if (status != DecodeStatus::Ok)
        m_canContinue = false;
    return status;
}

DecodeStatus ZmbvDecoder::DecodeKeyFrame(const uint8_t* data, size_t size) {
    if (size < kKeyHeaderSize)
        return DecodeStatus::Malformed;
    const uint8_t major = data[1], minor = data[2], compression = data[3], format = data[4];
    const int blockWidth = data[5], blockHeight = data[6];
    if (format == kFormatNone || format > kLastFormat || blockWidth == 0 || blockHeight == 0)
        return DecodeStatus::Malformed;
    if (m_blockWidth != 0 &&
        (format != kFormat32Bit || blockWidth != m_blockWidth || blockHeight != m_blockHeight))
        return DecodeStatus::FormatChanged;
    if (major != 0 || minor != 1 || compression > kCompressionZlib || format != kFormat32Bit)
        return DecodeStatus::Unsupported;

    const bool compressed = compression == kCompressionZlib;
    if (compressed)
        inflateReset(&m_zlib->stream);
    size_t unpacked = 0;
    const uint8_t* pixels = Unpack(data + kKeyHeaderSize, size - kKeyHeaderSize, compressed, &unpacked);
    if (!pixels || unpacked != Offset(0, m_height))
        return DecodeStatus::Malformed;
    std::memcpy(m_picture.get(), pixels, unpacked);
    m_blockWidth = blockWidth;
    m_blockHeight = blockHeight;
    m_compressed = compressed;
    m_havePicture = m_canContinue = true;
    return DecodeStatus::Ok;
}

DecodeStatus ZmbvDecoder::DecodeInterFrame(const uint8_t* data, size_t size) {
    if (!m_canContinue)
        return DecodeStatus::NeedKeyFrame;
    size_t unpacked = 0;
    const uint8_t* payload =
        Unpack(data + kInterHeaderSize, size - kInterHeaderSize, m_compressed, &unpacked);
    const int blocksX = (m_width + m_blockWidth - 1) / m_blockWidth,
              blocksY = (m_height + m_blockHeight - 1) / m_blockHeight;
    const size_t tableSize = VectorTableSize(blocksX, blocksY);
    if (!payload || unpacked < tableSize)
        return DecodeStatus::Malformed;
    // Built beside the picture: vectors read the previous picture, and a bad block further on must
    // leave the last good picture as it was.
    size_t xorAt = tableSize;
    for (int by = 0; by < blocksY; ++by) {
        const int y = by * m_blockHeight, bh = std::min(m_blockHeight, m_height - y);
        for (int bx = 0; bx < blocksX; ++bx) {
            const int x = bx * m_blockWidth, bw = std::min(m_blockWidth, m_width - x);
            const uint8_t* vector = payload + (static_cast<size_t>(by) * blocksX + bx) * 2;
            // The vertical byte holds its vector doubled, like the horizontal one, but no flag.
            if (vector[1] & 1)
                return DecodeStatus::Malformed;
            MoveBlock(x, y, bw, bh, static_cast<int8_t>(vector[0]) >> 1, static_cast<int8_t>(vector[1]) >> 1);
            if (!(vector[0] & kXorFlag))
                continue;
            const size_t rowSize = static_cast<size_t>(bw) * 4;
            if (unpacked - xorAt < rowSize * bh)
                return DecodeStatus::Malformed;
            for (int j = 0; j < bh; ++j) {
                uint8_t* out = &m_next[Offset(x, y + j)];
                for (size_t i = 0; i < rowSize; ++i)
                    out[i] ^= payload[xorAt + i];
                xorAt += rowSize;
            }
        }
    }
    if (xorAt != unpacked)
        return DecodeStatus::Malformed;
    std::swap(m_picture, m_next);
    return DecodeStatus::Ok;
}

// The frame's data after its header, inflated if need be; null when zlib refuses it. The buffer
// holds a byte more than any frame of this picture unpacks to, so the size checks after refuse a
// frame that fills it.
const uint8_t* ZmbvDecoder::Unpack(const uint8_t* data, size_t size, bool compressed, size_t* unpacked) {
    *unpacked = size;
    if (!compressed)
        return data;
    z_stream& z = m_zlib->stream;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = m_payload.get();
    z.avail_out = static_cast<uInt>(m_payloadCapacity);
    const int result = inflate(&z, Z_SYNC_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END)
        return nullptr;
    *unpacked = m_payloadCapacity - z.avail_out;
    return m_payload.get();
}

// Copies the block's source from the previous picture into the next one; what the vector takes
// from outside the picture is zero.
void ZmbvDecoder::MoveBlock(int x, int y, int bw, int bh, int dx, int dy) {
    const int sx = x + dx;
    const int first = std::clamp(-sx, 0, bw), last = std::clamp(m_width - sx, first, bw);
    for (int j = 0; j < bh; ++j) {
        uint8_t* out = &m_next[Offset(x, y + j)];
        const int sy = y + j + dy;
        if (sy < 0 || sy >= m_height || first == last) {
            std::memset(out, 0, static_cast<size_t>(bw) * 4);
            continue;
        }
        std::memset(out, 0, static_cast<size_t>(first) * 4);
        std::memcpy(out + first * 4, &m_picture[Offset(sx + first, sy)],
                    static_cast<size_t>(last - first) * 4);
        std::memset(out + last * 4, 0, static_cast<size_t>(bw - last) * 4);
    }
}

bool ZmbvDecoder::CopyTo(uint8_t* topRow, ptrdiff_t stride, int bitsPerPixel) const {
    const int bytes = bitsPerPixel / 8;
    if (!m_havePicture || (bitsPerPixel != 24 && bitsPerPixel != 32) ||
        std::abs(stride) < static_cast<ptrdiff_t>(m_width) * bytes)
        return false;
    for (int y = 0; y < m_height; ++y) {
        uint8_t* out = topRow + y * stride;
        const uint8_t* in = &m_picture[Offset(0, y)];
        if (bytes == 4) {
            std::memcpy(out, in, static_cast<size_t>(m_width) * 4);
            continue;
        }
        for (int x = 0; x < m_width; ++x, out += 3, in += 4)
            std::memcpy(out, in, 3);
    }
    return true;
}
