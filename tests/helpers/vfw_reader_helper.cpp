// Plays an AVI file as any Video for Windows program does: AVIFileOpen, then every frame through
// AVIStreamGetFrame, in order and then backwards (each frame reached by a seek as well), asked for as
// BITS-bit BI_RGB pictures with the sign of HEIGHT_SIGN (1 bottom-up), and written one after the other
// to OUT.raw as top-down BGRA, as ffmpeg writes them.
//   vfw_reader_helper IN.avi OUT.raw BITS HEIGHT_SIGN
// Exit status: 0 all frames, 1 the file or stream did not open, 2 no decompressor, 3 a frame failed.
#include <windows.h>
#include <vfw.h>

#include <cstdlib>
#include <fstream>

#include "platform/unique_handle.h"

using UniqueGetFrame = UniqueHandle<PGETFRAME, &::AVIStreamGetFrameClose>;

int main(int argc, char** argv) {
    if (argc != 5)
        return 1;
    ::AVIFileInit(); // for the life of the process
    UniqueAviFile file;
    UniqueAviStream stream;
    AVISTREAMINFOA info{};
    if (::AVIFileOpenA(file.put(), argv[1], OF_READ, nullptr) != 0 ||
        ::AVIFileGetStream(file.get(), stream.put(), streamtypeVIDEO, 0) != 0 ||
        ::AVIStreamInfoA(stream.get(), &info, sizeof(info)) != 0)
        return 1;
    const LONG width = info.rcFrame.right, height = info.rcFrame.bottom, sign = std::atoi(argv[4]);
    const WORD bits = static_cast<WORD>(std::atoi(argv[3]));
    const LONG stride = (width * bits / 8 + 3) & ~3;
    // The size is given: the platform works it out from the height, which is negative for top-down.
    BITMAPINFOHEADER wanted{
        sizeof(wanted), width, height * sign, 1, bits, BI_RGB, DWORD(stride * height), 0, 0, 0, 0};
    UniqueGetFrame frames(::AVIStreamGetFrameOpen(stream.get(), &wanted));
    if (!frames)
        return 2;
    std::ofstream out(argv[2], std::ios::binary);
    const LONG count = ::AVIStreamLength(stream.get());
    for (LONG k = 0; k < 2 * count; ++k) {
        const auto* frame = static_cast<const BITMAPINFOHEADER*>(
            ::AVIStreamGetFrame(frames.get(), k < count ? k : 2 * count - 1 - k));
        if (!frame || frame->biBitCount != bits)
            return 3;
        const char* pixels = reinterpret_cast<const char*>(frame) + frame->biSize;
        for (LONG y = 0; y < height; ++y)
            for (LONG x = 0; x < width; ++x)
                out.write(pixels + (sign < 0 ? y : height - 1 - y) * stride + x * bits / 8, 3).put('\xff');
    }
    return out.good() ? 0 : 3;
}
