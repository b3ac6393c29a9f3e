#pragma once

#include <windows.h>
#include <vfw.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "recorder/capture_params.h"
#include "recorder/codec_choice.h"

namespace test_support {

// Host (Unix) programs run from inside Wine: a shell word, a command's standard output (its status
// in exitCode, -1 when it did not run), a Windows path as the host sees it.
std::string ShellQuote(const std::string& text);
std::string RunHost(const std::string& commandLine, int* exitCode = nullptr);
std::string HostPath(const std::string& windowsPath);
std::string FileBytes(const std::string& path); // empty when unreadable
// Creates the key when it is missing and sets one value (null name: the key's default value).
bool SetRegistryValue(HKEY root, const std::string& key, const char* name, DWORD type, const void* data,
                      size_t size);
// Pumps this thread's messages until the condition holds or the time runs out.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
// How many more GDI objects this process could create now: Wine's GetGuiResources is a stub.
int GdiHeadroom();

// A fresh folder under the temporary folder, removed with everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return m_path; } // ends in a backslash
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// A top-level window whose client area shows four quadrants of distinct colours.
class PatternWindow {
public:
    PatternWindow(int clientWidth, int clientHeight, const char* title = "Mirvox test pattern");
    ~PatternWindow();
    HWND hwnd() const { return m_hwnd; }
    void ResizeClient(int clientWidth, int clientHeight);
    void SetPhase(int phase); // other colours, so that successive frames differ
    // The BGRX value of client pixel (x, y), y counted from the top.
    static uint32_t ExpectedPixel(int x, int y, int width, int height, int phase = 0);

private:
    HWND m_hwnd = nullptr;
};

// Capture parameters for a window (null: the whole display) written into a scratch folder.
CaptureParams WindowCaptureParams(HWND window, const ScratchFolder& folder, const char* fileName,
                                  int fps = 4);
// Checks a decoded top-down BGRA frame against the pattern of a phase (alpha ignored).
void ExpectFrameShowsPattern(const std::vector<uint8_t>& topDown, int width, int height, int phase);

// ffprobe's key=value lines, in order, for entries of the first video stream ("stream=width:packet=flags").
std::vector<std::pair<std::string, std::string>>
Ffprobe(const std::string& windowsPath, const std::string& entries, const std::string& options = "");
struct VideoProbe {
    std::string codec, pixelFormat, frameRate;
    int width = 0, height = 0, frames = -1; // frames counted by decoding
};
VideoProbe ProbeVideo(const std::string& windowsPath);
// Every frame as ffmpeg decodes it, top-down BGRA.
std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& windowsPath, int width, int height);

// A user's answers to the compression dialog, for SetCodecChooser: "Full Frames (Uncompressed)", Cancel.
BOOL ChooseFullFrames(PAVISTREAM, LPAVICOMPRESSOPTIONS* options);
BOOL CancelCodecChoice(PAVISTREAM, LPAVICOMPRESSOPTIONS*);
class CodecChooserScope {
public:
    explicit CodecChooserScope(CodecChooser chooser) : m_previous(SetCodecChooser(chooser)) {}
    ~CodecChooserScope() { SetCodecChooser(m_previous); }
    CodecChooserScope(const CodecChooserScope&) = delete;
    CodecChooserScope& operator=(const CodecChooserScope&) = delete;

private:
    CodecChooser m_previous;
};

} // namespace test_support
