#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ansi_text.h"
#include "res/resource.h"

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
    std::ofstream(scratch.File("run.sh"), std::ios::binary)
        << "PATH=/usr/local/bin:/usr/bin:/bin\ncd " << HostPath(scratch.path()) << "\n(" << commandLine
        << ") >out\necho $? >status.tmp\nmv status.tmp status\n";
    const std::string status = scratch.File("status");
    Launch("Z:\\bin\\sh " + HostPath(scratch.File("run.sh")));
    const bool run =
        WaitUntil([&] { return ::GetFileAttributesA(status.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5min);
    if (exitCode)
        *exitCode = run ? std::atoi(FileBytes(status).c_str()) : -1;
    return FileBytes(scratch.File("out"));
}

std::string HostPath(const std::string& windowsPath) {
    // Scratch folders lie on drive Z:, the host's root.
    std::string path = windowsPath.substr(2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string FileBytes(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

UniqueFile Launch(std::string commandLine, const std::string& folder, DWORD* id) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, commandLine.data(), 0, 0, FALSE, 0, 0,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return {};
    ::CloseHandle(info.hThread);
    if (id)
        *id = info.dwProcessId;
    return UniqueFile(info.hProcess);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (MSG msg; !condition(); ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
    }
    return true;
}

ScratchFolder::ScratchFolder() {
    // Process ids repeat from one Wine session to the next, so a kept folder's name may come round again.
    static LONG counter = 0;
    do
        m_path = "Z:\\tmp\\mirvox-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                 std::to_string(::InterlockedIncrement(&counter)) + "\\";
    while (!::CreateDirectoryA(m_path.c_str(), nullptr) && ::GetLastError() == ERROR_ALREADY_EXISTS);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored; // MIRVOX_KEEP_SCRATCH=1 keeps a failing test's files for a look afterwards
    if (!std::getenv("MIRVOX_KEEP_SCRATCH"))
        std::filesystem::remove_all(m_path, ignored);
}

static LRESULT CALLBACK PaintPattern(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_PAINT)
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    RECT c;
    ::GetClientRect(hwnd, &c);
    const auto pixels = PatternFrame(c.right, c.bottom, int(::GetWindowLongPtrA(hwnd, GWLP_USERDATA)));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), c.right, -c.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    PAINTSTRUCT paint;
    ::SetDIBitsToDevice(::BeginPaint(hwnd, &paint), 0, 0, c.right, c.bottom, 0, 0, 0, c.bottom, pixels.data(),
                        &info, DIB_RGB_COLORS);
    ::EndPaint(hwnd, &paint);
    return 0;
}

UniqueWindow PatternWindow(int clientWidth, int clientHeight, const char* title) {
    // Bottom right and above the rest, away from the recorder and its dialogs: a window read from the
    // screen shows what covers it. A pop-up has no frame: its client area is exactly what is asked for.
    UniqueWindow window(::CreateWindowExA(WS_EX_TOPMOST, "STATIC", title, WS_POPUP | WS_VISIBLE,
                                          ::GetSystemMetrics(SM_CXSCREEN) - clientWidth - 20,
                                          ::GetSystemMetrics(SM_CYSCREEN) - clientHeight - 20, clientWidth,
                                          clientHeight, nullptr, nullptr, nullptr, nullptr));
    ::SetWindowLongPtrA(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintPattern));
    SetPhase(window.get(), 0);
    return window;
}

void SetPhase(HWND patternWindow, int phase) {
    ::SetWindowLongPtrA(patternWindow, GWLP_USERDATA, phase);
    ::InvalidateRect(patternWindow, nullptr, FALSE);
    ::UpdateWindow(patternWindow);
    // Wine copies window surfaces to the screen, where other processes grab them, when a thread waits.
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
}

std::vector<uint8_t> PatternFrame(int width, int height, int phase) {
    static const uint32_t colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};
    std::vector<uint8_t> frame(4 * static_cast<size_t>(width) * height);
    for (int i = 0; i < width * height; ++i) {
        const uint32_t bgr = colours[(i % width >= width / 2) + 2 * (i / width >= height / 2)] ^
                             (static_cast<uint32_t>(phase * 16) & 0x7F) * 0x010101;
        std::memcpy(&frame[4 * static_cast<size_t>(i)], &bgr, 3);
    }
    return frame;
}

int Differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int n = a.size() == b.size() ? 0 : -1;
    for (size_t i = 0; n >= 0 && i < a.size(); i += 4)
        n += std::memcmp(&a[i], &b[i], 3) != 0;
    return n;
}

std::string Ffprobe(const std::string& windowsPath, const std::string& entries, const std::string& options) {
    return RunHost("ffprobe -v error " + options + " -select_streams v:0 -show_entries " + entries +
                   " -of default=nw=1:nk=1 " + ShellQuote(HostPath(windowsPath)));
}

std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& windowsPath, int width, int height,
                                               const std::string& options) {
    const std::string raw = RunHost("ffmpeg -v error -i " + ShellQuote(HostPath(windowsPath)) + " " +
                                    options + " -f rawvideo -pix_fmt bgra -");
    const size_t size = 4 * static_cast<size_t>(width) * height;
    std::vector<std::vector<uint8_t>> frames;
    for (size_t at = 0; size && at + size <= raw.size(); at += size)
        frames.emplace_back(raw.begin() + at, raw.begin() + at + size);
    return frames;
}

HWND FindDialog(const std::wstring& title, DWORD process, HWND except) {
    DWORD owner = 0;
    for (HWND w = nullptr;
         (w = ::FindWindowExW(nullptr, w, L"#32770", title.empty() ? nullptr : title.c_str()));)
        if (w != except && ::IsWindowVisible(w) && ::GetWindowThreadProcessId(w, &owner) && owner == process)
            return w;
    return nullptr;
}

HWND WaitForDialog(const std::wstring& title, DWORD process, HWND except) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(title, process, except)) != nullptr; });
    return found;
}

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, LPARAM(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

HWND Focus(HWND window) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &gui) ? gui.hwndFocus : nullptr;
}

std::wstring Wide(const char* utf8) {
    std::wstring w(::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), static_cast<int>(w.size()));
    return w.c_str();
}

std::string Ansi(const char* utf8) {
    return AnsiFromWide(Wide(utf8));
}

void PostCommand(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

bool Dismiss(HWND dialog, int button) {
    PostCommand(dialog, button);
    return dialog && WaitUntil([&] { return !::IsWindow(dialog); });
}

bool ChooseCodec(HWND dialog, const char* codec) {
    // The program offers our codec once at most: in-process, or the system's driver where that is installed.
    const auto find = [&](LRESULT after) {
        return ::SendDlgItemMessageW(dialog, 880, CB_FINDSTRINGEXACT, WPARAM(after),
                                     LPARAM(Wide(kScreenCodec).c_str()));
    };
    EXPECT_EQ(find(find(-1)), find(-1)) << "the screen codec is listed twice";
    const bool listed =
        dialog && codec &&
        ::SendDlgItemMessageW(dialog, 880, CB_SELECTSTRING, WPARAM(-1), LPARAM(Wide(codec).c_str())) >= 0;
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(880, CBN_SELCHANGE), 0);
    PostCommand(dialog, codec ? IDOK : IDCANCEL);
    return listed || (dialog && !codec);
}

bool RecorderHands::Idle() const {
    return TextOf(Item(IDOK)) == Wide("開始(&S)");
}

int RecorderHands::Count() const {
    const std::wstring status = TextOf(Item(IDC_STATUS));
    return status.find(L':') == std::wstring::npos ? -1 : _wtoi(&status[status.find(L':') + 1]);
}

LRESULT RecorderHands::Choose(const std::wstring& source) const {
    const LRESULT index =
        ::SendMessageW(Item(IDC_SOURCE), CB_SELECTSTRING, WPARAM(-1), LPARAM(source.c_str()));
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SOURCE, CBN_SELCHANGE), 0);
    return index;
}

void RecorderHands::Press(How how) const {
    HWND menu = nullptr;
    if (how == How::Click) // a posted BM_CLICK's mouse emulation would restore a minimised dialog
        ::PostMessageW(window, WM_COMMAND, IDOK, LPARAM(Item(IDOK)));
    if (how == How::Enter)
        ::PostMessageW(Focus(window) ? Focus(window) : window, WM_KEYDOWN, VK_RETURN, 1);
    // A right click on the icon opens the popup menu; its first command is chosen by key.
    if (how == How::Popup && ::PostMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN) &&
        WaitUntil([&] { return (menu = ::FindWindowW(L"#32768", nullptr)) && ::IsWindowVisible(menu); })) {
        ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    }
}

void RecorderHands::Start(How how, const char* codec) {
    Press(how);
    ASSERT_NO_FATAL_FAILURE(Accept("Mirvoxは、キャプチャが開始されるとアイコン化されます。"));
    ASSERT_TRUE(ChooseCodec(Dialog(Wide("ビデオ圧縮")), codec))
        << "no compression dialog or no codec " << codec;
    started = std::chrono::steady_clock::now();
    ASSERT_TRUE(!codec || WaitUntil([&] { return !Idle(); })) << "the recording did not start";
}

void RecorderHands::Accept(const char* text) {
    HWND box = Dialog(L"Mirvox");
    ASSERT_NE(box, nullptr) << "no message box: " << text;
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)).substr(0, Wide(text).size()), Wide(text));
    EXPECT_EQ(::GetDlgItem(box, IDCANCEL), nullptr) << "a message box has only OK";
    countAtMessage = Count();
    ASSERT_TRUE(Dismiss(box, IDOK));
}

} // namespace test_support
