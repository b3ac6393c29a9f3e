#include "codec/zmbv_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kKeyFrameFlag = 0x01;
constexpr uint8_t kVersionMajor = 0, kVersionMinor = 1;
constexpr uint8_t kCompressionZlib = 1;
constexpr uint8_t kFormat32Bit = 8;
constexpr size_t kKeyHeaderSize = 7, kInterHeaderSize = 1;
// Vectors are stored doubled in a signed byte, so they reach from -64 to 63.
constexpr int kMaxShift = 63;
constexpr size_t kMaxShiftCandidates = 3;
constexpr int kMinShiftVotes = 4;
// The fourth byte of a grabbed pixel is not colour and may hold leftovers of anti-aliasing.
constexpr uint32_t kColourMask = 0x00FFFFFF;

size_t VectorTableSize(int blocksX, int blocksY) {
    return (static_cast<size_t>(blocksX) * blocksY * 2 + 3) & ~size_t{3};
}

} // namespace

struct ZmbvEncoder::Zlib {
    z_stream stream{};
    ~Zlib() { deflateEnd(&stream); }
};

ZmbvEncoder::ZmbvEncoder(int width, int height, int level)
    : m_width(width), m_height(height), m_blocksX((width + kBlockSize - 1) / kBlockSize),
      m_blocksY((height + kBlockSize - 1) / kBlockSize), m_current(static_cast<size_t>(width) * height),
      m_previous(m_current.size()), m_currentHashes(width, height, kBlockSize),
      m_previousHashes(width, height, kBlockSize) {
    auto zlib = std::make_unique<Zlib>();
    if (width > 0 && height > 0 && deflateInit(&zlib->stream, level) == Z_OK)
        m_zlib = std::move(zlib);
}

ZmbvEncoder::~ZmbvEncoder() = default;

size_t ZmbvEncoder::MaxFrameSize(int width, int height) {
    const int blocksX = (width + kBlockSize - 1) / kBlockSize,
              blocksY = (height + kBlockSize - 1) / kBlockSize;
    const size_t payload = VectorTableSize(blocksX, blocksY) + static_cast<size_t>(width) * height * 4;
    // A sync flush adds an empty stored block (and a partial byte) to what a finished stream needs.
    return kKeyHeaderSize + compressBound(static_cast<uLong>(payload)) + 16;
}

size_t ZmbvEncoder::Encode(const uint8_t* topRow, ptrdiff_t stride, bool keyFrame, uint8_t* out,
                           size_t capacity) {
    if (!m_zlib || capacity < kKeyHeaderSize)
        return 0;
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* row = topRow + y * stride;
        uint32_t* target = &m_current[static_cast<size_t>(y) * m_width];
        std::memcpy(target, row, static_cast<size_t>(m_width) * 4);
        for (int x = 0; x < m_width; ++x)
            target[x] &= kColourMask;
    }
    m_currentHashes.Compute(m_current.data());

    const bool key = keyFrame || !m_haveKeyFrame;
    size_t header = kInterHeaderSize;
    out[0] = key ? kKeyFrameFlag : 0;
    const uint8_t* data;
    size_t size;
    if (key) {
        const uint8_t keyHeader[kKeyHeaderSize - 1] = {kVersionMajor, kVersionMinor, kCompressionZlib,
                                                       kFormat32Bit,  kBlockSize,    kBlockSize};
        std::memcpy(out + 1, keyHeader, sizeof(keyHeader));
        header = kKeyHeaderSize;
        deflateReset(&m_zlib->stream);
        data = reinterpret_cast<const uint8_t*>(m_current.data());
        size = m_current.size() * 4;
    } else {
        BuildInterPayload();
        data = m_payload.data();
        size = m_payload.size();
    }
    const size_t compressed = Deflate(data, size, out + header, capacity - header);
    if (compressed == 0) {
        // The zlib stream is in an unknown state now; only a key frame can restart it.
        m_haveKeyFrame = false;
        return 0;
    }
    m_haveKeyFrame = true;
    std::swap(m_current, m_previous);
    std::swap(m_currentHashes, m_previousHashes);
    return header + compressed;
}

void ZmbvEncoder::BuildInterPayload() {
    const std::vector<int> shifts = zmbv_scroll::EstimateShifts(m_previousHashes, m_currentHashes, kMaxShift,
                                                                kMaxShiftCandidates, kMinShiftVotes);
    const size_t tableSize = VectorTableSize(m_blocksX, m_blocksY);
    m_payload.assign(tableSize, 0);
    for (int by = 0; by < m_blocksY; ++by) {
        const int y = by * kBlockSize, bh = std::min(kBlockSize, m_height - y);
        for (int bx = 0; bx < m_blocksX; ++bx) {
            const int x = bx * kBlockSize, bw = std::min(kBlockSize, m_width - x);
            bool rowsMatch = false;
            const Vector v = ChooseVector(bx, by, bh, shifts, &rowsMatch);
            const size_t entry = (static_cast<size_t>(by) * m_blocksX + bx) * 2;
            m_payload[entry] = static_cast<uint8_t>(v.dx * 2);
            m_payload[entry + 1] = static_cast<uint8_t>(v.dy * 2);
            // Equal hashes only suggest equal rows; different hashes prove a difference.
            if (rowsMatch && BlockEqual(x, y, bw, bh, v))
                continue;
            m_payload[entry] |= 1; // XOR data follows
            const size_t start = m_payload.size();
            m_payload.resize(start + static_cast<size_t>(bw) * bh * 4);
            uint8_t* xored = m_payload.data() + start;
            for (int j = 0; j < bh; ++j) {
                const uint32_t* cur = &m_current[static_cast<size_t>(y + j) * m_width + x];
                const uint32_t* prev = SourceRow(x, y + j, v);
                for (int i = 0; i < bw; ++i) {
                    const uint32_t d = prev ? cur[i] ^ prev[i] : cur[i];
                    std::memcpy(xored, &d, 4);
                    xored += 4;
                }
            }
        }
    }
}

// The vector whose source rows match most of the block's rows by hash; the zero vector wins ties.
ZmbvEncoder::Vector ZmbvEncoder::ChooseVector(int bx, int by, int bh, const std::vector<int>& shifts,
                                              bool* rowsMatch) const {
    const int y = by * kBlockSize;
    auto matchingRows = [&](int dy) {
        int rows = 0;
        for (int j = 0; j < bh; ++j) {
            const int source = y + j + dy;
            rows += source >= 0 && source < m_height &&
                    m_currentHashes.at(bx, y + j) == m_previousHashes.at(bx, source);
        }
        return rows;
    };
    Vector best{0, 0};
    int bestRows = matchingRows(0);
    *rowsMatch = bestRows == bh;
    if (*rowsMatch)
        return best;
    for (int dy : shifts) {
        const int rows = matchingRows(dy);
        if (rows > bestRows) {
            best = {0, dy};
            bestRows = rows;
        }
    }
    *rowsMatch = bestRows == bh;
    return best;
}

bool ZmbvEncoder::BlockEqual(int x, int y, int bw, int bh, Vector v) const {
    for (int j = 0; j < bh; ++j) {
        const uint32_t* cur = &m_current[static_cast<size_t>(y + j) * m_width + x];
        const uint32_t* prev = SourceRow(x, y + j, v);
        if (!prev || std::memcmp(cur, prev, static_cast<size_t>(bw) * 4) != 0)
            return false;
    }
    return true;
}

// The previous picture's row that the vector moves to row y at column x, or null where the decoder
// fills from outside the picture with zeros. Vectors are only ever vertical.
const uint32_t* ZmbvEncoder::SourceRow(int x, int y, Vector v) const {
    const int source = y + v.dy;
    if (source < 0 || source >= m_height)
        return nullptr;
    return &m_previous[static_cast<size_t>(source) * m_width + x + v.dx];
}

size_t ZmbvEncoder::Deflate(const uint8_t* data, size_t size, uint8_t* out, size_t capacity) {
    z_stream& z = m_zlib->stream;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(capacity);
    // A sync flush ends every frame on a byte boundary with all its data out, so the decoder can
    // inflate each frame by itself while the dictionary carries over to the next.
    const int result = deflate(&z, Z_SYNC_FLUSH);
    if (result != Z_OK || z.avail_in != 0 || z.avail_out == 0)
        return 0;
    return capacity - z.avail_out;
}
