// Mirvox.exe met from the outside: each test starts the program as a process of its own, works it
// only through its windows as a user would, and afterwards checks the AVI file with the host's
// ffprobe/ffmpeg and the stored settings with `wine reg query`.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "res/resource.h"
#include "tests/e2e/mirvox_process.h"
#include "tests/support/small_filesystem.h"
#include "tests/support/test_support.h"

using namespace e2e;
using test_support::HostPath;
using test_support::PatternWindow;
using test_support::RunHost;
using test_support::ScratchFolder;

namespace {

constexpr char kOptionKey[] = "Software\\Veldrane Products\\Mirvox\\Option";
constexpr char kAppKey[] = "Software\\Veldrane Products\\Mirvox";
constexpr char kNotice[] =
    "Mirvoxは、キャプチャが開始されるとアイコン化されます。\r\nキャプチャを停止するには、タスクバー上"
    "のアイコンをクリックしてウィンドウを回復するか、アイコンを右クリックしてメニューから操作してく"
    "ださい。";
constexpr char kFullFrames[] = "フル フレーム (無圧縮)";

std::string Quote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string MirvoxExe() {
    const char* exe = std::getenv("MIRVOX_EXE");
    return exe ? exe : "";
}

// `wine ...` commands run on the host in this prefix, one after the other, so that the registry is
// read and written by another program than Mirvox and the driver.
std::string RunWine(const std::vector<std::string>& commands, int* code = nullptr) {
    std::string script;
    if (const char* prefix = std::getenv("WINEPREFIX"))
        script = "export WINEPREFIX=" + Quote(prefix) + "; ";
    for (size_t i = 0; i < commands.size(); ++i)
        script += (i ? " && " : "") + std::string("wine ") + commands[i] + " </dev/null";
    // `reg add` reports its success on the console.
    if (commands.size() && commands[0].rfind("reg add", 0) == 0)
        script = "( " + script + " ) >/dev/null 2>&1";
    return RunHost(script, code);
}

struct StoredValue {
    std::string type, data;
};

// The Option section as `wine reg query` prints it: one line per value, name, type and data
// separated by four blanks.
std::map<std::string, StoredValue> QueryStoredValues() {
    std::string out = RunWine({"reg query " + Quote(std::string("HKCU\\") + kOptionKey)});
    std::map<std::string, StoredValue> values;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("    ", 0) != 0)
            continue;
        line = line.substr(4);
        const size_t nameEnd = line.find("    ");
        if (nameEnd == std::string::npos)
            continue;
        const size_t typeEnd = line.find("    ", nameEnd + 4);
        StoredValue v;
        v.type = line.substr(nameEnd + 4,
                             typeEnd == std::string::npos ? std::string::npos : typeEnd - nameEnd - 4);
        v.data = typeEnd == std::string::npos ? "" : line.substr(typeEnd + 4);
        values[line.substr(0, nameEnd)] = v;
    }
    return values;
}

std::string Int32Hex(int32_t value) {
    char hex[9];
    const auto u = static_cast<uint32_t>(value);
    std::snprintf(hex, sizeof(hex), "%02X%02X%02X%02X", u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF, u >> 24);
    return hex;
}

// The eight values a close stores, with the data expected in `wine reg query`'s notation.
struct ExpectedStore {
    int32_t rate = 1, fps = 4, location = 0, caption = 1;
    // No folder: it is checked apart, where it holds text `wine reg` cannot print.
    std::optional<std::string> path = "";
    std::string file = "Mirvox.avi", captionString = "%a, %d %b %Y %H:%M:%S %z";
    // The face name bytes of "LFont" (offset 28, 32 bytes) in hex; empty: not checked.
    std::string faceHex;
};

void ExpectStored(const ExpectedStore& e) {
    auto values = QueryStoredValues();
    EXPECT_EQ(values.size(), 8u);
    auto expect = [&](const char* name, const char* type, const std::string& data) {
        auto found = values.find(name);
        ASSERT_NE(found, values.end()) << name << " is not stored";
        EXPECT_EQ(found->second.type, type) << name;
        EXPECT_EQ(found->second.data, data) << name;
    };
    expect("Rate", "REG_BINARY", Int32Hex(e.rate));
    expect("Frames", "REG_BINARY", Int32Hex(e.fps));
    if (e.path)
        expect("Path", "REG_SZ", *e.path);
    expect("File", "REG_SZ", e.file);
    expect("CaptionString", "REG_SZ", e.captionString);
    expect("Location", "REG_BINARY", Int32Hex(e.location));
    expect("Caption", "REG_BINARY", Int32Hex(e.caption));
    ASSERT_TRUE(values.count("LFont"));
    EXPECT_EQ(values["LFont"].type, "REG_BINARY");
    EXPECT_EQ(values["LFont"].data.size(), 120u) << "LFont holds 60 bytes";
    if (!e.faceHex.empty() && values["LFont"].data.size() == 120u) {
        EXPECT_EQ(values["LFont"].data.substr(56), e.faceHex);
    }
}

// A value read by this process (the driver runs in the same prefix), for texts the console
// code page of `wine reg` could not carry.
std::wstring StoredString(const char* name) {
    wchar_t text[1024] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueW(HKEY_CURRENT_USER, Wide(kOptionKey).c_str(), Wide(name).c_str(), RRF_RT_REG_SZ,
                       nullptr, text, &size) != ERROR_SUCCESS)
        return L"<absent>";
    return text;
}

void WriteStoredString(const char* name, const std::wstring& value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, Wide(kOptionKey).c_str(), Wide(name).c_str(), REG_SZ, value.c_str(),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void WriteStoredInt(const char* name, int32_t value) {
    ::RegSetKeyValueW(HKEY_CURRENT_USER, Wide(kOptionKey).c_str(), Wide(name).c_str(), REG_BINARY, &value,
                      sizeof(value));
}

// ffprobe's view of the video stream: the header's frame count and the count of decoded frames.
struct Probe {
    std::string codecType, codec, frameRate;
    int width = 0, height = 0, headerFrames = -1, decodedFrames = -1;
};

Probe ProbeFile(const std::string& windowsPath) {
    std::string out =
        RunHost("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                "stream=codec_type,codec_name,width,height,r_frame_rate,nb_frames,nb_read_frames "
                "-of default=noprint_wrappers=1 " +
                Quote(HostPath(windowsPath)));
    Probe p;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        const int number = std::atoi(value.c_str());
        if (key == "codec_type")
            p.codecType = value;
        else if (key == "codec_name")
            p.codec = value;
        else if (key == "r_frame_rate")
            p.frameRate = value;
        else if (key == "width")
            p.width = number;
        else if (key == "height")
            p.height = number;
        else if (key == "nb_frames")
            p.headerFrames = value == "N/A" ? -1 : number;
        else if (key == "nb_read_frames")
            p.decodedFrames = number;
    }
    return p;
}

// How many frames ffmpeg decodes without an error, whatever state the file is in.
int DecodableFrames(const std::string& windowsPath) {
    std::string out = RunHost("ffmpeg -v error -err_detect explode -i " + Quote(HostPath(windowsPath)) +
                              " -map 0:v:0 -f framemd5 - 2>/dev/null | grep -vc '^#'");
    return std::atoi(out.c_str());
}

// One run of Mirvox.exe and the recorder window it shows.
class Recorder {
public:
    explicit Recorder(const std::string& workingFolder) : m_process(MirvoxExe(), workingFolder) {
        if (m_process.started())
            m_window = m_process.WaitForDialog(L"Mirvox");
    }

    MirvoxProcess& process() { return m_process; }
    HWND window() const { return m_window; }
    HWND Item(int id) const { return ::GetDlgItem(m_window, id); }
    std::wstring ItemText(int id) const { return Text(Item(id)); }
    bool Recording() const { return ItemText(IDOK) == Wide("停止(&S)"); }
    bool Idle() const { return ItemText(IDOK) == Wide("開始(&S)"); }
    // The counter: the index of the frame the last tick wrote (or tried to).
    int ShownCount() const {
        const std::wstring status = ItemText(IDC_STATUS);
        const size_t colon = status.find(L':');
        return colon == std::wstring::npos ? -1 : std::stoi(status.substr(colon + 1));
    }
    void SetItemText(int id, const char* utf8) { SetText(Item(id), Wide(utf8)); }

    // Start as the user does it: a click (or the popup command), the notice accepted, "Full
    // Frames" chosen in the real compression dialog.
    void Start(bool throughPopup = false) {
        if (throughPopup)
            ChoosePopupCommand();
        else
            ClickStartStop();
        HWND notice = m_process.WaitForDialog(L"Mirvox", 20s, m_window);
        ASSERT_NE(notice, nullptr) << "no start notice";
        EXPECT_EQ(Text(::GetDlgItem(notice, 0xFFFF)), Wide(kNotice));
        Click(notice, IDOK);
        HWND codec = m_process.WaitForDialog(Wide("ビデオ圧縮"));
        ASSERT_NE(codec, nullptr) << "no compression dialog";
        codecItems = ComboItems(::GetDlgItem(codec, 880));
        ASSERT_TRUE(SelectComboItem(::GetDlgItem(codec, 880), Wide(kFullFrames)));
        Click(codec, IDOK);
        ASSERT_TRUE(Until([&] { return Recording(); })) << "the recording did not start";
    }

    void Stop(bool throughPopup = false) {
        if (throughPopup)
            ChoosePopupCommand();
        else
            ClickStartStop();
        ASSERT_TRUE(Until([&] { return Idle(); })) << "the recording did not stop";
    }

    bool WaitForCount(int count, std::chrono::milliseconds timeout = 20s) {
        return Until([&] { return ShownCount() >= count; }, timeout);
    }

    // Waits for a message box over the recorder, checks its text and accepts it.
    void ExpectMessage(const char* utf8) {
        HWND box = m_process.WaitForDialog(L"Mirvox", 20s, m_window);
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(Text(::GetDlgItem(box, 0xFFFF)), Wide(utf8));
        countAtMessage = ShownCount();
        Click(box, IDOK);
        ASSERT_TRUE(Until([&] { return !::IsWindow(box); }));
    }

    void CloseWithEscape() {
        PressEscape(m_window);
        ASSERT_TRUE(m_process.WaitForExit()) << "Esc did not end the program";
    }

    std::vector<std::wstring> codecItems;
    int countAtMessage = -1;

private:
    // What a click on button 1 hands the dialog. (A posted BM_CLICK would do the same, but under
    // Wine the button's own mouse emulation restores the window that the click minimised.)
    void ClickStartStop() {
        ::PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(Item(IDOK)));
    }

    // The icon's popup menu opened as a right click on the icon opens it, and its first command
    // chosen with the keyboard.
    void ChoosePopupCommand() {
        ::PostMessageW(m_window, WM_TRAY_NOTIFY, TRAY_ICON_ID, WM_RBUTTONDOWN);
        HWND menu = nullptr;
        Until([&] {
            menu = ::FindWindowW(L"#32768", nullptr);
            return menu && ::IsWindowVisible(menu);
        });
        ASSERT_NE(menu, nullptr) << "the popup menu did not open";
        ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    }

    MirvoxProcess m_process;
    HWND m_window = nullptr;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(MirvoxExe().empty()) << "MIRVOX_EXE names the program under test";
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppKey);
    }

    std::string OutputFile() const { return m_folder.File("Mirvox.avi"); }

    ScratchFolder m_folder;
};

} // namespace

TEST_F(EndToEnd, DefaultsRecordTheWholeScreen) {
    int lastShown = -1;
    {
        Recorder mirvox(m_folder.path());
        ASSERT_NE(mirvox.window(), nullptr) << "the recorder window did not appear";
        EXPECT_EQ(mirvox.ItemText(IDC_RATE), L"1");
        EXPECT_EQ(mirvox.ItemText(IDC_FPS), L"4");
        EXPECT_EQ(mirvox.ItemText(IDC_FILE_NAME), L"Mirvox.avi");
        EXPECT_EQ(::SendMessageW(mirvox.Item(IDC_CAPTION_ON), BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(mirvox.ItemText(IDC_SOURCE), Wide("全画面"));
        EXPECT_EQ(mirvox.ItemText(IDC_TIME_LIMIT), Wide("無制限"));
        EXPECT_TRUE(mirvox.Idle());

        ASSERT_NO_FATAL_FAILURE(mirvox.Start());
        EXPECT_NE(std::find(mirvox.codecItems.begin(), mirvox.codecItems.end(),
                            Wide("Mirvox 可逆画面コーデック (ZMBV)")),
                  mirvox.codecItems.end())
            << "Mirvox offers its own codec";
        ASSERT_TRUE(mirvox.WaitForCount(3));
        ASSERT_NO_FATAL_FAILURE(mirvox.Stop());
        EXPECT_FALSE(::IsIconic(mirvox.window()));
        // The idle look keeps the last tick's text: the index of the last frame written.
        lastShown = mirvox.ShownCount();
        mirvox.CloseWithEscape();
    }
    Probe probe = ProbeFile(OutputFile());
    EXPECT_EQ(probe.codecType, "video");
    EXPECT_EQ(probe.codec, "rawvideo");
    EXPECT_EQ(probe.frameRate, "4/1");
    EXPECT_EQ(probe.width, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(probe.height, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(probe.headerFrames, lastShown + 1);
    EXPECT_EQ(probe.decodedFrames, lastShown + 1);
    ExpectStored({});
}

TEST_F(EndToEnd, RateTenAtFourFramesASecondGrabsEveryTwoAndAHalfSeconds) {
    int lastShown = -1;
    double firstTwoTicksMs = 0;
    {
        Recorder mirvox(m_folder.path());
        ASSERT_NE(mirvox.window(), nullptr);
        mirvox.SetItemText(IDC_RATE, "10");
        ASSERT_NO_FATAL_FAILURE(mirvox.Start());
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(mirvox.WaitForCount(1, 20s));
        firstTwoTicksMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        ASSERT_NO_FATAL_FAILURE(mirvox.Stop());
        lastShown = mirvox.ShownCount();
        mirvox.CloseWithEscape();
    }
    std::printf("rate 10 at 4 fps: the second tick came %.0f ms after the start\n", firstTwoTicksMs);
    // Two intervals of 2500 ms; the start is seen a little after the timer was set.
    EXPECT_GE(firstTwoTicksMs, 4900);
    EXPECT_LT(firstTwoTicksMs, 8000);
    Probe probe = ProbeFile(OutputFile());
    EXPECT_EQ(probe.frameRate, "4/1");
    EXPECT_EQ(probe.decodedFrames, lastShown + 1);
    ExpectedStore stored;
    stored.rate = 10;
    ExpectStored(stored);
}

namespace {

constexpr char kSourceTitle[] = "Mirvox e2e source";
constexpr int kSourceWidth = 160, kSourceHeight = 120;

// Rows of a decoded frame that differ from the pattern window's phase-0 picture.
std::vector<int> RowsOffPattern(const std::vector<uint8_t>& frame) {
    std::vector<int> rows;
    for (int y = 0; y < kSourceHeight; ++y)
        for (int x = 0; x < kSourceWidth; ++x) {
            const uint8_t* p = &frame[(static_cast<size_t>(y) * kSourceWidth + x) * 4];
            const uint32_t bgr = p[0] | p[1] << 8 | p[2] << 16;
            if (bgr != PatternWindow::ExpectedPixel(x, y, kSourceWidth, kSourceHeight)) {
                rows.push_back(y);
                break;
            }
        }
    return rows;
}

// The recorded window, placed in the bottom right corner of the screen, away from the recorder
// window and the dialogs it opens: a window read from the screen shows what covers it.
class SourceWindow : public PatternWindow {
public:
    SourceWindow() : PatternWindow(kSourceWidth, kSourceHeight, kSourceTitle) {
        ::SetWindowPos(hwnd(), HWND_TOPMOST, ::GetSystemMetrics(SM_CXSCREEN) - kSourceWidth - 20,
                       ::GetSystemMetrics(SM_CYSCREEN) - kSourceHeight - 20, 0, 0,
                       SWP_NOSIZE | SWP_NOACTIVATE);
        Until([] { return false; }, 50ms);
    }
};

} // namespace

TEST_F(EndToEnd, WindowSourceWithCaptionOffAndOn) {
    for (bool caption : {false, true}) {
        SCOPED_TRACE(caption ? "caption on" : "caption off");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppKey);
        ::DeleteFileA(OutputFile().c_str());
        SourceWindow source;
        int lastShown = -1;
        {
            Recorder mirvox(m_folder.path());
            ASSERT_NE(mirvox.window(), nullptr);
            ASSERT_TRUE(SelectComboItem(mirvox.Item(IDC_SOURCE), Wide(kSourceTitle)));
            if (!caption)
                Click(mirvox.window(), IDC_CAPTION_ON);
            ASSERT_TRUE(Until([&] {
                return ::SendMessageW(mirvox.Item(IDC_CAPTION_ON), BM_GETCHECK, 0, 0) ==
                       (caption ? BST_CHECKED : BST_UNCHECKED);
            }));
            ASSERT_NO_FATAL_FAILURE(mirvox.Start());
            EXPECT_FALSE(::IsIconic(mirvox.window())) << "a window recording leaves the recorder as it was";
            ASSERT_TRUE(mirvox.WaitForCount(2));
            ASSERT_NO_FATAL_FAILURE(mirvox.Stop());
            lastShown = mirvox.ShownCount();
            mirvox.CloseWithEscape();
        }
        Probe probe = ProbeFile(OutputFile());
        EXPECT_EQ(probe.width, kSourceWidth);
        EXPECT_EQ(probe.height, kSourceHeight);
        EXPECT_EQ(probe.decodedFrames, lastShown + 1);
        auto frames = test_support::DecodeFrames(OutputFile(), kSourceWidth, kSourceHeight);
        ASSERT_FALSE(frames.empty());
        for (size_t k = 0; k < frames.size(); ++k) {
            std::vector<int> rows = RowsOffPattern(frames[k]);
            if (caption) {
                // The caption sits in the top left corner; the rest is the window's picture.
                ASSERT_FALSE(rows.empty()) << "no caption in frame " << k;
                EXPECT_EQ(rows.front(), 0) << "frame " << k;
                EXPECT_LT(rows.back(), kSourceHeight / 2) << "frame " << k;
            } else {
                EXPECT_TRUE(rows.empty()) << "frame " << k << " has marks from row " << rows.front();
            }
        }
        ExpectedStore stored;
        stored.caption = caption ? 1 : 0;
        ExpectStored(stored);
    }
}

TEST_F(EndToEnd, OutputChosenThroughBrowseInAJapaneseFolder) {
    const std::wstring folder = Wide(m_folder.path().c_str()) + Wide("録画テスト");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring file = folder + L"\\" + Wide("日本語.avi");
    int lastShown = -1;
    {
        Recorder mirvox(m_folder.path());
        ASSERT_NE(mirvox.window(), nullptr);
        Click(mirvox.window(), IDC_BROWSE);
        HWND chooser = mirvox.process().WaitForAnyDialog(mirvox.window());
        ASSERT_NE(chooser, nullptr) << "the file chooser did not open";
        // The file name box: the edit inside the extended combo box cmb13.
        HWND name =
            ::FindWindowExW(::FindWindowExW(::GetDlgItem(chooser, 0x47c), nullptr, L"ComboBox", nullptr),
                            nullptr, L"Edit", nullptr);
        ASSERT_NE(name, nullptr) << "no file name box in the chooser";
        SetText(name, file);
        Click(chooser, IDOK);
        ASSERT_TRUE(Until([&] { return !::IsWindow(chooser); })) << "the chooser did not take the name";
        EXPECT_EQ(mirvox.ItemText(IDC_FILE_NAME), Wide("日本語.avi"));
        ASSERT_NO_FATAL_FAILURE(mirvox.Start());
        ASSERT_TRUE(mirvox.WaitForCount(1));
        ASSERT_NO_FATAL_FAILURE(mirvox.Stop());
        lastShown = mirvox.ShownCount();
        mirvox.CloseWithEscape();
    }
    // The host tools get the file under a plain name: a command line to the host carries the
    // ANSI code page's bytes, not the host's UTF-8.
    const std::string plain = m_folder.File("browsed.avi");
    ASSERT_TRUE(::MoveFileW(file.c_str(), Wide(plain.c_str()).c_str())) << "no file in the chosen folder";
    EXPECT_EQ(ProbeFile(plain).decodedFrames, lastShown + 1);
    EXPECT_EQ(::GetFileAttributesA(OutputFile().c_str()), INVALID_FILE_ATTRIBUTES)
        << "nothing is written to the working folder";
    EXPECT_EQ(StoredString("Path"), folder + L"\\");
    EXPECT_EQ(StoredString("File"), Wide("日本語.avi"));
    EXPECT_EQ(QueryStoredValues().size(), 8u);
}

TEST_F(EndToEnd, PopupCommandStartsAndStops) {
    int lastShown = -1;
    {
        Recorder mirvox(m_folder.path());
        ASSERT_NE(mirvox.window(), nullptr);
        ASSERT_NO_FATAL_FAILURE(mirvox.Start(true));
        ASSERT_TRUE(mirvox.WaitForCount(1));
        ASSERT_NO_FATAL_FAILURE(mirvox.Stop(true));
        lastShown = mirvox.ShownCount();
        mirvox.CloseWithEscape();
    }
    EXPECT_EQ(ProbeFile(OutputFile()).decodedFrames, lastShown + 1);
}

TEST_F(EndToEnd, ClosingWhileRecordingCompletesTheFileSavesAndRemovesTheIcon) {
    const int trayBefore = TrayIconWindows();
    int seen = -1, trayWhileRunning = -2;
    {
        Recorder mirvox(m_folder.path());
        ASSERT_NE(mirvox.window(), nullptr);
        mirvox.SetItemText(IDC_RATE, "2");
        ASSERT_NO_FATAL_FAILURE(mirvox.Start());
        ASSERT_TRUE(mirvox.WaitForCount(2));
        trayWhileRunning = TrayIconWindows();
        seen = mirvox.ShownCount();
        mirvox.CloseWithEscape();
    }
    const int trayAfter = TrayIconWindows();
    std::printf("notification area icon windows: %d before, %d while running, %d after the close\n",
                trayBefore, trayWhileRunning, trayAfter);
    EXPECT_EQ(trayWhileRunning, trayBefore + 1);
    EXPECT_EQ(trayAfter, trayBefore);
    Probe probe = ProbeFile(OutputFile());
    EXPECT_GE(probe.decodedFrames, seen + 1);
    EXPECT_EQ(probe.headerFrames, probe.decodedFrames) << "the header was completed at the close";
    ExpectedStore stored;
    stored.rate = 2;
    ExpectStored(stored);
}

TEST_F(EndToEnd, FullDiskStopsWithTheWriteErrorAndKeepsEveryFrameWrittenBefore) {
    test_support::SmallFilesystem small(m_folder, "1m");
    if (!small.mounted())
        GTEST_SKIP() << "mounting a tmpfs was refused (needs root)";
    WriteStoredString("Path", Wide(small.path().c_str()));
    WriteStoredInt("Frames", 20);
    SourceWindow source;
    int failedAt = -1;
    {
        Recorder mirvox(m_folder.path());
        ASSERT_NE(mirvox.window(), nullptr);
        ASSERT_TRUE(SelectComboItem(mirvox.Item(IDC_SOURCE), Wide(kSourceTitle)));
        ASSERT_NO_FATAL_FAILURE(mirvox.Start());
        ASSERT_NO_FATAL_FAILURE(mirvox.ExpectMessage("ストリーム　データ書き込みエラー"));
        // The counter shows the index of the frame whose write failed.
        failedAt = mirvox.countAtMessage;
        ASSERT_TRUE(Until([&] { return mirvox.Idle(); }));
        mirvox.CloseWithEscape();
    }
    const std::string path = small.path() + "Mirvox.avi";
    Probe probe = ProbeFile(path);
    const int decodable = DecodableFrames(path);
    std::printf("disk full: frames 0..%d written before the fault; ffprobe counts %d, ffmpeg decodes %d, the "
                "header says %d\n",
                failedAt - 1, probe.decodedFrames, decodable, probe.headerFrames);
    EXPECT_GT(failedAt, 0);
    EXPECT_EQ(probe.decodedFrames, failedAt);
    EXPECT_EQ(decodable, failedAt);
    EXPECT_EQ(probe.headerFrames, failedAt);
}

TEST_F(EndToEnd, RecordedWindowResizedOrClosedStopsWithItsMessageAndAPlayableFile) {
    struct Case {
        const char* label;
        bool close;
        const char* message;
    };
    for (const Case& c :
         {Case{"resized", false, "ウィンドウ　サイズが変更されました。\nキャプチャを中断します。"},
          Case{"closed", true, "キャプチャ内部エラー\r\nキャプチャを中断します。"}}) {
        SCOPED_TRACE(c.label);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppKey);
        ::DeleteFileA(OutputFile().c_str());
        WriteStoredInt("Frames", 20);
        SourceWindow source;
        int countAtMessage = -1;
        {
            Recorder mirvox(m_folder.path());
            ASSERT_NE(mirvox.window(), nullptr);
            ASSERT_TRUE(SelectComboItem(mirvox.Item(IDC_SOURCE), Wide(kSourceTitle)));
            ASSERT_NO_FATAL_FAILURE(mirvox.Start());
            ASSERT_TRUE(mirvox.WaitForCount(3));
            if (c.close)
                ::PostMessageW(source.hwnd(), WM_CLOSE, 0, 0);
            else
                source.ResizeClient(kSourceWidth + 1, kSourceHeight);
            ASSERT_NO_FATAL_FAILURE(mirvox.ExpectMessage(c.message));
            countAtMessage = mirvox.countAtMessage;
            ASSERT_TRUE(Until([&] { return mirvox.Idle(); }));
            mirvox.CloseWithEscape();
        }
        // The refused tick wrote nothing: the file holds the frames of the ticks before it.
        Probe probe = ProbeFile(OutputFile());
        EXPECT_EQ(probe.width, kSourceWidth);
        EXPECT_EQ(probe.decodedFrames, countAtMessage);
        EXPECT_EQ(probe.headerFrames, countAtMessage);
    }
}

TEST_F(EndToEnd, KilledProcessLeavesTheFlushedFramesDecodable) {
    WriteStoredInt("Frames", 20);
    SourceWindow source;
    int seen = -1;
    {
        Recorder mirvox(m_folder.path());
        ASSERT_NE(mirvox.window(), nullptr);
        ASSERT_TRUE(SelectComboItem(mirvox.Item(IDC_SOURCE), Wide(kSourceTitle)));
        ASSERT_NO_FATAL_FAILURE(mirvox.Start());
        ASSERT_TRUE(mirvox.WaitForCount(40));
        seen = mirvox.ShownCount();
        ASSERT_EQ(mirvox.process().KillHostProcess(), 1);
        ASSERT_TRUE(mirvox.process().Exited());
    }
    Probe probe = ProbeFile(OutputFile());
    const int decodable = DecodableFrames(OutputFile());
    std::printf("kill -9: the counter showed %d just before; the header says %d frames, ffprobe counts %d, "
                "ffmpeg decodes %d; notification area icon windows left: %d\n",
                seen, probe.headerFrames, probe.decodedFrames, decodable, TrayIconWindows());
    EXPECT_GE(decodable, probe.headerFrames) << "every flushed frame decodes";
    EXPECT_GT(decodable, 0);
    auto frames = test_support::DecodeFrames(OutputFile(), kSourceWidth, kSourceHeight);
    EXPECT_EQ(static_cast<int>(frames.size()), decodable);
}

namespace {

std::string RegAdd(const char* name, const char* type, const std::string& data) {
    return "reg add " + Quote(std::string("HKCU\\") + kOptionKey) + " /v " + name + " /t " + type + " /d " +
           Quote(data) + " /f";
}

std::string Repeat(const std::string& s, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i)
        repeated += s;
    return repeated;
}

// A caption font description (height -12, bold, Shift-JIS) whose face name fills all 32 bytes
// with no NUL.
std::string UnterminatedFontHex() {
    return "F4FFFFFF"
           "00000000"
           "00000000"
           "00000000"
           "BC020000"
           "00000080"
           "00000000" +
           Repeat("41", 32);
}

} // namespace

TEST_F(EndToEnd, GarbageInTheStoreStartsRecordsAndSavesSaneValues) {
    struct Case {
        const char* label;
        std::vector<std::string> writes;
        const wchar_t *rateShown, *fpsShown;
        ExpectedStore stored;
    };
    ExpectedStore outOfRange;
    // The up-down control holds the stored 500 within its range; the edit shows it as stored.
    outOfRange.rate = 200;
    outOfRange.fps = 60;
    // Values are not range-checked: the location goes back as it came, and is drawn as location 0.
    outOfRange.location = 99;
    outOfRange.captionString = "";
    outOfRange.faceHex = Repeat("41", 31) + "00";
    const Case cases[] = {
        {"out of range, oversized, empty and unterminated",
         {RegAdd("Rate", "REG_BINARY", "F4010000"), RegAdd("Frames", "REG_BINARY", "3C00000009090909"),
          RegAdd("Location", "REG_BINARY", "63000000"), RegAdd("Caption", "REG_BINARY", "07000000"),
          RegAdd("LFont", "REG_BINARY", UnterminatedFontHex()), RegAdd("CaptionString", "REG_SZ", ""),
          RegAdd("Path", "REG_BINARY", "433A5C00")},
         L"500",
         L"60",
         outOfRange},
        {"short and of the wrong type",
         {RegAdd("Rate", "REG_BINARY", "0700"), RegAdd("Frames", "REG_DWORD", "25"),
          RegAdd("Location", "REG_SZ", "3"), RegAdd("File", "REG_BINARY", "612E61766900")},
         L"1",
         L"4",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppKey);
        ::DeleteFileA(OutputFile().c_str());
        int code = -1;
        RunWine(c.writes, &code);
        ASSERT_EQ(code, 0) << "wine reg add failed";
        int lastShown = -1;
        {
            Recorder mirvox(m_folder.path());
            ASSERT_NE(mirvox.window(), nullptr);
            EXPECT_EQ(mirvox.ItemText(IDC_RATE), c.rateShown);
            EXPECT_EQ(mirvox.ItemText(IDC_FPS), c.fpsShown);
            EXPECT_EQ(mirvox.ItemText(IDC_FILE_NAME), L"Mirvox.avi");
            EXPECT_NE(::SendMessageW(mirvox.Item(IDC_CAPTION_ON), BM_GETCHECK, 0, 0), BST_UNCHECKED);
            ASSERT_NO_FATAL_FAILURE(mirvox.Start());
            ASSERT_TRUE(mirvox.WaitForCount(0));
            ASSERT_NO_FATAL_FAILURE(mirvox.Stop());
            lastShown = mirvox.ShownCount();
            mirvox.CloseWithEscape();
        }
        EXPECT_EQ(ProbeFile(OutputFile()).decodedFrames, lastShown + 1);
        ExpectStored(c.stored);
    }
}
