// Many ticks of a real recording: platform objects and memory must stay flat. Wine's
// GetGuiResources is a stub, so GDI and USER objects are measured as headroom: how many more of
// them could be created.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/codec_support.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"
#include "tests/support/test_support.h"

using namespace test_support;

namespace {

// How many more USER objects (menus) the window server would hand out right now.
int UserHeadroom() {
    std::vector<HMENU> menus;
    menus.reserve(70000);
    while (menus.size() < 70000) {
        HMENU menu = ::CreateMenu();
        if (!menu)
            break;
        menus.push_back(menu);
    }
    for (HMENU menu : menus)
        ::DestroyMenu(menu);
    return static_cast<int>(menus.size());
}

size_t WorkingSetBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.WorkingSetSize;
}

struct Figures {
    int gdi = 0, user = 0;
    size_t workingSet = 0;
};

Figures Measure() {
    return {GdiHeadroom(), UserHeadroom(), WorkingSetBytes()};
}

int Ticks() {
    const char* ticks = std::getenv("MIRVOX_SOAK_TICKS");
    return ticks ? std::atoi(ticks) : 10'000;
}

class Soak : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        WriteStoredString("Path", m_folder.path());
        // The slowest interval: every tick of the run is one the driver posts.
        WriteStoredInt("Rate", 200);
        WriteStoredInt("Frames", 1);
    }

    ScratchFolder m_folder;
};

} // namespace

TEST_F(Soak, TenThousandTicksKeepObjectsAndMemoryFlat) {
    PatternWindow source(32, 24, "Mirvox soak source");
    const int ticks = Ticks();
    constexpr int kWarmUp = 200, kBatch = 100;
    Figures before, after;
    int shown = -1;
    CodecChooserScope fullFrames(&ChooseFullFrames);
    RunRecorder([&](HWND window) {
        HWND sources = ::GetDlgItem(window, 1006);
        const LRESULT index =
            ::SendMessageA(sources, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>("Mirvox soak source"));
        ASSERT_GE(index, 1);
        ::SendMessageA(sources, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        PostCommand(window, IDOK);
        HWND notice = WaitForDialog(L"Mirvox", 10s, window);
        ASSERT_NE(notice, nullptr);
        PostCommand(notice, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return TextOf(::GetDlgItem(window, IDOK)) == Wide("停止(&S)"); }));

        int posted = 0;
        auto tick = [&](int count) {
            for (int i = 0; i < count; ++i)
                ::PostMessageW(window, WM_TIMER, 1, 0);
            posted += count;
            bool done = WaitUntil(
                [&] {
                    std::wstring status = TextOf(::GetDlgItem(window, 1005));
                    auto colon = status.find(L':');
                    return colon != std::wstring::npos && std::stoi(status.substr(colon + 1)) >= posted - 1;
                },
                60s);
            // A sent message is handled only after the tick that is running: a barrier.
            ::SendMessageW(window, WM_NULL, 0, 0);
            return done;
        };
        ASSERT_TRUE(tick(kWarmUp));
        before = Measure();
        const auto start = std::chrono::steady_clock::now();
        while (posted < kWarmUp + ticks)
            ASSERT_TRUE(tick(std::min(kBatch, kWarmUp + ticks - posted))) << "ticks stalled at " << posted;
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        after = Measure();
        std::printf("soak: %d ticks in %.1f s (%.2f ms a tick)\n", ticks, seconds, seconds * 1000 / ticks);
        shown = posted - 1;
        PostCommand(window, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return TextOf(::GetDlgItem(window, IDOK)) == Wide("開始(&S)"); }));
        PostCommand(window, IDCANCEL);
    });
    std::printf("soak: GDI headroom %d -> %d, USER headroom %d -> %d, working set %.1f -> %.1f MiB\n",
                before.gdi, after.gdi, before.user, after.user, before.workingSet / 1048576.0,
                after.workingSet / 1048576.0);
    // A leak of one object a tick would show as thousands; a few are the measurement's own noise.
    EXPECT_LE(before.gdi - after.gdi, 16);
    EXPECT_LE(before.user - after.user, 16);
    EXPECT_LT(after.workingSet, before.workingSet + (16u << 20));
    EXPECT_EQ(ProbeVideo(m_folder.File("Mirvox.avi")).frames, shown + 1);
}
