#include "tests/support/avi_writer_support.h"

#include <cstring>

namespace test_support {

AVISTREAMINFOA StreamInfo(int width, int height, int fps) {
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = DWORD(fps);
    info.dwSuggestedBufferSize = DWORD(width * height * 4);
    info.rcFrame = {0, 0, width, height};
    return info;
}

BITMAPINFOHEADER Bgra32Format(int width, int height) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(h);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biSizeImage = DWORD(width * height * 4);
    return h;
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

} // namespace test_support
