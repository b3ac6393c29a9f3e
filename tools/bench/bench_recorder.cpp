// One recording through the real recorder window, as a person makes it: the whole screen, the caption
// on, full frames, at the requested frame rate for the given seconds. Prints the recording's wall time
// and this process's working set before the start and at its peak; the caller counts the frames.
//   bench_recorder <fps> <seconds> <folder ending in a backslash> [full|zmbv]
// writes bench-recorder.avi there, as full frames (the default) or through the built-in screen codec.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <vfw.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/app_name.h"
#include "codec/screen_codec_driver.h"
#include "platform/unique_handle.h"
#include "recorder/codec_choice.h"
#include "settings/settings_store.h"
#include "ui/recorder_dlg.h"

namespace {

std::atomic<HWND> g_idleDialog{nullptr};

// The recorder's owner: the dialog manager tells it when the recorder's modal loop first idles, after
// it has shown the window (a start before that would see its minimise undone).
LRESULT CALLBACK IdleProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ENTERIDLE && wp == MSGF_DIALOGBOX && !g_idleDialog)
        g_idleDialog = reinterpret_cast<HWND>(lp);
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

bool g_fullFrames = true;

// As if the user pressed OK in the compression dialog: on "Full Frames", or on the screen codec the
// dialog opens on.
BOOL ChosenCodec(PAVISTREAM, LPAVICOMPRESSOPTIONS* options) {
    if (g_fullFrames) {
        *options[0] = {};
        options[0]->fccType = streamtypeVIDEO;
        options[0]->fccHandler = comptypeDIB;
        options[0]->dwFlags = AVICOMPRESSF_VALID;
    }
    return TRUE;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "bench_recorder: %s\n", what);
    std::fflush(stderr);
    std::_Exit(1);
}

template <typename F> void WaitFor(F&& condition, const char* what) {
    const ULONGLONG end = ::GetTickCount64() + 20000;
    while (!condition()) {
        if (::GetTickCount64() > end)
            Fail(what);
        ::Sleep(10);
    }
}

struct NoticeSearch {
    HWND recorder, found;
};

BOOL CALLBACK FindNotice(HWND window, LPARAM lp) {
    auto* search = reinterpret_cast<NoticeSearch*>(lp);
    DWORD pid = 0;
    char className[16] = {};
    ::GetWindowThreadProcessId(window, &pid);
    ::GetClassNameA(window, className, sizeof(className));
    if (window == search->recorder || pid != ::GetCurrentProcessId() || !::IsWindowVisible(window) ||
        std::string(className) != "#32770")
        return TRUE;
    search->found = window;
    return FALSE;
}

SIZE_T WorkingSet(bool peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

void WriteSetting(HKEY key, const char* name, int32_t value) {
    ::RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void WriteSetting(HKEY key, const char* name, const std::string& value) {
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5)
        Fail("usage: bench_recorder <fps> <seconds> <folder\\> [full|zmbv]");
    if (argc == 5 && std::string(argv[4]) == "zmbv") {
        if (!InstallScreenCodec())
            Fail("the screen codec could not be installed");
        g_fullFrames = false;
    }
    const int fps = std::atoi(argv[1]);
    const int seconds = std::atoi(argv[2]);

    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);
    CSettingsStore::SetCompanyKey("Veldrane Products");
    const std::string settingsKey = "Software\\Veldrane Products\\" + ExecutableBaseName();
    ::RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
    {
        HKEY raw = nullptr;
        ::RegCreateKeyExA(HKEY_CURRENT_USER, (settingsKey + "\\Option").c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &raw, nullptr);
        UniqueHKey key(raw);
        WriteSetting(key.get(), "Path", std::string(argv[3]));
        WriteSetting(key.get(), "File", std::string("bench-recorder.avi"));
        WriteSetting(key.get(), "Frames", fps);
        WriteSetting(key.get(), "Rate", 1);
        WriteSetting(key.get(), "Caption", 1);
    }
    SetCodecChooser(&ChosenCodec);

    WNDCLASSA wc{};
    wc.lpfnWndProc = IdleProbeProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "MirvoxBenchIdleProbe";
    ::RegisterClassA(&wc);
    UniqueWindow owner(::CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                         wc.hInstance, nullptr));

    double wallSeconds = 0;
    SIZE_T idleWorkingSet = 0;
    std::thread driver([&] {
        WaitFor([] { return g_idleDialog.load() != nullptr; }, "the recorder window did not appear");
        HWND recorder = g_idleDialog;
        HWND sourceBox = ::GetDlgItem(recorder, 1006);
        idleWorkingSet = WorkingSet(false);
        ::PostMessageA(recorder, WM_COMMAND, IDOK, 0);
        NoticeSearch notice{recorder, nullptr};
        WaitFor(
            [&] {
                ::EnumWindows(&FindNotice, reinterpret_cast<LPARAM>(&notice));
                return notice.found != nullptr;
            },
            "no start notice");
        ::PostMessageA(notice.found, WM_COMMAND, IDOK, 0);
        // The inputs are disabled the moment the timer starts.
        WaitFor([&] { return !::IsWindowEnabled(sourceBox); }, "the recording did not start");
        LARGE_INTEGER frequency, start, stop;
        ::QueryPerformanceFrequency(&frequency);
        ::QueryPerformanceCounter(&start);
        ::Sleep(seconds * 1000);
        ::PostMessageA(recorder, WM_COMMAND, IDOK, 0);
        ::QueryPerformanceCounter(&stop);
        wallSeconds = static_cast<double>(stop.QuadPart - start.QuadPart) / frequency.QuadPart;
        WaitFor([&] { return ::IsWindowEnabled(sourceBox) != FALSE; }, "the recording did not stop");
        ::PostMessageA(recorder, WM_COMMAND, IDCANCEL, 0);
    });
    {
        CRecorderDlg dialog(owner.get());
        CDialogBase::SetMainDialog(&dialog);
        dialog.DoModal();
        CDialogBase::SetMainDialog(nullptr);
    }
    driver.join();
    ::RegDeleteTreeA(HKEY_CURRENT_USER, settingsKey.c_str());
    std::printf("%.3f %llu %llu\n", wallSeconds, static_cast<unsigned long long>(idleWorkingSet),
                static_cast<unsigned long long>(WorkingSet(true)));
    return 0;
}
