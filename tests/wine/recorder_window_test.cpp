// The recorder window run inside this program and driven from a second thread: the platform glue
// that the tests of Mirvox.exe from outside cannot reach well.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/ansi_text.h"
#include "platform/app_name.h"
#include "platform/ui_text.h"
#include "settings/settings_store.h"
#include "tests/support/test_support.h"
#include "tests/support/cp932_support.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/test_support.h"
#include "ui/recorder_dlg.h"
#include "ui/recording_clock.h"

using namespace test_support;

namespace {

const auto Bytes = [](const auto& v) { return std::string(reinterpret_cast<const char*>(&v), sizeof(v)); };

const std::string kOptionKey = "Software\\Veldrane Products\\" + ExecutableBaseName() + "\\Option";
std::string Stored(const char* name) {
    char data[1024];
    DWORD size = sizeof(data);
    const bool ok =
        !::RegGetValueA(HKEY_CURRENT_USER, kOptionKey.c_str(), name, RRF_RT_ANY, nullptr, data, &size);
    return std::string(data, ok ? size : 0);
}
void Store(const char* name, DWORD type, const std::string& bytes) {
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kOptionKey.c_str(), name, type, bytes.data(), DWORD(bytes.size()));
}

constexpr std::time_t kStart = 1'700'000'000;
std::atomic<std::time_t> g_now{kStart};
const ClockSource kFakeClock = [] { return g_now.load(); };

struct TrayCall {
    DWORD operation;
    NOTIFYICONDATAA data;
    std::string Tip() const { return std::string(data.szTip, strnlen(data.szTip, sizeof(data.szTip))); }
};
std::mutex g_mutex;
std::vector<TrayCall> g_trayCalls;

BOOL WINAPI NoteTrayCall(DWORD operation, PNOTIFYICONDATAA data) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_trayCalls.push_back({operation, *data});
    return TRUE;
}
std::vector<TrayCall> TrayCalls() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_trayCalls;
}

// Probes: the recorder's owner learns when its modal loop first idles; others count activations.
std::atomic<HWND> g_idleDialog{nullptr};
std::atomic<int> g_activations{0};
LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ENTERIDLE && !g_idleDialog)
        g_idleDialog = reinterpret_cast<HWND>(lp);
    g_activations += msg == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE;
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

class RecorderWindow : public ::testing::Test {
protected:
    void SetUp() override {
        CSettingsStore::SetCompanyKey("Veldrane Products");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kOptionKey.c_str());
        Store("Path", REG_SZ, m_folder.path() + '\0');
        Store("Frames", REG_BINARY, Bytes(20));
        SetTrayNotifier(&NoteTrayCall);
    }

    // Drives from a second thread once the modal loop first idled (and so showed the window).
    static void RunRecorder(const std::function<void(HWND)>& drive) {
        UniqueWindow owner(::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, 0, 0, 0, 0));
        ::SetWindowLongPtrA(owner.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProbeProc));
        g_idleDialog = nullptr;
        CRecorderDlg dialog(owner.get());
        CDialogBase::SetMainDialog(&dialog);
        std::atomic<bool> done{false};
        std::thread driver([&] {
            [&] {
                HWND window = WaitForDialog(L"Mirvox");
                ASSERT_TRUE(window && WaitUntil([&] { return g_idleDialog.load() == window; }));
                drive(window);
            }();
            // Whatever a failed test left open goes, the topmost (innermost) dialog first.
            for (int i = 0; i < 600 && !done; ++i, std::this_thread::sleep_for(50ms))
                if (const std::vector<HWND> open = Dialogs(L""); !open.empty())
                    PostCommand(open[0], IDCANCEL);
        });
        dialog.DoModal();
        done = true;
        driver.join();
        CDialogBase::SetMainDialog(nullptr);
    }

    ScratchFolder m_folder;
    CodecChooserScope m_codec{&ChooseFullFrames};
};

void End(HWND dialog, int button) {
    PostCommand(dialog, button);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
}

void ExpectMessage(HWND recorder, const char* utf8) {
    HWND box = WaitForDialog(L"Mirvox", 10s, recorder);
    ASSERT_TRUE(box && (!utf8 || TextOf(::GetDlgItem(box, 0xFFFF)) == Wide(utf8))) << utf8;
    End(box, IDOK);
}

const auto Recording = [](HWND recorder) { return TextOf(::GetDlgItem(recorder, IDOK)) == Wide("停止(&S)"); };

// Button 1, or the Enter key sent to `key`; a start's notice is accepted.
void StartOrStop(HWND recorder, HWND key = nullptr) {
    const bool start = !Recording(recorder);
    ::PostMessageW(key ? key : recorder, key ? WM_KEYDOWN : WM_COMMAND, key ? VK_RETURN : IDOK, 0);
    if (start)
        ExpectMessage(recorder, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Recording(recorder) == start; }));
}

// The status box's frame count; -1 before the first tick.
int ShownCount(HWND recorder) {
    const std::wstring status = TextOf(::GetDlgItem(recorder, 1005));
    return status.find(L':') == std::wstring::npos ? -1 : std::stoi(status.substr(status.find(L':') + 1));
}

// Selects the first source item that starts with the (ANSI) title, as the user would.
LRESULT ChooseSource(HWND recorder, const std::string& title) {
    HWND box = ::GetDlgItem(recorder, 1006);
    const LRESULT index = ::SendMessageA(box, CB_SELECTSTRING, -1, reinterpret_cast<LPARAM>(title.c_str()));
    ::SendMessageA(recorder, WM_COMMAND, MAKEWPARAM(1006, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
    return index;
}

// Sent, so it returns once the window's thread has finished its handler: a message box it opened exists.
const auto Barrier = [](HWND window) { ::SendMessageW(window, WM_NULL, 0, 0); };

std::pair<HWND, HWND> OpenFontDialog(HWND recorder) {
    PostCommand(recorder, 1015);
    HWND settings = WaitForDialog(Wide("キャプション設定"));
    PostCommand(settings, 1017);
    return {settings, WaitForDialog(Wide("フォントの指定"))};
}

} // namespace

TEST_F(RecorderWindow, TrayRecordsAndMenuTimeLimitTaskbarRestartAndEnterAfterTrayEvents) {
    const ClockSource previous = SetClockSource(kFakeClock);
    PatternWindow other(64, 48, "Mirvox other window");
    HWND recorder = nullptr;
    size_t stopped = 0, dismissed = 0;
    int shown = 0;
    RunRecorder([&](HWND window) {
        // The menu first: after a restore from a minimise, late X focus events can cancel it at once.
        ::SetForegroundWindow(other.hwnd());
        ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == other.hwnd(); }));
        ::PostMessageW(window, WM_USER + 1, 1000, WM_RBUTTONDOWN);
        HWND menu = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(menu = ::FindWindowW(L"#32768", nullptr)); }));
        EXPECT_EQ(::GetForegroundWindow(), window) << "a menu of a window in the background stays open";
        ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(menu); }));
        Barrier(window);
        EXPECT_EQ(Dialogs(L"", false).size(), 1u) << "the dismissed menu opened something";
        dismissed = TrayCalls().size();

        ::SendDlgItemMessageW(recorder = window, 1013, CB_SETCURSEL, 1, 0);
        StartOrStop(window);
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 4; }));
        ::SendMessageW(window, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        // The limit ends half an hour after the start: ticks in that very second go on, the first
        // a second later stops without a message.
        g_now = kStart + 1800;
        const int seen = ShownCount(window);
        EXPECT_TRUE(WaitUntil([&] { return ShownCount(window) >= seen + 3 && Recording(window); }));
        g_now = kStart + 1801;
        ASSERT_TRUE(WaitUntil([&] { return !Recording(window); }));
        Barrier(window);
        EXPECT_EQ(Dialogs(L"Mirvox", false).size(), 1u) << "a limit stop shows no message";
        std::tie(shown, stopped) = std::pair(ShownCount(window), TrayCalls().size());

        // The callback message is also DM_SETDEFID, with the icon's id in wParam. Out of range
        // texts leave the up-down positions, which the boxes then show.
        ::PostMessageW(window, WM_USER + 1, 1000, WM_MOUSEMOVE);
        ::SetDlgItemTextW(window, 1003, L"500");
        ::SetDlgItemTextW(window, 1021, L"99");
        HWND source = ::GetDlgItem(window, 1006);
        ::PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(source), TRUE);
        StartOrStop(window, source);
        EXPECT_TRUE(::IsIconic(window)) << "a whole-screen recording minimises the recorder";
        EXPECT_EQ(TextOf(::GetDlgItem(window, 1003)) + L" " + TextOf(::GetDlgItem(window, 1021)), L"1 20");
        EXPECT_EQ(::SendMessageW(window, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
        StartOrStop(window, window); // the source box is disabled while recording
        ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(window); })) << "Esc closes, Enter never did";
    });
    g_now = kStart;
    SetClockSource(previous);
    EXPECT_EQ(ProbeVideo(m_folder.File("Mirvox.avi")).frameRate, "20/1");
    auto icon = [](int id) { return Bytes(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id))); };
    const std::string idle = Ansi("キャプチャウィンドウ 全画面\r\nフレーム数 ");
    const std::vector<TrayCall> calls = TrayCalls();
    ASSERT_TRUE(dismissed == 2 && stopped > 8 && calls.size() > stopped) << "the menu changed the icon";
    for (const TrayCall& call : calls) {
        const NOTIFYICONDATAA& d = call.data;
        EXPECT_EQ(d.cbSize, NOTIFYICONDATAA_V2_SIZE); // 488 in a 32-bit build
        EXPECT_TRUE(d.hWnd == recorder && d.uID == 1000 && d.uCallbackMessage == 0x401);
        const UINT flags =
            (call.operation == NIM_ADD ? NIF_MESSAGE : 0u) | NIF_ICON | (d.szTip[0] ? NIF_TIP : 0);
        EXPECT_EQ(d.uFlags, call.operation == NIM_DELETE ? 0u : flags) << call.operation;
    }
    EXPECT_EQ(calls[0].operation + calls.back().operation, NIM_ADD + NIM_DELETE);
    EXPECT_EQ(calls[0].Tip() + Bytes(calls[0].data.hIcon), icon(142)) << "added idle, without a tip";
    // The idle tip, then a recording tip for each of the first ticks, with icons 143, 130, 131 in turn.
    const std::string recording = Ansi("キャプチャ中\r\n"), remaining = Ansi("\n残り時間: 00時間30分:00秒");
    for (int n = -1; n < 4; ++n)
        EXPECT_EQ(calls[2 + n].Tip() + Bytes(calls[2 + n].data.hIcon),
                  n < 0 ? idle + "0" + icon(142)
                        : recording + idle + std::to_string(n) + remaining + icon(n % 3 ? 129 + n % 3 : 143));
    // Added again as last shown; the idle tip keeps the count, the limit's last frame included.
    auto added = std::find_if(calls.begin() + 1, calls.end(), [](auto& c) { return c.operation == NIM_ADD; });
    ASSERT_NE(added, calls.end());
    EXPECT_EQ(added->Tip() + Bytes(added->data.hIcon), added[-1].Tip() + Bytes(added[-1].data.hIcon));
    EXPECT_EQ(calls[stopped - 1].Tip() + Bytes(calls[stopped - 1].data.hIcon),
              idle + std::to_string(shown + 1) + icon(142));
}

TEST_F(RecorderWindow, SourcesAreVisibleTitledUnownedWindowsAChosenOneIsRaisedFirstAndTipsCutItsTitle) {
    // After the 35 bytes before the title in the recording tip (21 in the idle tip) and the one
    // ASCII byte, a double-byte character lies across the 127-byte limit.
    std::string title = "x";
    while (title.size() < 1023)
        title += Ansi("表");
    std::vector<UniqueWindow> windows; // shown, hidden, child, owned, without a title
    for (DWORD style :
         std::array<DWORD, 5>{WS_VISIBLE, 0, WS_VISIBLE | WS_CHILD, WS_VISIBLE | WS_POPUP, WS_VISIBLE})
        windows.emplace_back(::CreateWindowExA(0, "STATIC", windows.size() < 4 ? title.c_str() : "",
                                               style | WS_CAPTION, 0, 0, 99, 99,
                                               windows.empty() ? nullptr : windows[0].get(), 0, 0, 0));
    ::SetWindowLongPtrA(windows[0].get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProbeProc));
    RunRecorder([&](HWND window) {
        // Visible unowned top-level windows with a title, in EnumWindows' order.
        std::vector<std::string> expected{Ansi("全画面")}, listed;
        ::EnumWindows(
            [](HWND w, LPARAM lp) -> BOOL {
                char text[1024];
                if (!::GetParent(w) && ::IsWindowVisible(w) && ::GetWindowTextA(w, text, sizeof(text)) > 0)
                    reinterpret_cast<std::vector<std::string>*>(lp)->push_back(text);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&expected));
        for (int i = 0; i < ::SendDlgItemMessageA(window, 1006, CB_GETCOUNT, 0, 0); ++i)
            listed.push_back(ComboItemText(::GetDlgItem(window, 1006), i));
        EXPECT_EQ(listed, expected);
        g_activations = 0;
        ASSERT_GE(ChooseSource(window, title), 1);
        EXPECT_TRUE(g_activations == 1 && ::GetForegroundWindow() == window) << "raised, then the recorder";
        StartOrStop(window);
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 1; }));
        StartOrStop(window);
        PostCommand(window, IDCANCEL);
    });
    int cut = 0;
    for (const TrayCall& call : TrayCalls()) {
        EXPECT_TRUE(call.Tip().size() <= 127 && EndsOnWholeCp932Character(call.Tip())) << call.Tip().size();
        cut += call.Tip().find(title.substr(0, 9)) != std::string::npos && call.Tip().size() == 126;
    }
    EXPECT_GE(cut, 3) << "the recording and the idle tips cut the title to 126 bytes";
}

TEST_F(RecorderWindow, CaptionSettingsShowTheStoredLocationOkTakesFormatAndLocationCancelNothing) {
    const LOGFONTA font{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Serif"}; // not the list's first face
    Store("LFont", REG_BINARY, Bytes(font));
    for (int32_t location : {0, 2, 4, 9}) {
        Store("Location", REG_BINARY, Bytes(location));
        Store("CaptionString", REG_SZ, std::string("before", 7));
        // All three changed, then Cancel (with the font confirmed) or OK (with the font cancelled).
        const bool cancel = location == 2;
        const int32_t chosen = cancel || location > 5 ? location : (location + 1) % 6;
        const std::string format = cancel ? "before" : location == 0 ? "" : "edited";
        RunRecorder([&](HWND window) {
            auto [settings, fonts] = OpenFontDialog(window);
            ASSERT_TRUE(fonts && !::GetWindow(fonts, GW_OWNER) && ::IsWindowEnabled(settings))
                << "owned by none";
            EXPECT_NE(TextOf(::GetDlgItem(fonts, 0x470)), L"DejaVu Serif")
                << "the current font is preselected";
            End(fonts, cancel ? IDOK : IDCANCEL);
            for (int id = 1020; id <= 1025; ++id)
                EXPECT_EQ(::IsDlgButtonChecked(settings, id) == BST_CHECKED, id == 1020 + location) << id;
            ::SetDlgItemTextA(settings, 1016, cancel ? "changed" : format.c_str());
            ::CheckRadioButton(settings, 1020, 1025, location > 5 ? 0 : 1020 + (location + 1) % 6);
            End(settings, cancel ? IDCANCEL : IDOK);
            PostCommand(window, IDCANCEL);
        });
        EXPECT_EQ(Stored("CaptionString") + Stored("Location"), format + '\0' + Bytes(chosen)) << location;
        EXPECT_EQ(Stored("LFont"), Bytes(font));
    }
}

TEST_F(RecorderWindow, BrowseSplitsAtTheTrueLastBackslashAndTheAboutBoxOpensTheReadMeOrTellsItCouldNot) {
    // The second byte of 表 in code page 932 is 0x5C, a backslash's value; the file exists already.
    const std::string folder = m_folder.path() + Ansi("表示") + "\\", readMe = folder + "read1st.htm";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    std::ofstream(readMe) << "<html></html>";
    std::ofstream(folder + Ansi("表")) << "";
    // To the helper beside this program; Wine does not merge HKCU\Software\Classes into the root.
    ::RegSetKeyValueA(HKEY_CLASSES_ROOT, ".htm", nullptr, REG_SZ, "MirvoxTest.htm", 15);
    ::RegSetKeyValueA(HKEY_CLASSES_ROOT, "MirvoxTest.htm\\shell\\open\\command", nullptr, REG_SZ,
                      "open_helper.exe \"%1\"", 21);
    char cwd[MAX_PATH], opener[MAX_PATH] = {};
    ::GetCurrentDirectoryA(sizeof(cwd), cwd);
    ::FindExecutableA(readMe.c_str(), nullptr, opener);
    ASSERT_TRUE(std::strstr(opener, "open_helper.exe")) << "never click while a real browser would start";
    RunRecorder([&](HWND window) {
        for (const std::string& name : {Ansi("表"), std::string("other.avi")}) {
            PostCommand(window, 1001);
            HWND dialog = WaitForDialog(Wide("名前を付けて保存"));
            ASSERT_EQ(::GetWindow(dialog, GW_OWNER), window);
            ::SetDlgItemTextW(dialog, 0x47c, WideFromAnsi(folder + name).c_str());
            End(dialog, name[0] == 'o' ? IDCANCEL : IDOK); // without the overwrite question
            EXPECT_EQ(TextOf(::GetDlgItem(window, 1000)), Wide("表")) << "split at the true last backslash";
        }
        wchar_t item[64] = {};
        ::GetMenuStringW(::GetSystemMenu(window, FALSE), 16, item, 64, MF_BYCOMMAND);
        EXPECT_EQ(item, Wide("Mirvoxバージョン情報...")) << "the system menu's command 16";
        HWND about = nullptr;
        for (WPARAM command : {16, 31, 20006}) { // system commands 16 to 31, the icon's menu command
            if (about)
                End(about, IDOK);
            ::PostMessageW(window, command < 32 ? WM_SYSCOMMAND : WM_COMMAND, command, 0);
            ASSERT_EQ(::GetWindow(about = WaitForDialog(Wide("バージョン情報")), GW_OWNER), window);
        }
        ::SetCurrentDirectoryA(m_folder.path().c_str()); // no read-me here
        PostCommand(about, 1009);                        // the read-me icon; STN_CLICKED is 0
        EXPECT_EQ(::GetWindow(WaitForDialog(L"Mirvox", 10s, window), GW_OWNER), about);
        ExpectMessage(window, "ブラウザを起動できませんでした。");
        ::SetCurrentDirectoryA(folder.c_str());
        PostCommand(about, 1009);
        std::string line;
        EXPECT_TRUE(WaitUntil([&] {
            return std::getline(std::ifstream(folder + "opened.txt"), line) && line.find(readMe) != line.npos;
        }));
        Barrier(about);
        EXPECT_TRUE(::IsWindowVisible(about) && Dialogs(L"Mirvox", false).size() == 1) << "no message";
        PostCommand(window, IDCANCEL);
    });
    ::SetCurrentDirectoryA(cwd);
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "MirvoxTest.htm");
    EXPECT_EQ(Stored("Path") + Stored("File"), folder + '\0' + Ansi("表") + '\0');
}

// GetGuiResources is a stub under Wine: objects are measured as headroom, how many more could be made.
TEST_F(RecorderWindow, SoakTicksAndCaptionFontChangesKeepObjectsAndMemoryFlat) {
    Store("Rate", REG_BINARY, Bytes(200)); // the slowest interval: every tick is one the test posts
    Store("Frames", REG_BINARY, Bytes(1));
    PatternWindow source(32, 24, "Mirvox soak source");
    PROCESS_MEMORY_COUNTERS memory[2] = {};
    int posted = 0, headroom = 0;
    RunRecorder([&](HWND window) {
        auto ticks = [&](int count) {
            for (int i = 0; i < count; ++i, ++posted)
                ::PostMessageW(window, WM_TIMER, 1, 0);
            // The status shows each tick's frame index as the tick begins.
            ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) == posted - 1; }, 60s)) << posted;
            Barrier(window);
        };
        ASSERT_GE(ChooseSource(window, "Mirvox soak source"), 1);
        // A replaced caption font goes once no recording draws with it; every tenth, a new recording.
        for (int round = 0; round <= 200; ++round) {
            if (round % 10 == 0) {
                if (round > 0)
                    StartOrStop(window);
                StartOrStop(window);
                posted = 0;
            }
            auto [settings, fonts] = OpenFontDialog(window);
            ASSERT_NE(fonts, nullptr);
            End(fonts, IDOK);
            End(settings, IDOK);
            ASSERT_NO_FATAL_FAILURE(ticks(1));
            headroom = round == 0 ? GdiHeadroom() : headroom;
        }
        EXPECT_LE(headroom - GdiHeadroom(), 16) << "replaced caption fonts were kept";
        ticks(200);
        ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory[0], sizeof(memory[0]));
        headroom = GdiHeadroom();
        while (posted < 10'201)
            ASSERT_NO_FATAL_FAILURE(ticks(100));
        ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory[1], sizeof(memory[1]));
        EXPECT_LE(headroom - GdiHeadroom(), 16);
        PostCommand(window, IDCANCEL);
    });
    EXPECT_LT(memory[1].WorkingSetSize, memory[0].WorkingSetSize + (16u << 20));
}
