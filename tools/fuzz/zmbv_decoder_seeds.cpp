// Writes seed inputs for zmbv_decoder_fuzz (same layout: size bytes, then frames with two-byte
// sizes): sequences from our encoder at a few sizes and key-frame intervals, and stored frames
// with random vectors, which the fuzzer can change without breaking a zlib stream.
#include "codec/zmbv_encoder.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

void AddFrame(std::vector<uint8_t>& input, const std::vector<uint8_t>& frame) {
    input.push_back(static_cast<uint8_t>(frame.size()));
    input.push_back(static_cast<uint8_t>(frame.size() >> 8));
    input.insert(input.end(), frame.begin(), frame.end());
}

void Write(const std::string& path, const std::vector<uint8_t>& input) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(input.data(), 1, input.size(), f);
        std::fclose(f);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const std::string dir = argv[1];
    std::mt19937 rng(1);
    const int sizes[][2] = {{1, 1}, {5, 3}, {17, 9}, {33, 20}, {40, 37}};
    for (auto [w, h] : sizes)
        for (int keyEvery : {0, 2}) {
            std::vector<uint8_t> input = {static_cast<uint8_t>(w - 1), static_cast<uint8_t>(h - 1)};
            std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = i % 7 < 3 ? 0x00203040 : 0x00E0D0C0;
            ZmbvEncoder encoder(w, h);
            std::vector<uint8_t> frame(ZmbvEncoder::MaxFrameSize(w, h));
            for (int k = 0; k < 5; ++k) {
                const size_t n = encoder.Encode(reinterpret_cast<const uint8_t*>(pixels.data()), w * 4,
                                                keyEvery && k % keyEvery == 0, frame.data(), frame.size());
                AddFrame(input, {frame.begin(), frame.begin() + n});
                // Scroll up by a row and change a few pixels.
                std::rotate(pixels.begin(), pixels.begin() + w, pixels.end());
                for (int c = 0; c < 3; ++c)
                    pixels[rng() % pixels.size()] = rng() & 0xFFFFFF;
            }
            Write(dir + "/encoded-" + std::to_string(w) + "x" + std::to_string(h) + "-" +
                      std::to_string(keyEvery),
                  input);
        }
    // Stored frames: 13 x 11 pixels in blocks of 4 x 4, random vectors, XOR data for some blocks.
    const int w = 13, h = 11, block = 4, blocksX = 4, blocks = 12;
    std::vector<uint8_t> input = {w - 1, h - 1}, key = {1, 0, 1, 0, 8, block, block};
    for (int i = 0; i < w * h * 4; ++i)
        key.push_back(static_cast<uint8_t>(rng()));
    AddFrame(input, key);
    for (int k = 0; k < 3; ++k) {
        std::vector<uint8_t> inter(1 + blocks * 2, 0);
        for (int b = 0; b < blocks; ++b) {
            inter[1 + b * 2] = static_cast<uint8_t>(rng());
            inter[2 + b * 2] = static_cast<uint8_t>(rng() & 0xFE);
        }
        for (int b = 0; b < blocks; ++b)
            if (inter[1 + b * 2] & 1)
                for (int i = 0; i < std::min(block, w - b % blocksX * block) *
                                        std::min(block, h - b / blocksX * block) * 4;
                     ++i)
                    inter.push_back(static_cast<uint8_t>(rng()));
        AddFrame(input, inter);
    }
    Write(dir + "/stored-13x11", input);
    return 0;
}
