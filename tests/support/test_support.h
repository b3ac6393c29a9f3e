#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recorder/capture_params.h"

namespace test_support {

// Runs a program of the host system (ffprobe, ffmpeg) from inside Wine and returns what it printed
// on standard output. exitCode receives its status (-1 when it could not be started).
std::string RunHost(const std::string& commandLine, int* exitCode = nullptr);

// The host (Unix) path of a Windows path, for handing files to host programs.
std::string HostPath(const std::string& windowsPath);

// A fresh folder under the temporary folder, removed with everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // The folder's path, ending in a backslash.
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// Pumps this thread's messages until the condition holds or the time runs out.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// How many more GDI objects this process could create right now (the platform's per-process
// quota minus what is in use). Wine has no GetGuiResources, so leaks show as lost headroom.
int GdiHeadroom();

// A top-level window whose client area is painted with a known pattern: four quadrants of
// distinct colours.
class PatternWindow {
public:
    PatternWindow(int clientWidth, int clientHeight, const char* title = "Mirvox test pattern");
    ~PatternWindow();
    HWND hwnd() const { return m_hwnd; }
    void ResizeClient(int clientWidth, int clientHeight);
    // Repaints with the colours of another phase, so that successive frames differ.
    void SetPhase(int phase);
    // The BGRX value the pattern of a phase has at client pixel (x, y), y counted from the top.
    static uint32_t ExpectedPixel(int x, int y, int width, int height, int phase = 0);

private:
    HWND m_hwnd = nullptr;
};

// Capture parameters for a window (null: the whole display) written into a scratch folder.
CaptureParams WindowCaptureParams(HWND window, const ScratchFolder& folder, const char* fileName,
                                  int fps = 4);
// Checks a decoded top-down BGRA frame against the pattern of a phase.
void ExpectFrameShowsPattern(const std::vector<uint8_t>& topDown, int width, int height, int phase);

struct VideoProbe {
    std::string codec, pixelFormat, frameRate;
    int width = 0, height = 0, frames = -1;
};
// ffprobe's view of the first video stream of the file (frames counted by decoding).
VideoProbe ProbeVideo(const std::string& windowsPath);
// All frames decoded by ffmpeg as top-down BGRA (4 x width x height bytes each).
std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& windowsPath, int width, int height);

} // namespace test_support
