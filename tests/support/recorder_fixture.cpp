#include "tests/support/recorder_fixture.h"

#include <commctrl.h>

#include <atomic>

#include "platform/app_name.h"
#include "platform/unique_handle.h"
#include "settings/settings_store.h"
#include "tests/support/dialog_driver.h"
#include "ui/recorder_dlg.h"

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
    ::RegCreateKeyExA(HKEY_CURRENT_USER, (SettingsKeyPath() + "\\Option").c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr);
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
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);
    CSettingsStore::SetCompanyKey("Veldrane Products");
    DeleteSettingsKey();
}

void RecorderTest::TearDown() {
    DeleteSettingsKey();
}

namespace {

// A hidden owner for the recorder window that notes when the window's modal loop first idles
// (the dialog manager sends WM_ENTERIDLE to the owner then).
std::atomic<HWND> g_idleDialog{nullptr};

LRESULT CALLBACK IdleProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ENTERIDLE && wp == MSGF_DIALOGBOX && !g_idleDialog)
        g_idleDialog = reinterpret_cast<HWND>(lp);
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

void RecorderTest::RunRecorder(const std::function<void(HWND)>& drive) {
    static const ATOM probeClass = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = IdleProbeProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "MirvoxTestIdleProbe";
        return ::RegisterClassA(&wc);
    }();
    (void)probeClass;
    UniqueWindow probe(::CreateWindowExA(0, "MirvoxTestIdleProbe", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                         ::GetModuleHandleA(nullptr), nullptr));
    g_idleDialog = nullptr;
    CRecorderDlg dialog(probe.get());
    CDialogBase::SetMainDialog(&dialog);
    RunWithDriver([&] { dialog.DoModal(); },
                  [&] {
                      HWND window = WaitForDialog(L"Mirvox");
                      ASSERT_NE(window, nullptr) << "the recorder window did not appear";
                      ASSERT_TRUE(WaitUntil([&] { return g_idleDialog.load() == window; }))
                          << "the recorder window's loop never went idle";
                      drive(window);
                  });
    CDialogBase::SetMainDialog(nullptr);
}

} // namespace test_support
