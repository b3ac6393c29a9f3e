#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/ansi_text.h"
#include "platform/unique_handle.h"

namespace test_support {

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string RunHost(const std::string& commandLine, int* exitCode) {
    // Wine starts a host program detached (its handle is signalled at once): the script leaves its
    // status in a file, renamed into place when complete. The PATH it inherits names Windows folders.
    ScratchFolder scratch;
    const std::string status = scratch.File("status"), partial = ShellQuote(HostPath(status) + ".tmp");
    std::ofstream(scratch.File("run.sh"), std::ios::binary)
        << "PATH=/usr/local/bin:/usr/bin:/bin\n"
        << "(" << commandLine << ") >" << ShellQuote(HostPath(scratch.File("out"))) << "\necho $? >"
        << partial << "\nmv " << partial << " " << ShellQuote(HostPath(status)) << "\n";
    std::string line = "Z:\\bin\\sh \"" + HostPath(scratch.File("run.sh")) + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    bool run = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    UniqueFile process(pi.hProcess), thread(pi.hThread);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    for (; run && ::GetFileAttributesA(status.c_str()) == INVALID_FILE_ATTRIBUTES; ::Sleep(5))
        run = std::chrono::steady_clock::now() < deadline;
    if (exitCode)
        *exitCode = run ? std::atoi(FileBytes(status).c_str()) : -1;
    return FileBytes(scratch.File("out"));
}

std::string HostPath(const std::string& windowsPath) {
    // Wine's own export: drive Z: is the host's root, the other drives are links inside the prefix.
    using GetUnixName = char*(CDECL*)(const WCHAR*);
    static const auto getUnixName = reinterpret_cast<GetUnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* name =
        getUnixName ? getUnixName(std::filesystem::absolute(WideFromAnsi(windowsPath)).c_str()) : nullptr;
    const std::string result = name ? name : windowsPath;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

std::string FileBytes(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

bool SetRegistryValue(HKEY root, const std::string& key, const char* name, DWORD type, const void* data,
                      size_t size) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr))
        return false;
    UniqueHKey owner(opened);
    return !::RegSetValueExA(opened, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
}

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (MSG msg; !condition(); ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    return true;
}

int GdiHeadroom() {
    std::vector<HPEN> pens;
    while (HPEN pen = pens.size() < 70000 ? ::CreatePen(PS_SOLID, 1, RGB(pens.size() & 0xFF, 0, 0)) : nullptr)
        pens.push_back(pen);
    for (HPEN pen : pens)
        ::DeleteObject(pen);
    return static_cast<int>(pens.size());
}

ScratchFolder::ScratchFolder() {
    // Process ids repeat from one Wine session to the next, so a kept folder's name may come round again.
    static LONG counter = 0;
    std::filesystem::path folder;
    do
        folder = std::filesystem::temp_directory_path() /
                 ("mirvox-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                  std::to_string(::InterlockedIncrement(&counter)));
    while (!std::filesystem::create_directories(folder));
    m_path = folder.string() + "\\";
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored; // MIRVOX_KEEP_SCRATCH=1 keeps a failing test's files for a look afterwards
    if (!std::getenv("MIRVOX_KEEP_SCRATCH"))
        std::filesystem::remove_all(m_path, ignored);
}

namespace {

LRESULT CALLBACK PaintPattern(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT)
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    RECT c;
    ::GetClientRect(hwnd, &c);
    std::vector<uint32_t> pixels(static_cast<size_t>(c.right) * c.bottom);
    for (int i = 0; i < c.right * c.bottom; ++i)
        pixels[i] = PatternWindow::ExpectedPixel(i % c.right, i / c.right, c.right, c.bottom,
                                                 static_cast<int>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA)));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), c.right, -c.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    PAINTSTRUCT paint;
    ::SetDIBitsToDevice(::BeginPaint(hwnd, &paint), 0, 0, c.right, c.bottom, 0, 0, 0, c.bottom, pixels.data(),
                        &info, DIB_RGB_COLORS);
    ::EndPaint(hwnd, &paint);
    return 0;
}

} // namespace

PatternWindow::PatternWindow(int clientWidth, int clientHeight, const char* title) {
    static const ATOM windowClass = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = PaintPattern;
        wc.lpszClassName = "MirvoxTestPattern";
        return ::RegisterClassA(&wc);
    }();
    // A pop-up has no frame and no minimum size: its client area is exactly what is asked for.
    m_hwnd = ::CreateWindowExA(0, MAKEINTATOM(windowClass), title, WS_POPUP | WS_VISIBLE, 40, 40, clientWidth,
                               clientHeight, nullptr, nullptr, nullptr, nullptr);
    SetPhase(0);
}

PatternWindow::~PatternWindow() {
    ::DestroyWindow(m_hwnd);
}

void PatternWindow::ResizeClient(int clientWidth, int clientHeight) {
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, clientWidth, clientHeight, SWP_NOMOVE | SWP_NOZORDER);
    SetPhase(static_cast<int>(::GetWindowLongPtrA(m_hwnd, GWLP_USERDATA)));
}

void PatternWindow::SetPhase(int phase) {
    ::SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, phase);
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
    ::UpdateWindow(m_hwnd);
    // Wine copies window surfaces to the screen, where other processes grab them, when a thread waits.
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

uint32_t PatternWindow::ExpectedPixel(int x, int y, int width, int height, int phase) {
    static const uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    // Each phase changes every colour, so that every frame of a sequence is distinct.
    return colours[(x >= width / 2) + 2 * (y >= height / 2)] ^
           (static_cast<uint32_t>(phase * 16) & 0x7F) * 0x010101;
}

CaptureParams WindowCaptureParams(HWND window, const ScratchFolder& folder, const char* fileName, int fps) {
    return CaptureParams{window, folder.path(), fileName, 1, fps};
}

void ExpectFrameShowsPattern(const std::vector<uint8_t>& topDown, int width, int height, int phase) {
    ASSERT_EQ(topDown.size(), 4u * width * height);
    int mismatches = 0, first = 0;
    for (int i = width * height - 1; i >= 0; --i)
        if ((topDown[4 * i] | topDown[4 * i + 1] << 8 | topDown[4 * i + 2] << 16) !=
            static_cast<int>(PatternWindow::ExpectedPixel(i % width, i / width, width, height, phase)))
            ++mismatches, first = i;
    EXPECT_EQ(mismatches, 0) << "from pixel " << first % width << "," << first / width << " of phase "
                             << phase;
}

std::vector<std::pair<std::string, std::string>>
Ffprobe(const std::string& windowsPath, const std::string& entries, const std::string& options) {
    std::istringstream out(RunHost("ffprobe -v error " + options + " -select_streams v:0 -show_entries " +
                                   entries + " -of default=noprint_wrappers=1 " +
                                   ShellQuote(HostPath(windowsPath))));
    std::vector<std::pair<std::string, std::string>> lines;
    for (std::string line; std::getline(out, line);)
        if (const size_t eq = line.find('='); eq != std::string::npos)
            lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    return lines;
}

VideoProbe ProbeVideo(const std::string& windowsPath) {
    const auto lines = Ffprobe(
        windowsPath, "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames", "-count_frames");
    std::map<std::string, std::string> v(lines.begin(), lines.end());
    auto number = [&](const char* key) { return v.count(key) ? std::atoi(v[key].c_str()) : -1; };
    return {v["codec_name"], v["pix_fmt"],     v["r_frame_rate"],
            number("width"), number("height"), number("nb_read_frames")};
}

std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& windowsPath, int width, int height) {
    const std::string raw =
        RunHost("ffmpeg -v error -i " + ShellQuote(HostPath(windowsPath)) + " -f rawvideo -pix_fmt bgra -");
    const size_t size = 4 * static_cast<size_t>(width) * height;
    std::vector<std::vector<uint8_t>> frames;
    for (size_t at = 0; size && at + size <= raw.size(); at += size)
        frames.emplace_back(raw.begin() + at, raw.begin() + at + size);
    return frames;
}

BOOL ChooseFullFrames(PAVISTREAM, LPAVICOMPRESSOPTIONS* options) {
    *options[0] = AVICOMPRESSOPTIONS{};
    options[0]->fccType = streamtypeVIDEO;
    options[0]->fccHandler = comptypeDIB;
    options[0]->dwFlags = AVICOMPRESSF_VALID;
    return TRUE;
}

BOOL CancelCodecChoice(PAVISTREAM, LPAVICOMPRESSOPTIONS*) {
    return FALSE;
}

} // namespace test_support
