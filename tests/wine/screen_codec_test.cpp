#include "codec/screen_codec_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

#include "recorder/avi_capture.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/test_support.h"

using namespace std::chrono_literals;
using test_support::PatternWindow;
using test_support::ScratchFolder;

namespace {

constexpr wchar_t kOurCodec[] = L"Mirvox 可逆画面コーデック (ZMBV)";
constexpr wchar_t kFullFrames[] = L"フル フレーム (無圧縮)";
constexpr int kCodecCombo = 880;

class ScreenCodecScope {
public:
    ScreenCodecScope() : installed(InstallScreenCodec()) {}
    ~ScreenCodecScope() { RemoveScreenCodec(); }
    const bool installed;
};

// Drives the platform's compression dialog from a second thread while Open waits in it: reads the
// codec list, picks an entry (none: leaves the selection) and presses a button.
class CompressionDialogDriver {
public:
    CompressionDialogDriver(const wchar_t* choice, int button)
        : m_thread([this, choice, button] { Run(choice, button); }) {}
    ~CompressionDialogDriver() { Join(); }
    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }

    bool seen = false;
    std::vector<std::wstring> items;

private:
    void Run(const wchar_t* choice, int button) {
        HWND dialog = test_support::WaitForDialog(L"ビデオ圧縮", 20s);
        if (!dialog)
            return;
        seen = true;
        HWND combo = ::GetDlgItem(dialog, kCodecCombo);
        const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i)
            items.push_back(ItemText(combo, i));
        if (choice) {
            auto found = std::find(items.begin(), items.end(), choice);
            if (found != items.end()) {
                ::SendMessageW(combo, CB_SETCURSEL, found - items.begin(), 0);
                ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kCodecCombo, CBN_SELCHANGE),
                               reinterpret_cast<LPARAM>(combo));
            }
        }
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, button)));
    }
    static std::wstring ItemText(HWND combo, LRESULT i) {
        std::wstring text(static_cast<size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        LRESULT n = ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return text;
    }

    std::thread m_thread;
};

// The video format's compression, the index flags and the first byte of each sample.
struct AviSummary {
    uint32_t handler = 0;
    uint32_t compression = 0;
    std::vector<uint32_t> indexFlags;
    std::vector<uint8_t> firstBytes;
};

uint32_t Le32(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
           static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

AviSummary ReadAvi(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    AviSummary avi;
    size_t movi = std::string::npos;
    // Walk the chunks; lists are entered rather than skipped.
    for (size_t at = 12; at + 8 <= f.size();) {
        const std::string id = f.substr(at, 4);
        const uint32_t size = Le32(f, at + 4);
        if (id == "LIST") {
            if (f.compare(at + 8, 4, "movi") == 0)
                movi = at + 8;
            if (f.compare(at + 8, 4, "movi") != 0) {
                at += 12;
                continue;
            }
        } else if (id == "strh") {
            avi.handler = Le32(f, at + 8 + 4);
        } else if (id == "strf") {
            avi.compression = Le32(f, at + 8 + 16);
        } else if (id == "idx1" && movi != std::string::npos) {
            // Offsets count from the "movi" tag, or from the file's start in some writers: the first
            // entry tells which.
            const size_t base =
                at + 24 <= f.size() && f.compare(movi + Le32(f, at + 16), 4, f, at + 8, 4) == 0 ? movi : 0;
            for (size_t e = at + 8; e + 16 <= at + 8 + size && e + 16 <= f.size(); e += 16) {
                const size_t chunk = base + Le32(f, e + 8);
                avi.indexFlags.push_back(Le32(f, e + 4));
                avi.firstBytes.push_back(chunk + 8 < f.size() ? static_cast<uint8_t>(f[chunk + 8]) : 0xFF);
            }
        }
        at += 8 + size + (size & 1);
    }
    return avi;
}

BITMAPINFOHEADER Format(LONG w, LONG h, WORD bits, DWORD compression) {
    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof(bi);
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = bits;
    bi.biCompression = compression;
    return bi;
}

} // namespace

TEST(ScreenCodec, ListedInTheDialogAndRecordsFramesFfmpegDecodesExactly) {
    ScreenCodecScope codec;
    ASSERT_TRUE(codec.installed);
    const int w = 70, h = 45, kFrames = 23;
    PatternWindow window(w, h);
    ScratchFolder folder;
    // One frame per second of video: a key frame every 10 frames.
    CaptureParams params = test_support::WindowCaptureParams(window.hwnd(), folder, "zmbv.avi", 1);
    {
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        // Wine's dialog opens on its first entry whatever the options name, so the codec is picked.
        CompressionDialogDriver dialog(kOurCodec, IDOK);
        ASSERT_NE(capture.Open(&params), 0);
        dialog.Join();
        ASSERT_TRUE(dialog.seen);
        EXPECT_NE(std::find(dialog.items.begin(), dialog.items.end(), kOurCodec), dialog.items.end());
        EXPECT_NE(std::find(dialog.items.begin(), dialog.items.end(), kFullFrames), dialog.items.end());
        for (int k = 0; k < kFrames; ++k) {
            window.SetPhase(k % 3 == 2 ? k - 1 : k); // some frames repeat the one before
            ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
            ASSERT_NE(capture.WriteFrame(k), 0);
        }
    }
    const std::string file = folder.File("zmbv.avi");
    auto probe = test_support::ProbeVideo(file);
    EXPECT_EQ(probe.codec, "zmbv");
    EXPECT_EQ(probe.width, w);
    EXPECT_EQ(probe.height, h);
    EXPECT_EQ(probe.frames, kFrames);
    auto frames = test_support::DecodeFrames(file, w, h);
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    for (int k = 0; k < kFrames; ++k)
        test_support::ExpectFrameShowsPattern(frames[k], w, h, k % 3 == 2 ? k - 1 : k);

    AviSummary avi = ReadAvi(file);
    EXPECT_EQ(avi.handler, kScreenCodecFourcc);
    EXPECT_EQ(avi.compression, kScreenCodecFourcc);
    ASSERT_EQ(avi.indexFlags.size(), static_cast<size_t>(kFrames));
    for (int k = 0; k < kFrames; ++k) {
        const bool indexedKey = (avi.indexFlags[k] & AVIIF_KEYFRAME) != 0;
        EXPECT_EQ(indexedKey, (avi.firstBytes[k] & 1) != 0) << "frame " << k;
        EXPECT_EQ(indexedKey, k % 10 == 0) << "frame " << k;
    }
}

TEST(ScreenCodec, FullFramesChosenInTheDialogStayKeyFramesEveryOne) {
    ScreenCodecScope codec;
    PatternWindow window(32, 24);
    ScratchFolder folder;
    CaptureParams params = test_support::WindowCaptureParams(window.hwnd(), folder, "full.avi", 4);
    {
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        CompressionDialogDriver dialog(kFullFrames, IDOK);
        ASSERT_NE(capture.Open(&params), 0);
        dialog.Join();
        for (int k = 0; k < 3; ++k) {
            window.SetPhase(k);
            ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
            ASSERT_NE(capture.WriteFrame(k), 0);
        }
    }
    EXPECT_EQ(test_support::ProbeVideo(folder.File("full.avi")).codec, "rawvideo");
    AviSummary avi = ReadAvi(folder.File("full.avi"));
    ASSERT_EQ(avi.indexFlags.size(), 3u);
    for (uint32_t flags : avi.indexFlags)
        EXPECT_NE(flags & AVIIF_KEYFRAME, 0u);
}

TEST(ScreenCodec, CancelInTheDialogStillFailsOpen) {
    ScreenCodecScope codec;
    PatternWindow window(16, 16);
    ScratchFolder folder;
    CaptureParams params = test_support::WindowCaptureParams(window.hwnd(), folder, "cancel.avi", 4);
    CAviCapture capture(nullptr, nullptr, "", 0, 0);
    CompressionDialogDriver dialog(nullptr, IDCANCEL);
    EXPECT_EQ(capture.Open(&params), 0);
    dialog.Join();
    EXPECT_TRUE(dialog.seen);
}

TEST(ScreenCodec, AcceptsOnlyThirtyTwoBitRgbFrames) {
    ScreenCodecScope codec;
    UniqueHandle<HIC, [](HIC h) { ::ICClose(h); }> opened(
        ::ICOpen(ICTYPE_VIDEO, kScreenCodecFourcc, ICMODE_COMPRESS));
    ASSERT_TRUE(opened);
    HIC hic = opened.get();
    struct Case {
        BITMAPINFOHEADER format;
        bool accepted;
    };
    for (auto c : {Case{Format(640, 480, 32, BI_RGB), true}, Case{Format(33, -17, 32, BI_RGB), true},
                   Case{Format(640, 480, 24, BI_RGB), false}, Case{Format(640, 480, 16, BI_RGB), false},
                   Case{Format(640, 480, 32, BI_BITFIELDS), false}, Case{Format(0, 480, 32, BI_RGB), false},
                   Case{Format(640, 0, 32, BI_RGB), false}}) {
        BITMAPINFOHEADER in = c.format;
        EXPECT_EQ(ICCompressQuery(hic, &in, nullptr) == ICERR_OK, c.accepted)
            << in.biWidth << "x" << in.biHeight << " at " << in.biBitCount;
    }
    BITMAPINFOHEADER in = Format(33, -17, 32, BI_RGB), out{};
    ASSERT_EQ(ICCompressGetFormatSize(hic, &in), static_cast<LONG>(sizeof(BITMAPINFOHEADER)));
    ASSERT_EQ(ICCompressGetFormat(hic, &in, &out), ICERR_OK);
    EXPECT_EQ(out.biCompression, kScreenCodecFourcc);
    EXPECT_EQ(out.biWidth, 33);
    EXPECT_EQ(out.biHeight, 17);
    ICINFO info{};
    ASSERT_EQ(::ICGetInfo(hic, &info, sizeof(info)), static_cast<LRESULT>(sizeof(info)));
    EXPECT_EQ(std::wstring(info.szDescription), kOurCodec);
    EXPECT_EQ(info.dwFlags, static_cast<DWORD>(VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC | VIDCF_QUALITY));
}
