// Mirvox.exe met from the outside: each journey starts it as a process of its own, works it only through
// its windows, then reads the AVI file with the host's ffprobe/ffmpeg and the settings from the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <optional>

#include "platform/unique_handle.h"
#include "res/resource.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/small_filesystem.h"
#include "tests/support/test_support.h"

using namespace std::chrono_literals;
using namespace test_support;

namespace {

constexpr char kAppKey[] = "Software\\Veldrane Products\\Mirvox", kSource[] = "Mirvox e2e source";
const std::string kOptionKey = std::string(kAppKey) + "\\Option";
constexpr char kSizeChanged[] = "ウィンドウ　サイズが変更されました。\nキャプチャを中断します。";
constexpr char kCaptureError[] = "キャプチャ内部エラー\r\nキャプチャを中断します。";
constexpr char kWriteError[] = "ストリーム　データ書き込みエラー";
constexpr char kFullFrames[] = "フル フレーム (無圧縮)", kScreenCodec[] = "Mirvox 可逆画面コーデック (ZMBV)";
constexpr int kWidth = 160, kHeight = 120; // the recorded window's client area

std::string Env(const char* name) {
    return std::getenv(name) ? std::getenv(name) : "";
}
bool Until(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s) {
    return PumpUntil(condition, timeout);
}

// A window of another process: WM_GETTEXT is marshalled, GetWindowText would not ask it.
std::wstring Text(HWND window) {
    wchar_t text[4096] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                          nullptr);
    return text;
}

// The control with the keyboard focus in the thread of a window of another process.
HWND Focus(HWND window) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    return ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &gui) ? gui.hwndFocus : nullptr;
}

std::string Int(int32_t value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}
void Put(const char* name, DWORD type, const std::string& bytes) {
    const std::string data = type == REG_SZ ? bytes + '\0' : bytes;
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kOptionKey.c_str(), name, type, data.data(),
                      static_cast<DWORD>(data.size()));
}

// The Option section as "name=type:value;" in the store's order (by name): a 32-bit binary as a
// number, the caption font record by its face name.
std::string Stored() {
    std::string all;
    char name[64], data[512];
    HKEY key = nullptr;
    ::RegOpenKeyExA(HKEY_CURRENT_USER, kOptionKey.c_str(), 0, KEY_READ, &key);
    for (DWORD i = 0, n = 64, size = 511, type = 0;
         !::RegEnumValueA(key, i++, name, &n, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
         n = 64, size = 511) {
        data[size] = '\0';
        all += name + ("=" + std::to_string(type) + ":") +
               (type == REG_BINARY && size == 4 ? std::to_string(*reinterpret_cast<int32_t*>(data))
                                                : std::string(type == REG_SZ ? data : data + 28)) +
               ";";
    }
    ::RegCloseKey(key);
    return all;
}

// The eight values a close stores.
struct Store {
    int rate = 1, fps = 4, location = 0, caption = 1;
    std::string path = "", file = "Mirvox.avi", format = "%a, %d %b %Y %H:%M:%S %z",
                face = Ansi("ＭＳ Ｐゴシック");
};

std::string Render(const Store& e) {
    using std::to_string;
    return "Caption=3:" + to_string(e.caption) + ";CaptionString=1:" + e.format + ";File=1:" + e.file +
           ";Frames=3:" + to_string(e.fps) + ";LFont=3:" + e.face + ";Location=3:" + to_string(e.location) +
           ";Path=1:" + e.path + ";Rate=3:" + to_string(e.rate) + ";";
}

// ffprobe's view of the video: width, height, frame rate, the header's frame count, the decoded count.
std::array<int, 5> ProbeFile(const std::string& path) {
    std::array<int, 5> p{-1, -1, -1, -1, -1};
    const std::string query = "ffprobe -v error -count_frames -select_streams v:0 -of csv=p=0 -show_entries "
                              "stream=width,height,r_frame_rate,nb_frames,nb_read_frames ";
    std::sscanf(RunHost(query + ShellQuote(HostPath(path))).c_str(), "%d,%d,%d/1,%d,%d", &p[0], &p[1], &p[2],
                &p[3], &p[4]);
    return p;
}

// Icons shown in Wine's stand-alone notification area, one child window each.
int TrayIcons() {
    int count = 0;
    for (HWND tray = ::FindWindowW(nullptr, L"Wine System Tray"), icon = nullptr;
         tray && (icon = ::FindWindowExW(tray, icon, nullptr, nullptr)); ++count) {
    }
    return count;
}

UniqueFile Launch(std::string commandLine, const char* folder = nullptr) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, 0, 0, nullptr, folder, &startup,
                          &info))
        return {};
    ::CloseHandle(info.hThread);
    return UniqueFile(info.hProcess);
}

enum class How { Click, Enter, Popup };

// One run of Mirvox.exe and its recorder window.
class Recorder {
public:
    explicit Recorder(const std::string& folder, const std::string& exe = Env("MIRVOX_EXE"))
        : m_process(Launch("\"" + exe + "\"", folder.c_str())), window(Dialog(L"Mirvox")) {}
    ~Recorder() { Close(false); }

    HWND Item(int id) const { return ::GetDlgItem(window, id); }
    bool Idle() const { return Text(Item(IDOK)) == Wide("開始(&S)"); }
    bool Exited() const { return ::WaitForSingleObject(m_process.get(), 0) != WAIT_TIMEOUT; }
    // The status box's counter: the index of the frame the last tick wrote (or tried to).
    int Count() const {
        const std::wstring status = Text(Item(IDC_STATUS));
        return status.find(L':') == std::wstring::npos ? -1 : _wtoi(&status[status.find(L':') + 1]);
    }

    // A visible dialog of the process other than the recorder, with the title (any when empty).
    HWND Dialog(const std::wstring& title) {
        HWND found = nullptr;
        DWORD pid = 0;
        Until([&] {
            while (
                (found = ::FindWindowExW(nullptr, found, L"#32770", title.empty() ? nullptr : title.c_str())))
                if (found != window && ::IsWindowVisible(found) && ::GetWindowThreadProcessId(found, &pid) &&
                    pid == ::GetProcessId(m_process.get()))
                    return true;
            return Exited();
        });
        return found;
    }

    void Press(How how) {
        HWND menu = nullptr;
        if (how == How::Click) // a posted BM_CLICK's mouse emulation would restore a minimised dialog
            ::PostMessageW(window, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(Item(IDOK)));
        if (how == How::Enter)
            ::PostMessageW(Focus(window) ? Focus(window) : window, WM_KEYDOWN, VK_RETURN, 1);
        // A right click on the icon opens the popup menu; its first command is chosen by key.
        if (how == How::Popup && ::PostMessageW(window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN) &&
            Until([&] { return (menu = ::FindWindowW(L"#32768", nullptr)) && ::IsWindowVisible(menu); })) {
            ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
            ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        }
    }

    // Start as the user does it: the notice accepted, the codec chosen in the real compression dialog,
    // or with no codec that dialog cancelled.
    void Start(How how = How::Click, const char* codec = kFullFrames) {
        Press(how);
        ASSERT_NO_FATAL_FAILURE(Accept("Mirvoxは、キャプチャが開始されるとアイコン化されます。"));
        HWND dialog = Dialog(Wide("ビデオ圧縮"));
        ASSERT_NE(dialog, nullptr) << "no compression dialog";
        // Our codec once: in-process, or the system's driver when that is installed.
        const auto find = [&](LRESULT after) {
            return ::SendMessageW(::GetDlgItem(dialog, 880), CB_FINDSTRINGEXACT, static_cast<WPARAM>(after),
                                  reinterpret_cast<LPARAM>(Wide(kScreenCodec).c_str()));
        };
        EXPECT_TRUE(find(-1) >= 0 && find(find(-1)) == find(-1)) << "the screen codec is not listed once";
        ASSERT_TRUE(!codec ||
                    ::SendMessageW(::GetDlgItem(dialog, 880), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(Wide(codec).c_str())) >= 0)
            << "no codec " << codec;
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(880, CBN_SELCHANGE), 0);
        started = std::chrono::steady_clock::now();
        PressButton(dialog, codec ? IDOK : IDCANCEL);
        ASSERT_TRUE(!codec || Until([&] { return !Idle(); })) << "the recording did not start";
    }

    void SelectSource() {
        ::SendMessageW(Item(IDC_SOURCE), CB_SELECTSTRING, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(Wide(kSource).c_str()));
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SOURCE, CBN_SELCHANGE), 0);
    }

    // Waits for a message box over the recorder, checks how its text begins and accepts it.
    void Accept(const char* text) {
        HWND box = Dialog(L"Mirvox");
        ASSERT_NE(box, nullptr) << "no message box: " << text;
        EXPECT_EQ(Text(::GetDlgItem(box, 0xFFFF)).substr(0, Wide(text).size()), Wide(text));
        countAtMessage = Count();
        PressButton(box, IDOK);
        ASSERT_TRUE(Until([&] { return !::IsWindow(box); }));
    }

    // Esc, as the user closes the program; or the process killed.
    void Close(bool escape = true) {
        EXPECT_TRUE(!escape ||
                    (::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0) && Until([&] { return Exited(); })))
            << "Esc did not end the program";
        ::TerminateProcess(m_process.get(), 9);
        ::WaitForSingleObject(m_process.get(), 10'000);
    }

    UniqueFile m_process;
    HWND window = nullptr;
    int countAtMessage = -1;
    std::chrono::steady_clock::time_point started;
};

// Away from the recorder and its dialogs: a window read from the screen shows what covers it.
void PlaceSource(HWND source) {
    ::SetWindowPos(source, HWND_TOPMOST, ::GetSystemMetrics(SM_CXSCREEN) - kWidth - 20,
                   ::GetSystemMetrics(SM_CYSCREEN) - kHeight - 20, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

// Rows of a decoded frame that differ from the source window's picture.
std::vector<int> MarkedRows(const std::vector<uint8_t>& frame) {
    std::vector<int> rows;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth && (rows.empty() || rows.back() != y); ++x)
            if (const uint8_t* p = &frame[(y * kWidth + x) * 4u];
                (p[0] | p[1] << 8 | p[2] << 16) !=
                static_cast<int>(PatternWindow::ExpectedPixel(x, y, kWidth, kHeight)))
                rows.push_back(y);
    return rows;
}

using Write = std::tuple<const char*, DWORD, std::string>;
enum class End { Stop, Close, WindowResized, WindowClosed, DiskFull, Kill };

// One journey: what is set up, how the recording starts and how it ends.
struct Case {
    const char* name;
    bool window = false; // the driver's window at 20 frames a second, else the whole screen
    const char* codec = kFullFrames;
    How start = How::Click, stop = How::Click;
    End end = End::Stop;           // Close: closed while recording
    const char* message = nullptr; // the message the end brings
    const char* earlier = nullptr; // first a cancelled start over a file with these bytes ("": no file)
    bool browse = false;           // the output chosen through Browse
    const wchar_t* rate = nullptr; // typed into the rate box
    std::vector<Write> writes = {};
    Store stored = {};
};

// A caption font (height -12, bold, Shift-JIS) whose face name fills its 32 bytes with no NUL.
const std::string kFont = Int(-12) + Int(0) + Int(0) + Int(0) + Int(700) + Int(INT32_MIN) + Int(0);

const Case kCases[] = {
    {.name = "DefaultsRecordTheWholeScreen"},
    {.name = "CancelledStartKeepsTheEarlierFile", .earlier = "RIFF, an earlier recording"},
    {.name = "CancelledStartMakesNoFile", .earlier = ""},
    // In code page 932 the second byte of 表, 能 and 予 is a backslash's: 機能表\予定表.avi.
    {.name = "BrowseToNamesWithBackslashTrailBytes", .browse = true, .stored = {.file = Ansi("予定表.avi")}},
    {.name = "RateTenClosedWhileRecording", .end = End::Close, .rate = L"10", .stored = {.rate = 10}},
    {.name = "EnterAfterAMouseEventOverTheIcon", .start = How::Enter, .stop = How::Enter},
    {.name = "PopupCommandStartsAndStops", .start = How::Popup, .stop = How::Popup},
    // The up-down controls hold 500 and 60 within their ranges; the location goes back unchecked.
    {.name = "GarbageOutOfRangeOversizedEmptyOrUnterminated",
     .writes = {Write("Rate", REG_BINARY, Int(500)), Write("Frames", REG_BINARY, Int(60) + "\t\t\t\t"),
                Write("Location", REG_BINARY, Int(99)), Write("Caption", REG_BINARY, Int(7)),
                Write("LFont", REG_BINARY, kFont + std::string(32, 'A')), Write("CaptionString", REG_SZ, ""),
                Write("Path", REG_BINARY, std::string("C:\\\0", 4))},
     .stored = {.rate = 200, .fps = 60, .location = 99, .format = "", .face = std::string(31, 'A')}},
    {.name = "GarbageShortOrOfTheWrongType",
     .writes = {Write("Rate", REG_BINARY, std::string("\7\0", 2)), Write("Frames", REG_DWORD, Int(25)),
                Write("Location", REG_SZ, "3"), Write("File", REG_BINARY, std::string("a.avi\0", 6))}},
    {.name = "WindowWithCaptionOff", .window = true, .stored = {.caption = 0}},
    {.name = "WindowWithCaptionOnThroughTheScreenCodec", .window = true, .codec = kScreenCodec},
    {.name = "WindowResized", .window = true, .end = End::WindowResized, .message = kSizeChanged},
    {.name = "WindowClosed", .window = true, .end = End::WindowClosed, .message = kCaptureError},
    {.name = "DiskFull", .window = true, .end = End::DiskFull, .message = kWriteError},
    {.name = "KilledWhileRecording", .window = true, .end = End::Kill},
};

class Journey : public ::testing::TestWithParam<size_t> {};

} // namespace

TEST_P(Journey, Runs) {
    const Case& c = kCases[GetParam()];
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppKey);
    ScratchFolder folder;
    std::optional<SmallFilesystem> small;
    std::optional<PatternWindow> source;
    Store expected = c.stored;
    if (c.end == End::DiskFull) {
        ASSERT_TRUE(small.emplace(folder, "1m").mounted()) << "mounting a tmpfs needs root";
        Put("Path", REG_SZ, expected.path = small->path());
    }
    if (c.browse)
        ::CreateDirectoryA((expected.path = folder.path() + Ansi("機能表\\")).c_str(), nullptr);
    for (const auto& [name, type, bytes] : c.writes)
        Put(name, type, bytes);
    if (c.window) {
        Put("Frames", REG_BINARY, Int(expected.fps = 20));
        PlaceSource(source.emplace(kWidth, kHeight, kSource).hwnd());
    }
    const std::string file = (expected.path.empty() ? folder.path() : expected.path) + expected.file;
    if (c.earlier && *c.earlier)
        std::ofstream(file, std::ios::binary) << c.earlier;
    const int iconsBefore = TrayIcons(), ticks = c.end == End::Kill ? 40 : c.end == End::DiskFull ? 0 : 2;
    int last = -1;
    {
        Recorder mirvox(folder.path());
        ASSERT_NE(mirvox.window, nullptr) << "the recorder window did not appear";
        if (c.earlier) {
            ASSERT_NO_FATAL_FAILURE(mirvox.Start(How::Click, nullptr));
            ASSERT_NO_FATAL_FAILURE(mirvox.Accept("初期化に失敗しました。"));
            std::ifstream earlier(file, std::ios::binary);
            const std::string after(std::istreambuf_iterator<char>(earlier), {});
            EXPECT_TRUE(earlier.is_open() == (*c.earlier != '\0') && after == c.earlier)
                << "a cancelled start changed the file: " << (earlier.is_open() ? after.size() : -1)
                << " bytes";
        }
        if (c.browse) {
            PressButton(mirvox.window, IDC_BROWSE);
            // The file name box is the edit inside the combo box cmb13.
            HWND chooser = mirvox.Dialog(L""), name = ::GetDlgItem(chooser, 0x47c);
            name = ::FindWindowExW(::FindWindowExW(name, nullptr, L"ComboBox", nullptr), nullptr, L"Edit",
                                   nullptr);
            const std::wstring path = Wide(folder.path().c_str()) + Wide("機能表\\予定表.avi");
            ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            PressButton(chooser, IDOK);
            ASSERT_TRUE(Until([&] { return !::IsWindow(chooser); })) << "the chooser did not take the name";
        }
        if (c.rate)
            ::SendMessageW(mirvox.Item(IDC_RATE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.rate));
        if (c.window)
            mirvox.SelectSource();
        if (!expected.caption) // posted, and so handled before the start posted later
            PressButton(mirvox.window, IDC_CAPTION_ON);
        if (c.start == How::Enter) {
            // The pointer passing over the icon, as the notification area reports it; then the focus
            // in the source box, which is no button, so that Enter goes to the default button.
            ::PostMessageW(mirvox.window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_MOUSEMOVE);
            ::PostMessageW(mirvox.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(mirvox.Item(IDC_SOURCE)),
                           1);
            ASSERT_TRUE(Until([&] { return Focus(mirvox.window) == mirvox.Item(IDC_SOURCE); }));
        }
        ASSERT_NO_FATAL_FAILURE(mirvox.Start(c.start, c.codec));
        ASSERT_TRUE(Until([&] { return mirvox.Count() >= ticks; }));
        // Timers do not fire early: an interval passed between the codec choice and each tick.
        const auto interval = expected.rate * 1ms * (1000 / expected.fps);
        EXPECT_GE(std::chrono::steady_clock::now() - mirvox.started, (ticks + 1) * interval - 20ms);
        EXPECT_EQ(TrayIcons() - iconsBefore, 1) << "no icon while recording";
        if (c.end == End::WindowResized)
            source->ResizeClient(kWidth + 1, kHeight);
        if (c.end == End::WindowClosed)
            ::PostMessageW(source->hwnd(), WM_CLOSE, 0, 0);
        if (c.message)
            mirvox.Accept(c.message);
        if (c.end == End::Stop)
            mirvox.Press(c.stop);
        EXPECT_TRUE(c.end == End::Close || c.end == End::Kill || Until([&] { return mirvox.Idle(); }));
        // After a failure the counter shows the frame that was not written.
        last = c.message ? mirvox.countAtMessage - 1 : mirvox.Count();
        mirvox.Close(c.end != End::Kill);
    }
    EXPECT_TRUE(c.end == End::Kill || TrayIcons() == iconsBefore) << "the icon stayed after the close";
    // The host tools get a plain name: a command line to the host carries code page 932 bytes.
    ASSERT_TRUE(::CopyFileA(file.c_str(), folder.File("probed.avi").c_str(), FALSE)) << "no file " << file;
    const auto [width, height, fps, header, decoded] = ProbeFile(folder.File("probed.avi"));
    const auto frames = c.window ? DecodeFrames(folder.File("probed.avi"), kWidth, kHeight)
                                 : std::vector<std::vector<uint8_t>>{};
    EXPECT_EQ(width, c.window ? kWidth : ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(height, c.window ? kHeight : ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(fps, expected.fps);
    if (c.end == End::Kill) {
        EXPECT_GT(header, 1) << "frames beyond the first were flushed";
        EXPECT_GE(static_cast<int>(frames.size()), header) << "every flushed frame decodes";
    } else {
        EXPECT_EQ(header, decoded) << "the file was not completed";
        // A close while recording may come one tick after the counter was read; a write that fails in
        // the background is noticed a tick or two after the frames that did not reach the disk.
        EXPECT_GE(decoded, last + (c.end == End::DiskFull ? -1 : 1));
        EXPECT_LE(decoded, last + (c.end == End::Close ? 2 : 1));
        EXPECT_EQ(static_cast<int>(frames.size()), c.window ? decoded : 0);
        EXPECT_EQ(Stored(), Render(expected));
    }
    // The caption sits in the top left corner; the rest is the window's picture.
    for (size_t k = 0; k < frames.size(); ++k) {
        const std::vector<int> rows = MarkedRows(frames[k]);
        EXPECT_EQ(rows.empty(), !expected.caption) << "frame " << k;
        EXPECT_TRUE(rows.empty() || (rows.front() == 0 && rows.back() < kHeight / 2)) << "frame " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Mirvox, Journey, ::testing::Range<size_t>(0, std::size(kCases)),
                         [](const auto& info) { return std::string(kCases[info.param].name); });

// Pixels of the frames a player wrote, in order and then backwards, that differ from ffmpeg's decoding;
// the fourth byte of 32 goes unused.
int Differences(const std::string& shown, const std::vector<std::vector<uint8_t>>& frames, int bits,
                int sign) {
    const size_t n = frames.size(), bytes = bits / 8, stride = (kWidth * bytes + 3) & ~size_t{3};
    if (shown.size() != 2 * n * stride * kHeight)
        return -1;
    int differences = 0;
    for (size_t k = 0; k < 2 * n; ++k)
        for (size_t y = 0; y < kHeight; ++y)
            for (size_t x = 0; x < kWidth; ++x)
                differences +=
                    std::memcmp(&shown[(k * kHeight + (sign < 0 ? y : kHeight - 1 - y)) * stride + x * bytes],
                                &frames[k < n ? k : 2 * n - 1 - k][(y * kWidth + x) * 4], 3) != 0;
    return differences;
}

// Run by run_e2e.sh --package once the release is installed, with MIRVOX_EXE naming the installed
// program: started as its shortcut starts it, in its own folder, it records through the installed
// codec, which programs that are not Mirvox, 64-bit and 32-bit, then play through the platform's AVI
// reader frame for frame as ffmpeg decodes the file.
TEST(Package, InstalledProgramRecordsWhatOtherProgramsPlay) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppKey);
    ScratchFolder folder;
    Put("Path", REG_SZ, folder.path());
    Put("Frames", REG_BINARY, Int(20));
    PatternWindow source(kWidth, kHeight, kSource);
    PlaceSource(source.hwnd());
    const std::string exe = Env("MIRVOX_EXE"), file = folder.File("Mirvox.avi");
    Recorder installed(exe.substr(0, exe.rfind('\\')), exe);
    ASSERT_NE(installed.window, nullptr) << "the installed program showed no window";
    installed.SelectSource();
    ASSERT_NO_FATAL_FAILURE(installed.Start(How::Click, kScreenCodec));
    for (int phase = 1; phase <= 3; ++phase) {
        ASSERT_TRUE(Until([&] { return installed.Count() >= phase * 10; }));
        source.SetPhase(phase);
    }
    installed.Close(); // which finishes the file
    const auto frames = DecodeFrames(file, kWidth, kHeight);
    ASSERT_GT(frames.size(), 30u);
    for (auto [reader, bits, sign] : {std::tuple{"MIRVOX_READER64", 32, -1}, {"MIRVOX_READER32", 24, 1}}) {
        SCOPED_TRACE(reader);
        std::string player = Env(reader), shown = folder.File("shown.raw");
        std::replace(player.begin(), player.end(), '/', '\\');
        UniqueFile run = Launch("\"Z:" + player + "\" \"" + file + "\" \"" + shown + "\" " +
                                std::to_string(bits) + " " + std::to_string(sign));
        DWORD status = 1;
        ASSERT_TRUE(run && ::WaitForSingleObject(run.get(), 120'000) == WAIT_OBJECT_0 &&
                    ::GetExitCodeProcess(run.get(), &status));
        EXPECT_EQ(status, 0u) << "1: no file, 2: no decompressor, 3: a frame failed";
        EXPECT_EQ(Differences(FileBytes(shown), frames, bits, sign), 0);
    }
}
