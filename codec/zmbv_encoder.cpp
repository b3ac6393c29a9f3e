#include "codec/zmbv_encoder.h"

#include "codec/pixel_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// Where a changed block that no scroll explains looks for a better source. In moving pictures the
// block's own past is rarely the best: content a block or two away often XORs to fewer significant
// bits, and whole-block steps keep the 2x2 colour cells of decoded video aligned.
constexpr int kSearchOffsets[] = {-32, -16, 0, 16, 32};
constexpr uint32_t kSwitchMargin = 32;
constexpr size_t kFinalists = 3;
// Input that deflate shrinks to less than a quarter of its size keeps zlib's usual effort; poorer
// input (moving pictures, photographs) gets little from long searches for matches, which are then
// most of deflate's time. Judged after every slice of a frame.
constexpr int kLevel = 6, kQuickLevel = 4;
constexpr size_t kSliceSize = 64 * 1024;
constexpr uLong kQuickRatio = 4;
// The XOR data of moving pictures comes out of the pixel deflater about as small as out of zlib, in a
// fraction of the time; text and drawings come out far larger. So a stream whose data deflated to an
// eighth or more also measures what the pixel deflater would make of it, and takes that deflater
// from the next frame on while it is no more than 1/32 larger, until the data shrinks further.
constexpr size_t kPixelRatio = 8, kPixelSlack = 32;
// Data from this size up is deflated in two halves at once, the second primed with the window of input
// before it: on moving pictures deflate is most of a frame's time, and a second core is usually idle.
constexpr size_t kSplitSize = 256 * 1024;
constexpr size_t kWindowSize = 32 * 1024;
// The stream is raw deflate, so that a half can be primed; a key frame starts it with zlib's header.
constexpr uint8_t kZlibHeader[2] = {0x78, 0x9C};
// No masked pixel has this value, so the first pixel of a row never repeats its "left neighbour".
constexpr uint32_t kNoPixel = 0xFFFFFFFF;

size_t DeflateBound(size_t size) {
    return std::max<size_t>(compressBound(static_cast<uLong>(size)), PixelDeflateBound(size));
}

size_t VectorTableSize(int blocksX, int blocksY) {
    return (static_cast<size_t>(blocksX) * blocksY * 2 + 3) & ~size_t{3};
}

// What a row's XOR data is likely to cost once deflated, in arbitrary units: a pixel whose XOR
// repeats its left neighbour's rides along in a match, any other costs more the more significant bits
// its bytes hold (each byte 1 + the number of the thresholds 1, 4, 16 and 64 it reaches).
uint32_t XorRowCost(const uint32_t* cur, const uint32_t* prev, int width) {
    int i = 0;
    uint32_t cost = 0, left = kNoPixel;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), five = _mm_set1_epi8(5);
    __m128i carry = _mm_cvtsi32_si128(static_cast<int>(kNoPixel)), sum = zero;
    for (; i + 4 <= width; i += 4) {
        const __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + i)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + i)));
        const __m128i same = _mm_cmpeq_epi32(x, _mm_or_si128(_mm_slli_si128(x, 4), carry));
        carry = _mm_srli_si128(x, 12);
        // Each byte below a threshold takes one off its 5.
        __m128i bytes = five;
        bytes = _mm_add_epi8(bytes, _mm_cmpeq_epi8(x, zero));
        bytes = _mm_add_epi8(bytes, _mm_cmpeq_epi8(_mm_subs_epu8(x, _mm_set1_epi8(3)), zero));
        bytes = _mm_add_epi8(bytes, _mm_cmpeq_epi8(_mm_subs_epu8(x, _mm_set1_epi8(15)), zero));
        bytes = _mm_add_epi8(bytes, _mm_cmpeq_epi8(_mm_subs_epu8(x, _mm_set1_epi8(63)), zero));
        sum = _mm_add_epi64(sum, _mm_sad_epu8(_mm_andnot_si128(same, bytes), zero));
    }
    cost = static_cast<uint32_t>(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
    if (i > 0)
        left = cur[i - 1] ^ prev[i - 1];
#endif
    for (; i < width; ++i) {
        const uint32_t x = cur[i] ^ prev[i];
        if (x != left)
            for (int k = 0; k < 32; k += 8) {
                const uint32_t b = (x >> k) & 0xFF;
                cost += 1 + (b >= 1) + (b >= 4) + (b >= 16) + (b >= 64);
            }
        left = x;
    }
    return cost;
}

} // namespace

// The deflater of one half of a frame's data (of all of it when the frame is not split): a zlib
// stream, and the pixel deflater beside it.
struct ZmbvEncoder::Deflater {
    z_stream stream{};
    bool quick = false;
    bool ready = deflateInit2(&stream, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    ~Deflater() { deflateEnd(&stream); }
    void Reset() {
        // A reset keeps the level, so a quick one has to be undone by hand.
        deflateReset(&stream);
        SetQuick(false);
        pixels = false;
    }
    void SetQuick(bool on) {
        // Both levels match lazily, so zlib switches without ending a block.
        if (on == quick || deflateParams(&stream, on ? kQuickLevel : kLevel, Z_DEFAULT_STRATEGY) != Z_OK)
            return;
        quick = on;
        // The quick level's own chains, shortened further: on such input longer ones rarely find more.
        if (quick)
            deflateTune(&stream, 4, 4, 16, 4);
    }
    // Through zlib or the pixel deflater, which zlib's stream then lags behind. Window: the kWindowSize
    // bytes the inflater holds before data, which zlib must see when it lags; history: how many bytes
    // before data the pixel deflater may reach. A key frame's pixels say nothing of the XOR data after
    // them, so its data is not measured for the pixel deflater.
    size_t Compress(const uint8_t* data, size_t size, const uint8_t* window, size_t history, bool key,
                    uint8_t* out, size_t capacity);
    bool pixels = false, bypassed = false;

private:
    size_t Deflate(const uint8_t* data, size_t size, uint8_t* out, size_t capacity);
};

// Runs one job at a time on a thread of its own, started with the first; on this thread when no
// thread can be had.
class ZmbvEncoder::Helper {
public:
    ~Helper() {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    void Start(std::function<void()> job) {
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                job();
                return;
            }
        }
        {
            std::lock_guard lock(m_mutex);
            m_job = std::move(job);
        }
        m_changed.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_job; });
    }

private:
    void Run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_quit || m_job; });
            if (m_quit)
                return;
            lock.unlock();
            m_job();
            lock.lock();
            m_job = nullptr;
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_job;
    bool m_quit = false;
    std::thread m_thread;
};

ZmbvEncoder::ZmbvEncoder(int width, int height)
    : m_width(width), m_height(height), m_blocksX((width + kBlockSize - 1) / kBlockSize),
      m_blocksY((height + kBlockSize - 1) / kBlockSize), m_current(static_cast<size_t>(width) * height),
      m_previous(m_current.size()), m_currentHashes(width, height, kBlockSize),
      m_previousHashes(width, height, kBlockSize),
      m_payload(new uint8_t[VectorTableSize(m_blocksX, m_blocksY) + m_current.size() * 4]) {
    auto first = std::make_unique<Deflater>(), second = std::make_unique<Deflater>();
    if (width > 0 && height > 0 && first->ready && second->ready) {
        m_firstHalf = std::move(first);
        m_secondHalf = std::move(second);
    }
}

ZmbvEncoder::~ZmbvEncoder() = default;

size_t ZmbvEncoder::MaxFrameSize(int width, int height) {
    const int blocksX = (width + kBlockSize - 1) / kBlockSize,
              blocksY = (height + kBlockSize - 1) / kBlockSize;
    const size_t payload = VectorTableSize(blocksX, blocksY) + static_cast<size_t>(width) * height * 4;
    // Each half ends in a sync flush, an empty stored block (and a partial byte) beyond what a finished
    // stream needs; halves in two bounded areas need a little more than the whole.
    return kKeyHeaderSize + sizeof(kZlibHeader) + DeflateBound(payload) + 64;
}

size_t ZmbvEncoder::Encode(const uint8_t* topRow, ptrdiff_t stride, bool keyFrame, uint8_t* out,
                           size_t capacity) {
    if (!m_firstHalf || capacity < kKeyHeaderSize)
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
        const uint8_t keyHeader[kKeyHeaderSize + sizeof(kZlibHeader) - 1] = {
            kVersionMajor, kVersionMinor, kCompressionZlib, kFormat32Bit,
            kBlockSize,    kBlockSize,    kZlibHeader[0],   kZlibHeader[1]};
        header = kKeyHeaderSize + sizeof(kZlibHeader);
        if (capacity < header)
            return 0;
        std::memcpy(out + 1, keyHeader, sizeof(keyHeader));
        m_firstHalf->Reset();
        m_secondHalf->Reset();
        m_firstLags = false;
        data = reinterpret_cast<const uint8_t*>(m_current.data());
        size = m_current.size() * 4;
    } else {
        data = m_payload.get();
        size = BuildInterPayload();
    }
    const bool split = size >= kSplitSize && capacity >= MaxFrameSize(m_width, m_height);
    const size_t compressed = Deflate(data, size, split, key, out + header, capacity - header);
    if (compressed == 0) {
        // The deflate stream is in an unknown state now; only a key frame can restart it.
        m_haveKeyFrame = false;
        return 0;
    }
    m_haveKeyFrame = true;
    std::swap(m_current, m_previous);
    std::swap(m_currentHashes, m_previousHashes);
    return header + compressed;
}

size_t ZmbvEncoder::BuildInterPayload() {
    const std::vector<int> shifts = zmbv_scroll::EstimateShifts(m_previousHashes, m_currentHashes, kMaxShift,
                                                                kMaxShiftCandidates, kMinShiftVotes);
    const size_t tableSize = VectorTableSize(m_blocksX, m_blocksY);
    std::fill_n(m_payload.get(), tableSize, 0);
    size_t size = tableSize;
    for (int by = 0; by < m_blocksY; ++by) {
        const int y = by * kBlockSize, bh = std::min(kBlockSize, m_height - y);
        for (int bx = 0; bx < m_blocksX; ++bx) {
            const int x = bx * kBlockSize, bw = std::min(kBlockSize, m_width - x);
            bool rowsMatch = false;
            Vector v = ChooseVector(bx, by, bh, shifts, &rowsMatch);
            // Equal hashes only suggest equal rows; different hashes prove a difference.
            const bool same = rowsMatch && BlockEqual(x, y, bw, bh, v);
            if (!rowsMatch)
                v = SearchVector(x, y, bw, bh, v);
            const size_t entry = (static_cast<size_t>(by) * m_blocksX + bx) * 2;
            m_payload[entry] = static_cast<uint8_t>(v.dx * 2);
            m_payload[entry + 1] = static_cast<uint8_t>(v.dy * 2);
            if (same)
                continue;
            m_payload[entry] |= 1; // XOR data follows
            for (int j = 0; j < bh; ++j) {
                const uint32_t* cur = &m_current[static_cast<size_t>(y + j) * m_width + x];
                uint8_t* xored = &m_payload[size];
                size += static_cast<size_t>(bw) * 4;
                const uint32_t* prev = SourceRow(x, y + j, v);
                if (!prev) {
                    std::memcpy(xored, cur, static_cast<size_t>(bw) * 4);
                    continue;
                }
                for (int i = 0; i < bw; ++i) {
                    const uint32_t d = cur[i] ^ prev[i];
                    std::memcpy(xored + i * 4, &d, 4);
                }
            }
        }
    }
    return size;
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

// The candidate whose XOR data looks cheapest; the given vector wins ties. Every fourth row ranks the
// candidates, and only the cheapest few are measured on the rows in between as well.
ZmbvEncoder::Vector ZmbvEncoder::SearchVector(int x, int y, int bw, int bh, Vector v) const {
    struct Candidate {
        Vector v;
        uint32_t cost;
    };
    Candidate finalists[kFinalists];
    size_t count = 0;
    for (int dy : kSearchOffsets)
        for (int dx : kSearchOffsets) {
            if ((dx == v.dx && dy == v.dy) || x + dx < 0 || x + dx + bw > m_width || y + dy < 0 ||
                y + dy + bh > m_height)
                continue;
            const uint32_t bound = count == kFinalists ? finalists[count - 1].cost : UINT32_MAX;
            const uint32_t cost = BlockCost(x, y, bw, bh, {dx, dy}, 0, bound);
            if (cost >= bound)
                continue;
            size_t at = std::min(count, kFinalists - 1);
            for (; at > 0 && finalists[at - 1].cost > cost; --at)
                finalists[at] = finalists[at - 1];
            finalists[at] = {{dx, dy}, cost};
            count = std::min(count + 1, kFinalists);
        }
    const uint32_t ownCost =
        BlockCost(x, y, bw, bh, v, 0, UINT32_MAX) + BlockCost(x, y, bw, bh, v, 2, UINT32_MAX);
    Vector best = v;
    // Another source must look clearly cheaper: the estimate knows nothing of matches with earlier
    // data, and the block's own past (or its scroll) tends to share the most with it.
    uint32_t bestCost = ownCost > kSwitchMargin ? ownCost - kSwitchMargin : 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t cost = finalists[i].cost + BlockCost(x, y, bw, bh, finalists[i].v, 2, bestCost);
        if (cost < bestCost) {
            best = finalists[i].v;
            bestCost = cost;
        }
    }
    return best;
}

// The block's XOR cost estimate over every fourth row from row first, or any figure from bound up once
// it is clear that it reaches bound.
uint32_t ZmbvEncoder::BlockCost(int x, int y, int bw, int bh, Vector v, int first, uint32_t bound) const {
    static const uint32_t kZeros[kBlockSize] = {};
    uint32_t cost = 0;
    for (int j = first; j < bh && cost < bound; j += 4) {
        const uint32_t* prev = SourceRow(x, y + j, v);
        cost += XorRowCost(&m_current[static_cast<size_t>(y + j) * m_width + x], prev ? prev : kZeros, bw);
    }
    return cost;
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
// fills from outside the picture with zeros. Only vertical vectors reach outside the picture.
const uint32_t* ZmbvEncoder::SourceRow(int x, int y, Vector v) const {
    const int source = y + v.dy;
    if (source < 0 || source >= m_height)
        return nullptr;
    return &m_previous[static_cast<size_t>(source) * m_width + x + v.dx];
}

// The data through the stream, in two halves at once when split; 0 when it does not fit.
size_t ZmbvEncoder::Deflate(const uint8_t* data, size_t size, bool split, bool key, uint8_t* out,
                            size_t capacity) {
    const size_t half = split ? size / 2 & ~size_t{3} : size;
    const size_t firstRoom = split ? DeflateBound(half) + 32 : capacity;
    size_t second = 0;
    if (split) {
        if (!m_helper)
            m_helper = std::make_unique<Helper>();
        m_helper->Start([&, this] {
            second = m_secondHalf->Compress(data + half, size - half, data + half - kWindowSize, half, key,
                                            out + firstRoom, capacity - firstRoom);
        });
    }
    // After a split or a bypass the first stream missed the frame's end: the window the decoder holds.
    const size_t first =
        m_firstHalf->Compress(data, half, m_firstLags ? m_history.data() : nullptr, 0, key, out, firstRoom);
    if (split) {
        m_helper->Wait();
        std::memmove(out + first, out + firstRoom, second);
    }
    if (first == 0 || (split && second == 0))
        return 0;
    m_firstLags = split || m_firstHalf->bypassed;
    if (m_firstLags)
        m_history.assign(data + size - kWindowSize, data + size);
    return first + second;
}

size_t ZmbvEncoder::Deflater::Compress(const uint8_t* data, size_t size, const uint8_t* window,
                                       size_t history, bool key, uint8_t* out, size_t capacity) {
    bypassed = pixels && size >= kSliceSize;
    if (bypassed) {
        const size_t written = PixelDeflate(data, size, history, out, capacity);
        pixels = written * kPixelRatio > size;
        return written;
    }
    if (window && deflateSetDictionary(&stream, window, kWindowSize) != Z_OK)
        return 0;
    const size_t written = Deflate(data, size, out, capacity);
    pixels = written > 0 && !key && size >= kSliceSize && written * kPixelRatio > size &&
             PixelDeflate(data, size, history, nullptr, 0) <= written + written / kPixelSlack;
    return written;
}

size_t ZmbvEncoder::Deflater::Deflate(const uint8_t* data, size_t size, uint8_t* out, size_t capacity) {
    z_stream& z = stream;
    z.next_in = const_cast<Bytef*>(data);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(capacity);
    const uLong in = z.total_in, produced = z.total_out;
    size_t left = size;
    do {
        const size_t slice = std::min(left, kSliceSize);
        left -= slice;
        z.avail_in = static_cast<uInt>(slice);
        // A sync flush ends every frame on a byte boundary with all its data out, so the decoder can
        // inflate each frame by itself while the dictionary carries over to the next.
        const int result = deflate(&z, left == 0 ? Z_SYNC_FLUSH : Z_NO_FLUSH);
        if (result != Z_OK || z.avail_in != 0 || z.avail_out == 0)
            return 0;
        // zlib holds back output until a block is full, so only the frame so far gives a fair
        // measure; the last one carries over to the next frame's start.
        const uLong read = z.total_in - in;
        SetQuick(read >= kSliceSize && (z.total_out - produced) * kQuickRatio > read);
    } while (left > 0);
    return capacity - z.avail_out;
}
