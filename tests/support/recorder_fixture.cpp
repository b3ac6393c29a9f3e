#include "tests/support/recorder_fixture.h"

#include <commctrl.h>

#include "platform/app_name.h"
#include "platform/unique_handle.h"
#include "settings/settings_store.h"

namespace test_support {

std::string SettingsKeyPath() {
    return "Software\\Veldrane Products\\" + ExecutableBaseName();
}

void DeleteSettingsKey() {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKeyPath().c_str());
}

namespace {

UniqueHKey OpenOptionKey() {
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, (SettingsKeyPath() + "\\Option").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr);
    return UniqueHKey(key);
}

} // namespace

void WriteStoredString(const char* name, const std::string& value) {
    UniqueHKey key = OpenOptionKey();
    ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
}

void WriteStoredInt(const char* name, int32_t value) {
    UniqueHKey key = OpenOptionKey();
    ::RegSetValueExA(key.get(), name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void RecorderTest::SetUp() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);
    CSettingsStore::SetCompanyKey("Veldrane Products");
    DeleteSettingsKey();
}

void RecorderTest::TearDown() {
    DeleteSettingsKey();
}

} // namespace test_support
