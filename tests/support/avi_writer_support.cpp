#include "tests/support/avi_writer_support.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace test_support {

AVISTREAMINFOA StreamInfo(int width, int height, int fps) {
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(fps);
    info.dwSuggestedBufferSize = static_cast<DWORD>(width * height * 4);
    ::SetRect(&info.rcFrame, 0, 0, width, height);
    return info;
}

BITMAPINFOHEADER Bgra32Format(int width, int height) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(h);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(width * height * 4);
    return h;
}

std::vector<uint8_t> NumberedFrame(int index, int width, int height) {
    std::vector<uint8_t> f(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = static_cast<uint8_t>((i / 4) * 13 + index * 29 + (i % 4) * 71);
    return f;
}

std::vector<uint8_t> NumberedFrameTopDown(int index, int width, int height) {
    std::vector<uint8_t> bottomUp = NumberedFrame(index, width, height), topDown(bottomUp.size());
    const size_t row = static_cast<size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(&topDown[y * row], &bottomUp[(height - 1 - y) * row], row);
    return topDown;
}

uint32_t StreamHeaderLength(const std::string& path) {
    uint8_t b[144] = {};
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fread(b, 1, sizeof(b), f);
        std::fclose(f);
    }
    return b[140] | b[141] << 8 | b[142] << 16 | static_cast<uint32_t>(b[143]) << 24;
}

} // namespace test_support
