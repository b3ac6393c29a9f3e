// CAviCapture and its file on the real platform: the grab of a real window, the codec chosen in the
// platform's dialog, the caption's zone names, the file past 2 GiB; files read back by ffprobe and ffmpeg.
#include "recorder/avi_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "codec/screen_codec_driver.h"
#include "platform/ansi_text.h"
#include "recorder/codec_choice.h"
#include "recorder/local_caption_text.h"
#include "tests/support/test_support.h"

using namespace test_support;

TEST(AviCapture, CodecChosenInTheDialogRecordsTheWindowExactlyWithTrueKeyFlagsUntilItsSizeChanges) {
    ASSERT_TRUE(InstallScreenCodec());
    constexpr int w = 70, h = 150, kFrames = 12;               // taller than one band of the grab
    auto phase = [](int k) { return k % 3 == 2 ? k - 1 : k; }; // every third frame repeats the one before
    for (auto [codec, name, fps, keyEvery] :
         {std::tuple{kScreenCodec, "zmbv", 1, 10}, {kFullFrames, "rawvideo", 5, 1}}) {
        SCOPED_TRACE(name);
        UniqueWindow window = PatternWindow(w, h);
        ScratchFolder folder;
        CaptureParams params{window.get(), folder.path(), "a.avi", 1, fps};
        {
            // The caption is on, but a font that cannot be selected draws nothing.
            CAviCapture capture(nullptr, nullptr, "x", 1, 0);
            std::thread user([codec = codec] { ChooseCodec(WaitForDialog(Wide("ビデオ圧縮")), codec); });
            const int32_t opened = capture.Open(&params);
            user.join();
            ASSERT_NE(opened, 0);
            for (int k = 0; k < kFrames; ++k) {
                SetPhase(window.get(), phase(k));
                ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
                ASSERT_NE(capture.WriteFrame(k), 0);
            }
            // A window a pixel larger or smaller either way is refused, and the last frame stays.
            for (SIZE s : {SIZE{w + 1, h}, SIZE{w - 1, h}, SIZE{w, h + 1}, SIZE{w, h - 1}}) {
                ::SetWindowPos(window.get(), nullptr, 0, 0, s.cx, s.cy, SWP_NOMOVE | SWP_NOZORDER);
                SetPhase(window.get(), 99);
                EXPECT_EQ(capture.CaptureFrame(), CaptureStatus::SizeChanged) << s.cx << "x" << s.cy;
            }
            ASSERT_NE(capture.WriteFrame(kFrames), 0);
        }
        const std::string file = folder.File("a.avi");
        EXPECT_EQ(Ffprobe(file, "stream=codec_name,r_frame_rate"),
                  name + ("\n" + std::to_string(fps)) + "/1\n");
        const auto frames = DecodeFrames(file, w, h);
        ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames + 1));
        // Key flags as the index has them (packets) and as the codec made them (decoded frames).
        std::string indexed, made;
        for (int k = 0; k <= kFrames; ++k) {
            EXPECT_EQ(Differences(frames[k], PatternFrame(w, h, phase(std::min(k, kFrames - 1)))), 0) << k;
            indexed += k % keyEvery ? "__\n" : "K_\n";
            made += k % keyEvery ? "0\n" : "1\n";
        }
        EXPECT_EQ(Ffprobe(file, "packet=flags"), indexed);
        EXPECT_EQ(Ffprobe(file, "frame=key_frame"), made);
    }
    RemoveScreenCodec();
}

// The user learns before choosing a codec that the file cannot be written.
TEST(AviCapture, OpenFailsBeforeTheCodecChoiceWhenTheFileCannotBeCreated) {
    UniqueWindow window = PatternWindow(16, 16);
    ScratchFolder folder;
    ASSERT_TRUE(::CreateDirectoryA(folder.File("folder.avi").c_str(), nullptr));
    static int choices;
    const CodecChooser previous =
        SetCodecChooser([](PAVISTREAM, LPAVICOMPRESSOPTIONS*) { return ++choices, FALSE; });
    for (const char* name : {"missing\\a.avi", "folder.avi", "a?.avi"}) {
        CaptureParams params{window.get(), folder.path(), name, 1, 4};
        EXPECT_EQ(CAviCapture(nullptr, nullptr, "", 0, 0).Open(&params), 0) << name;
    }
    SetCodecChooser(previous);
    EXPECT_EQ(choices, 0);
}

TEST(CaptionText, ZoneNamesFromTzOrFromTheSystemNeverAnOffset) {
    // 2021-07-01 and 2021-01-15, 12:00 UTC.
    for (auto [tz, when, text] :
         {std::tuple{"JST-9", 1625140800, "JST JST 21"}, {"CET-1CEST", 1610712000, "CET CET 13"}}) {
        ::_putenv_s("TZ", tz);
        EXPECT_EQ(LocalCaptionText("%z %Z %H", when), text) << tz;
    }
    ::_putenv_s("TZ", "");
    TIME_ZONE_INFORMATION zone{};
    ASSERT_NE(::GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
    const ZoneNames names = LocalZoneNames();
    EXPECT_EQ(names.standard, AnsiOrEmpty(zone.StandardName));
    const std::string shown = LocalCaptionText("%Z", std::time(nullptr));
    EXPECT_TRUE(shown == names.standard || shown == names.daylight) << shown;
    EXPECT_EQ(shown.find_first_of("+-0123456789"), std::string::npos) << shown;
    EXPECT_EQ(AnsiOrEmpty(L"\u6771\u4eac (\u6a19\u6e96\u6642)"),
              "\x93\x8c\x8b\x9e (\x95\x57\x8f\x80\x8e\x9e)");
    EXPECT_EQ(AnsiOrEmpty(L"Heure normale d\u2019Europe centrale \u00e9"), "");
}

// Through the real 1 GiB segment limit: the file passes 2 GiB and its offsets stay right.
TEST(AviFile, PastTwoGibibytesReadsBackFrameForFrame) {
    ScratchFolder folder;
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(::GetDiskFreeSpaceExA(folder.path().c_str(), &freeBytes, nullptr, nullptr));
    if (freeBytes.QuadPart < (6ull << 30))
        GTEST_SKIP() << "needs 6 GiB free in " << folder.path();
    constexpr int w = 1920, h = 1080, frames = 262;
    const std::string path = folder.File("big.avi");
    {
        AVISTREAMINFOA info{};
        info.fccType = streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = 7;
        info.rcFrame = {0, 0, w, h};
        BITMAPINFOHEADER format{sizeof(format), w, h, 1, 32, BI_RGB, 4 * w * h, 0, 0, 0, 0};
        UniqueAviStream stream;
        ASSERT_EQ(CAviFileWriter::CreateStream(CAviFileWriter::Open(path), stream.put(), info), 0);
        ASSERT_EQ(stream.get()->SetFormat(0, &format, sizeof(format)), 0);
        std::vector<uint8_t> frame(4 * w * h, 0x5A);
        for (int k = 0; k < frames; ++k) {
            std::memcpy(frame.data(), &k, 2); // the frame number in the bottom row keeps this quick
            ASSERT_EQ(
                stream.get()->Write(k, 1, frame.data(), LONG(frame.size()), AVIIF_KEYFRAME, nullptr, nullptr),
                0);
        }
    }
    EXPECT_EQ(Ffprobe(path, "stream=nb_read_packets", "-count_packets"), std::to_string(frames) + "\n");
    const int picked[] = {0, 1, 128, 129, 130, 257, 258, 259, frames - 1};
    std::string select = "select=0";
    for (int k : picked)
        select += "+eq(n\\," + std::to_string(k) + ")";
    const auto decoded = DecodeFrames(path, w, h, "-vf " + ShellQuote(select) + " -fps_mode passthrough");
    ASSERT_EQ(decoded.size(), std::size(picked));
    for (size_t i = 0; i < decoded.size(); ++i) {
        std::vector<uint8_t> want(4 * w * h, 0x5A); // top-down: the number in the last row
        std::memcpy(&want[4 * w * (h - 1)], &picked[i], 2);
        EXPECT_TRUE(decoded[i] == want) << "frame " << picked[i];
    }
}
