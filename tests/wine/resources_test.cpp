// The program's resources as the platform loads them: strings in code page 932, the dialog
// templates as written and as built into windows, the menu, the icons, the clip and the time-limit
// items.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/dialog_init_data.h"
#include "platform/unique_handle.h"
#include "res/resource.h"

namespace {

HINSTANCE Module() {
    return ::GetModuleHandleA(nullptr);
}

std::wstring Wide(const char* utf8) {
    int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out.data(), n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::string Cp932(const char* utf8) {
    std::wstring wide = Wide(utf8);
    BOOL lossy = FALSE;
    int n = ::WideCharToMultiByte(932, 0, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(932, 0, wide.c_str(), -1, out.data(), n, nullptr, &lossy);
    EXPECT_FALSE(lossy) << utf8;
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::span<const uint8_t> ResourceBytes(LPCSTR name, LPCSTR type) {
    HRSRC found = ::FindResourceA(Module(), name, type);
    if (!found)
        return {};
    HGLOBAL loaded = ::LoadResource(Module(), found);
    return {static_cast<const uint8_t*>(::LockResource(loaded)), ::SizeofResource(Module(), found)};
}

template <typename T> T Read(std::span<const uint8_t> bytes, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    else
        ADD_FAILURE() << "read past the end at " << offset;
    return value;
}

std::wstring WindowText(HWND window) {
    wchar_t buffer[1024] = {};
    ::GetWindowTextW(window, buffer, 1024);
    return buffer;
}

std::string ClassName(HWND window) {
    char buffer[256] = {};
    ::GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

// --- Strings -----------------------------------------------------------------------------------

TEST(Resources, AnsiCodePageIs932) {
    EXPECT_EQ(::GetACP(), 932u);
}

TEST(Resources, EveryStringLoadsAsItsCodePage932Bytes) {
    struct Case {
        UINT id;
        const char* text;
    };
    const Case cases[] = {
        {IDS_ABOUTBOX, "Mirvoxバージョン情報..."},
        {IDS_START, "開始(&S)"},
        {IDS_STOP, "停止(&S)"},
        {IDS_FRAME_COUNT, "フレーム数:%4d"},
        {IDS_INIT_FAILED, "初期化に失敗しました。"},
        {IDS_WHOLE_SCREEN, "全画面"},
        {IDS_WRITE_ERROR, "ストリーム\u3000データ書き込みエラー"},
        {IDS_CAPTURE_ERROR, "キャプチャ内部エラー\r\nキャプチャを中断します。"},
        {IDS_TIP_RECORDING, "キャプチャ中\r\nキャプチャウィンドウ %s\r\nフレーム数 %d\n残り時間: %s"},
        {IDS_TIP_IDLE, "キャプチャウィンドウ %s\r\nフレーム数 %d"},
        {IDS_README, "read1st.htm"},
        {IDS_BROWSER_FAILED, "ブラウザを起動できませんでした。"},
        {IDS_START_NOTICE,
         "%sは、キャプチャが開始されるとアイコン化されます。\r\nキャプチャを停止するには、タスクバー上のアイ"
         "コンを"
         "クリックしてウィンドウを回復するか、アイコンを右クリックしてメニューから操作してください。"},
        {IDS_APP_TITLE, "Mirvox"},
        {IDS_REMAINING, "%H時間%M分:%S秒"},
        {IDS_UNLIMITED, "無制限"},
        {IDS_SIZE_CHANGED, "ウィンドウ\u3000サイズが変更されました。\nキャプチャを中断します。"},
        {IDS_CAPTION_HELP,
         "%a 略式曜日\t\t%A 曜日\r\n%b 略式月\t\t\t%B 月\r\n%c ロケール日付\t\t%d  日 (01 - 31)\r\n"
         "%H 時 (00 - 23)\t\t%I 時(01 - 12)\r\n%j 日 (001 - 366) \t\t%m 月 (01 - 12)\r\n"
         "%M 分 (00 - 59)\t\t %p A.M./P.M\r\n%S 秒 (00 - 59) \t\t%U 曜日 (00 - 53)\r\n"
         "%w 曜日 (0 - 6; 日曜は 0)\t%W 週 (00 - 53)\r\n%x ロケール日付\t\t%X ロケール時刻\r\n"
         "%y 年 (00 - 99)\t\t%Y \n年\r\n%z, %Z タイムゾーン"},
        {IDS_CAPTION_FACE, "ＭＳ Ｐゴシック"},
    };
    ASSERT_EQ(std::size(cases), 19u);
    for (const auto& c : cases) {
        char buffer[1024];
        int length = ::LoadStringA(Module(), c.id, buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max(length, 0))), Cp932(c.text))
            << "string " << c.id;
    }
}

// --- Time-limit items ----------------------------------------------------------------------------

TEST(Resources, TimeLimitItemsAreTheRecorderDialogsInitialData) {
    const char* expected[] = {"無制限",  "0.5時間", "1時間",   "1.5時間", "2時間",   "2.5時間", "3時間",
                              "3.5時間", "4時間",   "4.5時間", "5時間",   "5.5時間", "6時間"};
    auto data = ResourceBytes(MAKEINTRESOURCEA(IDD_MIRVOX_DIALOG), MAKEINTRESOURCEA(240));
    ASSERT_FALSE(data.empty());
    auto items = dialog_init_data::Parse(data);
    ASSERT_EQ(items.size(), std::size(expected));
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].controlId, IDC_TIME_LIMIT) << i;
        EXPECT_EQ(items[i].message, dialog_init_data::kComboAddString) << i;
        EXPECT_EQ(items[i].text, Cp932(expected[i])) << i;
    }
    // The end marker follows the last record directly.
    EXPECT_EQ(Read<uint16_t>(data, data.size() - 2), 0);
}

// --- Icons -------------------------------------------------------------------------------------

struct IconImage {
    int width = 0, height = 0, bitCount = 0;
    std::span<const uint8_t> bytes;
};

// The images of an icon group as the resource holds them.
std::vector<IconImage> IconImages(int groupId) {
    std::vector<IconImage> images;
    auto group = ResourceBytes(MAKEINTRESOURCEA(groupId), RT_GROUP_ICON);
    if (group.size() < 6)
        return images;
    uint16_t count = Read<uint16_t>(group, 4);
    for (uint16_t i = 0; i < count; ++i) {
        size_t entry = 6 + 14 * size_t{i};
        auto bytes = ResourceBytes(MAKEINTRESOURCEA(Read<uint16_t>(group, entry + 12)), RT_ICON);
        EXPECT_EQ(Read<uint16_t>(group, entry + 6), 4) << "group entry of icon " << groupId;
        images.push_back(
            {Read<int32_t>(bytes, 4), Read<int32_t>(bytes, 8) / 2, Read<uint16_t>(bytes, 14), bytes});
    }
    return images;
}

TEST(Resources, IconsAreSixteenColourImagesOfTheirSizes) {
    struct Case {
        int id;
        std::vector<int> sizes;
    };
    const Case cases[] = {{IDR_MAINFRAME, {32, 16}},
                          {IDI_TRAY_IDLE, {32}},
                          {IDI_TRAY_REC0, {32}},
                          {IDI_TRAY_REC1, {32}},
                          {IDI_TRAY_REC2, {32}}};
    for (const auto& c : cases) {
        HICON icon = ::LoadIconA(Module(), MAKEINTRESOURCEA(c.id)); // shared: not destroyed
        ASSERT_NE(icon, nullptr) << c.id;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info)) << c.id;
        UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bitmap{};
        ::GetObjectA(colour.get(), sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetrics(SM_CXICON)) << c.id;

        auto images = IconImages(c.id);
        ASSERT_EQ(images.size(), c.sizes.size()) << c.id;
        for (size_t i = 0; i < images.size(); ++i) {
            EXPECT_EQ(images[i].width, c.sizes[i]) << c.id;
            EXPECT_EQ(images[i].height, c.sizes[i]) << c.id;
            EXPECT_EQ(images[i].bitCount, 4) << c.id;
        }
    }
    UniqueIcon small(
        static_cast<HICON>(::LoadImageA(Module(), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON, 16, 16, 0)));
    ASSERT_TRUE(small);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(small.get(), &info));
    UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap{};
    ::GetObjectA(colour.get(), sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 16);
    EXPECT_EQ(bitmap.bmHeight, 16);
}

TEST(Resources, RecordingIconsDifferFromEachOtherAndFromTheIdleOne) {
    const int ids[] = {IDI_TRAY_REC0, IDI_TRAY_REC1, IDI_TRAY_REC2, IDI_TRAY_IDLE};
    for (size_t a = 0; a < std::size(ids); ++a)
        for (size_t b = a + 1; b < std::size(ids); ++b) {
            auto first = IconImages(ids[a]), second = IconImages(ids[b]);
            ASSERT_EQ(first.size(), 1u);
            ASSERT_EQ(second.size(), 1u);
            EXPECT_FALSE(std::ranges::equal(first[0].bytes, second[0].bytes)) << ids[a] << " and " << ids[b];
        }
}

// --- Animation clip ----------------------------------------------------------------------------

struct RiffChunk {
    uint32_t id;
    size_t offset; // of the chunk's data
    uint32_t size;
};

constexpr uint32_t FourCc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// The chunks directly inside [begin, end); a LIST's data starts with its list type.
std::vector<RiffChunk> Chunks(std::span<const uint8_t> file, size_t begin, size_t end) {
    std::vector<RiffChunk> chunks;
    while (begin + 8 <= end) {
        RiffChunk c{Read<uint32_t>(file, begin), begin + 8, Read<uint32_t>(file, begin + 4)};
        if (c.offset + c.size > end) {
            ADD_FAILURE() << "chunk at " << begin << " runs past its list";
            break;
        }
        chunks.push_back(c);
        begin = c.offset + c.size + (c.size & 1);
    }
    return chunks;
}

const RiffChunk* Find(const std::vector<RiffChunk>& chunks, std::span<const uint8_t> file, uint32_t id,
                      uint32_t listType = 0) {
    for (const auto& c : chunks)
        if (c.id == id && (listType == 0 || Read<uint32_t>(file, c.offset) == listType))
            return &c;
    return nullptr;
}

TEST(Resources, ClipIsAFiveFrameEightBitAviOnWhite) {
    auto resource = ResourceBytes(MAKEINTRESOURCEA(IDR_CLIP), "AVI");
    ASSERT_EQ(resource.size(), 23552u);
    ASSERT_EQ(Read<uint32_t>(resource, 0), FourCc("RIFF"));
    ASSERT_EQ(Read<uint32_t>(resource, 8), FourCc("AVI "));
    size_t fileSize = 8 + Read<uint32_t>(resource, 4);
    ASSERT_EQ(fileSize, 23424u);
    EXPECT_TRUE(std::ranges::all_of(resource.subspan(fileSize), [](uint8_t b) { return b == 0; }));

    auto top = Chunks(resource, 12, fileSize);
    const RiffChunk* hdrl = Find(top, resource, FourCc("LIST"), FourCc("hdrl"));
    const RiffChunk* movi = Find(top, resource, FourCc("LIST"), FourCc("movi"));
    const RiffChunk* idx1 = Find(top, resource, FourCc("idx1"));
    ASSERT_TRUE(hdrl && movi && idx1);

    auto header = Chunks(resource, hdrl->offset + 4, hdrl->offset + hdrl->size);
    const RiffChunk* avih = Find(header, resource, FourCc("avih"));
    const RiffChunk* strl = Find(header, resource, FourCc("LIST"), FourCc("strl"));
    ASSERT_TRUE(avih && strl);
    EXPECT_EQ(Read<uint32_t>(resource, avih->offset + 0), 100000u); // microseconds per frame
    EXPECT_EQ(Read<uint32_t>(resource, avih->offset + 12) & AVIF_HASINDEX, uint32_t{AVIF_HASINDEX});
    EXPECT_EQ(Read<uint32_t>(resource, avih->offset + 16), 5u); // frames
    EXPECT_EQ(Read<uint32_t>(resource, avih->offset + 24), 1u); // streams
    EXPECT_EQ(Read<uint32_t>(resource, avih->offset + 32), 80u);
    EXPECT_EQ(Read<uint32_t>(resource, avih->offset + 36), 48u);

    auto stream = Chunks(resource, strl->offset + 4, strl->offset + strl->size);
    const RiffChunk* strh = Find(stream, resource, FourCc("strh"));
    const RiffChunk* strf = Find(stream, resource, FourCc("strf"));
    ASSERT_TRUE(strh && strf);
    EXPECT_EQ(Read<uint32_t>(resource, strh->offset), FourCc("vids"));
    EXPECT_EQ(Read<uint32_t>(resource, strh->offset + 24) / Read<uint32_t>(resource, strh->offset + 20), 10u);
    EXPECT_EQ(Read<uint32_t>(resource, strh->offset + 32), 5u); // length
    ASSERT_EQ(strf->size, 40u + 256 * 4);
    BITMAPINFOHEADER bih = Read<BITMAPINFOHEADER>(resource, strf->offset);
    EXPECT_EQ(bih.biWidth, 80);
    EXPECT_EQ(bih.biHeight, 48);
    EXPECT_EQ(bih.biBitCount, 8);
    EXPECT_EQ(bih.biCompression, uint32_t{BI_RGB});
    EXPECT_EQ(bih.biClrUsed, 256u);
    constexpr uint8_t kBackground = 255;
    EXPECT_EQ(Read<uint32_t>(resource, strf->offset + 40 + 4 * kBackground) & 0xFFFFFF, 0xFFFFFFu);

    auto frames = Chunks(resource, movi->offset + 4, movi->offset + movi->size);
    ASSERT_EQ(frames.size(), 5u);
    ASSERT_EQ(idx1->size, 5u * 16);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].id, FourCc("00db")) << i;
        EXPECT_EQ(frames[i].size, 3840u) << i;
        size_t entry = idx1->offset + 16 * i;
        EXPECT_EQ(Read<uint32_t>(resource, entry), FourCc("00db")) << i;
        EXPECT_EQ(Read<uint32_t>(resource, entry + 4) & AVIIF_KEYFRAME, uint32_t{AVIIF_KEYFRAME}) << i;
        EXPECT_EQ(movi->offset + Read<uint32_t>(resource, entry + 8) + 8, frames[i].offset) << i;
        EXPECT_EQ(Read<uint32_t>(resource, entry + 12), 3840u) << i;
        // The transparent style takes the colour of the top-left pixel (the last row bottom-up).
        EXPECT_EQ(resource[frames[i].offset + 47 * 80], kBackground) << i;
        if (i > 0) {
            EXPECT_FALSE(std::ranges::equal(resource.subspan(frames[i].offset, 3840),
                                            resource.subspan(frames[i - 1].offset, 3840)))
                << "frames " << i - 1 << " and " << i;
        }
    }
}

TEST(Resources, ClipOpensAndPlaysInAnAnimationControl) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_ANIMATE_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&init));
    UniqueWindow parent(
        ::CreateWindowExA(0, "Static", "clip", WS_POPUP, 0, 0, 120, 80, nullptr, nullptr, Module(), nullptr));
    ASSERT_TRUE(parent);
    HWND animation =
        ::CreateWindowExA(0, ANIMATE_CLASSA, "", WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT, 0, 0,
                          90, 62, parent.get(), nullptr, Module(), nullptr);
    ASSERT_NE(animation, nullptr);
    EXPECT_NE(::SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(Module()),
                             reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_CLIP))),
              0);
    // The recorder's own play request: endless, from the first to the last frame.
    EXPECT_NE(::SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), static_cast<LPARAM>(-1)), 0);
    EXPECT_NE(::SendMessageA(animation, ACM_STOP, 0, 0), 0);
}

// --- Menu --------------------------------------------------------------------------------------

TEST(Resources, TrayMenuHasStartStopSeparatorAndAbout) {
    UniqueMenu menu(::LoadMenuA(Module(), MAKEINTRESOURCEA(IDR_TRAY_MENU)));
    ASSERT_TRUE(menu);
    ASSERT_EQ(::GetMenuItemCount(menu.get()), 1);
    wchar_t text[256] = {};
    ::GetMenuStringW(menu.get(), 0, text, 256, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"Pop");
    HMENU popup = ::GetSubMenu(menu.get(), 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(::GetMenuItemCount(popup), 3);

    struct Case {
        UINT position, id;
        const char* text;
    };
    for (auto c : {Case{0, ID_TRAY_START_STOP, "キャプチャの開始/開始(&Ｓ)"},
                   Case{2, ID_TRAY_ABOUT, "バージョン情報(&A)"}}) {
        EXPECT_EQ(::GetMenuItemID(popup, static_cast<int>(c.position)), c.id);
        ::GetMenuStringW(popup, c.position, text, 256, MF_BYPOSITION);
        EXPECT_EQ(std::wstring(text), Wide(c.text));
        EXPECT_EQ(::GetMenuState(popup, c.position, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED | MF_CHECKED),
                  0u);
    }
    EXPECT_NE(::GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR, 0u);
}

// --- Dialogs -----------------------------------------------------------------------------------

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

struct ControlSpec {
    int id;
    const char* className; // as the platform registers it
    DWORD style;
    const char* text; // nullptr: the icon 128 instead of a text
    short x, y, cx, cy;
};

struct DialogSpec {
    int id;
    const char* title;
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    std::vector<ControlSpec> controls;
};

constexpr DWORD kUpDown = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | WS_GROUP;
constexpr DWORD kEdit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kRadio = BS_AUTORADIOBUTTON | WS_TABSTOP;
constexpr DWORD kFixedPopup = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

const DialogSpec kAboutBox{
    IDD_ABOUTBOX,
    "バージョン情報",
    kFixedPopup,
    0,
    235,
    55,
    {
        {-1, "Static", kChild | SS_LEFT | SS_NOPREFIX | WS_GROUP, "Mirvox Version 1.1", 40, 10, 119, 8},
        {IDOK, "Button", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, "OK", 178, 7, 50, 14},
        {IDC_README_ICON, "Static", kChild | SS_ICON | SS_NOTIFY | WS_TABSTOP, nullptr, 11, 11, 20, 20},
    }};

const DialogSpec kRecorder{
    IDD_MIRVOX_DIALOG,
    "Mirvox",
    kFixedPopup | WS_VISIBLE | WS_MINIMIZEBOX,
    WS_EX_APPWINDOW,
    303,
    92,
    {
        {IDC_SOURCE, "ComboBox", kChild | CBS_DROPDOWNLIST | WS_TABSTOP, "", 96, 13, 106, 114},
        {IDC_RESET, "Button", kChild | kButton, "リセット(&R)", 208, 13, 36, 16},
        {IDC_FILE_NAME, "Edit", kChild | kEdit, "", 96, 32, 106, 12},
        {IDC_BROWSE, "Button", kChild | kButton, "参照(&B)", 208, 31, 36, 15},
        {IDC_RATE, "Edit", kChild | kEdit | WS_GROUP, "", 96, 49, 27, 12},
        {IDC_RATE_SPIN, "msctls_updown32", kChild | kUpDown, "", 108, 47, 10, 16},
        {IDC_TIME_LIMIT, "ComboBox", kChild | CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, "", 96, 68, 54, 52},
        {IDC_CAPTION_ON, "Button", kChild | BS_AUTOCHECKBOX | WS_TABSTOP, "", 167, 69, 10, 10},
        {IDC_CAPTION_SETTINGS, "Button", kChild | kButton, "キャプション設定(&C)", 180, 68, 65, 14},
        {IDOK, "Button", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, "開始(&B)", 252, 7, 42, 14},
        {IDCANCEL, "Button", kChild | kButton, "終了(&X)", 252, 27, 42, 14},
        {-1, "Static", kChild | SS_RIGHT | WS_GROUP, "ファイル名", 54, 34, 35, 9},
        {-1, "Button", kChild | BS_GROUPBOX, "キャプチャ", 7, 7, 242, 78},
        {-1, "Static", kChild | SS_RIGHT | WS_GROUP, "レート:", 70, 53, 19, 8},
        {-1, "Static", kChild | SS_LEFT | WS_GROUP, "倍速", 130, 53, 15, 8},
        {IDC_ANIMATION, "SysAnimate32", kChild | ACS_CENTER | ACS_TRANSPARENT, "", 11, 19, 45, 31},
        {IDC_STATUS, "Edit", kChild | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY, "", 10, 68, 49, 12},
        {-1, "Static", kChild | SS_RIGHT | WS_GROUP, "ソース:", 68, 16, 21, 8},
        {-1, "Static", kChild | SS_RIGHT | WS_GROUP, "時間:", 61, 70, 28, 11},
        {IDC_FPS, "Edit", kChild | kEdit, "", 167, 49, 25, 12},
        {IDC_FPS_SPIN, "msctls_updown32", kChild | kUpDown, "", 185, 45, 10, 14},
        {-1, "Static", kChild | SS_LEFT | WS_GROUP, "フレーム数/秒", 198, 53, 44, 8},
    }};

const DialogSpec kCaptionSettings{
    IDD_CAPTION,
    "キャプション設定",
    kFixedPopup,
    0,
    219,
    159,
    {
        {IDOK, "Button", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, "OK", 57, 136, 50, 14},
        {IDCANCEL, "Button", kChild | kButton, "キャンセル", 116, 136, 50, 14},
        {-1, "Button", kChild | BS_GROUPBOX, "キャプション文字列", 7, 56, 205, 78},
        {IDC_CAPTION_FORMAT, "Edit", kChild | kEdit, "", 9, 10, 203, 13},
        {IDC_FONT, "Button", kChild | kButton, "フォント(&F)", 176, 35, 36, 13},
        {IDC_CAPTION_HELP, "Edit",
         kChild | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY | WS_VSCROLL, "", 14,
         65, 192, 59},
        {1020, "Button", kChild | kRadio, "右上", 8, 38, 24, 8},
        {1021, "Button", kChild | kRadio, "上中", 36, 38, 24, 8},
        {1022, "Button", kChild | kRadio, "左上", 66, 38, 26, 8},
        {1023, "Button", kChild | kRadio, "右下", 93, 38, 24, 8},
        {-1, "Button", kChild | BS_GROUPBOX, "配置", 7, 28, 167, 24},
        {1024, "Button", kChild | kRadio, "下中", 119, 38, 24, 8},
        {1025, "Button", kChild | kRadio, "左下", 146, 38, 24, 8},
    }};

const DialogSpec* const kDialogs[] = {&kAboutBox, &kRecorder, &kCaptionSettings};

// One control of a DLGTEMPLATEEX as stored.
struct TemplateItem {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int32_t id = 0;
    std::wstring className, title;
    int titleOrdinal = -1;
};

struct Template {
    DWORD style = 0, exStyle = 0;
    short cx = 0, cy = 0;
    std::wstring title, face;
    uint16_t pointSize = 0, weight = 0;
    uint8_t italic = 0, charset = 0;
    std::vector<TemplateItem> items;
};

class TemplateReader {
public:
    explicit TemplateReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    template <typename T> T Next() {
        T value = Read<T>(m_bytes, m_at);
        m_at += sizeof(T);
        return value;
    }
    std::wstring NextString() {
        std::wstring s;
        while (wchar_t c = static_cast<wchar_t>(Next<uint16_t>()))
            s += c;
        return s;
    }
    // A name or, after 0xFFFF, a number: the standard classes are stored as numbers.
    std::wstring NextNameOrOrdinal(int* ordinal = nullptr) {
        if (Read<uint16_t>(m_bytes, m_at) != 0xFFFF)
            return NextString();
        m_at += 2;
        uint16_t number = Next<uint16_t>();
        if (ordinal)
            *ordinal = number;
        static const wchar_t* const kClasses[] = {L"Button",  L"Edit",      L"Static",
                                                  L"ListBox", L"ScrollBar", L"ComboBox"};
        return number >= 0x80 && number <= 0x85 ? kClasses[number - 0x80] : L"";
    }
    void AlignToDword() { m_at = (m_at + 3) & ~size_t{3}; }
    void Skip(size_t n) { m_at += n; }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_at = 0;
};

Template ReadTemplate(int id) {
    auto bytes = ResourceBytes(MAKEINTRESOURCEA(id), RT_DIALOG);
    TemplateReader r(bytes);
    Template t;
    EXPECT_EQ(r.Next<uint16_t>(), 1) << "DLGTEMPLATEEX version of " << id;
    EXPECT_EQ(r.Next<uint16_t>(), 0xFFFF) << "DLGTEMPLATEEX signature of " << id;
    r.Next<uint32_t>(); // help id
    t.exStyle = r.Next<uint32_t>();
    t.style = r.Next<uint32_t>();
    uint16_t count = r.Next<uint16_t>();
    r.Next<int16_t>();
    r.Next<int16_t>();
    t.cx = r.Next<int16_t>();
    t.cy = r.Next<int16_t>();
    EXPECT_EQ(r.NextNameOrOrdinal(), L"") << "menu of " << id;
    EXPECT_EQ(r.NextNameOrOrdinal(), L"") << "class of " << id;
    t.title = r.NextString();
    t.pointSize = r.Next<uint16_t>();
    t.weight = r.Next<uint16_t>();
    t.italic = r.Next<uint8_t>();
    t.charset = r.Next<uint8_t>();
    t.face = r.NextString();
    for (uint16_t i = 0; i < count; ++i) {
        r.AlignToDword();
        TemplateItem item;
        r.Next<uint32_t>(); // help id
        item.exStyle = r.Next<uint32_t>();
        item.style = r.Next<uint32_t>();
        item.x = r.Next<int16_t>();
        item.y = r.Next<int16_t>();
        item.cx = r.Next<int16_t>();
        item.cy = r.Next<int16_t>();
        item.id = r.Next<int32_t>();
        item.className = r.NextNameOrOrdinal();
        item.title = r.NextNameOrOrdinal(&item.titleOrdinal);
        r.Skip(r.Next<uint16_t>());
        t.items.push_back(item);
    }
    return t;
}

TEST(Resources, DialogTemplatesHoldEveryControlAsLaidOut) {
    for (const DialogSpec* d : kDialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d->id));
        Template t = ReadTemplate(d->id);
        EXPECT_EQ(t.style, d->style);
        EXPECT_EQ(t.exStyle, d->exStyle);
        EXPECT_EQ(t.cx, d->cx);
        EXPECT_EQ(t.cy, d->cy);
        EXPECT_EQ(t.title, Wide(d->title));
        EXPECT_EQ(t.pointSize, 9);
        EXPECT_EQ(t.weight, FW_NORMAL);
        EXPECT_EQ(t.italic, 0);
        EXPECT_EQ(t.face, Wide("ＭＳ Ｐゴシック"));
        ASSERT_EQ(t.items.size(), d->controls.size());
        for (size_t i = 0; i < t.items.size(); ++i) {
            const TemplateItem& item = t.items[i];
            const ControlSpec& c = d->controls[i];
            SCOPED_TRACE("control " + std::to_string(i + 1) + ", id " + std::to_string(c.id));
            EXPECT_EQ(item.id, c.id);
            EXPECT_EQ(_wcsicmp(item.className.c_str(), Wide(c.className).c_str()), 0);
            EXPECT_EQ(item.style, c.style) << std::hex << (item.style ^ c.style);
            EXPECT_EQ(item.exStyle, 0u);
            EXPECT_EQ(item.x, c.x);
            EXPECT_EQ(item.y, c.y);
            EXPECT_EQ(item.cx, c.cx);
            EXPECT_EQ(item.cy, c.cy);
            if (c.text) {
                EXPECT_EQ(item.title, Wide(c.text));
            } else {
                EXPECT_EQ(item.titleOrdinal, IDR_MAINFRAME);
            }
        }
    }
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

class DialogWindows : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS};
        ASSERT_TRUE(::InitCommonControlsEx(&init));
    }
    static UniqueWindow Create(int id) {
        return UniqueWindow(
            ::CreateDialogParamA(Module(), MAKEINTRESOURCEA(id), nullptr, &PlainDialogProc, 0));
    }
};

TEST_F(DialogWindows, ControlsAreBuiltInTemplateOrderWithTheirClassesAndTexts) {
    for (const DialogSpec* d : kDialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d->id));
        UniqueWindow dialog = Create(d->id);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(WindowText(dialog.get()), Wide(d->title));

        HWND child = ::GetWindow(dialog.get(), GW_CHILD);
        for (size_t i = 0; i < d->controls.size(); ++i, child = ::GetWindow(child, GW_HWNDNEXT)) {
            const ControlSpec& c = d->controls[i];
            SCOPED_TRACE("control " + std::to_string(i + 1) + ", id " + std::to_string(c.id));
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(static_cast<int16_t>(::GetDlgCtrlID(child)), c.id);
            EXPECT_EQ(ClassName(child), c.className);
            auto style = static_cast<DWORD>(::GetWindowLongA(child, GWL_STYLE));
            for (DWORD bit : {DWORD{WS_TABSTOP}, DWORD{WS_GROUP}})
                EXPECT_EQ(style & bit, c.style & bit) << "style bit " << std::hex << bit;
            // A combo box hands its scroll bar on to its drop-down list (see below).
            if (ClassName(child) != "ComboBox") {
                EXPECT_EQ(style & WS_VSCROLL, c.style & WS_VSCROLL);
            }
            if (c.text) {
                EXPECT_EQ(WindowText(child), Wide(c.text));
            } else {
                EXPECT_NE(::SendMessageA(child, STM_GETICON, 0, 0), 0);
            }
        }
        EXPECT_EQ(child, nullptr) << "more controls than the template lists";
    }
}

TEST_F(DialogWindows, WindowsHaveTheirFramesSizesAndFont) {
    for (const DialogSpec* d : kDialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d->id));
        UniqueWindow dialog = Create(d->id);
        ASSERT_TRUE(dialog);
        auto style = static_cast<DWORD>(::GetWindowLongA(dialog.get(), GWL_STYLE));
        auto exStyle = static_cast<DWORD>(::GetWindowLongA(dialog.get(), GWL_EXSTYLE));
        bool recorder = d->id == IDD_MIRVOX_DIALOG;
        EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), DWORD{WS_POPUP | WS_CAPTION | WS_SYSMENU});
        EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
        EXPECT_EQ((style & WS_MINIMIZEBOX) != 0, recorder);
        EXPECT_EQ((style & WS_VISIBLE) != 0, recorder);
        EXPECT_EQ((exStyle & WS_EX_APPWINDOW) != 0, recorder);
        EXPECT_NE(exStyle & WS_EX_DLGMODALFRAME, 0u);

        RECT expected{0, 0, d->cx, d->cy}, client{};
        ::MapDialogRect(dialog.get(), &expected);
        ::GetClientRect(dialog.get(), &client);
        EXPECT_EQ(client.right, expected.right);
        EXPECT_EQ(client.bottom, expected.bottom);

        LOGFONTW font{};
        auto handle = reinterpret_cast<HFONT>(::SendMessageA(dialog.get(), WM_GETFONT, 0, 0));
        ASSERT_NE(handle, nullptr);
        ::GetObjectW(handle, sizeof font, &font);
        EXPECT_EQ(std::wstring(font.lfFaceName), Wide("ＭＳ Ｐゴシック"));
        EXPECT_EQ(font.lfWeight, FW_NORMAL);
        EXPECT_EQ(font.lfItalic, 0);
    }
}

TEST_F(DialogWindows, TimeLimitListScrollsThroughTheInitialItems) {
    UniqueWindow dialog = Create(IDD_MIRVOX_DIALOG);
    ASSERT_TRUE(dialog);
    HWND box = ::GetDlgItem(dialog.get(), IDC_TIME_LIMIT);
    // What a dialog does with its initial data before its own initialisation.
    auto data = ResourceBytes(MAKEINTRESOURCEA(IDD_MIRVOX_DIALOG), MAKEINTRESOURCEA(240));
    for (const auto& item : dialog_init_data::Parse(data))
        if (item.message == dialog_init_data::kComboAddString)
            ::SendDlgItemMessageA(dialog.get(), item.controlId, CB_ADDSTRING, 0,
                                  reinterpret_cast<LPARAM>(item.text.c_str()));
    ASSERT_EQ(::SendMessageA(box, CB_GETCOUNT, 0, 0), 13);
    wchar_t text[64] = {};
    ::SendMessageW(box, CB_GETLBTEXT, 12, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::wstring(text), Wide("6時間"));

    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetComboBoxInfo(box, &info));
    EXPECT_NE(::GetWindowLongA(info.hwndList, GWL_STYLE) & WS_VSCROLL, 0);
}

} // namespace
