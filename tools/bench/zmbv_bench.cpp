// Times Mirvox's ZMBV encoder on raw bgr0 frames (as ffmpeg's x11grab writes them) and prints
// "frames bytes processor-milliseconds keyframes" for the whole file. With an output path it also
// writes the encoded frames as an AVI, after the timing, for ffmpeg to decode.
#include "codec/zmbv_encoder.h"

#include "avi/opendml_writer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

class FileSink : public ByteSink {
public:
    explicit FileSink(std::FILE* file) : m_file(file) {}
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        return std::fseek(m_file, static_cast<long>(offset), SEEK_SET) == 0 &&
               std::fwrite(data, 1, size, m_file) == size;
    }
    bool Flush() override { return std::fflush(m_file) == 0; }
    bool Truncate(uint64_t) override { return false; }

private:
    std::FILE* m_file;
};

bool WriteAvi(const char* path, int w, int h, const std::vector<std::vector<uint8_t>>& packets) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    FileSink sink(file);
    VideoStreamHeader header;
    header.rate = 4;
    header.right = static_cast<int16_t>(w);
    header.bottom = static_cast<int16_t>(h);
    OpenDmlWriter writer(sink, header);
    // BITMAPINFOHEADER: size, width, height, 1 plane, 32 bits, ZMBV.
    const uint8_t format[40] = {40,
                                0,
                                0,
                                0,
                                static_cast<uint8_t>(w),
                                static_cast<uint8_t>(w >> 8),
                                0,
                                0,
                                static_cast<uint8_t>(h),
                                static_cast<uint8_t>(h >> 8),
                                0,
                                0,
                                1,
                                0,
                                32,
                                0,
                                'Z',
                                'M',
                                'B',
                                'V'};
    bool ok = writer.SetFormat(format, sizeof(format));
    for (const auto& p : packets)
        ok = ok && writer.WriteFrame(p.data(), static_cast<uint32_t>(p.size()), p[0] & 1, 0);
    ok = writer.Finish() && ok;
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s frames.raw width height key-interval [out.avi]\n", argv[0]);
        return 2;
    }
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]), keyInterval = std::atoi(argv[4]);
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

    ZmbvEncoder encoder(w, h);
    std::vector<uint8_t> out(ZmbvEncoder::MaxFrameSize(w, h));
    std::vector<std::vector<uint8_t>> packets;
    size_t total = 0, keys = 0;
    // Processor time, as ffmpeg's -benchmark reports it: the machine may be shared. Wall time as well:
    // large frames are deflated on two threads.
    std::clock_t spent = 0;
    std::chrono::steady_clock::duration waited{};
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::clock_t start = std::clock();
        const auto began = std::chrono::steady_clock::now();
        const size_t n = encoder.Encode(frames[i].data(), static_cast<ptrdiff_t>(w) * 4, i % keyInterval == 0,
                                        out.data(), out.size());
        spent += std::clock() - start;
        waited += std::chrono::steady_clock::now() - began;
        if (n == 0) {
            std::fprintf(stderr, "frame %zu failed\n", i);
            return 1;
        }
        total += n;
        keys += out[0] & 1;
        if (argc > 5)
            packets.emplace_back(out.begin(), out.begin() + static_cast<ptrdiff_t>(n));
    }
    const double ms = 1000.0 * static_cast<double>(spent) / CLOCKS_PER_SEC;
    if (argc > 5 && !WriteAvi(argv[5], w, h, packets)) {
        std::fprintf(stderr, "cannot write %s\n", argv[5]);
        return 1;
    }
    std::printf("%zu %zu %.1f %zu %.1f\n", frames.size(), total, ms, keys,
                std::chrono::duration<double, std::milli>(waited).count());
    return 0;
}
