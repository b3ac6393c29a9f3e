#include <gtest/gtest.h>

#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"
#include "tests/support/session_support.h"
#include "tests/support/test_support.h"

using namespace test_support;

namespace {

// Opens Browse and returns the save dialog, which the recorder owns.
HWND OpenSaveDialog(HWND recorder) {
    PostCommand(recorder, 1001);
    HWND dialog = WaitForDialog(Wide("名前を付けて保存"));
    EXPECT_NE(dialog, nullptr) << "the save dialog did not open";
    if (dialog) {
        EXPECT_EQ(::GetWindow(dialog, GW_OWNER), recorder);
    }
    return dialog;
}

// The file-name field of the Explorer-style dialog (cmb13, or edt1 in older templates).
HWND FileNameField(HWND dialog) {
    for (int id : {0x47c, 0x480})
        if (HWND field = ::GetDlgItem(dialog, id))
            return field;
    return nullptr;
}

// Types a path (UTF-8) into the dialog, presses OK and waits until the dialog has gone.
void ChooseFile(HWND recorder, const std::string& utf8Path) {
    HWND dialog = OpenSaveDialog(recorder);
    ASSERT_NE(dialog, nullptr);
    HWND field = FileNameField(dialog);
    ASSERT_NE(field, nullptr) << "no file-name field";
    ::SetWindowTextW(field, Wide(utf8Path.c_str()).c_str());
    PostCommand(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); })) << "the save dialog stayed open";
}

// The scratch folder's path as UTF-8, for typing it.
std::string Utf8(const std::string& ansi) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, w.data(), n);
    n = ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string u(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, u.data(), n, nullptr, nullptr);
    u.resize(static_cast<size_t>(n - 1));
    return u;
}

class FileChooser : public RecorderTest {};

} // namespace

TEST_F(FileChooser, ChosenPathIsSplitIntoFolderAndNameAsTyped) {
    ScratchFolder scratch;
    // The second byte of 表 in code page 932 is 0x5C, the backslash's value.
    const std::string folder = scratch.path() + Ansi("表示") + "\\";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    struct Case {
        const char* typedName;
    };
    for (Case c : {Case{"movie.avi"}, Case{"movie"}, Case{"録画.avi"}}) {
        SCOPED_TRACE(c.typedName);
        RunRecorder([&](HWND window) {
            ChooseFile(window, Utf8(folder) + c.typedName);
            EXPECT_EQ(TextOf(::GetDlgItem(window, 1000)), Wide(c.typedName));
            PostCommand(window, IDCANCEL);
        });
        EXPECT_EQ(ReadStoredString("Path"), folder);
        EXPECT_EQ(ReadStoredString("File"), Ansi(c.typedName));
    }
}

TEST_F(FileChooser, CancelLeavesFolderFileAndBoxUnchanged) {
    ScratchFolder scratch;
    WriteStoredString("Path", scratch.path());
    WriteStoredString("File", "kept.avi");
    RunRecorder([&](HWND window) {
        HWND dialog = OpenSaveDialog(window);
        ASSERT_NE(dialog, nullptr);
        if (HWND field = FileNameField(dialog))
            ::SetWindowTextW(field, Wide((Utf8(scratch.path()) + "other.avi").c_str()).c_str());
        PostCommand(dialog, IDCANCEL);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
        EXPECT_EQ(TextOf(::GetDlgItem(window, 1000)), L"kept.avi");
        PostCommand(window, IDCANCEL);
    });
    EXPECT_EQ(ReadStoredString("Path"), scratch.path());
    EXPECT_EQ(ReadStoredString("File"), "kept.avi");
}

TEST_F(FileChooser, ExistingFileIsTakenWithoutConfirmation) {
    ScratchFolder scratch;
    const std::string existing = scratch.File("there.avi");
    HANDLE file = ::CreateFileA(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ::CloseHandle(file);
    RunRecorder([&](HWND window) {
        HWND dialog = OpenSaveDialog(window);
        ASSERT_NE(dialog, nullptr);
        HWND field = FileNameField(dialog);
        ASSERT_NE(field, nullptr);
        ::SetWindowTextW(field, Wide(Utf8(existing).c_str()).c_str());
        PostCommand(dialog, IDOK);
        // A confirmation would be a further dialog while the save dialog stays open.
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); })) << "the save dialog asked something";
        EXPECT_EQ(TextOf(::GetDlgItem(window, 1000)), L"there.avi");
        PostCommand(window, IDCANCEL);
    });
    EXPECT_EQ(ReadStoredString("Path"), scratch.path());
    EXPECT_EQ(ReadStoredString("File"), "there.avi");
}
