#include "tests/support/session_support.h"

#include <gtest/gtest.h>

#include "platform/ui_text.h"
#include "platform/unique_handle.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/recorder_fixture.h"

namespace test_support {

namespace {

UniqueHKey OpenOptionKeyForReading() {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, (SettingsKeyPath() + "\\Option").c_str(), 0, KEY_READ, &key) != 0)
        return UniqueHKey();
    return UniqueHKey(key);
}

std::optional<std::vector<uint8_t>> ReadStoredValue(const char* name, DWORD* type) {
    UniqueHKey key = OpenOptionKeyForReading();
    DWORD size = 0;
    if (!key || ::RegQueryValueExA(key.get(), name, nullptr, type, nullptr, &size) != 0)
        return std::nullopt;
    std::vector<uint8_t> bytes(size);
    if (::RegQueryValueExA(key.get(), name, nullptr, type, bytes.data(), &size) != 0)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

} // namespace

std::optional<std::string> ReadStoredString(const char* name) {
    DWORD type = 0;
    auto bytes = ReadStoredValue(name, &type);
    if (!bytes || type != REG_SZ)
        return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    return text.substr(0, text.find('\0'));
}

std::optional<std::vector<uint8_t>> ReadStoredBytes(const char* name) {
    DWORD type = 0;
    auto bytes = ReadStoredValue(name, &type);
    if (!bytes || type != REG_BINARY)
        return std::nullopt;
    return bytes;
}

std::optional<int32_t> ReadStoredInt(const char* name) {
    auto bytes = ReadStoredBytes(name);
    if (!bytes || bytes->size() != 4)
        return std::nullopt;
    return static_cast<int32_t>((*bytes)[0] | (*bytes)[1] << 8 | (*bytes)[2] << 16 |
                                static_cast<uint32_t>((*bytes)[3]) << 24);
}

void WriteStoredBytes(const char* name, const std::vector<uint8_t>& bytes) {
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, (SettingsKeyPath() + "\\Option").c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr);
    UniqueHKey owner(key);
    ::RegSetValueExA(key, name, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

void StartRecording(HWND recorder, int command) {
    PostCommand(recorder, command);
    HWND notice = WaitForDialog(L"Mirvox", 10s, recorder);
    ASSERT_NE(notice, nullptr) << "no start notice";
    PostCommand(notice, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(notice); }));
}

void ExpectMessage(HWND recorder, const char* utf8) {
    HWND box = WaitForDialog(L"Mirvox", 10s, recorder);
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), Wide(utf8));
    PostCommand(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(box); }));
}

bool IsRecording(HWND recorder) {
    return TextOf(::GetDlgItem(recorder, IDOK)) == Wide("停止(&S)");
}

bool IsIdle(HWND recorder) {
    return TextOf(::GetDlgItem(recorder, IDOK)) == Wide("開始(&S)");
}

int ShownCount(HWND recorder) {
    std::wstring status = TextOf(::GetDlgItem(recorder, 1005));
    auto colon = status.find(L':');
    return colon == std::wstring::npos ? -1 : std::stoi(status.substr(colon + 1));
}

int ChooseSource(HWND recorder, const std::string& title) {
    HWND box = ::GetDlgItem(recorder, 1006);
    const int index = static_cast<int>(::SendMessageA(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                      reinterpret_cast<LPARAM>(title.c_str())));
    if (index < 0)
        return -1;
    ::SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageA(recorder, WM_COMMAND, MAKEWPARAM(1006, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
    return index;
}

std::vector<std::string> SourceItems(HWND recorder) {
    HWND box = ::GetDlgItem(recorder, 1006);
    std::vector<std::string> items;
    const LRESULT count = ::SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        items.push_back(ComboItemText(box, static_cast<int>(i)));
    return items;
}

CurrentFolderScope::CurrentFolderScope(const std::string& folder) {
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(sizeof(previous), previous);
    m_previous = previous;
    ::SetCurrentDirectoryA(folder.c_str());
}

CurrentFolderScope::~CurrentFolderScope() {
    ::SetCurrentDirectoryA(m_previous.c_str());
}

} // namespace test_support
