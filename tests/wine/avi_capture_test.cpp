// CAviCapture on real windows: the grab, the caption, the codec chosen in the platform's dialog, and
// the file as ffprobe and ffmpeg read it back.
#include "recorder/avi_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <thread>

#include "codec/screen_codec_driver.h"
#include "platform/ansi_text.h"
#include "recorder/caption_placement.h"
#include "recorder/local_caption_text.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "tests/support/test_support.h"

using namespace test_support;

namespace {

// "録画中 Mirvox %%" in code page 932: no time in it, so the text is known beforehand.
constexpr char kPattern[] = "\x98\x5e\x89\xe6\x92\x86 Mirvox %%";

// Opens while a second thread works the compression dialog: picks a codec in combo box 880 (none:
// keeps the selection) and presses a button.
int32_t OpenThroughDialog(CAviCapture& capture, CaptureParams& params, const wchar_t* codec, int button) {
    std::thread driver([&] {
        HWND dialog = nullptr;
        PumpUntil(
            [&] { return (dialog = ::FindWindowW(L"#32770", L"ビデオ圧縮")) && ::IsWindowVisible(dialog); },
            std::chrono::seconds(20));
        if (codec &&
            ::SendDlgItemMessageW(dialog, 880, CB_SELECTSTRING, -1, reinterpret_cast<LPARAM>(codec)) >= 0)
            ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(880, CBN_SELCHANGE),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, 880)));
        ::PostMessageW(dialog, WM_COMMAND, button, 0);
    });
    const int32_t opened = capture.Open(&params);
    driver.join();
    return opened;
}

// Grabs with the caption `grabs` times under "Full Frames" and writes the last frame: the file's path.
std::string RecordOneFrame(CaptureParams params, SharedFont font = {}, int location = 0, int grabs = 1) {
    CodecChooserScope full(&ChooseFullFrames);
    auto capture = std::make_unique<CAviCapture>(nullptr, std::move(font), kPattern, 1, location);
    bool ok = capture->Open(&params) != 0;
    for (int i = 0; i < grabs; ++i)
        ok = ok && capture->CaptureFrame() == CaptureStatus::Grabbed;
    ok = ok && capture->WriteFrame(0);
    capture.reset(); // finishes the file
    return ok ? params.folder + params.fileName : std::string();
}

// The pattern with the caption's text drawn over it by this test, top-down BGRA.
std::vector<uint8_t> DrawnByHand(HFONT font, int location, bool utf16, int w, int h) {
    const std::string text = "\x98\x5e\x89\xe6\x92\x86 Mirvox %";
    const std::wstring wide = WideFromAnsi(text);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    for (int i = 0; i < w * h; ++i)
        static_cast<uint32_t*>(bits)[i] = PatternWindow::ExpectedPixel(i % w, i / w, w, h);
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    SelectionRestore selectedBitmap(dc.get(), bitmap.get()), selectedFont(dc.get(), font);
    ::SetBkColor(dc.get(), RGB(0, 0, 0));
    ::SetTextColor(dc.get(), RGB(255, 255, 255));
    SIZE size{};
    ::GetTextExtentPoint32W(dc.get(), wide.data(), static_cast<int>(wide.size()), &size);
    const auto at = caption_placement::Place(location, w, h, size.cx, size.cy);
    if (font && utf16)
        ::TextOutW(dc.get(), at.x, at.y, wide.data(), static_cast<int>(wide.size()));
    else if (font)
        ::TextOutA(dc.get(), at.x, at.y, text.data(), static_cast<int>(text.size()));
    ::GdiFlush();
    return std::vector<uint8_t>(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + 4 * w * h);
}

// Pixels of another colour; the fourth byte is left out, as a grab leaves values there.
int Differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int n = a.size() == b.size() ? 0 : -1;
    for (size_t i = 0; n >= 0 && i < a.size(); i += 4)
        n += std::memcmp(&a[i], &b[i], 3) != 0;
    return n;
}

} // namespace

TEST(AviCapture, CodecChosenInTheDialogRecordsTheWindowExactlyWithTrueKeyFlags) {
    ASSERT_TRUE(InstallScreenCodec());
    constexpr int w = 70, h = 45, kFrames = 12;
    auto phase = [](int k) { return k % 3 == 2 ? k - 1 : k; }; // every third frame repeats the one before
    for (auto [codec, name, fps, keyEvery] : {std::tuple{L"Mirvox 可逆画面コーデック (ZMBV)", "zmbv", 1, 10},
                                              {L"フル フレーム (無圧縮)", "rawvideo", 5, 1}}) {
        SCOPED_TRACE(name);
        PatternWindow window(w, h);
        ScratchFolder folder;
        CaptureParams params = WindowCaptureParams(window.hwnd(), folder, "a.avi", fps);
        {
            CAviCapture capture(nullptr, nullptr, "", 0, 0);
            ASSERT_NE(OpenThroughDialog(capture, params, codec, IDOK), 0);
            for (int k = 0; k < kFrames; ++k) {
                window.SetPhase(phase(k));
                ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
                ASSERT_NE(capture.WriteFrame(k), 0);
            }
        }
        const VideoProbe probe = ProbeVideo(folder.File("a.avi"));
        EXPECT_EQ(probe.codec, name);
        EXPECT_EQ(probe.frameRate, std::to_string(fps) + "/1");
        const auto frames = DecodeFrames(folder.File("a.avi"), w, h);
        ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
        for (int k = 0; k < kFrames; ++k)
            ExpectFrameShowsPattern(frames[k], w, h, phase(k));
        // Key flags as the index has them (packets) and as the codec made them (decoded frames).
        std::string indexed, made, wanted;
        for (const auto& [key, value] : Ffprobe(folder.File("a.avi"), "packet=flags:frame=key_frame"))
            (key == "flags" ? indexed : made) += value == "1" || value[0] == 'K' ? 'K' : '.';
        for (int k = 0; k < kFrames; ++k)
            wanted += k % keyEvery == 0 ? 'K' : '.';
        EXPECT_EQ(indexed, wanted);
        EXPECT_EQ(made, wanted);
    }
    RemoveScreenCodec();
}

// The user learns before choosing a codec that the file cannot be written.
TEST(AviCapture, OpenFailsBeforeTheCodecChoiceWhenTheFileCannotBeCreated) {
    PatternWindow window(16, 16);
    ScratchFolder folder;
    ASSERT_TRUE(::CreateDirectoryA(folder.File("folder.avi").c_str(), nullptr));
    static int choices;
    CodecChooserScope counted([](PAVISTREAM, LPAVICOMPRESSOPTIONS*) -> BOOL { return ++choices, FALSE; });
    for (const char* name : {"missing\\a.avi", "folder.avi", "a?.avi"}) {
        choices = 0;
        CaptureParams params = WindowCaptureParams(window.hwnd(), folder, name);
        EXPECT_EQ(CAviCapture(nullptr, nullptr, "", 0, 0).Open(&params), 0) << name;
        EXPECT_EQ(choices, 0) << name;
    }
}

// Nothing on disk changes until Open has succeeded; a recording that starts replaces the file.
TEST(AviCapture, CancelledCodecChoiceLeavesTheOutputPathAsItWas) {
    PatternWindow window(16, 16);
    ScratchFolder folder;
    const std::string earlier(100000, 'x');
    std::ofstream(folder.File("old.avi"), std::ios::binary) << earlier;
    for (const char* name : {"old.avi", "new.avi"}) {
        CaptureParams params = WindowCaptureParams(window.hwnd(), folder, name);
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        EXPECT_EQ(OpenThroughDialog(capture, params, nullptr, IDCANCEL), 0) << name;
    }
    EXPECT_TRUE(FileBytes(folder.File("old.avi")) == earlier) << "the earlier file was replaced";
    EXPECT_EQ(::GetFileAttributesA(folder.File("new.avi").c_str()), INVALID_FILE_ATTRIBUTES)
        << "a file was made";
    CodecChooserScope full(&ChooseFullFrames);
    CaptureParams params = WindowCaptureParams(window.hwnd(), folder, "old.avi");
    EXPECT_NE(CAviCapture(nullptr, nullptr, "", 0, 0).Open(&params), 0);
    EXPECT_EQ(FileBytes(folder.File("old.avi")).substr(0, 4), "RIFF");
}

TEST(AviCapture, WholeDisplayFrameHasTheScreenSize) {
    ScratchFolder folder;
    CaptureParams params = WindowCaptureParams(nullptr, folder, "a.avi");
    params.folder = folder.File("x"); // the file name follows without a separator
    const VideoProbe probe = ProbeVideo(RecordOneFrame(params));
    EXPECT_EQ(probe.width, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(probe.height, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(probe.frames, 1);
}

TEST(AviCapture, ResizedWindowIsRefusedKeepingTheFirstFrameAndAClosedOneFailsLeakingNothing) {
    auto window = std::make_unique<PatternWindow>(40, 30);
    ScratchFolder folder;
    CaptureParams params = WindowCaptureParams(window->hwnd(), folder, "a.avi");
    {
        CodecChooserScope full(&ChooseFullFrames);
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        ASSERT_NE(capture.Open(&params), 0);
        window->SetPhase(3);
        ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
        for (SIZE s : {SIZE{41, 30}, SIZE{39, 30}, SIZE{40, 31}, SIZE{40, 29}}) {
            window->ResizeClient(s.cx, s.cy);
            window->SetPhase(5);
            EXPECT_EQ(capture.CaptureFrame(), CaptureStatus::SizeChanged) << s.cx << "x" << s.cy;
        }
        ASSERT_NE(capture.WriteFrame(0), 0); // the refused grabs left the phase-3 frame in place
        window.reset();
        const int before = GdiHeadroom();
        for (int i = 0; i < 20; ++i)
            EXPECT_NE(capture.CaptureFrame(), CaptureStatus::Grabbed);
        EXPECT_GE(GdiHeadroom(), before);
    }
    const auto frames = DecodeFrames(folder.File("a.avi"), 40, 30);
    ASSERT_EQ(frames.size(), 1u);
    ExpectFrameShowsPattern(frames[0], 40, 30, 3);
}

TEST(AviCapture, CaptionIsDrawnAsUtf16WhereItsLocationSaysLeakingNothing) {
    constexpr int w = 320, h = 120;
    PatternWindow window(w, h);
    ScratchFolder folder;
    // The recorder's first caption font: the stock font's record, whose character set is ANSI_CHARSET.
    char face[LF_FACESIZE] = {};
    ::LoadStringA(nullptr, IDS_CAPTION_FACE, face, LF_FACESIZE);
    LOGFONTA first = ToLogFont(DefaultCaptionFont(face)), dialog = first;
    ASSERT_EQ(first.lfCharSet, ANSI_CHARSET);
    dialog.lfHeight = -16; // as the font dialog describes a font: character height, no width
    dialog.lfWidth = 0;
    // Each location with the first font, then the font dialog's kind of record, then no font.
    for (int row = 0; row < 8; ++row) {
        const LOGFONTA* record = row < 6 ? &first : row == 6 ? &dialog : nullptr;
        const int location = row < 6 ? row : 4;
        SCOPED_TRACE("row " + std::to_string(row));
        const SharedFont font = record ? MakeSharedFont(::CreateFontIndirectA(record)) : SharedFont();
        const auto frames = DecodeFrames(
            RecordOneFrame(WindowCaptureParams(window.hwnd(), folder, "a.avi"), font, location), w, h);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(Differences(frames[0], DrawnByHand(font.get(), location, true, w, h)), 0);
        if (!font)
            continue;
        EXPECT_NE(Differences(frames[0], DrawnByHand(font.get(), location, false, w, h)), 0);
    }
    const SharedFont font = MakeSharedFont(::CreateFontIndirectA(&first));
    const int before = GdiHeadroom();
    RecordOneFrame(WindowCaptureParams(window.hwnd(), folder, "a.avi"), font, 5, 300);
    EXPECT_GE(GdiHeadroom(), before) << "a recording of 300 captioned grabs";
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
