// The recorder window run inside this program and driven from a second thread: the glue that the
// journeys of Mirvox.exe cannot see from outside (the notification-area calls, a fake clock, the
// process's GDI objects and memory), and the dialogs around the recorder.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/ansi_text.h"
#include "platform/app_name.h"
#include "platform/ui_text.h"
#include "settings/settings_store.h"
#include "tests/support/cp932_support.h"
#include "tests/support/test_support.h"
#include "ui/caption_dlg.h"
#include "ui/recorder_dlg.h"
#include "ui/recording_clock.h"

using namespace test_support;

namespace {

const auto Bytes = [](const auto& v) { return std::string(reinterpret_cast<const char*>(&v), sizeof(v)); };
const std::string kOptionKey = "Software\\Veldrane Products\\" + ExecutableBaseName() + "\\Option";
void Store(const char* name, DWORD type, const std::string& bytes) {
    ::RegSetKeyValueA(HKEY_CURRENT_USER, kOptionKey.c_str(), name, type, bytes.data(), DWORD(bytes.size()));
}

constexpr std::time_t kStart = 1'700'000'000;
std::atomic<std::time_t> g_now{kStart};

// The notification-area calls, made on the recorder's thread and read once it has ended.
struct TrayCall {
    DWORD operation;
    NOTIFYICONDATAA data;
    std::string Tip() const { return std::string(data.szTip, strnlen(data.szTip, sizeof(data.szTip))); }
    std::string TipAndIcon() const { return Tip() + Bytes(data.hIcon); }
};
std::vector<TrayCall> g_trayCalls;
BOOL WINAPI NoteTrayCall(DWORD operation, PNOTIFYICONDATAA data) {
    // The recorder's icon, in the layout with the 128-byte tip (488 bytes in a 32-bit build).
    EXPECT_TRUE(data->cbSize == NOTIFYICONDATAA_V2_SIZE && ::GetDlgItem(data->hWnd, 1005) &&
                data->uID == 1000 && data->uCallbackMessage == 0x401);
    const UINT flags = (operation == NIM_ADD ? NIF_MESSAGE : 0u) | NIF_ICON | (data->szTip[0] ? NIF_TIP : 0);
    EXPECT_EQ(data->uFlags, operation == NIM_DELETE ? 0u : flags) << operation;
    g_trayCalls.push_back({operation, *data});
    return TRUE;
}

// Probes: the recorder's owner learns when its modal loop first idles; others count activations; the
// recorder's thread counts the WM_USER messages it takes from its queue.
std::atomic<HWND> g_idleDialog{nullptr};
std::atomic<int> g_activations{0}, g_userMessages{0};
LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ENTERIDLE && !g_idleDialog)
        g_idleDialog = reinterpret_cast<HWND>(lp);
    g_activations += msg == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE;
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}
LRESULT CALLBACK CountUserMessages(int code, WPARAM wp, LPARAM lp) {
    g_userMessages += code == HC_ACTION && wp == PM_REMOVE && reinterpret_cast<MSG*>(lp)->message == WM_USER;
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

class RecorderWindow : public ::testing::Test {
protected:
    void SetUp() override {
        CSettingsStore::SetCompanyKey("Veldrane Products");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kOptionKey.c_str());
        Store("Path", REG_SZ, m_folder.path() + '\0');
        Store("Frames", REG_BINARY, Bytes(20));
        SetTrayNotifier(&NoteTrayCall);
        g_trayCalls.clear();
    }

    // Drives from a second thread once the modal loop first idled: late focus events would close a menu.
    static void RunRecorder(const std::function<void(RecorderHands&)>& drive) {
        UniqueWindow owner(::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, 0, 0, 0, 0));
        ::SetWindowLongPtrA(owner.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProbeProc));
        g_idleDialog = nullptr;
        g_userMessages = 0;
        HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, &CountUserMessages, nullptr, ::GetCurrentThreadId());
        CRecorderDlg dialog(owner.get());
        CDialogBase::SetMainDialog(&dialog);
        std::atomic<bool> done{false};
        std::thread driver([&] {
            [&] {
                RecorderHands hands;
                hands.window = WaitForDialog(L"Mirvox");
                ASSERT_TRUE(hands.window && WaitUntil([&] { return g_idleDialog.load() == hands.window; }));
                drive(hands);
            }();
            // Whatever a failed test left open goes, the topmost (innermost) dialog first.
            for (HWND open; WaitUntil([&] { return done || (open = FindDialog(L"")); }, 30s) && !done;) {
                PostCommand(open, IDCANCEL);
                WaitUntil([&] { return done || !::IsWindow(open); }, 5s);
            }
        });
        dialog.DoModal();
        done = true;
        driver.join();
        CDialogBase::SetMainDialog(nullptr);
        ::UnhookWindowsHookEx(hook);
    }

    ScratchFolder m_folder;
};

// Whether the source box lists what is there now: the visible unowned titled top-level windows.
bool ListsWhatIsThere(HWND recorder) {
    std::vector<std::string> listed, expected{Ansi("全画面")};
    for (int i = 0; i < ::SendDlgItemMessageA(recorder, 1006, CB_GETCOUNT, 0, 0); ++i)
        listed.push_back(ComboItemText(::GetDlgItem(recorder, 1006), i));
    ::EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            char text[1024];
            if (!::GetParent(w) && ::IsWindowVisible(w) && ::GetWindowTextA(w, text, sizeof(text)) > 0)
                reinterpret_cast<std::vector<std::string>*>(lp)->push_back(text);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&expected));
    return listed == expected;
}

// Sent, so it returns once the window's thread has finished its handler: a message box it opened exists.
const auto Barrier = [](HWND window) { ::SendMessageW(window, WM_NULL, 0, 0); };
HWND OtherDialog(HWND recorder, const wchar_t* title = L"") {
    return FindDialog(title, ::GetCurrentProcessId(), recorder);
}

// How many more GDI objects this process could create now: Wine's GetGuiResources is a stub.
int GdiHeadroom() {
    std::vector<HPEN> pens;
    while (HPEN pen = pens.size() < 70000 ? ::CreatePen(PS_SOLID, 1, RGB(pens.size() & 0xFF, 0, 0)) : nullptr)
        pens.push_back(pen);
    for (HPEN pen : pens)
        ::DeleteObject(pen);
    return static_cast<int>(pens.size());
}

} // namespace

TEST_F(RecorderWindow, TrayRecordsAndMenuTimeLimitTaskbarRestartAndEnterAfterTrayEvents) {
    const ClockSource previous = SetClockSource([] { return g_now.load(); });
    UniqueWindow other = PatternWindow(64, 48, "Mirvox other window");
    int shown = 0;
    RunRecorder([&](RecorderHands& r) {
        HWND window = r.window;
        // The menu first: after a restore from a minimise, late X focus events can cancel it at once.
        ::SetForegroundWindow(other.get());
        ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == other.get(); }));
        ::PostMessageW(window, WM_USER + 1, 1000, WM_RBUTTONDOWN);
        HWND menu = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(menu = ::FindWindowW(L"#32768", nullptr)); }));
        EXPECT_EQ(::GetForegroundWindow(), window) << "a menu of a window in the background stays open";
        ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(menu) && g_userMessages == 1; }))
            << "no WM_USER";
        Barrier(window);
        EXPECT_EQ(OtherDialog(window), nullptr) << "the dismissed menu opened something";

        ::SendDlgItemMessageW(window, 1013, CB_SETCURSEL, 1, 0);
        ASSERT_NO_FATAL_FAILURE(r.Start());
        ASSERT_TRUE(WaitUntil([&] { return r.Count() >= 4; }));
        ::SendMessageW(window, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        // The limit ends half an hour after the start: ticks in that very second go on, the first
        // a second later stops without a message.
        g_now = kStart + 1800;
        const int seen = r.Count();
        EXPECT_TRUE(WaitUntil([&] { return r.Count() >= seen + 3 && !r.Idle(); }));
        g_now = kStart + 1801;
        ASSERT_TRUE(WaitUntil([&] { return r.Idle(); }));
        Barrier(window);
        EXPECT_EQ(OtherDialog(window, L"Mirvox"), nullptr) << "a limit stop shows no message";
        shown = r.Count();

        // The callback message is also DM_SETDEFID, with the icon's id in wParam. Out of range
        // texts leave the up-down positions, which the boxes then show.
        ::PostMessageW(window, WM_USER + 1, 1000, WM_MOUSEMOVE);
        ::SetDlgItemTextW(window, 1003, L"500");
        ::SetDlgItemTextW(window, 1021, L"99");
        ::PostMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(r.Item(1006)), TRUE);
        ASSERT_TRUE(WaitUntil([&] { return Focus(window) == r.Item(1006); }));
        ASSERT_NO_FATAL_FAILURE(r.Start(How::Enter));
        EXPECT_TRUE(::IsIconic(window)) << "a whole-screen recording minimises the recorder";
        EXPECT_EQ(TextOf(r.Item(1003)) + L" " + TextOf(r.Item(1021)), L"1 20");
        EXPECT_EQ(::SendMessageW(window, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
        ::PostMessageW(window, WM_USER + 1, 1000, WM_LBUTTONDOWN);
        EXPECT_TRUE(WaitUntil([&] { return !::IsIconic(window) && g_userMessages == 2; })) << "not restored";
        r.Press(How::Enter);
        EXPECT_TRUE(WaitUntil([&] { return r.Idle(); }));
        PostCommand(window, IDCANCEL);
    });
    g_now = kStart;
    SetClockSource(previous);
    auto icon = [](int id) { return Bytes(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id))); };
    const std::string idle = Ansi("キャプチャウィンドウ 全画面\r\nフレーム数 ");
    const std::vector<TrayCall>& calls = g_trayCalls;
    ASSERT_GT(calls.size(), 8u);
    EXPECT_EQ(calls[0].operation + calls.back().operation, NIM_ADD + NIM_DELETE);
    EXPECT_EQ(calls[0].TipAndIcon(), icon(142)) << "added idle, without a tip";
    // The idle tip, the dismissed menu changing nothing, then a recording tip for each of the first ticks,
    // with icons 143, 130, 131 in turn.
    const std::string recording = Ansi("キャプチャ中\r\n"), remaining = Ansi("\n残り時間: 00時間30分:00秒");
    for (int n = -1; n < 4; ++n)
        EXPECT_EQ(calls[2 + n].TipAndIcon(),
                  n < 0 ? idle + "0" + icon(142)
                        : recording + idle + std::to_string(n) + remaining + icon(n % 3 ? 129 + n % 3 : 143));
    // Added again as last shown; after the limit the idle tip keeps the count, its last frame included.
    auto added = std::find_if(calls.begin() + 1, calls.end(), [](auto& c) { return c.operation == NIM_ADD; });
    auto stop = std::find_if(added, calls.end(), [&](auto& c) { return c.Tip().rfind(idle, 0) == 0; });
    ASSERT_TRUE(added != calls.end() && stop != calls.end());
    EXPECT_EQ(added->TipAndIcon(), added[-1].TipAndIcon());
    EXPECT_EQ(stop->TipAndIcon(), idle + std::to_string(shown + 1) + icon(142));
}

TEST_F(RecorderWindow, SourcesListedRaisedAndResetAndTipsCutOnACharacterAndIdleAfterAFailure) {
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
    RunRecorder([&](RecorderHands& r) {
        g_activations = 0;
        ASSERT_GE(r.Choose(WideFromAnsi(title)), 1);
        EXPECT_TRUE(g_activations == 1 && ::GetForegroundWindow() == r.window) << "raised, then the recorder";
        ASSERT_NO_FATAL_FAILURE(r.Start());
        ASSERT_TRUE(WaitUntil([&] { return r.Count() >= 1; }));
        ::SetWindowPos(windows[0].get(), nullptr, 0, 0, 98, 98, SWP_NOMOVE | SWP_NOZORDER);
        ASSERT_NO_FATAL_FAILURE(r.Accept("ウィンドウ"));
        ASSERT_TRUE(WaitUntil([&] { return r.Idle(); }));
        // Reset lists what is there now, the whole screen chosen.
        ::ShowWindow(windows[1].get(), SW_SHOWNA);
        PostCommand(r.window, 1007);
        EXPECT_TRUE(WaitUntil([&] { return ListsWhatIsThere(r.window); }));
        EXPECT_EQ(::SendDlgItemMessageA(r.window, 1006, CB_GETCURSEL, 0, 0), 0);
        PostCommand(r.window, IDCANCEL);
    });
    // The failure's idle tip, then the close's and the removal.
    ASSERT_GT(g_trayCalls.size(), 3u);
    EXPECT_EQ(g_trayCalls.end()[-3].Tip().rfind(Ansi("キャプチャウィンドウ"), 0), 0u)
        << "idle after the failure";
    int cut = 0;
    for (const TrayCall& call : g_trayCalls) {
        EXPECT_TRUE(call.Tip().size() <= 127 && EndsOnWholeCp932Character(call.Tip())) << call.Tip().size();
        cut += call.Tip().find(title.substr(0, 9)) != std::string::npos && call.Tip().size() == 126;
    }
    EXPECT_GE(cut, 3) << "the recording and the idle tips cut the title to 126 bytes";
}

TEST_F(RecorderWindow, AboutBoxOpensTheReadMeOrTellsItCouldNotAndTheProgramIsDpiAwareWithADragIcon) {
    const std::string readMe = m_folder.File("read1st.htm");
    std::ofstream(readMe) << "<html></html>";
    // Opened by noting the document's name; Wine does not merge HKCU\Software\Classes into the root.
    const std::string note = "cmd.exe /c echo %1>opened.txt";
    ::RegSetKeyValueA(HKEY_CLASSES_ROOT, ".htm", nullptr, REG_SZ, "MirvoxTest.htm", 15);
    ::RegSetKeyValueA(HKEY_CLASSES_ROOT, "MirvoxTest.htm\\shell\\open\\command", 0, REG_SZ, note.c_str(),
                      DWORD(note.size() + 1));
    char cwd[MAX_PATH], opener[MAX_PATH] = {};
    ::GetCurrentDirectoryA(sizeof(cwd), cwd);
    ::FindExecutableA(readMe.c_str(), nullptr, opener);
    ASSERT_TRUE(std::strstr(opener, "cmd.exe")) << "never click while a real browser would start";
    RunRecorder([&](RecorderHands& r) {
        HWND window = r.window;
        EXPECT_TRUE(::IsProcessDPIAware()) << "the manifest declares the program DPI aware";
        EXPECT_EQ(::SendMessageW(window, WM_QUERYDRAGICON, 0, 0),
                  reinterpret_cast<LRESULT>(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128))));
        HWND about = nullptr;
        for (WPARAM command : {16, 31, 20006}) { // system commands 16 to 31, the icon's menu command
            ASSERT_TRUE(!about || Dismiss(about, IDOK));
            ::PostMessageW(window, command < 32 ? WM_SYSCOMMAND : WM_COMMAND, command, 0);
            ASSERT_EQ(::GetWindow(about = WaitForDialog(Wide("バージョン情報")), GW_OWNER), window);
        }
        ::SetCurrentDirectoryA(cwd); // no read-me here
        PostCommand(about, 1009);    // the read-me icon; STN_CLICKED is 0
        EXPECT_EQ(::GetWindow(r.Dialog(L"Mirvox"), GW_OWNER), about);
        r.Accept("ブラウザを起動できませんでした。");
        ::SetCurrentDirectoryA(m_folder.path().c_str());
        PostCommand(about, 1009);
        std::string line;
        EXPECT_TRUE(WaitUntil([&] {
            return std::getline(std::ifstream(m_folder.File("opened.txt")), line) &&
                   line.find(readMe) != line.npos;
        }));
        Barrier(about);
        EXPECT_TRUE(::IsWindowVisible(about) && !OtherDialog(window, L"Mirvox")) << "no message";
        PostCommand(window, IDCANCEL);
    });
    ::SetCurrentDirectoryA(cwd);
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "MirvoxTest.htm");
}

TEST(CaptionDialog, FontButtonMakesANewFontObjectAlsoWhenTheFontDialogIsCancelled) {
    CCaptionDlg dialog;
    dialog.m_font = MakeSharedFont(::CreateFontA(-12, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0, "Arial"));
    const SharedFont before = dialog.m_font;
    std::thread user([] {
        HWND settings = WaitForDialog(Wide("キャプション設定"));
        PostCommand(settings, 1017);
        EXPECT_TRUE(Dismiss(WaitForDialog(Wide("フォントの指定")), IDCANCEL) && Dismiss(settings, IDOK));
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    user.join();
    EXPECT_TRUE(dialog.m_font && dialog.m_font != before);
}

// GetGuiResources is a stub under Wine: objects are measured as headroom, how many more could be made.
TEST_F(RecorderWindow, SoakTicksAndCaptionFontChangesKeepObjectsAndMemoryFlat) {
    Store("Rate", REG_BINARY, Bytes(200)); // the slowest interval: every tick is one the test posts
    Store("Frames", REG_BINARY, Bytes(1));
    UniqueWindow source = PatternWindow(32, 24, "Mirvox soak source");
    PROCESS_MEMORY_COUNTERS memory[2] = {};
    int posted = 0, headroom = 0;
    RunRecorder([&](RecorderHands& r) {
        auto ticks = [&](int count) {
            for (int i = 0; i < count; ++i, ++posted)
                ::PostMessageW(r.window, WM_TIMER, 1, 0);
            // The status shows each tick's frame index as the tick begins.
            ASSERT_TRUE(WaitUntil([&] { return r.Count() == posted - 1; }, 60s)) << posted;
            Barrier(r.window);
        };
        ASSERT_GE(r.Choose(L"Mirvox soak source"), 1);
        // A replaced caption font goes once no recording draws with it; every tenth, a new recording.
        for (int round = 0; round <= 200; ++round) {
            if (round % 10 == 0) {
                if (round > 0)
                    r.Press(How::Click);
                ASSERT_TRUE(WaitUntil([&] { return r.Idle(); }));
                ASSERT_NO_FATAL_FAILURE(r.Start());
                posted = 0;
            }
            PostCommand(r.window, 1015);
            HWND settings = WaitForDialog(Wide("キャプション設定"));
            PostCommand(settings, 1017);
            ASSERT_TRUE(Dismiss(WaitForDialog(Wide("フォントの指定")), IDOK) && Dismiss(settings, IDOK));
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
        PostCommand(r.window, IDCANCEL);
    });
    EXPECT_LT(memory[1].WorkingSetSize, memory[0].WorkingSetSize + (16u << 20));
}
