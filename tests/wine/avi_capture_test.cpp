#include "recorder/avi_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "recorder/codec_choice.h"
#include "tests/support/codec_support.h"
#include "tests/support/test_support.h"

using namespace std::chrono_literals;
using test_support::ChooseFullFrames;
using test_support::CodecChooserScope;
using test_support::PatternWindow;
using test_support::ScratchFolder;

namespace {

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Opens a capture into the folder and lets it go at once.
bool OpenCapture(HWND window, const ScratchFolder& folder, const char* name, CodecChooser chooser) {
    CaptureParams params = test_support::WindowCaptureParams(window, folder, name);
    CodecChooserScope scope(chooser);
    CAviCapture capture(nullptr, nullptr, "", 0, 0);
    return capture.Open(&params) != 0;
}

int g_choices = 0;
BOOL CountedChoice(PAVISTREAM stream, LPAVICOMPRESSOPTIONS* options) {
    ++g_choices;
    return ChooseFullFrames(stream, options);
}

} // namespace

TEST(AviCapture, RecordsWindowFramesThatFfmpegDecodesExactly) {
    PatternWindow window(64, 48);
    ScratchFolder folder;
    CaptureParams params = test_support::WindowCaptureParams(window.hwnd(), folder, "frames.avi", 5);
    constexpr int kFrames = 6;
    {
        CodecChooserScope full(&ChooseFullFrames);
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        ASSERT_NE(capture.Open(&params), 0);
        for (int k = 0; k < kFrames; ++k) {
            window.SetPhase(k);
            ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
            ASSERT_NE(capture.WriteFrame(k), 0);
        }
    }
    auto probe = test_support::ProbeVideo(folder.File("frames.avi"));
    EXPECT_EQ(probe.codec, "rawvideo");
    EXPECT_EQ(probe.pixelFormat, "bgra");
    EXPECT_EQ(probe.width, 64);
    EXPECT_EQ(probe.height, 48);
    EXPECT_EQ(probe.frameRate, "5/1");
    EXPECT_EQ(probe.frames, kFrames);

    auto frames = test_support::DecodeFrames(folder.File("frames.avi"), 64, 48);
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    for (int k = 0; k < kFrames; ++k)
        test_support::ExpectFrameShowsPattern(frames[k], 64, 48, k);
}

TEST(AviCapture, FolderAndFileNameAreJoinedWithoutSeparatorAndOneFpsGivesRateOne) {
    PatternWindow window(16, 16);
    ScratchFolder folder;
    ASSERT_TRUE(::CreateDirectoryA(folder.File("x").c_str(), nullptr));
    CaptureParams params = test_support::WindowCaptureParams(window.hwnd(), folder, "a.avi", 1);
    params.folder = folder.File("x\\out");
    {
        CodecChooserScope full(&ChooseFullFrames);
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        ASSERT_NE(capture.Open(&params), 0);
        ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
        ASSERT_NE(capture.WriteFrame(0), 0);
    }
    ASSERT_TRUE(FileExists(folder.File("x\\outa.avi")));
    auto probe = test_support::ProbeVideo(folder.File("x\\outa.avi"));
    EXPECT_EQ(probe.frameRate, "1/1");
    EXPECT_EQ(probe.frames, 1);
}

TEST(AviCapture, NothingOnDiskChangesUntilOpenSucceeds) {
    PatternWindow window(16, 16);
    ScratchFolder folder;
    const std::string earlier(100000, 'x');
    std::ofstream(folder.File("old.avi"), std::ios::binary) << earlier;
    EXPECT_FALSE(OpenCapture(window.hwnd(), folder, "old.avi", &test_support::CancelCodecChoice));
    EXPECT_FALSE(OpenCapture(window.hwnd(), folder, "new.avi", &test_support::CancelCodecChoice));
    EXPECT_EQ(Contents(folder.File("old.avi")), earlier);
    EXPECT_FALSE(FileExists(folder.File("new.avi")));
    EXPECT_TRUE(OpenCapture(window.hwnd(), folder, "old.avi", &ChooseFullFrames));
    EXPECT_EQ(Contents(folder.File("old.avi")).substr(0, 4), "RIFF") << "a recording that starts replaces it";
}

// The user learns before choosing a codec that the file cannot be written.
TEST(AviCapture, OpenFailsBeforeTheCodecChoiceWhenTheFileCannotBeCreated) {
    PatternWindow window(16, 16);
    ScratchFolder folder;
    ASSERT_TRUE(::CreateDirectoryA(folder.File("folder.avi").c_str(), nullptr));
    for (const char* name : {"missing\\a.avi", "folder.avi", "a?.avi"}) {
        g_choices = 0;
        EXPECT_FALSE(OpenCapture(window.hwnd(), folder, name, &CountedChoice)) << name;
        EXPECT_EQ(g_choices, 0) << name;
    }
}

TEST(AviCapture, WholeDisplayFrameHasTheScreenSize) {
    ScratchFolder folder;
    CaptureParams params = test_support::WindowCaptureParams(nullptr, folder, "screen.avi", 4);
    {
        CodecChooserScope full(&ChooseFullFrames);
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        ASSERT_NE(capture.Open(&params), 0);
        ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
        ASSERT_NE(capture.WriteFrame(0), 0);
    }
    auto probe = test_support::ProbeVideo(folder.File("screen.avi"));
    EXPECT_EQ(probe.width, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(probe.height, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(probe.frames, 1);
}

TEST(AviCapture, ResizedWindowIsRefusedAndKeepsThePreviousFrame) {
    PatternWindow window(40, 30);
    ScratchFolder folder;
    CaptureParams params = test_support::WindowCaptureParams(window.hwnd(), folder, "resize.avi");
    {
        CodecChooserScope full(&ChooseFullFrames);
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        ASSERT_NE(capture.Open(&params), 0);
        window.SetPhase(3);
        ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);

        struct Size {
            int w, h;
        };
        for (Size s : {Size{41, 30}, Size{39, 30}, Size{40, 31}, Size{40, 29}}) {
            window.ResizeClient(s.w, s.h);
            window.SetPhase(5);
            EXPECT_EQ(capture.CaptureFrame(), CaptureStatus::SizeChanged) << s.w << "x" << s.h;
        }
        // The refused grabs left the phase-3 frame in place: that is what gets written.
        ASSERT_NE(capture.WriteFrame(0), 0);
    }
    auto frames = test_support::DecodeFrames(folder.File("resize.avi"), 40, 30);
    ASSERT_EQ(frames.size(), 1u);
    test_support::ExpectFrameShowsPattern(frames[0], 40, 30, 3);
}

TEST(AviCapture, DestroyedWindowGivesNonzeroStatusAndLeaksNothing) {
    ScratchFolder folder;
    auto window = std::make_unique<PatternWindow>(32, 32);
    CaptureParams params = test_support::WindowCaptureParams(window->hwnd(), folder, "gone.avi");
    CodecChooserScope full(&ChooseFullFrames);
    CAviCapture capture(nullptr, nullptr, "", 0, 0);
    ASSERT_NE(capture.Open(&params), 0);
    window.reset();
    int before = test_support::GdiHeadroom();
    for (int i = 0; i < 20; ++i)
        EXPECT_NE(capture.CaptureFrame(), CaptureStatus::Grabbed);
    EXPECT_GE(test_support::GdiHeadroom(), before);
}

TEST(AviCapture, FiveHundredGrabsLeaveNoGdiObjectBehind) {
    PatternWindow window(64, 48);
    ScratchFolder folder;
    CaptureParams params = test_support::WindowCaptureParams(window.hwnd(), folder, "leak.avi");
    CodecChooserScope full(&ChooseFullFrames);
    CAviCapture capture(nullptr, nullptr, "", 0, 0);
    ASSERT_NE(capture.Open(&params), 0);
    ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed); // first-use allocations settle
    int before = test_support::GdiHeadroom();
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
    int after = test_support::GdiHeadroom();
    EXPECT_GE(after, before) << "lost " << before - after << " GDI objects over 500 grabs";
}
