#include "codec/pixel_deflate.h"

#include "codec/huffman_code.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// data[start, end) through zlib's inflater as the screen codec's stream holds it: after the bytes
// before start, ending in a sync flush.
Bytes Inflate(const Bytes& data, size_t start, const Bytes& packed) {
    z_stream z{};
    inflateInit2(&z, -15);
    const size_t window = std::min<size_t>(start, 32768);
    if (window > 0)
        inflateSetDictionary(&z, &data[start - window], static_cast<uInt>(window));
    Bytes out(data.size() - start + 1);
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_SYNC_FLUSH);
    out.resize(result == Z_OK && z.avail_in == 0 ? z.total_out : 0);
    inflateEnd(&z);
    return out;
}

Bytes Random(size_t n, int range, std::mt19937& rng) {
    Bytes b(n);
    for (uint8_t& x : b)
        x = static_cast<uint8_t>(rng() % range);
    return b;
}

} // namespace

TEST(PixelDeflate, InflatesToItsInputAfterTheHistoryAndFitsItsBound) {
    std::mt19937 rng(7);
    // Byte frequencies 1, 1, 2, 3, 5, ...: codes of many lengths.
    Bytes skewed;
    for (int a = 1, b = 1, symbol = 0; symbol < 17; std::swap(a, b), b += a, ++symbol)
        skewed.insert(skewed.end(), a, static_cast<uint8_t>(symbol));
    std::shuffle(skewed.begin(), skewed.end(), rng);
    Bytes zeros(100008); // and a last pixel that is not
    zeros.back() = 1;
    // XOR data of a moving picture: 2x2 cells of small differences, no fourth byte.
    Bytes cells(64 * 1024);
    for (size_t i = 0; i < cells.size(); i += 4)
        for (size_t c = 0; c < 3; ++c)
            cells[i + c] = i % 128 >= 64 ? cells[i + c - 64] : i % 8 ? cells[i + c - 4] : rng() % 16;
    Bytes echo = Random(40000, 256, rng); // the last 32 KiB again, the furthest deflate reaches
    echo.insert(echo.end(), echo.end() - 32768, echo.end());
    Bytes far(echo.begin(), echo.begin() + 40000); // its start again, out of reach
    far.insert(far.end(), echo.begin(), echo.begin() + 8000);

    const struct {
        const char* name;
        Bytes data;
        size_t start, most; // the output may not exceed most bytes
    } kCases[] = {
        {"random, odd size: stored", Random(70001, 256, rng), 0, PixelDeflateBound(70001)},
        {"one byte", {42}, 0, 16},
        {"three bytes after one", {1, 2, 3, 4}, 1, 16},
        {"zeros: the longest matches", zeros, 0, 1000},
        {"skewed", skewed, 0, skewed.size()},
        {"cells", cells, 0, 14000},
        {"cells after history", cells, 4096, 14000},
        {"a repeat of the history", echo, 40000, 1200},
        {"a repeat from too far back", far, 0, PixelDeflateBound(far.size())},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const size_t size = c.data.size() - c.start;
        Bytes packed(PixelDeflateBound(size));
        packed.resize(PixelDeflate(&c.data[c.start], size, c.start, packed.data(), packed.size()));
        ASSERT_GT(packed.size(), 4u);
        EXPECT_LE(packed.size(), c.most);
        EXPECT_TRUE(Bytes(packed.end() - 4, packed.end()) == Bytes({0, 0, 0xFF, 0xFF})) << "no sync flush";
        EXPECT_TRUE(Inflate(c.data, c.start, packed) == Bytes(c.data.begin() + c.start, c.data.end()));
        EXPECT_NEAR(double(PixelDeflate(&c.data[c.start], size, c.start, nullptr, 0)), double(packed.size()),
                    2 + size / 4096.0)
            << "the size counted without output";
        Bytes tight(packed.size() - 1);
        EXPECT_EQ(PixelDeflate(&c.data[c.start], size, c.start, tight.data(), tight.size()), 0u);
    }
}

TEST(HuffmanCodeLengths, FormCompleteCodesWithinTheLimitRarerSymbolsNeverShorter) {
    std::vector<uint32_t> fibonacci{1, 1};
    while (fibonacci.size() < 30)
        fibonacci.push_back(fibonacci.end()[-1] + fibonacci.end()[-2]);
    const struct {
        const char* name;
        std::vector<uint32_t> freq;
        int maxBits;
        std::vector<uint8_t> want; // empty: any lengths that pass the checks
    } kCases[] = {
        {"none", {0, 0, 0}, 15, {0, 0, 0}},
        {"one", {0, 9, 0}, 15, {0, 1, 0}},
        {"powers of two", {4, 0, 1, 2, 1}, 15, {1, 0, 3, 2, 3}},
        {"all alike", std::vector<uint32_t>(286, 5), 15, {}},
        {"Fibonacci: 29 bits unlimited", fibonacci, 15, {}},
        {"Fibonacci, code lengths' own code", {fibonacci.begin(), fibonacci.begin() + 19}, 7, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const int n = static_cast<int>(c.freq.size());
        std::vector<uint8_t> lengths(n);
        HuffmanCodeLengths(c.freq.data(), n, c.maxBits, lengths.data());
        EXPECT_TRUE(c.want.empty() || lengths == c.want);
        uint64_t kraft = 0;
        for (int s = 0; s < n; ++s) {
            EXPECT_EQ(c.freq[s] == 0, lengths[s] == 0) << "symbol " << s;
            EXPECT_LE(lengths[s], c.maxBits);
            kraft += lengths[s] ? uint64_t{1} << (c.maxBits - lengths[s]) : 0;
            for (int t = 0; t < n; ++t)
                EXPECT_FALSE(c.freq[t] > c.freq[s] && c.freq[s] > 0 && lengths[t] > lengths[s])
                    << t << " over " << s;
        }
        const bool several =
            std::count_if(c.freq.begin(), c.freq.end(), [](uint32_t f) { return f > 0; }) > 1;
        EXPECT_TRUE(!several || kraft == uint64_t{1} << c.maxBits) << "not a complete code";
    }
}
