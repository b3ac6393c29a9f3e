// Mirvox.exe met from the outside: each journey starts it as a process of its own, works it only through
// its windows, then reads the AVI file with the host's ffprobe/ffmpeg and the settings from the registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>

#include "recorder/caption_placement.h"
#include "res/resource.h"
#include "tests/support/avi_reader.h"
#include "tests/support/test_support.h"

using namespace test_support;

namespace {

constexpr char kAppKey[] = "Software\\Veldrane Products\\Mirvox", kSource[] = "Mirvox e2e source";
const std::string kOptionKey = std::string(kAppKey) + "\\Option";
constexpr int kWidth = 160, kHeight = 120; // the recorded window's client area
// The nine controls that feed a recording: disabled while it runs.
constexpr int kInputs[] = {IDC_SOURCE, IDC_RATE_SPIN, IDC_FPS_SPIN, IDC_FILE_NAME, IDC_RATE,
                           IDC_FPS,    IDC_RESET,     IDC_BROWSE,   IDC_TIME_LIMIT};

template <typename T> std::string Bytes(const T& value, size_t size = sizeof(T)) {
    return std::string(reinterpret_cast<const char*>(&value), size);
}
void Put(const char* name, DWORD type, const std::string& bytes) {
    const std::string data = type == REG_SZ ? bytes + '\0' : bytes;
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kOptionKey.c_str(), name, type, data.data(), DWORD(data.size()));
}

// A caption font record: the first one (the stock variable-pitch font's, in bold, with string 119's
// face), or height -12, bold, Shift-JIS with another face.
LOGFONTA Font(const std::string& face = "") {
    LOGFONTA font{};
    font.lfHeight = -12;
    font.lfCharSet = SHIFTJIS_CHARSET;
    if (face.empty())
        ::GetObjectA(::GetStockObject(ANSI_VAR_FONT), sizeof(font), &font);
    font.lfWeight = FW_BOLD;
    std::strncpy(font.lfFaceName, face.empty() ? Ansi("ＭＳ Ｐゴシック").c_str() : face.c_str(), 31);
    return font;
}

// The Option section as "name=type:value;" in the store's order (by name): a 32-bit binary as a
// number, the caption font record as "height,weight,face".
std::string Stored() {
    static char name[64], data[1 << 17];
    std::string all;
    HKEY key = nullptr;
    ::RegOpenKeyExA(HKEY_CURRENT_USER, kOptionKey.c_str(), 0, KEY_READ, &key);
    for (DWORD i = 0, n = 64, size = sizeof(data) - 1, type = 0;
         !::RegEnumValueA(key, i++, name, &n, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
         n = 64, size = sizeof(data) - 1) {
        const auto at = [](int offset) { return std::to_string(*reinterpret_cast<int32_t*>(data + offset)); };
        data[size] = '\0';
        const std::string number = size == 4 ? at(0) : at(0) + "," + at(16) + "," + (data + 28);
        all += name + ("=" + std::to_string(type) + ":") + (type == REG_SZ ? data : number) + ";";
    }
    ::RegCloseKey(key);
    return all;
}

// The eight values a close stores.
struct Store {
    int rate = 1, fps = 4, location = 0, caption = 1;
    std::string path = "", file = "Mirvox.avi", format = "%a, %d %b %Y %H:%M:%S %z";
    LOGFONTA font = Font();
};
std::string Render(const Store& e) {
    using std::to_string;
    return "Caption=3:" + to_string(e.caption) + ";CaptionString=1:" + e.format + ";File=1:" + e.file +
           ";Frames=3:" + to_string(e.fps) + ";LFont=3:" + to_string(e.font.lfHeight) + "," +
           to_string(e.font.lfWeight) + "," + e.font.lfFaceName + ";Location=3:" + to_string(e.location) +
           ";Path=1:" + e.path + ";Rate=3:" + to_string(e.rate) + ";";
}

// The recorded window's picture with the caption drawn over it as the recorder should draw it.
std::vector<uint8_t> Captioned(const LOGFONTA& record, int location) {
    const std::wstring text = Wide("録画中 Mirvox %");
    std::vector<uint8_t> frame = PatternFrame(kWidth, kHeight);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, -kHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    std::memcpy(bits, frame.data(), frame.size());
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    SharedFont font = MakeSharedFont(::CreateFontIndirectA(&record));
    SelectionRestore selectedBitmap(dc.get(), bitmap.get()), selectedFont(dc.get(), font.get());
    ::SetBkColor(dc.get(), RGB(0, 0, 0));
    ::SetTextColor(dc.get(), RGB(255, 255, 255));
    SIZE size{};
    ::GetTextExtentPoint32W(dc.get(), text.data(), int(text.size()), &size);
    const auto at = caption_placement::Place(location, kWidth, kHeight, size.cx, size.cy);
    ::TextOutW(dc.get(), at.x, at.y, text.data(), int(text.size()));
    ::GdiFlush();
    std::memcpy(frame.data(), bits, frame.size());
    return frame;
}

// A 1 MiB tmpfs mounted from the host side into the folder (needs root there), so that the disk fills.
struct SmallDisk {
    explicit SmallDisk(const ScratchFolder& folder) : path(folder.File("small\\")) {
        ::CreateDirectoryA(path.c_str(), nullptr);
        int code = -1;
        RunHost("mount -t tmpfs -o size=1m mirvox-test " + ShellQuote(HostPath(path)), &code);
        mounted = code == 0;
    }
    ~SmallDisk() {
        if (mounted)
            RunHost("umount " + ShellQuote(HostPath(path)));
    }
    std::string path;
    bool mounted = false;
};

// One run of Mirvox.exe and its recorder window.
struct Recorder : RecorderHands {
    explicit Recorder(const std::string& folder, const std::string& exe = std::getenv("MIRVOX_EXE"))
        : m_process(Launch("\"" + exe + "\"", folder, &process)) {
        window = m_process ? Dialog(L"Mirvox") : nullptr;
    }
    ~Recorder() { Close(0); }
    size_t EnabledInputs() const {
        return std::count_if(std::begin(kInputs), std::end(kInputs),
                             [&](int id) { return ::IsWindowEnabled(Item(id)); });
    }
    // Esc or the close box, as the user closes the program; the process is killed in any case.
    void Close(WPARAM how = VK_ESCAPE) {
        EXPECT_TRUE(!how || (::PostMessageW(window, how == SC_CLOSE ? WM_SYSCOMMAND : WM_KEYDOWN, how, 0) &&
                             WaitUntil([&] { return ::WaitForSingleObject(m_process.get(), 0) == 0; })))
            << "the program did not end";
        ::TerminateProcess(m_process.get(), 9);
        ::WaitForSingleObject(m_process.get(), 10'000);
    }
    UniqueFile m_process;
};

using Write = std::tuple<const char*, DWORD, std::string>;
enum class End { Stop, Close, WindowClosed, DiskFull, Kill };

// One journey: what is set up, how the recording starts and how it ends.
struct Case {
    const char* name;
    bool window = false; // the driver's window at 20 frames a second, else the whole screen
    const char* codec = kFullFrames;
    How start = How::Click, stop = How::Click;
    End end = End::Stop;           // Close: closed while recording
    const char* message = "";      // how the message the end brings begins
    const char* earlier = nullptr; // the bytes of an earlier file at the output path
    bool cancel = false;           // first a start with the codec choice cancelled
    bool browse = false;           // the output chosen through Browse, after a choice cancelled
    bool captionDialog = false;    // the caption changed in its dialog, after changes cancelled
    int rate = 0, rateAtClose = 0; // typed into the rate box before the start, before the close
    std::vector<Write> writes = {};
    Store stored = {};
};

const std::string kLongText = std::string(99'999, 'a') + "z";

const Case kCases[] = {
    {.name = "DefaultsThroughThePopupMenu", .start = How::Popup, .stop = How::Popup, .rateAtClose = 57},
    {.name = "CancelledStartKeepsTheEarlierFile", .earlier = "RIFF, an earlier recording", .cancel = true},
    // In code page 932 the second byte of 表, 能 and 予 is a backslash's: 機能表\予定表.avi, which
    // exists already and is replaced without a question.
    {.name = "BrowseToNamesWithBackslashTrailBytes",
     .earlier = "an earlier file",
     .browse = true,
     .stored = {.file = Ansi("予定表.avi")}},
    {.name = "RateTenClosedWhileRecording", .end = End::Close, .rate = 10, .stored = {.rate = 10}},
    // The up-down controls hold 500 and 60 within their ranges; the location goes back unchecked.
    {.name = "GarbageOutOfRangeOversizedEmptyOrUnterminated",
     .writes = {Write("Rate", REG_BINARY, Bytes(500)), Write("Frames", REG_BINARY, Bytes(60) + "\t\t\t\t"),
                Write("Location", REG_BINARY, Bytes(99)), Write("Caption", REG_BINARY, Bytes(7)),
                Write("LFont", REG_BINARY, Bytes(Font("x"), 28) + std::string(32, 'A')),
                Write("CaptionString", REG_SZ, ""), Write("Path", REG_BINARY, std::string("C:\\\0", 4))},
     .stored = {.rate = 200, .fps = 60, .location = 99, .format = "", .font = Font(std::string(31, 'A'))}},
    {.name = "GarbageShortLongOrOfTheWrongType",
     .writes = {Write("Rate", REG_BINARY, std::string("\7\0", 2)), Write("Frames", REG_DWORD, Bytes(25)),
                Write("Location", REG_SZ, "3"), Write("File", REG_BINARY, std::string("a.avi\0", 6)),
                Write("LFont", REG_SZ, "Arial"), Write("CaptionString", REG_SZ, kLongText)},
     .stored = {.format = kLongText}},
    // What an earlier run stored, the caption off among it.
    {.name = "WindowWithTheSettingsOfAnEarlierRun",
     .window = true,
     .writes = {Write("Rate", REG_BINARY, Bytes(2)), Write("File", REG_SZ, "clip.avi"),
                Write("LFont", REG_BINARY, Bytes(Font("Arial"))), Write("Location", REG_BINARY, Bytes(4)),
                Write("Caption", REG_BINARY, Bytes(0))},
     .stored = {.rate = 2, .location = 4, .caption = 0, .file = "clip.avi", .font = Font("Arial")}},
    // The font record is of the font dialog's kind: character height, no width; the text is measured.
    {.name = "WindowCaptionChosenInItsDialogThroughTheScreenCodec",
     .window = true,
     .codec = kScreenCodec,
     .captionDialog = true,
     .writes = {Write("LFont", REG_BINARY, Bytes(Font("DejaVu Serif"))),
                Write("Location", REG_BINARY, Bytes(4)), Write("CaptionString", REG_SZ, "before")},
     .stored = {.location = 5, .font = Font("DejaVu Serif")}},
    {.name = "WindowClosed", .window = true, .end = End::WindowClosed, .message = "キャプチャ内部"},
    {.name = "DiskFull", .window = true, .end = End::DiskFull, .message = "ストリーム"},
    {.name = "KilledWhileRecording", .window = true, .end = End::Kill},
};

class Journey : public ::testing::TestWithParam<size_t> {};

} // namespace

TEST_P(Journey, Runs) {
    const Case& c = kCases[GetParam()];
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppKey);
    ScratchFolder folder;
    std::optional<SmallDisk> small;
    UniqueWindow source;
    Store expected = c.stored;
    if (c.end == End::DiskFull) {
        ASSERT_TRUE(small.emplace(folder).mounted) << "mounting a tmpfs needs root";
        Put("Path", REG_SZ, expected.path = small->path);
    }
    if (c.browse)
        ::CreateDirectoryA((expected.path = folder.path() + Ansi("機能表\\")).c_str(), nullptr);
    if (c.window) { // 20 frames a second, a caption without the time: every frame is known beforehand
        Put("Frames", REG_BINARY, Bytes(expected.fps = 20));
        Put("CaptionString", REG_SZ, expected.format = Ansi("録画中 Mirvox %%"));
        source = PatternWindow(kWidth, kHeight, kSource);
    }
    for (const auto& [name, type, bytes] : c.writes)
        Put(name, type, bytes);
    const std::string file = (expected.path.empty() ? folder.path() : expected.path) + expected.file;
    if (c.earlier)
        std::ofstream(file, std::ios::binary) << c.earlier;
    const int ticks = c.end == End::Kill ? 40 : c.end == End::DiskFull ? 0 : 2;
    int last = -1;
    {
        Recorder mirvox(folder.path());
        ASSERT_NE(mirvox.window, nullptr) << "the recorder window did not appear";
        if (c.cancel) {
            ASSERT_NO_FATAL_FAILURE(mirvox.Start(How::Click, nullptr));
            ASSERT_NO_FATAL_FAILURE(mirvox.Accept("初期化に失敗しました。"));
            EXPECT_EQ(FileBytes(file), c.earlier ? c.earlier : "") << "a cancelled start changed the file";
        }
        for (int button : c.browse ? std::vector{IDCANCEL, IDOK} : std::vector<int>()) {
            PostCommand(mirvox.window, IDC_BROWSE);
            HWND chooser = mirvox.Dialog(L""); // its file name box is the combo box cmb13
            EXPECT_EQ(::GetWindow(chooser, GW_OWNER), mirvox.window);
            const std::wstring path = Wide(folder.path().c_str()) + Wide("機能表\\予定表.avi");
            ::SendMessageW(::GetDlgItem(chooser, 0x47c), WM_SETTEXT, 0, LPARAM(path.c_str()));
            ASSERT_TRUE(Dismiss(chooser, button)) << "the chooser did not take the name";
            EXPECT_EQ(TextOf(mirvox.Item(IDC_FILE_NAME)), Wide(button == IDOK ? "予定表.avi" : "Mirvox.avi"));
        }
        for (int button : c.captionDialog ? std::vector{IDCANCEL, IDOK} : std::vector<int>()) {
            PostCommand(mirvox.window, IDC_CAPTION_SETTINGS);
            HWND settings = mirvox.Dialog(Wide("キャプション設定"));
            EXPECT_EQ(::IsDlgButtonChecked(settings, IDC_LOCATION_FIRST + 4), BST_CHECKED) << "not as stored";
            PostCommand(settings, IDC_FONT);
            HWND fonts = mirvox.Dialog(Wide("フォントの指定"));
            EXPECT_TRUE(!::GetWindow(fonts, GW_OWNER) && ::IsWindowEnabled(settings)) << "owned by none";
            EXPECT_NE(TextOf(::GetDlgItem(fonts, 0x470)), L"DejaVu Serif")
                << "the current font is preselected";
            ASSERT_TRUE(Dismiss(fonts, IDCANCEL));
            const std::wstring format = button == IDOK ? Wide("録画中 Mirvox %%") : L"changed";
            ::SendDlgItemMessageW(settings, IDC_CAPTION_FORMAT, WM_SETTEXT, 0, LPARAM(format.c_str()));
            ::CheckRadioButton(settings, 1020, 1025, button == IDOK ? 1025 : 1022);
            ASSERT_TRUE(Dismiss(settings, button));
        }
        if (c.rate)
            ::SetDlgItemTextW(mirvox.window, IDC_RATE, std::to_wstring(c.rate).c_str());
        // The box shows the name; typing into it changes nothing.
        ::SetDlgItemTextW(mirvox.window, IDC_FILE_NAME, L"typed.avi");
        if (c.window)
            mirvox.Choose(Wide(kSource));
        ASSERT_NO_FATAL_FAILURE(mirvox.Start(c.start, c.codec));
        ASSERT_TRUE(WaitUntil([&] { return mirvox.Count() >= ticks; }));
        // Timers do not fire early: an interval passed between the codec choice and each tick.
        const auto interval = expected.rate * 1ms * (1000 / expected.fps);
        EXPECT_GE(std::chrono::steady_clock::now() - mirvox.started, (ticks + 1) * interval - 20ms);
        EXPECT_EQ(mirvox.EnabledInputs(), 0u);
        if (c.end == End::WindowClosed)
            ::PostMessageW(source.get(), WM_CLOSE, 0, 0);
        if (*c.message)
            mirvox.Accept(c.message);
        if (c.end == End::Stop)
            mirvox.Press(c.stop);
        if (c.end != End::Close && c.end != End::Kill) {
            EXPECT_TRUE(WaitUntil([&] { return mirvox.Idle(); }));
            EXPECT_EQ(mirvox.EnabledInputs(), std::size(kInputs));
        }
        if (c.rateAtClose) // the text counts as the up-down control takes it
            ::SetDlgItemTextW(mirvox.window, IDC_RATE,
                              std::to_wstring(expected.rate = c.rateAtClose).c_str());
        // After a failure the counter shows the frame that was not written.
        last = *c.message ? mirvox.countAtMessage - 1 : mirvox.Count();
        mirvox.Close(c.end == End::Kill ? 0 : c.end == End::Close ? SC_CLOSE : VK_ESCAPE);
    }
    // The host tools get a plain name: a command line to the host carries code page 932 bytes.
    const std::string probed = folder.File("probed.avi");
    ASSERT_TRUE(::CopyFileA(file.c_str(), probed.c_str(), FALSE)) << "no file " << file;
    int width = 0, height = 0, fps = 0, header = -1, frames = -1;
    std::sscanf(
        Ffprobe(probed, "stream=width,height,r_frame_rate,nb_frames,nb_read_frames", "-count_frames").c_str(),
        "%d %d %d/1 %d %d", &width, &height, &fps, &header, &frames);
    EXPECT_EQ(width, c.window ? kWidth : ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(height, c.window ? kHeight : ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(fps, expected.fps);
    if (c.end == End::Kill) {
        EXPECT_GT(header, 1) << "frames beyond the first were flushed";
        EXPECT_GE(frames, header) << "every flushed frame decodes";
    } else {
        EXPECT_EQ(header, frames) << "the file was not completed";
        // A close while recording may come one tick after the counter was read; a write that fails in
        // the background is noticed a tick or two after the frames that did not reach the disk.
        EXPECT_GE(frames, last + (c.end == End::DiskFull ? -1 : 1));
        EXPECT_LE(frames, last + (c.end == End::Close ? 2 : 1));
        EXPECT_EQ(Stored(), Render(expected));
    }
    if (c.end == End::DiskFull) { // nothing torn after the last frame indexed
        const std::string bytes = FileBytes(file);
        const AviFile avi = ReadAvi({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
        EXPECT_TRUE(avi.errors.empty() && avi.end == bytes.size()) << avi.end << " of " << bytes.size();
    }
    if (!c.window)
        return;
    const auto decoded = DecodeFrames(probed, kWidth, kHeight);
    const auto picture =
        expected.caption ? Captioned(expected.font, expected.location) : PatternFrame(kWidth, kHeight);
    EXPECT_EQ(static_cast<int>(decoded.size()), frames);
    for (size_t k = 0; k < decoded.size(); ++k)
        EXPECT_EQ(Differences(decoded[k], picture), 0) << "frame " << k;
}

INSTANTIATE_TEST_SUITE_P(Mirvox, Journey, ::testing::Range<size_t>(0, std::size(kCases)),
                         [](const auto& info) { return std::string(kCases[info.param].name); });

// Run by run_e2e.sh --package once the release is installed, with MIRVOX_EXE naming the installed
// program: started as its shortcut starts it, in its own folder, it records through the installed
// codec, which programs that are not Mirvox, 64-bit and 32-bit, then play through the platform's AVI
// reader frame for frame as ffmpeg decodes the file.
TEST(Package, InstalledProgramRecordsWhatOtherProgramsPlay) {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppKey);
    ScratchFolder folder;
    Put("Path", REG_SZ, folder.path());
    Put("Frames", REG_BINARY, Bytes(20));
    UniqueWindow source = PatternWindow(kWidth, kHeight, kSource);
    const std::string exe = std::getenv("MIRVOX_EXE"), file = folder.File("Mirvox.avi");
    {
        Recorder installed(exe.substr(0, exe.rfind('\\')), exe);
        ASSERT_NE(installed.window, nullptr) << "the installed program showed no window";
        installed.Choose(Wide(kSource));
        ASSERT_NO_FATAL_FAILURE(installed.Start(How::Click, kScreenCodec));
        for (int phase = 1; phase <= 3; ++phase) {
            ASSERT_TRUE(WaitUntil([&] { return installed.Count() >= phase * 10; }));
            SetPhase(source.get(), phase);
        }
        installed.Close(); // with Esc, which finishes the file
    }
    const auto frames = DecodeFrames(file, kWidth, kHeight);
    ASSERT_GT(frames.size(), 30u);
    for (auto [reader, bits, sign] : {std::tuple{"MIRVOX_READER64", 32, -1}, {"MIRVOX_READER32", 24, 1}}) {
        SCOPED_TRACE(reader);
        if (!*std::getenv(reader)) {
            std::printf("%s not run: this machine cannot start 32-bit programs\n", reader);
            continue;
        }
        const std::string shown = folder.File("shown.raw");
        UniqueFile run = Launch(std::string("\"Z:") + std::getenv(reader) + "\" \"" + file + "\" \"" + shown +
                                "\" " + std::to_string(bits) + " " + std::to_string(sign));
        DWORD status = 1;
        ASSERT_TRUE(::WaitForSingleObject(run.get(), 120'000) == WAIT_OBJECT_0 &&
                    ::GetExitCodeProcess(run.get(), &status));
        EXPECT_EQ(status, 0u) << "1: no file, 2: no decompressor, 3: a frame failed";
        std::vector<uint8_t> forthAndBack; // as the player goes through the file
        for (const auto& frame : frames)
            forthAndBack.insert(forthAndBack.end(), frame.begin(), frame.end());
        for (auto frame = frames.rbegin(); frame != frames.rend(); ++frame)
            forthAndBack.insert(forthAndBack.end(), frame->begin(), frame->end());
        const std::string played = FileBytes(shown);
        EXPECT_EQ(Differences({played.begin(), played.end()}, forthAndBack), 0);
    }
}
