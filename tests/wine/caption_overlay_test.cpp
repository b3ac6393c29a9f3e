#include "recorder/avi_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "recorder/caption_placement.h"
#include "recorder/codec_choice.h"
#include "recorder/local_caption_text.h"
#include "tests/support/codec_support.h"
#include "tests/support/test_support.h"

using test_support::ChooseFullFrames;
using test_support::CodecChooserScope;
using test_support::PatternWindow;
using test_support::ScratchFolder;

namespace {

// "ＭＳ Ｐゴシック" in code page 932.
constexpr char kCaptionFace[] = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";
// "録画中 Mirvox %%": fixed, so its extent can be measured beforehand.
constexpr char kFixedPattern[] = "\x98\x5e\x89\xe6\x92\x86 Mirvox %%";
constexpr char kFixedText[] = "\x98\x5e\x89\xe6\x92\x86 Mirvox %";

// The caption font the recorder starts with.
LOGFONTA DefaultFontRecord() {
    LOGFONTA lf{};
    ::GetObjectA(::GetStockObject(ANSI_VAR_FONT), sizeof(lf), &lf);
    std::strcpy(lf.lfFaceName, kCaptionFace);
    lf.lfWeight = 700;
    return lf;
}

// A description as the font dialog returns it: character height, no width.
LOGFONTA FontDialogRecord() {
    LOGFONTA lf = DefaultFontRecord();
    lf.lfHeight = -16;
    lf.lfWidth = 0;
    lf.lfWeight = 400;
    return lf;
}

SIZE Extent(HFONT font, const std::string& text) {
    UniqueDc dc(::CreateCompatibleDC(nullptr));
    SelectionRestore selected(dc.get(), font);
    SIZE size{};
    ::GetTextExtentPoint32A(dc.get(), text.data(), static_cast<int>(text.size()), &size);
    return size;
}

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << "(" << b.left << "," << b.top << ")-(" << b.right << "," << b.bottom << ")";
}

// What a frame shows besides the pattern: the bounding box of every changed pixel, whether all
// of them are grey (white text on black, smoothed or not) and how many are white.
struct Caption {
    std::optional<Box> box;
    int notGrey = 0;
    int white = 0;
};

Caption FindCaption(const std::vector<uint8_t>& topDown, int w, int h) {
    Caption found;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &topDown[(static_cast<size_t>(y) * w + x) * 4];
            const uint32_t bgr = p[0] | (p[1] << 8) | (p[2] << 16);
            if (bgr == PatternWindow::ExpectedPixel(x, y, w, h))
                continue;
            if (!found.box)
                found.box = Box{x, y, x + 1, y + 1};
            Box& b = *found.box;
            b = Box{std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1),
                    std::max(b.bottom, y + 1)};
        }
    if (!found.box)
        return found;
    // Inside the box every pixel belongs to the caption: the opaque background leaves no pattern.
    for (int y = found.box->top; y < found.box->bottom; ++y)
        for (int x = found.box->left; x < found.box->right; ++x) {
            const uint8_t* p = &topDown[(static_cast<size_t>(y) * w + x) * 4];
            if (p[0] != p[1] || p[1] != p[2])
                ++found.notGrey;
            else if (p[0] == 0xFF)
                ++found.white;
        }
    return found;
}

// Records a few frames of the pattern window with the caption on and decodes them.
std::vector<std::vector<uint8_t>> Record(const PatternWindow& window, HFONT font, const std::string& pattern,
                                         int location) {
    ScratchFolder folder;
    CaptureParams params;
    params.targetWindow = window.hwnd();
    params.folder = folder.path();
    params.fileName = "caption.avi";
    params.fps = 4;
    RECT client{};
    ::GetClientRect(window.hwnd(), &client);
    {
        CodecChooserScope full(&ChooseFullFrames);
        CAviCapture capture(nullptr, font, pattern, 1, location);
        if (capture.Open(&params) == 0)
            return {};
        for (int k = 0; k < 2; ++k)
            if (capture.CaptureFrame() != CaptureStatus::Grabbed || capture.WriteFrame(k) == 0)
                return {};
    }
    return test_support::DecodeFrames(folder.File("caption.avi"), client.right, client.bottom);
}

// Sets "TZ" for the runtime and puts the previous value back.
class TzScope {
public:
    explicit TzScope(const char* value) {
        if (const char* old = std::getenv("TZ"))
            m_previous = old;
        ::_putenv_s("TZ", value);
        ::_tzset();
    }
    ~TzScope() {
        ::_putenv_s("TZ", m_previous.c_str());
        ::_tzset();
    }

private:
    std::string m_previous;
};

} // namespace

TEST(CaptionOverlay, EachLocationDrawsTheWholeCaptionWhereItsLabelSays) {
    constexpr int kWidth = 320, kHeight = 120;
    PatternWindow window(kWidth, kHeight);
    struct Font {
        const char* name;
        LOGFONTA record;
    };
    for (const Font& f :
         {Font{"default font", DefaultFontRecord()}, Font{"font-dialog font", FontDialogRecord()}}) {
        UniqueFont font(::CreateFontIndirectA(&f.record));
        ASSERT_TRUE(font);
        const SIZE extent = Extent(font.get(), kFixedText);
        ASSERT_GT(extent.cx, 0);
        ASSERT_LT(extent.cx, kWidth);
        // 0 "右上", 1 "上中", 2 "左上", 3 "右下", 4 "下中", 5 "左下"; stored values outside them
        // draw as 0.
        struct Place {
            int location;
            Box box;
        };
        const int right = kWidth - extent.cx, centre = (kWidth - extent.cx) / 2, lower = kHeight - extent.cy;
        const Place top{0, Box{right, 0, kWidth, extent.cy}};
        for (const Place& p :
             {top, Place{1, Box{centre, 0, centre + extent.cx, extent.cy}},
              Place{2, Box{0, 0, extent.cx, extent.cy}}, Place{3, Box{right, lower, kWidth, kHeight}},
              Place{4, Box{centre, lower, centre + extent.cx, kHeight}},
              Place{5, Box{0, lower, extent.cx, kHeight}}, Place{6, top.box}, Place{-1, top.box}}) {
            SCOPED_TRACE(std::string(f.name) + ", location " + std::to_string(p.location));
            auto frames = Record(window, font.get(), kFixedPattern, p.location);
            ASSERT_EQ(frames.size(), 2u);
            for (const auto& frame : frames) {
                Caption caption = FindCaption(frame, kWidth, kHeight);
                ASSERT_TRUE(caption.box) << "no caption in the frame";
                EXPECT_EQ(*caption.box, p.box);
                EXPECT_EQ(caption.notGrey, 0);
                EXPECT_GT(caption.white, 0);
            }
        }
    }
}

TEST(CaptionOverlay, DefaultPatternIsDrawnAtTheLowerLeftCorner) {
    constexpr int kWidth = 640, kHeight = 100;
    PatternWindow window(kWidth, kHeight);
    LOGFONTA record = FontDialogRecord();
    UniqueFont font(::CreateFontIndirectA(&record));
    const SIZE extent = Extent(font.get(), "0");
    auto frames = Record(window, font.get(), "%a, %d %b %Y %H:%M:%S %z", 5);
    ASSERT_EQ(frames.size(), 2u);
    for (const auto& frame : frames) {
        Caption caption = FindCaption(frame, kWidth, kHeight);
        ASSERT_TRUE(caption.box);
        EXPECT_EQ(caption.box->left, 0);
        EXPECT_EQ(caption.box->top, kHeight - extent.cy);
        EXPECT_EQ(caption.box->bottom, kHeight);
        // "Mon, 03 Mar 2014 09:05:07" alone is wider than 20 digits.
        EXPECT_GT(caption.box->right, 20 * extent.cx);
        EXPECT_LT(caption.box->right, kWidth) << "zone name " << LocalZoneNames().standard;
        EXPECT_EQ(caption.notGrey, 0);
    }
}

TEST(CaptionOverlay, CaptionWiderThanTheFrameStartsAtItsLeftEdge) {
    constexpr int kWidth = 40, kHeight = 30;
    PatternWindow window(kWidth, kHeight);
    LOGFONTA record = FontDialogRecord();
    UniqueFont font(::CreateFontIndirectA(&record));
    const SIZE extent = Extent(font.get(), kFixedText);
    ASSERT_GT(extent.cx, kWidth);
    for (int location : {0, 3, 4}) {
        auto frames = Record(window, font.get(), kFixedPattern, location);
        ASSERT_EQ(frames.size(), 2u);
        Caption caption = FindCaption(frames[0], kWidth, kHeight);
        ASSERT_TRUE(caption.box);
        const int top = location < 3 ? 0 : kHeight - extent.cy;
        EXPECT_EQ(*caption.box, (Box{0, top, kWidth, top + extent.cy})) << "location " << location;
    }
}

TEST(CaptionOverlay, EmptyTextAndUnselectableFontDrawNothing) {
    constexpr int kWidth = 64, kHeight = 32;
    PatternWindow window(kWidth, kHeight);
    LOGFONTA record = DefaultFontRecord();
    UniqueFont font(::CreateFontIndirectA(&record));
    struct Case {
        HFONT font;
        std::string pattern;
    };
    for (const Case& c : {Case{font.get(), ""}, Case{font.get(), "%q%E"},
                          Case{font.get(), std::string(128, 'x')}, Case{nullptr, "visible"}}) {
        auto frames = Record(window, c.font, c.pattern, 2);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_FALSE(FindCaption(frames[1], kWidth, kHeight).box) << "pattern " << c.pattern.substr(0, 8);
    }
}

TEST(CaptionOverlay, CaptionedGrabsLeaveNoGdiObjectBehind) {
    PatternWindow window(64, 48);
    ScratchFolder folder;
    CaptureParams params;
    params.targetWindow = window.hwnd();
    params.folder = folder.path();
    params.fileName = "leak.avi";
    LOGFONTA record = DefaultFontRecord();
    UniqueFont font(::CreateFontIndirectA(&record));
    CodecChooserScope full(&ChooseFullFrames);
    CAviCapture capture(nullptr, font.get(), "%a, %d %b %Y %H:%M:%S %z", 1, 4);
    ASSERT_NE(capture.Open(&params), 0);
    ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed); // first-use allocations settle
    const int before = test_support::GdiHeadroom();
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
    const int after = test_support::GdiHeadroom();
    EXPECT_GE(after, before) << "lost " << before - after << " GDI objects over 200 captioned grabs";
}

TEST(CaptionText, ZoneNamesAndOffsetComeFromTz) {
    struct Case {
        const char* tz;
        std::time_t when;
        const char* text;
    };
    // 2021-07-01 12:00 and 2021-01-15 12:00 UTC.
    for (auto c : {Case{"JST-9", 1625140800, "JST JST 21"}, Case{"EST5EDT", 1610712000, "EST EST 07"},
                   Case{"UTC0", 1625140800, "UTC UTC 12"}, Case{"CET-1CEST", 1610712000, "CET CET 13"}}) {
        TzScope tz(c.tz);
        EXPECT_EQ(LocalCaptionText("%z %Z %H", c.when), c.text) << c.tz;
    }
}

// The runtime keeps the daylight-saving amount of its last reading of the system's zone, which
// is none here; a "TZ" present from the start, as a user sets it, gets the runtime's default
// hour. So the summer case runs in a fresh process.
TEST(CaptionText, DaylightSavingNameAndOffsetFromTzSetAtStart) {
    EXPECT_EXIT(
        {
            ::_putenv_s("TZ", "EST5EDT");
            const std::string text = LocalCaptionText("%z %Z %H", 1625140800);
            std::fprintf(stderr, "[%s]", text.c_str());
            std::exit(text == "EDT EDT 08" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(CaptionText, WithoutTzTheSystemsZoneNameIsShownNeverAnOffset) {
    TzScope tz("");
    const ZoneNames names = LocalZoneNames();
    TIME_ZONE_INFORMATION zone{};
    ASSERT_NE(::GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
    EXPECT_EQ(names.standard, AnsiOrEmpty(zone.StandardName));
    const std::string shown = LocalCaptionText("%Z", std::time(nullptr));
    EXPECT_TRUE(shown == names.standard || shown == names.daylight) << shown;
    EXPECT_EQ(shown.find_first_of("+-0123456789"), std::string::npos) << shown;
}

TEST(CaptionText, ZoneNamesAreEmptyWhenTheAnsiCodePageCannotHoldThem) {
    ASSERT_EQ(::GetACP(), 932u);
    EXPECT_EQ(AnsiOrEmpty(L"Tokyo Standard Time"), "Tokyo Standard Time");
    EXPECT_EQ(AnsiOrEmpty(L"\u6771\u4eac (\u6a19\u6e96\u6642)"),
              "\x93\x8c\x8b\x9e (\x95\x57\x8f\x80\x8e\x9e)");
    EXPECT_EQ(AnsiOrEmpty(L"Heure normale d\u2019Europe centrale \u00e9"), "");
    EXPECT_EQ(AnsiOrEmpty(L"\u0e40\u0e27\u0e25\u0e32"), "");
    EXPECT_EQ(AnsiOrEmpty(L""), "");
}
