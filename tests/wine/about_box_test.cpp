#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"
#include "tests/support/session_support.h"
#include "tests/support/test_support.h"

using namespace test_support;

namespace {

constexpr const char* kProgId = "MirvoxTest.htmfile";

std::string OpenHelperPath() {
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string path(self);
    return path.substr(0, path.find_last_of('\\') + 1) + "open_helper.exe";
}

void SetDefaultValue(HKEY root, const std::string& subKey, const std::string& value) {
    HKEY key = nullptr;
    ::RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
    ::RegCloseKey(key);
}

// Associates .htm with our helper, and puts the previous association back. Wine 8 does not merge
// HKCU\Software\Classes into HKEY_CLASSES_ROOT, so the association goes to the prefix's classes root.
class HtmAssociationScope {
public:
    explicit HtmAssociationScope(const std::string& command) {
        HKEY existing = nullptr;
        if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, ".htm", 0, KEY_READ, &existing) == 0) {
            char value[256] = {};
            DWORD size = sizeof(value) - 1;
            if (::RegQueryValueExA(existing, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                                   &size) == 0)
                m_previous = value;
            m_hadExtensionKey = true;
            ::RegCloseKey(existing);
        }
        SetDefaultValue(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\shell\\open\\command", command);
        SetDefaultValue(HKEY_CLASSES_ROOT, ".htm", kProgId);
    }
    ~HtmAssociationScope() {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kProgId);
        if (!m_hadExtensionKey)
            ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ".htm");
        else if (m_previous)
            SetDefaultValue(HKEY_CLASSES_ROOT, ".htm", *m_previous);
        else
            ::RegDeleteKeyValueA(HKEY_CLASSES_ROOT, ".htm", nullptr);
    }
    HtmAssociationScope(const HtmAssociationScope&) = delete;
    HtmAssociationScope& operator=(const HtmAssociationScope&) = delete;

private:
    bool m_hadExtensionKey = false;
    std::optional<std::string> m_previous;
};

// The program the shell would start to open the document.
std::string OpenerOf(const std::string& document) {
    char exe[MAX_PATH] = {};
    if (reinterpret_cast<INT_PTR>(::FindExecutableA(document.c_str(), nullptr, exe)) <= 32)
        return {};
    return exe;
}

std::wstring ReadWide(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string raw = bytes.str();
    return std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
}

HWND OpenAboutBox(HWND recorder) {
    ::PostMessageW(recorder, WM_SYSCOMMAND, 16, 0);
    return WaitForDialog(Wide("バージョン情報"));
}

void ClickReadMeIcon(HWND about) {
    ::PostMessageW(about, WM_COMMAND, MAKEWPARAM(1009, STN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(about, 1009)));
}

class AboutBox : public RecorderTest {};

} // namespace

TEST_F(AboutBox, WithoutTheReadMeTheClickTellsSoAndTheBoxStaysOpen) {
    ScratchFolder empty;
    CurrentFolderScope inEmpty(empty.path());
    RunRecorder([&](HWND window) {
        HWND about = OpenAboutBox(window);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(::GetWindow(about, GW_OWNER), window);
        ClickReadMeIcon(about);
        HWND box = WaitForDialog(L"Mirvox", 10s, window);
        ASSERT_NE(box, nullptr) << "no message after the failed open";
        EXPECT_EQ(::GetWindow(box, GW_OWNER), about);
        EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), Wide("ブラウザを起動できませんでした。"));
        EXPECT_EQ(::GetDlgItem(box, IDCANCEL) != nullptr && ::IsWindowVisible(::GetDlgItem(box, IDCANCEL)),
                  false)
            << "OK only";
        PostCommand(box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
        EXPECT_TRUE(::IsWindow(about) && ::IsWindowVisible(about)) << "the About box stays open";
        PostCommand(about, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(about); }));
        PostCommand(window, IDCANCEL);
    });
}

TEST_F(AboutBox, WithTheReadMeTheDocumentGoesToItsAssociatedProgram) {
    ScratchFolder folder;
    { std::ofstream(folder.File("read1st.htm")) << "<html></html>"; }
    const std::string log = folder.File("opened.txt");
    HtmAssociationScope association("\"" + OpenHelperPath() + "\" \"" + log + "\" \"%1\"");
    // Never click while the shell would start a real browser.
    const std::string opener = OpenerOf(folder.File("read1st.htm"));
    ASSERT_EQ(::lstrcmpiA(opener.c_str(), OpenHelperPath().c_str()), 0)
        << ".htm opens with '" << opener << "', not with our helper";
    CurrentFolderScope inFolder(folder.path());
    RunRecorder([&](HWND window) {
        PostCommand(window, 20006);
        HWND about = WaitForDialog(Wide("バージョン情報"));
        ASSERT_NE(about, nullptr) << "command 20006 did not open the About box";
        ClickReadMeIcon(about);
        EXPECT_TRUE(
            WaitUntil([&] { return ::GetFileAttributesA(log.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20s))
            << "the helper was not started";
        EXPECT_EQ(WaitForDialog(L"Mirvox", 300ms, window), nullptr)
            << "a message came after a successful open";
        EXPECT_TRUE(::IsWindow(about) && ::IsWindowVisible(about)) << "the About box stays open";
        PostCommand(about, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(about); }));
        PostCommand(window, IDCANCEL);
    });
    const std::wstring line = ReadWide(log);
    EXPECT_NE(line.find(L"read1st.htm"), std::wstring::npos) << "the helper got no document";
}

TEST_F(AboutBox, DragIconIsTheMainIcon) {
    RunRecorder([&](HWND window) {
        EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(window, WM_QUERYDRAGICON, 0, 0)),
                  ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128)));
        PostCommand(window, IDCANCEL);
    });
}
