#include "ui/caption_dlg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"
#include "tests/support/session_support.h"

using namespace test_support;

namespace {

constexpr int kFaceCombo = 0x470; // cmb1 of the font dialog

LOGFONTA KnownFont() {
    LOGFONTA font{};
    font.lfHeight = -18;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    std::strcpy(font.lfFaceName, "Tahoma");
    return font;
}

std::vector<uint8_t> Bytes(const LOGFONTA& font) {
    const auto* p = reinterpret_cast<const uint8_t*>(&font);
    return {p, p + sizeof(font)};
}

// The face the font dialog shows as chosen: the face box's selected item, or its text.
std::wstring ShownFace(HWND fontDialog) {
    HWND faces = ::GetDlgItem(fontDialog, kFaceCombo);
    const LRESULT selected = ::SendMessageW(faces, CB_GETCURSEL, 0, 0);
    if (selected < 0)
        return TextOf(faces);
    wchar_t face[LF_FACESIZE * 2] = {};
    ::SendMessageW(faces, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(face));
    return face;
}

HWND WaitForFontDialog() {
    return WaitForDialog(Wide("フォントの指定"));
}

class CaptionDialog : public RecorderTest {
protected:
    void SetUp() override {
        RecorderTest::SetUp();
        WriteStoredString("CaptionString", "before %H");
        WriteStoredInt("Location", 2);
        WriteStoredBytes("LFont", Bytes(KnownFont()));
    }

    // Opens the caption settings from the recorder, lets `drive` work the dialog and end it, then
    // closes the recorder, which saves the caption style.
    static void WithCaptionDialog(const std::function<void(HWND)>& drive) {
        RunRecorder([&](HWND window) {
            PostCommand(window, 1015);
            HWND dialog = WaitForDialog(Wide("キャプション設定"));
            ASSERT_NE(dialog, nullptr) << "the caption settings did not open";
            EXPECT_EQ(::GetWindow(dialog, GW_OWNER), window);
            drive(dialog);
            ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
            PostCommand(window, IDCANCEL);
        });
    }

    static void ExpectStored(const std::string& format, int32_t location, const LOGFONTA& font) {
        EXPECT_EQ(ReadStoredString("CaptionString"), format);
        EXPECT_EQ(ReadStoredInt("Location"), location);
        EXPECT_EQ(ReadStoredBytes("LFont"), Bytes(font));
    }
};

} // namespace

TEST_F(CaptionDialog, CancelKeepsFormatLocationAndFont) {
    std::wstring chosenFace;
    WithCaptionDialog([&](HWND dialog) {
        ::SetDlgItemTextW(dialog, 1016, L"changed %M");
        ::CheckRadioButton(dialog, 1020, 1025, 1024);
        PostCommand(dialog, 1017);
        HWND fonts = WaitForFontDialog();
        ASSERT_NE(fonts, nullptr) << "the font dialog did not open";
        chosenFace = ShownFace(fonts);
        PostCommand(fonts, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(fonts); }));
        PostCommand(dialog, IDCANCEL);
    });
    EXPECT_NE(chosenFace, L"Tahoma") << "the font dialog's choice would not change the font";
    ExpectStored("before %H", 2, KnownFont());
}

TEST_F(CaptionDialog, OkTakesTheEditedFormatAndLocation) {
    WithCaptionDialog([&](HWND dialog) {
        EXPECT_EQ(TextOf(::GetDlgItem(dialog, 1016)), L"before %H");
        ::SetDlgItemTextW(dialog, 1016, L"%Y-%m-%d edited");
        ::CheckRadioButton(dialog, 1020, 1025, 1025);
        PostCommand(dialog, IDOK);
    });
    ExpectStored("%Y-%m-%d edited", 5, KnownFont());
}

TEST_F(CaptionDialog, EmptyFormatIsAcceptedAndStored) {
    WithCaptionDialog([&](HWND dialog) {
        ::SetDlgItemTextW(dialog, 1016, L"");
        PostCommand(dialog, IDOK);
    });
    ExpectStored("", 2, KnownFont());
}

TEST_F(CaptionDialog, StoredLocationChecksItsButtonAndOkKeepsIt) {
    for (int32_t location : {0, 1, 2, 3, 4, 5, 9}) {
        SCOPED_TRACE(location);
        WriteStoredInt("Location", location);
        WithCaptionDialog([&](HWND dialog) {
            for (int id = 1020; id <= 1025; ++id)
                EXPECT_EQ(::IsDlgButtonChecked(dialog, id),
                          id == 1020 + location ? BST_CHECKED : BST_UNCHECKED)
                    << "button " << id;
            PostCommand(dialog, IDOK);
        });
        // A location outside 0..5 checks no button; the handed-in value stays.
        EXPECT_EQ(ReadStoredInt("Location"), location);
    }
}

TEST_F(CaptionDialog, FontDialogDoesNotPreselectTheCurrentFont) {
    WithCaptionDialog([&](HWND dialog) {
        PostCommand(dialog, 1017);
        HWND fonts = WaitForFontDialog();
        ASSERT_NE(fonts, nullptr) << "the font dialog did not open";
        EXPECT_EQ(::GetWindow(fonts, GW_OWNER), nullptr) << "the font dialog has no owner";
        EXPECT_TRUE(::IsWindowEnabled(dialog)) << "so the caption settings stay enabled";
        EXPECT_NE(ShownFace(fonts), L"Tahoma");
        PostCommand(fonts, IDCANCEL);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(fonts); }));
        PostCommand(dialog, IDCANCEL);
    });
}

TEST(CaptionDialogAlone, CancelledFontDialogThenOkGivesANewFontWithTheOldDescription) {
    const LOGFONTA known = KnownFont();
    HFONT original = ::CreateFontIndirectA(&known);
    CCaptionDlg dialog;
    dialog.m_font = original;
    ::GetObjectA(original, sizeof(dialog.m_fontDescription), &dialog.m_fontDescription);
    const LOGFONTA description = dialog.m_fontDescription;
    dialog.m_format = "%H";
    dialog.m_location = 3;
    INT_PTR result = 0;
    RunWithDriver([&] { result = dialog.DoModal(); },
                  [&] {
                      HWND window = WaitForDialog(Wide("キャプション設定"));
                      ASSERT_NE(window, nullptr);
                      PostCommand(window, 1017);
                      HWND fonts = WaitForFontDialog();
                      ASSERT_NE(fonts, nullptr);
                      PostCommand(fonts, IDCANCEL);
                      ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(fonts); }));
                      PostCommand(window, IDOK);
                      ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(window); }));
                  });
    EXPECT_EQ(result, IDOK);
    HFONT font = dialog.TakeFont();
    EXPECT_NE(font, nullptr);
    EXPECT_NE(font, original) << "each press of the Font button makes a new font object";
    LOGFONTA after{};
    ASSERT_EQ(::GetObjectA(font, sizeof(after), &after), static_cast<int>(sizeof(after)));
    EXPECT_EQ(Bytes(after), Bytes(description));
    EXPECT_EQ(Bytes(dialog.m_fontDescription), Bytes(description));
    EXPECT_EQ(dialog.m_format, "%H");
    EXPECT_EQ(dialog.m_location, 3);
    ::DeleteObject(font);
    ::DeleteObject(original);
}
