#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "platform/unique_handle.h"
#include "ui/recorder_dlg.h"
#include "tests/support/codec_support.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"
#include "tests/support/session_support.h"
#include "tests/support/test_support.h"

using namespace test_support;

namespace {

// A top-level (or child) window of the test that counts how often it was activated.
class ProbeWindow {
public:
    ProbeWindow(const std::string& title, DWORD style, HWND parentOrOwner = nullptr) {
        static const ATOM registered = [] {
            WNDCLASSA wc{};
            wc.lpfnWndProc = &ProbeWindow::Proc;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.lpszClassName = "MirvoxSourceProbe";
            return ::RegisterClassA(&wc);
        }();
        (void)registered;
        static int place = 0;
        const int offset = 20 * (place++ % 10);
        m_window.reset(::CreateWindowExA(0, "MirvoxSourceProbe", title.c_str(), style, 300 + offset,
                                         200 + offset, 160, 120, parentOrOwner, nullptr,
                                         ::GetModuleHandleA(nullptr), this));
    }
    HWND hwnd() const { return m_window.get(); }
    int activations() const { return m_activations; }
    void ResetActivations() { m_activations = 0; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            ::SetWindowLongPtrA(
                window, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<ProbeWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && msg == WM_ACTIVATE && LOWORD(wp) != WA_INACTIVE)
            ++self->m_activations;
        return ::DefWindowProcA(window, msg, wp, lp);
    }

    UniqueWindow m_window;
    std::atomic<int> m_activations{0};
};

constexpr DWORD kShown = WS_OVERLAPPEDWINDOW | WS_VISIBLE;

// The titles of the windows that the list may show, in EnumWindows' order: visible top-level
// windows that are not owned pop-ups and have a title (read as the list reads it, up to 1023 bytes).
std::vector<std::string> QualifyingTitles() {
    std::vector<std::string> titles;
    ::EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            char title[1024];
            if (::GetParent(w) == nullptr && ::IsWindowVisible(w) &&
                ::GetWindowTextA(w, title, sizeof(title)) > 0)
                reinterpret_cast<std::vector<std::string>*>(lp)->push_back(title);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&titles));
    return titles;
}

size_t Occurrences(const std::vector<std::string>& items, const std::string& item) {
    return static_cast<size_t>(std::count(items.begin(), items.end(), item));
}

void Reset(HWND recorder) {
    ::SendMessageA(recorder, WM_COMMAND, MAKEWPARAM(1007, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(recorder, 1007)));
}

class SourceList : public RecorderTest {
protected:
    // The program runs the recorder without an owner; RunRecorder gives it one (which would leave
    // it out of the list as an owned pop-up), so this test runs it as the program does.
    static void RunUnownedRecorder(const std::function<void(HWND)>& drive) {
        CRecorderDlg dialog;
        CDialogBase::SetMainDialog(&dialog);
        RunWithDriver([&] { dialog.DoModal(); },
                      [&] {
                          HWND window = WaitForDialog(L"Mirvox");
                          ASSERT_NE(window, nullptr) << "the recorder window did not appear";
                          drive(window);
                      });
        CDialogBase::SetMainDialog(nullptr);
    }
};

} // namespace

TEST_F(SourceList, ListsVisibleTitledUnownedWindowsInEnumerationOrder) {
    ProbeWindow parent("Mirvox src parent", kShown);
    ProbeWindow child("Mirvox src child", WS_CHILD | WS_VISIBLE, parent.hwnd());
    ProbeWindow owned("Mirvox src owned", WS_POPUP | WS_VISIBLE, parent.hwnd());
    ProbeWindow hidden("Mirvox src hidden", WS_OVERLAPPEDWINDOW);
    ProbeWindow untitled("", kShown);
    ProbeWindow twin1("Mirvox src twin", kShown), twin2("Mirvox src twin", kShown);
    std::string longTitle = "Mirvox src long ";
    longTitle.resize(1500, 'x');
    ProbeWindow longOne(longTitle, kShown);

    RunUnownedRecorder([&](HWND window) {
        std::vector<std::string> items = SourceItems(window);
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items[0], Ansi("全画面"));
        EXPECT_EQ(Occurrences(items, "Mirvox"), 0u)
            << "the recorder was not visible when the list was filled";
        EXPECT_EQ(Occurrences(items, "Mirvox src parent"), 1u);
        EXPECT_EQ(Occurrences(items, "Mirvox src twin"), 2u);
        EXPECT_EQ(Occurrences(items, longTitle.substr(0, 1023)), 1u);
        for (const char* absent : {"Mirvox src child", "Mirvox src owned", "Mirvox src hidden", ""})
            EXPECT_EQ(Occurrences(items, absent), 0u) << "'" << absent << "'";

        Reset(window);
        std::vector<std::string> expected = QualifyingTitles();
        items = SourceItems(window);
        EXPECT_EQ(::SendMessageA(::GetDlgItem(window, 1006), CB_GETCURSEL, 0, 0), 0);
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items[0], Ansi("全画面"));
        items.erase(items.begin());
        EXPECT_EQ(items, expected);
        EXPECT_EQ(Occurrences(items, "Mirvox"), 1u) << "after Reset the visible recorder is listed";
        PostCommand(window, IDCANCEL);
    });
}

TEST_F(SourceList, ChoosingAWindowRaisesItThenTheRecorderAndWholeScreenOnlyTheRecorder) {
    ProbeWindow picked("Mirvox src picked", kShown);
    RunRecorder([&](HWND window) {
        picked.ResetActivations();
        ASSERT_GE(ChooseSource(window, "Mirvox src picked"), 1);
        EXPECT_GE(picked.activations(), 1) << "the chosen window was not raised";
        EXPECT_EQ(::GetForegroundWindow(), window);

        ::SetForegroundWindow(picked.hwnd());
        ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == picked.hwnd(); }));
        picked.ResetActivations();
        EXPECT_EQ(ChooseSource(window, Ansi("全画面")), 0);
        EXPECT_EQ(::GetForegroundWindow(), window);
        EXPECT_EQ(picked.activations(), 0) << "choosing the whole screen raised a window";
        PostCommand(window, IDCANCEL);
    });
}

TEST_F(SourceList, RecordingTheChosenWindowRecordsItsClientSize) {
    ScratchFolder folder;
    WriteStoredString("Path", folder.path());
    WriteStoredInt("Frames", 20);
    PatternWindow source(131, 77, "Mirvox src recorded");
    CodecChooserScope fullFrames(&ChooseFullFrames);
    RunRecorder([&](HWND window) {
        ASSERT_GE(ChooseSource(window, "Mirvox src recorded"), 1);
        StartRecording(window);
        ASSERT_TRUE(WaitUntil([&] { return ShownCount(window) >= 2; }));
        PostCommand(window, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return IsIdle(window); }));
        PostCommand(window, IDCANCEL);
    });
    VideoProbe probe = ProbeVideo(folder.File("Mirvox.avi"));
    EXPECT_EQ(probe.width, 131);
    EXPECT_EQ(probe.height, 77);
    EXPECT_GE(probe.frames, 2);
}
