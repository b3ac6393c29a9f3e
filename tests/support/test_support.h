#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/unique_handle.h"

// What the tests of the real platform share: host tools, scratch folders, a window to record, and a
// user's hands on dialogs and on the recorder window, in this process or another.
namespace test_support {

using namespace std::chrono_literals;

// Host (Unix) programs run from inside Wine: a shell word, a command's standard output (its status
// in exitCode, -1 when it did not run), a Windows path as the host sees it.
std::string ShellQuote(const std::string& text);
std::string RunHost(const std::string& commandLine, int* exitCode = nullptr);
std::string HostPath(const std::string& windowsPath);
std::string FileBytes(const std::string& path); // empty when unreadable
// A Windows program started in the folder (ours when empty): its process, none when it did not start.
UniqueFile Launch(std::string commandLine, const std::string& folder = "", DWORD* id = nullptr);
// Pumps this thread's messages until the condition holds or the time runs out.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);

// A fresh folder on the host's /tmp, removed with everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string& path() const { return m_path; } // ends in a backslash
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// A top-level window showing four quadrants of colours that every phase changes, and that picture as a
// top-down BGRA frame; how many pixels of two frames differ in colour (-1 when their sizes differ).
UniqueWindow PatternWindow(int clientWidth, int clientHeight, const char* title = "Mirvox test pattern");
void SetPhase(HWND patternWindow, int phase);
std::vector<uint8_t> PatternFrame(int width, int height, int phase = 0);
int Differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// ffprobe's values of the first video stream, one line each ("stream=width,height", "packet=flags").
std::string Ffprobe(const std::string& windowsPath, const std::string& entries,
                    const std::string& options = "");
// Every frame as ffmpeg decodes it with the options given, top-down BGRA.
std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& windowsPath, int width, int height,
                                               const std::string& options = "");

// A visible dialog (class #32770) of the process with the title (empty: any), other than `except`.
HWND FindDialog(const std::wstring& title, DWORD process = ::GetCurrentProcessId(), HWND except = nullptr);
HWND WaitForDialog(const std::wstring& title, DWORD process = ::GetCurrentProcessId(), HWND except = nullptr);
std::wstring TextOf(HWND window); // asked of the window's thread, which may be another process's
HWND Focus(HWND window);          // the focused control of the window's thread
// UTF-8 source text as UTF-16, and as the ANSI code page's bytes.
std::wstring Wide(const char* utf8);
std::string Ansi(const char* utf8);
// A button's click as its dialog sees it; posted, so that a modal loop it starts never blocks the caller.
void PostCommand(HWND dialog, int id);
bool Dismiss(HWND dialog, int button); // the click, then the dialog's end
// Chooses the codec in the platform's compression dialog and confirms (none: cancels); false without
// the dialog or the codec.
bool ChooseCodec(HWND dialog, const char* codec);

constexpr char kFullFrames[] = "フル フレーム (無圧縮)", kScreenCodec[] = "Mirvox 可逆画面コーデック (ZMBV)";
enum class How { Click, Enter, Popup }; // button 1; Enter to the focus; the icon's popup menu

// The recorder window worked as a user works it, from another thread or process.
struct RecorderHands {
    HWND Item(int id) const { return ::GetDlgItem(window, id); }
    bool Idle() const;
    int Count() const; // the status box's frame index; -1 before the first tick
    // A visible dialog of the process other than the recorder, with the title (any when empty).
    HWND Dialog(const std::wstring& title) const { return WaitForDialog(title, process, window); }
    LRESULT Choose(const std::wstring& source) const; // the first source item that starts so; its index
    void Press(How how) const;
    // The notice accepted, the codec chosen in the real compression dialog (none: the dialog cancelled).
    void Start(How how = How::Click, const char* codec = kFullFrames);
    // Accepts the next message box, checking that it has only OK and how its text begins.
    void Accept(const char* text = "");

    HWND window = nullptr;
    DWORD process = ::GetCurrentProcessId();
    int countAtMessage = -1;                       // the status count when the last message came
    std::chrono::steady_clock::time_point started; // when the codec was chosen
};

} // namespace test_support
