#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "tests/support/codec_support.h"
#include "tests/support/cp932_support.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"
#include "tests/support/session_support.h"
#include "tests/support/test_support.h"
#include "tests/support/tray_support.h"
#include "ui/recording_clock.h"

using namespace test_support;

namespace {

constexpr int kIdleIcon = 142;
constexpr int kRecordingIcons[] = {143, 130, 131};

std::atomic<std::time_t> g_fakeNow{1'700'000'000};
std::time_t FakeNow() {
    return g_fakeNow.load();
}

std::string IdleTip(const std::string& item, int count) {
    return Ansi("キャプチャウィンドウ ") + item + Ansi("\r\nフレーム数 ") + std::to_string(count);
}

// The frame count a tip names (the number after "フレーム数 "), -1 when there is none.
int TipCount(const std::string& tip) {
    const std::string label = Ansi("フレーム数 ");
    size_t at = tip.find(label);
    return at == std::string::npos ? -1 : std::atoi(tip.c_str() + at + label.size());
}

bool IsRecordingTip(const std::string& tip) {
    return tip.rfind(Ansi("キャプチャ中\r\n"), 0) == 0;
}

// A visible window with a popup menu of this process (class #32768), if one is open.
HWND OpenPopupMenu() {
    HWND found = nullptr;
    ::EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(w, &pid);
            if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(w) && ClassOf(w) == L"#32768") {
                *reinterpret_cast<HWND*>(lp) = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void PostTrayMouse(HWND recorder, UINT mouseMessage) {
    ::PostMessageW(recorder, WM_USER + 1, 1000, mouseMessage);
}

void PostKey(HWND window, WPARAM key) {
    ::PostMessageW(window, WM_KEYDOWN, key, 0);
    ::PostMessageW(window, WM_KEYUP, key, 0);
}

class TrayIcon : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        WriteStoredString("Path", m_folder.path());
        WriteStoredInt("Frames", 20);
    }

    ScratchFolder m_folder;
    TrayLogScope m_log;
    CodecChooserScope m_fullFrames{&ChooseFullFrames};
};

} // namespace

TEST_F(TrayIcon, AddedAtStartWithTheIdleTipAndDeletedAtClose) {
    HWND recorder = nullptr;
    RunRecorder([&](HWND window) {
        recorder = window;
        PostCommand(window, IDCANCEL);
    });
    std::vector<TrayCall> calls = m_log.Calls();
    ASSERT_GE(calls.size(), 3u);
    const TrayCall& add = calls.front();
    EXPECT_EQ(add.operation, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(add.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V2_SIZE));
    EXPECT_EQ(add.window, recorder);
    EXPECT_EQ(add.id, 1000u);
    EXPECT_EQ(add.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON));
    EXPECT_EQ(add.callbackMessage, 0x401u);
    EXPECT_EQ(add.icon, TrayIconResource(kIdleIcon));

    const TrayCall& first = calls[1];
    EXPECT_EQ(first.operation, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(first.flags, static_cast<UINT>(NIF_ICON | NIF_TIP));
    EXPECT_EQ(first.icon, TrayIconResource(kIdleIcon));
    EXPECT_EQ(first.tip, IdleTip(Ansi("全画面"), 0));

    const TrayCall& last = calls.back();
    EXPECT_EQ(last.operation, static_cast<DWORD>(NIM_DELETE));
    EXPECT_EQ(last.flags, 0u);
    EXPECT_EQ(last.window, recorder);
    EXPECT_EQ(last.id, 1000u);
    for (size_t i = 1; i + 1 < calls.size(); ++i)
        EXPECT_EQ(calls[i].operation, static_cast<DWORD>(NIM_MODIFY)) << "call " << i;
}

TEST_F(TrayIcon, RecordingTipsShowRemainingTimeAndIconsStepWithTheCount) {
    ClockSource previous = SetClockSource(&FakeNow);
    struct Case {
        int limitIndex;
        const char* remaining;
    };
    for (Case c : {Case{1, "00時間30分:00秒"}, Case{12, "06時間00分:00秒"}, Case{0, "無制限"}}) {
        SCOPED_TRACE(c.limitIndex);
        size_t before = 0;
        RunRecorder([&](HWND window) {
            ::SendMessageW(::GetDlgItem(window, 1013), CB_SETCURSEL, static_cast<WPARAM>(c.limitIndex), 0);
            before = m_log.Count();
            StartRecording(window);
            ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 4; }));
            PostCommand(window, IDOK);
            ASSERT_TRUE(WaitUntil([&] { return IsIdle(window); }));
            PostCommand(window, IDCANCEL);
        });
        std::vector<TrayCall> calls = m_log.Calls();
        calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(before));
        int lastRecordingCount = -1;
        std::vector<int> counts;
        size_t stop = 0;
        for (size_t i = 0; i < calls.size(); ++i) {
            const TrayCall& call = calls[i];
            if (call.operation != NIM_MODIFY || !IsRecordingTip(call.tip))
                continue;
            const int count = TipCount(call.tip);
            counts.push_back(count);
            lastRecordingCount = count;
            stop = i + 1;
            EXPECT_EQ(call.tip, Ansi("キャプチャ中\r\nキャプチャウィンドウ 全画面\r\nフレーム数 ") +
                                    std::to_string(count) + Ansi("\n残り時間: ") + Ansi(c.remaining));
            EXPECT_EQ(call.icon, TrayIconResource(kRecordingIcons[count % 3])) << "count " << count;
        }
        ASSERT_GE(counts.size(), 4u);
        EXPECT_EQ((std::vector<int>(counts.begin(), counts.begin() + 4)), (std::vector<int>{0, 1, 2, 3}));
        ASSERT_LT(stop, calls.size());
        EXPECT_EQ(calls[stop].operation, static_cast<DWORD>(NIM_MODIFY));
        EXPECT_EQ(calls[stop].icon, TrayIconResource(kIdleIcon));
        EXPECT_EQ(calls[stop].tip, IdleTip(Ansi("全画面"), lastRecordingCount))
            << "the idle tip keeps the count";
    }
    SetClockSource(previous);
}

TEST_F(TrayIcon, TipsOfLongTitlesStayWithinTheMemberOnWholeCharacters) {
    // 35 bytes come before the title in the recording tip and 21 in the idle tip; after the one
    // ASCII byte a double-byte character lies across the 127-byte limit in both.
    std::string doubleByte = "x";
    for (int i = 0; i < 511; ++i)
        doubleByte += Ansi("表");
    std::string ascii = "Mirvox tray long ";
    ascii.resize(1023, 'x');
    struct Case {
        std::string title;
        size_t tipBytes;
    };
    for (const Case& c : {Case{doubleByte, 126}, Case{ascii, 127}}) {
        ASSERT_EQ(c.title.size(), 1023u);
        PatternWindow source(64, 48, c.title.c_str());
        const size_t before = m_log.Count();
        RunRecorder([&](HWND window) {
            ASSERT_GE(ChooseSource(window, c.title), 1);
            StartRecording(window);
            ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 2; }));
            PostCommand(window, IDOK);
            ASSERT_TRUE(WaitUntil([&] { return IsIdle(window); }));
            PostCommand(window, IDCANCEL);
        });
        std::vector<TrayCall> calls = m_log.Calls();
        int withTitle = 0;
        for (size_t i = before; i < calls.size(); ++i) {
            const TrayCall& call = calls[i];
            EXPECT_TRUE(call.tipTerminated) << "call " << i;
            EXPECT_LE(call.tip.size(), 127u) << "call " << i;
            EXPECT_TRUE(EndsOnWholeCp932Character(call.tip)) << "call " << i;
            if (call.tip.find(c.title.substr(0, 8)) != std::string::npos) {
                ++withTitle;
                EXPECT_EQ(call.tip.size(), c.tipBytes) << "call " << i;
            }
        }
        EXPECT_GE(withTitle, 3) << "the recording and the idle tips name the window";
    }
}

TEST_F(TrayIcon, LeftButtonRestoresTheMinimisedRecorderToTheFront) {
    RunRecorder([&](HWND window) {
        ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(window) != FALSE; }));
        PostTrayMouse(window, WM_LBUTTONDOWN);
        EXPECT_TRUE(WaitUntil([&] { return !::IsIconic(window) && ::GetForegroundWindow() == window; }));
        EXPECT_TRUE(::IsWindowVisible(window));
        PostCommand(window, IDCANCEL);
    });
}

TEST_F(TrayIcon, RightButtonMenuDismissedChangesNothingAndStartChosenRecords) {
    RunRecorder([&](HWND window) {
        const size_t before = m_log.Count();
        PostTrayMouse(window, WM_RBUTTONDOWN);
        HWND menu = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (menu = OpenPopupMenu()) != nullptr; })) << "no popup menu";
        PostKey(menu, VK_ESCAPE);
        ASSERT_TRUE(WaitUntil([&] { return OpenPopupMenu() == nullptr; }));
        EXPECT_EQ(WaitForDialog(L"Mirvox", 300ms, window), nullptr) << "dismissing opened something";
        EXPECT_TRUE(::IsWindow(window));
        EXPECT_TRUE(IsIdle(window));
        EXPECT_EQ(m_log.Count(), before);

        PostTrayMouse(window, WM_RBUTTONDOWN);
        ASSERT_TRUE(WaitUntil([&] { return (menu = OpenPopupMenu()) != nullptr; })) << "no popup menu";
        PostKey(menu, VK_DOWN);
        PostKey(menu, VK_RETURN);
        HWND notice = WaitForDialog(L"Mirvox", 10s, window);
        ASSERT_NE(notice, nullptr) << "choosing the start item showed no start notice";
        PostCommand(notice, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return IsRecording(window) && ShownCount(window) >= 1; }));
        EXPECT_TRUE(::IsIconic(window)) << "as button 1, a whole-screen recording minimises the recorder";
        PostCommand(window, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return IsIdle(window); }));
        PostCommand(window, IDCANCEL);
    });
    EXPECT_GE(ProbeVideo(m_folder.File("Mirvox.avi")).frames, 1);
}
