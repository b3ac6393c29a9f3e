#include "ui/recorder_dlg.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"
#include "tests/support/session_support.h"

using namespace test_support;

namespace {

class RecorderDialog : public RecorderTest {
protected:
    void Run(const std::function<void(HWND)>& drive) { RunRecorder(drive); }
};

struct ControlRow {
    int id;
    const wchar_t* cls;
    const char* text; // UTF-8; null: not compared
};

// Template order, with the texts the window shows once initialised from an empty store.
const ControlRow kControls[] = {
    {1006, L"ComboBox", "全画面"},
    {1007, L"Button", "リセット(&R)"},
    {1000, L"Edit", "Mirvox.avi"},
    {1001, L"Button", "参照(&B)"},
    {1003, L"Edit", "1"},
    {1002, L"msctls_updown32", nullptr},
    {1013, L"ComboBox", "無制限"},
    {1019, L"Button", ""},
    {1015, L"Button", "キャプション設定(&C)"},
    {1, L"Button", "開始(&S)"},
    {2, L"Button", "終了(&X)"},
    {-1, L"Static", "ファイル名"},
    {-1, L"Button", "キャプチャ"},
    {-1, L"Static", "レート:"},
    {-1, L"Static", "倍速"},
    {1004, L"SysAnimate32", nullptr},
    {1005, L"Edit", ""},
    {-1, L"Static", "ソース:"},
    {-1, L"Static", "時間:"},
    {1021, L"Edit", "4"},
    {1023, L"msctls_updown32", nullptr},
    {-1, L"Static", "フレーム数/秒"},
};

const char* const kTimeLimits[] = {"無制限",  "0.5時間", "1時間",   "1.5時間", "2時間",   "2.5時間", "3時間",
                                   "3.5時間", "4時間",   "4.5時間", "5時間",   "5.5時間", "6時間"};

int ControlId(HWND control) {
    int id = ::GetDlgCtrlID(control);
    return id == 0xFFFF ? -1 : id;
}

} // namespace

TEST_F(RecorderDialog, OpensWithEveryControlInTemplateOrderAndTheDefaults) {
    Run([](HWND window) {
        size_t row = 0;
        for (HWND c = ::GetWindow(window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT), ++row) {
            ASSERT_LT(row, std::size(kControls)) << "more controls than the template has";
            const ControlRow& expected = kControls[row];
            EXPECT_EQ(ControlId(c), expected.id) << "control " << row;
            EXPECT_EQ(ClassOf(c), expected.cls) << "control " << row;
            if (expected.text) {
                EXPECT_EQ(TextOf(c), Wide(expected.text)) << "control " << row;
            }
            EXPECT_TRUE(::IsWindowEnabled(c)) << "control " << row;
        }
        EXPECT_EQ(row, std::size(kControls));

        int low = 0, high = 0;
        ::SendMessageW(::GetDlgItem(window, 1002), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                       reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(low, 1);
        EXPECT_EQ(high, 200);
        ::SendMessageW(::GetDlgItem(window, 1023), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                       reinterpret_cast<LPARAM>(&high));
        EXPECT_EQ(low, 1);
        EXPECT_EQ(high, 60);
        EXPECT_EQ(reinterpret_cast<HWND>(::SendMessageW(::GetDlgItem(window, 1002), UDM_GETBUDDY, 0, 0)),
                  ::GetDlgItem(window, 1003));
        EXPECT_EQ(reinterpret_cast<HWND>(::SendMessageW(::GetDlgItem(window, 1023), UDM_GETBUDDY, 0, 0)),
                  ::GetDlgItem(window, 1021));

        HWND limits = ::GetDlgItem(window, 1013);
        ASSERT_EQ(::SendMessageW(limits, CB_GETCOUNT, 0, 0), 13);
        for (int i = 0; i < 13; ++i) {
            wchar_t item[64] = {};
            ::SendMessageW(limits, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
            EXPECT_EQ(std::wstring(item), Wide(kTimeLimits[i])) << "time-limit item " << i;
        }
        EXPECT_EQ(::SendMessageW(limits, CB_GETCURSEL, 0, 0), 0);
        HWND sources = ::GetDlgItem(window, 1006);
        EXPECT_EQ(::SendMessageW(sources, CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(::IsDlgButtonChecked(window, 1019), BST_CHECKED);

        HMENU systemMenu = ::GetSystemMenu(window, FALSE);
        int count = ::GetMenuItemCount(systemMenu);
        ASSERT_GE(count, 2);
        EXPECT_TRUE(::GetMenuState(systemMenu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR);
        EXPECT_EQ(::GetMenuItemID(systemMenu, count - 1), 16u);
        wchar_t about[128] = {};
        ::GetMenuStringW(systemMenu, static_cast<UINT>(count - 1), about, 128, MF_BYPOSITION);
        EXPECT_EQ(std::wstring(about), Wide("Mirvoxバージョン情報..."));

        EXPECT_TRUE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        PostCommand(window, IDCANCEL);
    });
}

TEST_F(RecorderDialog, SystemCommandsSixteenToThirtyOneOpenTheAboutBox) {
    Run([](HWND window) {
        for (WPARAM command : {16, 31}) {
            ::PostMessageW(window, WM_SYSCOMMAND, command, 0);
            HWND about = WaitForDialog(Wide("バージョン情報"));
            ASSERT_NE(about, nullptr) << "system command " << command;
            EXPECT_EQ(::GetWindow(about, GW_OWNER), window);
            PostCommand(about, IDOK);
            ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(about); }));
        }
        ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(WaitUntil([&] { return ::IsIconic(window) != FALSE; }));
        ::PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        EXPECT_TRUE(WaitUntil([&] { return ::IsIconic(window) == FALSE; }));
        PostCommand(window, IDCANCEL);
    });
}

TEST_F(RecorderDialog, EnterNeverClosesTheDialogAndEscDoes) {
    Run([](HWND window) {
        // Enter on the edit starts a recording (the start notice appears) rather than closing.
        ::SetForegroundWindow(window);
        ::PostMessageW(::GetDlgItem(window, 1003), WM_KEYDOWN, VK_RETURN, 0);
        HWND notice = WaitForDialog(L"Mirvox", 10s, window);
        ASSERT_NE(notice, nullptr) << "Enter did not reach the OK command";
        EXPECT_TRUE(::IsWindow(window));
        // Dismiss the notice; the codec choice is then cancelled, which fails the start.
        PostCommand(notice, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(notice); }));
        HWND failure = nullptr;
        WaitUntil(
            [&] {
                HWND d = WaitForDialog(L"Mirvox", 100ms, window);
                if (d && d != notice)
                    failure = d;
                if (!failure) {
                    HWND codec = WaitForDialog(Wide("ビデオ圧縮"), 100ms);
                    if (codec)
                        PostCommand(codec, IDCANCEL);
                }
                return failure != nullptr;
            },
            20s);
        ASSERT_NE(failure, nullptr) << "no message after the cancelled start";
        PostCommand(failure, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(failure); }));
        EXPECT_TRUE(::IsWindow(window));

        ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        PostCommand(window, IDCANCEL);
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(window); }));
    });
}

TEST_F(RecorderDialog, DeclaresDpiAwareness) {
    EXPECT_TRUE(::IsProcessDPIAware());
}

TEST_F(RecorderDialog, RateAndFrameRateSavedFromTheUpDownPositions) {
    // What the edits hold at shut-down counts only when the up-down control accepts it as a
    // position; anything else leaves the last valid position.
    struct Case {
        const wchar_t* rateText;
        const wchar_t* fpsText;
        int32_t rate, fps;
    };
    for (Case c : {Case{L"57", L"30", 57, 30}, Case{L"abc", L"", 1, 4}, Case{L"500", L"61", 1, 4}}) {
        Run([&](HWND window) {
            ::SendMessageW(::GetDlgItem(window, 1003), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.rateText));
            ::SendMessageW(::GetDlgItem(window, 1021), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.fpsText));
            PostCommand(window, IDCANCEL);
        });
        EXPECT_EQ(ReadStoredInt("Rate"), c.rate) << "rate text " << c.rateText;
        EXPECT_EQ(ReadStoredInt("Frames"), c.fps) << "frame-rate text " << c.fpsText;
        DeleteSettingsKey();
    }
}

TEST_F(RecorderDialog, StoredRateOutOfRangeIsShownAsStored) {
    WriteStoredInt("Rate", 500);
    Run([](HWND window) {
        EXPECT_EQ(TextOf(::GetDlgItem(window, 1003)), L"500");
        PostCommand(window, IDCANCEL);
    });
}
