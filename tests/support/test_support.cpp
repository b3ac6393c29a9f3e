#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/unique_handle.h"

namespace test_support {

namespace {

std::string ShellQuote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

std::string HostPath(const std::string& windowsPath) {
    char full[MAX_PATH * 4];
    DWORD n = ::GetFullPathNameA(windowsPath.c_str(), sizeof(full), full, nullptr);
    std::string path = n ? std::string(full, n) : windowsPath;
    // Wine maps drive Z: to the host's root; other drives are links inside the prefix.
    using GetUnixName = char*(CDECL*)(const WCHAR*);
    static auto getUnixName = reinterpret_cast<GetUnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (getUnixName) {
        int wide = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
        std::wstring w(static_cast<size_t>(wide), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w.data(), wide);
        if (char* unixName = getUnixName(w.c_str())) {
            std::string result(unixName);
            ::HeapFree(::GetProcessHeap(), 0, unixName);
            return result;
        }
    }
    return path;
}

std::string RunHost(const std::string& commandLine, int* exitCode) {
    // Wine starts a host program detached: its process handle is signalled at once. So the host
    // shell writes its status into a file when it is done, and that file is waited for.
    ScratchFolder scratch;
    const std::string outFile = scratch.File("out.txt"), errFile = scratch.File("err.txt");
    const std::string statusFile = scratch.File("status.txt");
    const std::string hostStatus = HostPath(statusFile);
    // The host program inherits Wine's environment, whose PATH holds Windows folders.
    std::string script = "PATH=/usr/local/bin:/usr/bin:/bin; export PATH; " + commandLine + " >" +
                         ShellQuote(HostPath(outFile)) + " 2>" + ShellQuote(HostPath(errFile)) +
                         "; echo $? >" + ShellQuote(hostStatus + ".tmp") + "; mv " +
                         ShellQuote(hostStatus + ".tmp") + " " + ShellQuote(hostStatus);
    // The command-line rules: backslashes are doubled only where a quote follows them.
    std::string line = "Z:\\bin\\sh -c \"";
    size_t backslashes = 0;
    for (char c : script) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"')
                line.append(backslashes + 1, '\\');
            backslashes = 0;
        }
        line += c;
    }
    line.append(backslashes, '\\');
    line += "\"";

    if (exitCode)
        *exitCode = -1;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return {};
    UniqueFile process(pi.hProcess);
    UniqueFile thread(pi.hThread);

    auto readFile = [](const std::string& path) {
        std::string text;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            char buffer[65536];
            size_t got;
            while ((got = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
                text.append(buffer, got);
            std::fclose(f);
        }
        return text;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (::GetFileAttributesA(statusFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "host command timed out: %s\n", commandLine.c_str());
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    int code = std::atoi(readFile(statusFile).c_str());
    if (exitCode)
        *exitCode = code;
    if (code != 0)
        std::fprintf(stderr, "host command failed (%d): %s\n%s", code, commandLine.c_str(),
                     readFile(errFile).c_str());
    return readFile(outFile);
}

ScratchFolder::ScratchFolder() {
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof(temp), temp);
    // A fresh prefix names a temporary folder that does not exist yet.
    ::SHCreateDirectoryExA(nullptr, temp, nullptr);
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH + 64];
        std::snprintf(name, sizeof(name), "%smirvox-test-%lu-%ld\\", temp, ::GetCurrentProcessId(),
                      ::InterlockedIncrement(&counter));
        if (::CreateDirectoryA(name, nullptr)) {
            m_path = name;
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return;
    }
}

ScratchFolder::~ScratchFolder() {
    // MIRVOX_KEEP_SCRATCH=1 keeps a failing test's files for a look afterwards.
    if (m_path.empty() || std::getenv("MIRVOX_KEEP_SCRATCH"))
        return;
    std::string from = m_path.substr(0, m_path.size() - 1);
    from.push_back('\0');
    from.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    ::SHFileOperationA(&op);
}

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

int GdiHeadroom() {
    std::vector<HPEN> pens;
    pens.reserve(70000);
    while (pens.size() < 70000) {
        HPEN pen = ::CreatePen(PS_SOLID, 1, RGB(pens.size() & 0xFF, 0, 0));
        if (!pen)
            break;
        pens.push_back(pen);
    }
    for (HPEN pen : pens)
        ::DeleteObject(pen);
    return static_cast<int>(pens.size());
}

namespace {

constexpr char kPatternClass[] = "MirvoxTestPattern";

LRESULT CALLBACK PatternProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        RECT client;
        ::GetClientRect(hwnd, &client);
        const int w = client.right, h = client.bottom;
        const RECT quadrants[4] = {
            {0, 0, w / 2, h / 2}, {w / 2, 0, w, h / 2}, {0, h / 2, w / 2, h}, {w / 2, h / 2, w, h}};
        for (int q = 0; q < 4; ++q) {
            int phase = static_cast<int>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
            uint32_t bgr = PatternWindow::ExpectedPixel(quadrants[q].left, quadrants[q].top, w, h, phase);
            COLORREF c = RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
            UniqueGdiObject brush(::CreateSolidBrush(c));
            ::FillRect(dc, &quadrants[q], static_cast<HBRUSH>(brush.get()));
        }
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

PatternWindow::PatternWindow(int clientWidth, int clientHeight, const char* title) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = PatternProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kPatternClass;
        wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
        ::RegisterClassA(&wc);
        registered = true;
    }
    RECT r{0, 0, clientWidth, clientHeight};
    // A pop-up has no minimum tracking size, so its client area is exactly what is asked for.
    const DWORD style = WS_POPUP;
    ::AdjustWindowRect(&r, style, FALSE);
    m_hwnd = ::CreateWindowExA(0, kPatternClass, title, style | WS_VISIBLE, 40, 40, r.right - r.left,
                               r.bottom - r.top, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ::UpdateWindow(m_hwnd);
    PumpUntil([] { return false; }, std::chrono::milliseconds(50));
}

PatternWindow::~PatternWindow() {
    if (m_hwnd)
        ::DestroyWindow(m_hwnd);
}

void PatternWindow::ResizeClient(int clientWidth, int clientHeight) {
    RECT r{0, 0, clientWidth, clientHeight};
    ::AdjustWindowRect(&r, static_cast<DWORD>(::GetWindowLongA(m_hwnd, GWL_STYLE)), FALSE);
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    ::UpdateWindow(m_hwnd);
}

void PatternWindow::SetPhase(int phase) {
    ::SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, phase);
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
    ::UpdateWindow(m_hwnd);
}

uint32_t PatternWindow::ExpectedPixel(int x, int y, int width, int height, int phase) {
    static const uint32_t colours[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFF00};
    int q = (x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0);
    // Each phase dims the colours differently, so every frame of a sequence is distinct.
    uint32_t c = colours[q];
    uint32_t step = static_cast<uint32_t>(phase * 16) & 0x7F;
    uint32_t b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
    return ((r ? r - step : step) << 16) | ((g ? g - step : 0) << 8) | (b ? b - step : 0);
}

CaptureParams WindowCaptureParams(HWND window, const ScratchFolder& folder, const char* fileName, int fps) {
    CaptureParams params;
    params.targetWindow = window;
    params.folder = folder.path();
    params.fileName = fileName;
    params.fps = fps;
    return params;
}

void ExpectFrameShowsPattern(const std::vector<uint8_t>& topDown, int width, int height, int phase) {
    int mismatches = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &topDown[(static_cast<size_t>(y) * width + x) * 4];
            const uint32_t bgr = p[0] | (p[1] << 8) | (p[2] << 16);
            if (bgr != PatternWindow::ExpectedPixel(x, y, width, height, phase) && ++mismatches < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " of phase " << phase << " is " << std::hex
                              << bgr;
        }
    EXPECT_EQ(mismatches, 0);
}

VideoProbe ProbeVideo(const std::string& windowsPath) {
    std::string out = RunHost("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames "
                              "-of default=noprint_wrappers=1 " +
                              ShellQuote(HostPath(windowsPath)));
    VideoProbe probe;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_name")
            probe.codec = value;
        else if (key == "pix_fmt")
            probe.pixelFormat = value;
        else if (key == "r_frame_rate")
            probe.frameRate = value;
        else if (key == "width")
            probe.width = std::atoi(value.c_str());
        else if (key == "height")
            probe.height = std::atoi(value.c_str());
        else if (key == "nb_read_frames")
            probe.frames = std::atoi(value.c_str());
    }
    return probe;
}

std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& windowsPath, int width, int height) {
    ScratchFolder scratch;
    std::string raw = scratch.File("frames.raw");
    int code = 0;
    RunHost("ffmpeg -v error -y -i " + ShellQuote(HostPath(windowsPath)) + " -f rawvideo -pix_fmt bgra " +
                ShellQuote(HostPath(raw)),
            &code);
    std::vector<std::vector<uint8_t>> frames;
    const size_t frameBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (FILE* f = std::fopen(raw.c_str(), "rb")) {
        for (;;) {
            std::vector<uint8_t> frame(frameBytes);
            if (std::fread(frame.data(), 1, frameBytes, f) != frameBytes)
                break;
            frames.push_back(std::move(frame));
        }
        std::fclose(f);
    }
    return frames;
}

} // namespace test_support
