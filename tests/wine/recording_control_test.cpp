#include "ui/recorder_dlg.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "tests/support/codec_support.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"
#include "tests/support/small_filesystem.h"
#include "tests/support/test_support.h"
#include "tests/support/tray_support.h"
#include "ui/recording_clock.h"

using namespace test_support;

namespace {

constexpr int kRecordingInputs[] = {1006, 1002, 1023, 1000, 1003, 1021, 1007, 1001, 1013};

std::atomic<std::time_t> g_fakeNow{1'700'000'000};
std::time_t FakeNow() {
    return g_fakeNow.load();
}

class RecordingControl : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        WriteStoredString("Path", m_folder.path());
        WriteStoredInt("Frames", 20); // 50 ms ticks keep the tests short
    }

    void Run(const std::function<void(HWND)>& drive) {
        CodecChooserScope fullFrames(&ChooseFullFrames);
        RunRecorder(drive);
    }

    // Starts a recording: the notice is checked and accepted.
    static void Start(HWND window, int command = IDOK) {
        PostCommand(window, command);
        HWND notice = WaitForDialog(L"Mirvox", 10s, window);
        ASSERT_NE(notice, nullptr) << "no start notice";
        EXPECT_EQ(TextOf(::GetDlgItem(notice, 0xFFFF)),
                  Wide("Mirvoxは、キャプチャが開始されるとアイコン化されます。\r\nキャプチャを停止するには、"
                       "タスクバー上のアイコン"
                       "をクリックしてウィンドウを回復するか、アイコンを右クリックしてメニューから操作してく"
                       "ださい。"));
        PostCommand(notice, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(notice); }));
    }

    // Waits for a message box over the recorder, checks its text and dismisses it.
    static void ExpectMessage(HWND window, const char* utf8) {
        HWND box = WaitForDialog(L"Mirvox", 10s, window);
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), Wide(utf8));
        PostCommand(box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
    }

    static std::wstring Status(HWND window) { return TextOf(::GetDlgItem(window, 1005)); }
    static std::wstring ButtonText(HWND window) { return TextOf(::GetDlgItem(window, IDOK)); }
    static bool Recording(HWND window) { return ButtonText(window) == Wide("停止(&S)"); }
    static bool Idle(HWND window) { return ButtonText(window) == Wide("開始(&S)"); }
    static int ShownCount(HWND window) {
        std::wstring status = Status(window);
        auto colon = status.find(L':');
        return colon == std::wstring::npos ? -1 : std::stoi(status.substr(colon + 1));
    }
    static void ExpectInputsEnabled(HWND window, bool enabled) {
        for (int id : kRecordingInputs)
            EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(window, id)) != FALSE, enabled) << "control " << id;
    }

    ScratchFolder m_folder;
};

} // namespace

TEST_F(RecordingControl, StartTicksAndStopRecordTheWholeScreen) {
    int lastShown = -1;
    bool sawZero = false;
    Run([&](HWND window) {
        Start(window);
        ASSERT_TRUE(WaitUntil([&] { return Recording(window); }));
        EXPECT_TRUE(::IsIconic(window)) << "the whole-screen recording minimises the recorder";
        ExpectInputsEnabled(window, false);
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, 1019)));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(window, 1015)));
        ASSERT_TRUE(WaitUntil([&] {
            if (Status(window) == Wide("フレーム数:   0"))
                sawZero = true;
            return ShownCount(window) >= 3;
        }));
        PostCommand(window, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return Idle(window); }));
        EXPECT_FALSE(::IsIconic(window));
        ExpectInputsEnabled(window, true);
        lastShown = ShownCount(window);
        PostCommand(window, IDCANCEL);
    });
    EXPECT_TRUE(sawZero) << "the first tick shows the count 0";
    auto probe = ProbeVideo(m_folder.File("Mirvox.avi"));
    EXPECT_EQ(probe.width, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(probe.height, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(probe.frameRate, "20/1");
    // The counter shows the index of the frame each tick writes.
    EXPECT_EQ(probe.frames, lastShown + 1);
}

TEST_F(RecordingControl, PopupCommandStartsAndStopsLikeTheButton) {
    Run([&](HWND window) {
        Start(window, 20001);
        ASSERT_TRUE(WaitUntil([&] { return Recording(window); }));
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 1; }));
        PostCommand(window, 20001);
        ASSERT_TRUE(WaitUntil([&] { return Idle(window); }));
        ExpectInputsEnabled(window, true);
        PostCommand(window, IDCANCEL);
    });
    EXPECT_GE(ProbeVideo(m_folder.File("Mirvox.avi")).frames, 2);
}

TEST_F(RecordingControl, TextTypedIntoTheFileNameBoxDoesNotMoveTheRecording) {
    Run([&](HWND window) {
        ::SendMessageW(::GetDlgItem(window, 1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"typed.avi"));
        Start(window);
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 1; }));
        PostCommand(window, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return Idle(window); }));
        PostCommand(window, IDCANCEL);
    });
    EXPECT_GE(ProbeVideo(m_folder.File("Mirvox.avi")).frames, 1);
    EXPECT_EQ(::GetFileAttributesA(m_folder.File("typed.avi").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(RecordingControl, OpenFailureShowsItsMessageAndStaysIdle) {
    WriteStoredString("Path", m_folder.File("missing\\"));
    Run([&](HWND window) {
        PostCommand(window, IDOK);
        HWND notice = WaitForDialog(L"Mirvox", 10s, window);
        ASSERT_NE(notice, nullptr);
        PostCommand(notice, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(notice); }));
        ExpectMessage(window, "初期化に失敗しました。");
        EXPECT_TRUE(Idle(window));
        ExpectInputsEnabled(window, true);
        EXPECT_FALSE(::IsIconic(window));
        EXPECT_EQ(Status(window), L"") << "no tick ran";
        PostCommand(window, IDCANCEL);
    });
}

TEST_F(RecordingControl, ResizedWindowStopsWithItsMessageAndKeepsTheCount) {
    PatternWindow source(120, 90, "Mirvox test source");
    int countBefore = -1;
    Run([&](HWND window) {
        HWND sources = ::GetDlgItem(window, 1006);
        int index = static_cast<int>(
            ::SendMessageA(sources, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>("Mirvox test source")));
        ASSERT_GE(index, 1);
        ::SendMessageA(sources, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Start(window);
        ASSERT_TRUE(WaitUntil([&] { return Recording(window); }));
        EXPECT_FALSE(::IsIconic(window)) << "a window recording leaves the recorder as it was";
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 2; }));
        source.ResizeClient(121, 90);
        HWND box = WaitForDialog(L"Mirvox", 10s, window);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(Recording(window)) << "the recording look stays while the message is open";
        EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)),
                  Wide("ウィンドウ　サイズが変更されました。\nキャプチャを中断します。"));
        countBefore = ShownCount(window);
        PostCommand(box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return Idle(window); }));
        PostCommand(window, IDCANCEL);
    });
    // The refused tick wrote nothing: the frames are those of the ticks before it.
    auto probe = ProbeVideo(m_folder.File("Mirvox.avi"));
    EXPECT_EQ(probe.width, 120);
    EXPECT_EQ(probe.frames, countBefore);
}

TEST_F(RecordingControl, DestroyedWindowStopsWithTheInternalErrorMessage) {
    PatternWindow source(100, 80, "Mirvox doomed source");
    Run([&](HWND window) {
        HWND sources = ::GetDlgItem(window, 1006);
        int index = static_cast<int>(
            ::SendMessageA(sources, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>("Mirvox doomed source")));
        ASSERT_GE(index, 1);
        ::SendMessageA(sources, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Start(window);
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 1; }));
        ::PostMessageA(source.hwnd(), WM_CLOSE, 0, 0);
        ExpectMessage(window, "キャプチャ内部エラー\r\nキャプチャを中断します。");
        ASSERT_TRUE(WaitUntil([&] { return Idle(window); }));
        PostCommand(window, IDCANCEL);
    });
    EXPECT_GE(ProbeVideo(m_folder.File("Mirvox.avi")).frames, 1);
}

TEST_F(RecordingControl, WriteFailureStopsWithItsMessageAndStillCountsTheFrame) {
    SmallFilesystem small(m_folder, "512k");
    if (!small.mounted())
        GTEST_SKIP() << "mounting a tmpfs was refused (needs root)";
    WriteStoredString("Path", small.path());
    PatternWindow source(160, 120, "Mirvox full disk source");
    TrayLogScope tray;
    int shownAtFailure = -1;
    Run([&](HWND window) {
        HWND sources = ::GetDlgItem(window, 1006);
        int index = static_cast<int>(::SendMessageA(sources, CB_FINDSTRINGEXACT, 0,
                                                    reinterpret_cast<LPARAM>("Mirvox full disk source")));
        ASSERT_GE(index, 1);
        ::SendMessageA(sources, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Start(window);
        HWND box = WaitForDialog(L"Mirvox", 20s, window);
        ASSERT_NE(box, nullptr) << "the disk never filled";
        EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), Wide("ストリーム\u3000データ書き込みエラー"));
        EXPECT_TRUE(Recording(window)) << "the recording look stays while the message is open";
        shownAtFailure = ShownCount(window);
        PostCommand(box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return Idle(window); }));
        PostCommand(window, IDCANCEL);
    });
    ASSERT_GE(shownAtFailure, 0);
    // The status shows the failed frame's index; the idle tip after the stop counts that frame too.
    const std::vector<TrayCall> calls = tray.Calls();
    auto recordingTip = [](const TrayCall& c) { return c.tip.rfind(Ansi("キャプチャ中"), 0) == 0; };
    auto lastRecording = std::find_if(calls.rbegin(), calls.rend(), recordingTip);
    ASSERT_NE(lastRecording, calls.rend());
    ASSERT_NE(lastRecording.base(), calls.end());
    const TrayCall& stop = *lastRecording.base();
    EXPECT_EQ(stop.icon, TrayIconResource(142));
    EXPECT_EQ(stop.tip, Ansi("キャプチャウィンドウ Mirvox full disk source\r\nフレーム数 ") +
                            std::to_string(shownAtFailure + 1));
}

TEST_F(RecordingControl, TimeLimitStopsSilentlyOneSecondAfterTheEnd) {
    ClockSource previous = SetClockSource(&FakeNow);
    const std::time_t start = g_fakeNow.load();
    Run([&](HWND window) {
        ::SendMessageW(::GetDlgItem(window, 1013), CB_SETCURSEL, 1, 0);
        Start(window);
        ASSERT_TRUE(WaitUntil([&] { return Recording(window); }));
        g_fakeNow = start + 1800;
        int seen = ShownCount(window);
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= seen + 3; }))
            << "ticks in the very second of the end time go on";
        EXPECT_TRUE(Recording(window));
        g_fakeNow = start + 1801;
        ASSERT_TRUE(WaitUntil([&] { return Idle(window); }));
        EXPECT_EQ(WaitForDialog(L"Mirvox", 300ms, window), nullptr) << "a limit stop shows no message";
        PostCommand(window, IDCANCEL);
    });
    SetClockSource(previous);
}

TEST_F(RecordingControl, ClosingWhileRecordingClosesTheFileAndSavesSettings) {
    Run([&](HWND window) {
        Start(window);
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 2; }));
        PostCommand(window, IDCANCEL);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(window); }));
    });
    EXPECT_GE(ProbeVideo(m_folder.File("Mirvox.avi")).frames, 2);
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, (SettingsKeyPath() + "\\Option").c_str(), 0, KEY_READ, &key),
              0);
    DWORD values = 0;
    ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr);
    ::RegCloseKey(key);
    EXPECT_EQ(values, 8u);
}
