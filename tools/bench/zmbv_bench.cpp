// Times Mirvox's ZMBV encoder on raw bgr0 frames (as ffmpeg's x11grab writes them) and prints
// "frames bytes processor-milliseconds keyframes" for the whole file.
#include "codec/zmbv_encoder.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s frames.raw width height key-interval [zlib-level]\n", argv[0]);
        return 2;
    }
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]), keyInterval = std::atoi(argv[4]);
    const int level = argc > 5 ? std::atoi(argv[5]) : ZmbvEncoder::kDefaultLevel;
    FILE* in = std::fopen(argv[1], "rb");
    if (!in || w <= 0 || h <= 0 || keyInterval <= 0) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const size_t frameBytes = static_cast<size_t>(w) * h * 4;
    std::vector<std::vector<uint8_t>> frames;
    for (;;) {
        std::vector<uint8_t> frame(frameBytes);
        if (std::fread(frame.data(), 1, frameBytes, in) != frameBytes)
            break;
        frames.push_back(std::move(frame));
    }
    std::fclose(in);

    ZmbvEncoder encoder(w, h, level);
    std::vector<uint8_t> out(ZmbvEncoder::MaxFrameSize(w, h));
    size_t total = 0, keys = 0;
    // Processor time, as ffmpeg's -benchmark reports it: the machine may be shared.
    const std::clock_t start = std::clock();
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t n = encoder.Encode(frames[i].data(), static_cast<ptrdiff_t>(w) * 4, i % keyInterval == 0,
                                        out.data(), out.size());
        if (n == 0) {
            std::fprintf(stderr, "frame %zu failed\n", i);
            return 1;
        }
        total += n;
        keys += out[0] & 1;
    }
    const double ms = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    std::printf("%zu %zu %.1f %zu\n", frames.size(), total, ms, keys);
    return 0;
}
