#include "tests/support/avi_writer_support.h"

#include <cstring>
#include <fstream>

#include "platform/little_endian.h"

namespace test_support {

AVISTREAMINFOA StreamInfo(int width, int height, int fps) {
    return {.fccType = streamtypeVIDEO,
            .dwScale = 1,
            .dwRate = DWORD(fps),
            .dwSuggestedBufferSize = DWORD(width * height * 4),
            .rcFrame = {0, 0, width, height}};
}

BITMAPINFOHEADER Bgra32Format(int width, int height) {
    return {.biSize = sizeof(BITMAPINFOHEADER),
            .biWidth = width,
            .biHeight = height,
            .biPlanes = 1,
            .biBitCount = 32,
            .biCompression = BI_RGB,
            .biSizeImage = DWORD(width * height * 4)};
}

std::vector<uint8_t> NumberedFrame(int index, int width, int height) {
    std::vector<uint8_t> f(size_t(width) * height * 4);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = static_cast<uint8_t>((i / 4) * 13 + index * 29 + (i % 4) * 71);
    return f;
}

std::vector<uint8_t> NumberedFrameTopDown(int index, int width, int height) {
    std::vector<uint8_t> bottomUp = NumberedFrame(index, width, height), topDown(bottomUp.size());
    const size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(&topDown[y * row], &bottomUp[(height - 1 - y) * row], row);
    return topDown;
}

uint32_t StreamHeaderLength(const std::string& path) {
    uint8_t b[144] = {};
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(b), sizeof(b));
    return little_endian::LoadU32(b + 140);
}

} // namespace test_support
