#pragma once

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <vector>

namespace test_support {

AVISTREAMINFOA StreamInfo(int width, int height, int fps);
BITMAPINFOHEADER Bgra32Format(int width, int height);
// A bottom-up frame whose bytes tell which frame it is.
std::vector<uint8_t> NumberedFrame(int index, int width, int height);
// The same frame as ffmpeg hands it out: rows top-down.
std::vector<uint8_t> NumberedFrameTopDown(int index, int width, int height);

} // namespace test_support
