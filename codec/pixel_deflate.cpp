#include "codec/pixel_deflate.h"

#include "codec/huffman_code.h"
#include "platform/little_endian.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace {

using little_endian::LoadU32;
using little_endian::LoadU64;

constexpr size_t kPixel = 4;
constexpr size_t kMaxDistance = 32768;
// Deflate's longest match, 258, in whole pixels.
constexpr size_t kMaxMatch = 256;
// The rows of a changed block's XOR data follow each other 16 pixels apart.
constexpr size_t kBlockRow = 64;
// A single pixel from further back costs more in its distance's extra bits than its bytes do.
constexpr size_t kNearby = 256;
constexpr int kHashBits = 15;
// Symbols per block: each block gets codes of its own, fitted to its part of the picture.
constexpr size_t kBlockSymbols = 8 * 1024;
constexpr size_t kStoredMax = 65535;
// A stored block costs its three header bits, at most seven more to the byte boundary and 4 bytes.
constexpr size_t kStoredOverhead = 5;

constexpr int kEndOfBlock = 256, kFirstLengthCode = 257;
constexpr int kLitLenCodes = 286, kDistanceCodes = 30, kCodeLengthCodes = 19;
constexpr int kMaxBits = kHuffmanLongestCode, kMaxCodeLengthBits = 7;
constexpr uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// The length code (0-28) of every match length up to kMaxMatch and the byte a match may take back.
constexpr std::array<uint8_t, kMaxMatch + 2> kLengthCode = [] {
    std::array<uint8_t, kMaxMatch + 2> codes{};
    for (uint8_t code = 0; code < 28; ++code)
        for (int n = kLengthBase[code]; n < kLengthBase[code] + (1 << kLengthExtraBits[code]); ++n)
            if (n <= static_cast<int>(kMaxMatch) + 1)
                codes[n] = code;
    return codes;
}();

struct DistanceCode {
    int code, extraBits;
    uint32_t extra;
};

DistanceCode CodeOfDistance(uint32_t distance) {
    const uint32_t d = distance - 1;
    if (d < 4)
        return {static_cast<int>(d), 0, 0};
    const int top = 31 - __builtin_clz(d), extraBits = top - 1;
    return {2 * top + static_cast<int>((d >> extraBits) & 1), extraBits, d & ((1u << extraBits) - 1)};
}

int DistanceExtraBits(int code) {
    return code < 4 ? 0 : code / 2 - 1;
}

// The extra bits of the code-length code's run symbols: 16 repeats the last length, 17 and 18 zeros.
int RunExtraBits(int symbol) {
    return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0;
}

// How many whole pixels at a repeat those at b, up to limit bytes (a multiple of kPixel). Loaded least
// significant byte first, the lowest differing bit is in the first differing byte.
size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    for (; n + 8 <= limit; n += 8) {
        const uint64_t diff = LoadU64(a + n) ^ LoadU64(b + n);
        if (diff != 0)
            return (n + static_cast<size_t>(__builtin_ctzll(diff)) / 8) & ~(kPixel - 1);
    }
    if (n < limit && LoadU32(a + n) == LoadU32(b + n))
        n += kPixel;
    return n;
}

// Canonical codes for the lengths, bit-reversed as deflate sends them first bit first.
void AssignCodes(const uint8_t* lengths, int n, uint16_t* codes) {
    int counts[kMaxBits + 1] = {};
    for (int s = 0; s < n; ++s)
        ++counts[lengths[s]];
    counts[0] = 0;
    uint32_t next[kMaxBits + 1] = {}, code = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + static_cast<uint32_t>(counts[bits - 1])) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int bits = lengths[s];
        uint32_t c = bits ? next[bits]++ : 0, reversed = 0;
        for (int i = 0; i < bits; ++i, c >>= 1)
            reversed = (reversed << 1) | (c & 1);
        codes[s] = static_cast<uint16_t>(reversed);
    }
}

class BitWriter {
public:
    BitWriter(uint8_t* out, size_t capacity) : m_out(out), m_capacity(capacity) {}
    // Without an output only the bytes are counted.
    bool counting() const { return m_out == nullptr; }
    void Skip(size_t bytes) { m_size += bytes; }
    // Room for so many more bytes, counting the bits not yet written out.
    bool Has(size_t bytes) const { return m_size + (m_count + 7) / 8 + bytes <= m_capacity; }
    size_t size() const { return m_size; }
    // Up to 32 bits at a time.
    void Put(uint32_t value, int count) {
        m_bits |= static_cast<uint64_t>(value) << m_count;
        m_count += count;
        if (m_count >= 32) {
            little_endian::StoreU32(m_out + m_size, static_cast<uint32_t>(m_bits));
            m_size += 4;
            m_bits >>= 32;
            m_count -= 32;
        }
    }
    void AlignToByte() {
        for (; m_count > 0; m_count -= std::min(m_count, 8)) {
            m_out[m_size++] = static_cast<uint8_t>(m_bits);
            m_bits >>= 8;
        }
        m_bits = 0;
    }
    void PutBytes(const uint8_t* data, size_t size) {
        std::memcpy(m_out + m_size, data, size);
        m_size += size;
    }

private:
    uint8_t* m_out;
    size_t m_capacity, m_size = 0;
    uint64_t m_bits = 0;
    int m_count = 0;
};

// A literal is its byte; a match its length in the low half and its distance in the high half.
using Symbol = uint32_t;

class BlockWriter {
public:
    explicit BlockWriter(BitWriter& out) : m_out(out) {}

    void Literal(uint8_t byte) {
        m_symbols[m_count++] = byte;
        ++m_litLenFreq[byte];
    }
    void Match(size_t length, size_t distance) {
        m_symbols[m_count++] = static_cast<Symbol>(length | distance << 16);
        ++m_litLenFreq[kFirstLengthCode + kLengthCode[length]];
        ++m_distanceFreq[CodeOfDistance(static_cast<uint32_t>(distance)).code];
    }
    // Takes back the last literal when it is the given byte, so that a match can begin with it: the
    // fourth byte of the pixel before a match's usually matches too.
    bool TakeBack(uint8_t byte) {
        if (m_count == 0 || m_symbols[m_count - 1] != byte)
            return false;
        --m_count;
        --m_litLenFreq[byte];
        return true;
    }
    bool Full() const { return m_count + kPixel > kBlockSymbols; }

    // Ends the block that holds raw[0, size) as symbols: with its own codes, or stored where that is
    // smaller. False when it does not fit.
    bool Finish(const uint8_t* raw, size_t size);

private:
    size_t DynamicBits();
    void WriteStored(const uint8_t* raw, size_t size);
    void WriteDynamic();

    BitWriter& m_out;
    std::unique_ptr<Symbol[]> m_symbols{new Symbol[kBlockSymbols]};
    size_t m_count = 0;
    uint32_t m_litLenFreq[kLitLenCodes] = {}, m_distanceFreq[kDistanceCodes] = {};
    uint8_t m_litLenBits[kLitLenCodes], m_distanceBits[kDistanceCodes], m_codeLengthBits[kCodeLengthCodes];
    uint16_t m_litLenCodes[kLitLenCodes], m_distanceCodes[kDistanceCodes],
        m_codeLengthCodes[kCodeLengthCodes];
    // The code lengths of both codes, run-length coded: symbol in the low byte, its extra bits above.
    uint16_t m_lengthRuns[kLitLenCodes + kDistanceCodes];
    size_t m_runCount = 0;
    int m_litLenUsed = 0, m_distanceUsed = 0, m_codeLengthUsed = 0;
};

size_t BlockWriter::DynamicBits() {
    m_litLenFreq[kEndOfBlock] = 1;
    HuffmanCodeLengths(m_litLenFreq, kLitLenCodes, kMaxBits, m_litLenBits);
    // A block of literals sends one distance code of no bits, a block of one distance a 1-bit code.
    HuffmanCodeLengths(m_distanceFreq, kDistanceCodes, kMaxBits, m_distanceBits);
    AssignCodes(m_litLenBits, kLitLenCodes, m_litLenCodes);
    AssignCodes(m_distanceBits, kDistanceCodes, m_distanceCodes);
    m_litLenUsed = kLitLenCodes;
    while (m_litLenBits[m_litLenUsed - 1] == 0)
        --m_litLenUsed;
    m_distanceUsed = kDistanceCodes;
    while (m_distanceUsed > 1 && m_distanceBits[m_distanceUsed - 1] == 0)
        --m_distanceUsed;

    uint8_t all[kLitLenCodes + kDistanceCodes];
    std::copy_n(m_litLenBits, m_litLenUsed, all);
    std::copy_n(m_distanceBits, m_distanceUsed, all + m_litLenUsed);
    const int total = m_litLenUsed + m_distanceUsed;
    uint32_t codeLengthFreq[kCodeLengthCodes] = {};
    m_runCount = 0;
    auto run = [&](int symbol, int extra) {
        m_lengthRuns[m_runCount++] = static_cast<uint16_t>(symbol | extra << 8);
        ++codeLengthFreq[symbol];
    };
    for (int i = 0; i < total;) {
        const uint8_t bits = all[i];
        int n = 1;
        while (i + n < total && all[i + n] == bits)
            ++n;
        i += n;
        if (bits == 0) {
            for (; n >= 11; n -= std::min(n, 138))
                run(18, std::min(n, 138) - 11);
            if (n >= 3) {
                run(17, n - 3);
                n = 0;
            }
        } else {
            run(bits, 0);
            for (--n; n >= 3; n -= std::min(n, 6))
                run(16, std::min(n, 6) - 3);
        }
        for (; n > 0; --n)
            run(bits, 0);
    }
    HuffmanCodeLengths(codeLengthFreq, kCodeLengthCodes, kMaxCodeLengthBits, m_codeLengthBits);
    AssignCodes(m_codeLengthBits, kCodeLengthCodes, m_codeLengthCodes);
    m_codeLengthUsed = kCodeLengthCodes;
    while (m_codeLengthUsed > 4 && m_codeLengthBits[kCodeLengthOrder[m_codeLengthUsed - 1]] == 0)
        --m_codeLengthUsed;

    size_t bits = 3 + 5 + 5 + 4 + 3 * static_cast<size_t>(m_codeLengthUsed);
    for (size_t i = 0; i < m_runCount; ++i) {
        const int symbol = m_lengthRuns[i] & 0xFF;
        bits += m_codeLengthBits[symbol] + RunExtraBits(symbol);
    }
    for (int s = 0; s < kLitLenCodes; ++s) {
        const int code = s - kFirstLengthCode;
        bits +=
            m_litLenFreq[s] * static_cast<size_t>(m_litLenBits[s] + (code >= 0 ? kLengthExtraBits[code] : 0));
    }
    for (int s = 0; s < kDistanceCodes; ++s)
        bits += m_distanceFreq[s] * static_cast<size_t>(m_distanceBits[s] + DistanceExtraBits(s));
    return bits;
}

bool BlockWriter::Finish(const uint8_t* raw, size_t size) {
    const size_t dynamicBytes = (DynamicBits() + 7) / 8;
    const size_t storedBytes = size + kStoredOverhead * ((size + kStoredMax - 1) / kStoredMax);
    const bool stored = storedBytes <= dynamicBytes;
    if (m_out.counting())
        m_out.Skip(stored ? storedBytes : dynamicBytes);
    else if (!m_out.Has(stored ? storedBytes : dynamicBytes))
        return false;
    else if (stored)
        WriteStored(raw, size);
    else
        WriteDynamic();
    m_count = 0;
    std::fill_n(m_litLenFreq, kLitLenCodes, 0);
    std::fill_n(m_distanceFreq, kDistanceCodes, 0);
    return true;
}

void BlockWriter::WriteStored(const uint8_t* raw, size_t size) {
    do {
        const size_t n = std::min(size, kStoredMax);
        m_out.Put(0, 3); // not the last block, stored
        m_out.AlignToByte();
        m_out.Put(static_cast<uint32_t>(n | (n ^ 0xFFFF) << 16), 32);
        m_out.PutBytes(raw, n);
        raw += n;
        size -= n;
    } while (size > 0);
}

void BlockWriter::WriteDynamic() {
    m_out.Put(2 << 1, 3); // not the last block, dynamic codes
    m_out.Put(static_cast<uint32_t>(m_litLenUsed - 257), 5);
    m_out.Put(static_cast<uint32_t>(m_distanceUsed - 1), 5);
    m_out.Put(static_cast<uint32_t>(m_codeLengthUsed - 4), 4);
    for (int i = 0; i < m_codeLengthUsed; ++i)
        m_out.Put(m_codeLengthBits[kCodeLengthOrder[i]], 3);
    for (size_t i = 0; i < m_runCount; ++i) {
        const int symbol = m_lengthRuns[i] & 0xFF, extra = m_lengthRuns[i] >> 8;
        m_out.Put(m_codeLengthCodes[symbol], m_codeLengthBits[symbol]);
        if (symbol >= 16)
            m_out.Put(static_cast<uint32_t>(extra), RunExtraBits(symbol));
    }
    for (size_t i = 0; i < m_count; ++i) {
        const Symbol s = m_symbols[i];
        const uint32_t distance = s >> 16;
        if (distance == 0) {
            m_out.Put(m_litLenCodes[s], m_litLenBits[s]);
            continue;
        }
        const size_t length = s & 0xFFFF;
        const int code = kLengthCode[length], symbol = kFirstLengthCode + code;
        m_out.Put(m_litLenCodes[symbol] | static_cast<uint32_t>(length - kLengthBase[code])
                                              << m_litLenBits[symbol],
                  m_litLenBits[symbol] + kLengthExtraBits[code]);
        const DistanceCode d = CodeOfDistance(distance);
        m_out.Put(m_distanceCodes[d.code] | d.extra << m_distanceBits[d.code],
                  m_distanceBits[d.code] + d.extraBits);
    }
    m_out.Put(m_litLenCodes[kEndOfBlock], m_litLenBits[kEndOfBlock]);
}

uint32_t Hash(uint32_t pixel) {
    return (pixel * 2654435761u) >> (32 - kHashBits);
}

} // namespace

size_t PixelDeflateBound(size_t size) {
    // Every block may be stored: one stored block per kStoredMax bytes and one more per block of
    // symbols, which at one symbol a byte ends after kBlockSymbols - kPixel bytes at the least. Then
    // the closing empty block.
    const size_t blocks = size / (kBlockSymbols - kPixel) + 1;
    return size + kStoredOverhead * (size / kStoredMax + blocks + 1);
}

size_t PixelDeflate(const uint8_t* data, size_t size, size_t history, uint8_t* out, size_t capacity) {
    BitWriter bits(out, capacity);
    BlockWriter block(bits);
    // Positions are kept one past their offset from the start of the history; 0 is none.
    const size_t reach = std::min(history, kMaxDistance) & ~(kPixel - 1);
    auto last = std::make_unique<uint32_t[]>(size_t{1} << kHashBits);
    for (size_t back = reach; back > 0; back -= kPixel)
        last[Hash(LoadU32(data - back))] = static_cast<uint32_t>(reach - back + 1);

    const size_t pixels = size & ~(kPixel - 1);
    size_t at = 0, blockStart = 0, repeat = kPixel;
    while (at < size) {
        if (at < pixels) {
            const uint32_t here = LoadU32(data + at);
            const size_t limit = std::min(kMaxMatch, pixels - at);
            size_t bestLength = 0, bestDistance = 0;
            auto consider = [&](size_t distance) {
                if (distance > at + reach || distance > kMaxDistance || LoadU32(data + at - distance) != here)
                    return;
                const size_t n = MatchLength(data + at, data + at - distance, limit);
                if (n > bestLength && (n > kPixel || distance <= kNearby)) {
                    bestLength = n;
                    bestDistance = distance;
                }
            };
            consider(repeat);
            consider(kPixel);
            consider(2 * kPixel);
            consider(kBlockRow);
            uint32_t& seen = last[Hash(here)];
            if (seen != 0)
                consider(at + reach + 1 - seen);
            seen = static_cast<uint32_t>(at + reach + 1);
            if (bestLength > 0) {
                const bool back = bestDistance < at + reach && block.TakeBack(data[at - 1 - bestDistance]);
                block.Match(bestLength + back, bestDistance);
                repeat = bestDistance;
                at += bestLength;
            } else {
                for (size_t i = 0; i < kPixel; ++i)
                    block.Literal(data[at + i]);
                at += kPixel;
            }
        } else {
            block.Literal(data[at++]);
        }
        if (block.Full() || at == size) {
            if (!block.Finish(data + blockStart, at - blockStart))
                return 0;
            blockStart = at;
        }
    }
    // The sync flush's empty stored block.
    if (bits.counting())
        return bits.size() + kStoredOverhead;
    if (!bits.Has(kStoredOverhead))
        return 0;
    bits.Put(0, 3);
    bits.AlignToByte();
    bits.Put(0xFFFF0000u, 32);
    return bits.size();
}
