// Per-frame cost of grabbing and writing whole-screen frames: the recorder's path on our writer, a bare
// loop on the platform writer, and each writer alone on the same frames. Prints one line per case.
#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <memory>
#include <vector>

#include "platform/unique_handle.h"
#include "recorder/avi_capture.h"
#include "avi/avi_file_stream.h"
#include "recorder/codec_choice.h"

namespace {

struct Cost {
    double wallMs, cpuMs;
};

double CpuMs() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](FILETIME t) { return ((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 10000.0; };
    return ms(kernel) + ms(user);
}

template <typename F> Cost Measure(int frames, F&& perFrame) {
    LARGE_INTEGER f, a, b;
    ::QueryPerformanceFrequency(&f);
    double cpu0 = CpuMs();
    ::QueryPerformanceCounter(&a);
    for (int k = 0; k < frames; ++k)
        if (!perFrame(k))
            std::exit(1);
    ::QueryPerformanceCounter(&b);
    return {(b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart / frames, (CpuMs() - cpu0) / frames};
}

BOOL FullFrames(PAVISTREAM, LPAVICOMPRESSOPTIONS* options) {
    *options[0] = {};
    options[0]->fccType = streamtypeVIDEO;
    options[0]->fccHandler = comptypeDIB;
    options[0]->dwFlags = AVICOMPRESSF_VALID;
    return TRUE;
}

constexpr int kWriterPairs = 7, kGrabPairs = 3;

Cost MedianByWall(std::vector<Cost> costs) {
    std::sort(costs.begin(), costs.end(), [](Cost a, Cost b) { return a.wallMs < b.wallMs; });
    return costs[costs.size() / 2];
}

void Print(const char* name, Cost c, Cost base) {
    std::printf("%-44s %8.2f ms wall %8.2f ms cpu  (x%.2f wall, x%.2f cpu)\n", name, c.wallMs, c.cpuMs,
                c.wallMs / base.wallMs, c.cpuMs / base.cpuMs);
}

void PrintMedianRatio(const char* name, std::vector<double> ratios) {
    std::sort(ratios.begin(), ratios.end());
    std::printf("%s, median of %zu pairs: %.2f (pairs from %.2f to %.2f)\n", name, ratios.size(),
                ratios[ratios.size() / 2], ratios.front(), ratios.back());
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string folder = argc > 2 ? argv[2] : ".\\";
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    std::printf("screen %dx%d, %d frames\n", w, h, frames);
    ::AVIFileInit();

    BITMAPINFOHEADER format{sizeof(format), w, h, 1, 32, BI_RGB, static_cast<DWORD>(w * h * 4), 0, 0, 0, 0};
    std::vector<uint8_t> pixels(format.biSizeImage);
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 4;
    info.dwSuggestedBufferSize = format.biSizeImage;
    ::SetRect(&info.rcFrame, 0, 0, w, h);

    auto recorderCase = [&] {
        SetCodecChooser(&FullFrames);
        CaptureParams params;
        params.folder = folder;
        params.fileName = "bench-recorder.avi";
        params.fps = 4;
        auto capture = std::make_unique<CAviCapture>(nullptr, nullptr, "", 0, 0);
        if (!capture->Open(&params))
            std::exit(1);
        // The last frame also waits for the background writer to finish the file.
        const Cost cost = Measure(frames, [&](int k) {
            const bool ok = capture->CaptureFrame() == CaptureStatus::Grabbed && capture->WriteFrame(k) != 0;
            if (k == frames - 1)
                capture.reset();
            return ok;
        });
        ::DeleteFileA((folder + "bench-recorder.avi").c_str());
        return cost;
    };

    // The bare loop: BitBlt + GetDIBits + AVIStreamWrite on the platform writer.
    auto bareCase = [&] {
        UniqueAviFile file;
        UniqueAviStream stream;
        const std::string path = folder + "bench-platform-grab.avi";
        if (::AVIFileOpenA(file.put(), path.c_str(), OF_WRITE | OF_CREATE, nullptr) ||
            ::AVIFileCreateStreamA(file.get(), stream.put(), &info) ||
            ::AVIStreamSetFormat(stream.get(), 0, &format, sizeof(format)))
            std::exit(1);
        SourceDc screen = SourceDc::ForDisplay();
        UniqueDc mem(::CreateCompatibleDC(screen.get()));
        UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), w, h));
        const Cost cost = Measure(frames, [&](int k) {
            SelectionRestore selected(mem.get(), bitmap.get());
            ::BitBlt(mem.get(), 0, 0, w, h, screen.get(), 0, 0, SRCCOPY);
            selected.restore();
            BITMAPINFOHEADER bi = format;
            ::GetDIBits(mem.get(), bitmap.get(), 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi),
                        DIB_RGB_COLORS);
            return ::AVIStreamWrite(stream.get(), k, 1, pixels.data(), format.biSizeImage, AVIIF_KEYFRAME,
                                    nullptr, nullptr) == 0;
        });
        stream.reset();
        file.reset();
        ::DeleteFileA(path.c_str());
        return cost;
    };

    // Grab pairs in alternating order too: on a shared machine one pair can land in a busy moment.
    std::vector<Cost> recorders, bares;
    std::vector<double> grabRatios;
    for (int pair = 0; pair < kGrabPairs; ++pair) {
        const bool recorderFirst = pair % 2 == 0;
        const Cost first = recorderFirst ? recorderCase() : bareCase();
        const Cost second = recorderFirst ? bareCase() : recorderCase();
        recorders.push_back(recorderFirst ? first : second);
        bares.push_back(recorderFirst ? second : first);
        grabRatios.push_back(recorders.back().wallMs / bares.back().wallMs);
    }
    const Cost recorder = MedianByWall(recorders), bare = MedianByWall(bares);

    // Each writer alone on the same frames, as pairs in alternating order: the page cache favours
    // whichever writes first, so one pair says little and the median of the pairs' ratios is printed.
    auto writeAlone = [&](bool own, const std::string& path) {
        UniqueAviFile platformFile;
        std::shared_ptr<CAviFileWriter> ownFile;
        UniqueAviStream stream;
        const bool opened =
            own ? (ownFile = CAviFileWriter::Open(path)) &&
                      !CAviFileWriter::CreateStream(ownFile, stream.put(), info)
                : !::AVIFileOpenA(platformFile.put(), path.c_str(), OF_WRITE | OF_CREATE, nullptr) &&
                      !::AVIFileCreateStreamA(platformFile.get(), stream.put(), &info);
        if (!opened || ::AVIStreamSetFormat(stream.get(), 0, &format, sizeof(format)))
            std::exit(1);
        const Cost cost = Measure(frames, [&](int k) {
            pixels[0] = static_cast<uint8_t>(k);
            return ::AVIStreamWrite(stream.get(), k, 1, pixels.data(), format.biSizeImage, AVIIF_KEYFRAME,
                                    nullptr, nullptr) == 0;
        });
        stream.reset();
        ownFile.reset();
        platformFile.reset();
        // Each case's file goes right after it, so that its write-back does not throttle the next case.
        ::DeleteFileA(path.c_str());
        return cost;
    };
    std::vector<Cost> platformWrites, ownWrites;
    std::vector<double> ratios;
    for (int pair = 0; pair < kWriterPairs; ++pair) {
        const bool ownFirst = pair % 2 == 0;
        const Cost first = writeAlone(ownFirst, folder + "bench-write-a.avi");
        const Cost second = writeAlone(!ownFirst, folder + "bench-write-b.avi");
        ownWrites.push_back(ownFirst ? first : second);
        platformWrites.push_back(ownFirst ? second : first);
        ratios.push_back(ownWrites.back().wallMs / platformWrites.back().wallMs);
    }
    Print("platform bare loop (BitBlt+GetDIBits+write)", bare, bare);
    Print("CaptureFrame + WriteFrame (our writer)", recorder, bare);
    PrintMedianRatio("recorder / bare loop", grabRatios);
    const Cost platformWrite = MedianByWall(platformWrites), ownWrite = MedianByWall(ownWrites);
    Print("platform writer alone (median)", platformWrite, platformWrite);
    Print("our writer alone (median)", ownWrite, platformWrite);
    PrintMedianRatio("our writer / platform writer", ratios);
    ::AVIFileExit();
    return 0;
}
