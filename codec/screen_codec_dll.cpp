#include "codec/screen_codec_driver.h"

// The entry point Video for Windows looks up by name in a driver registered under Drivers32.
extern "C" __declspec(dllexport) LRESULT WINAPI
    DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM lp1, LPARAM lp2) {
    return ScreenCodecDriverProc(id, driver, msg, lp1, lp2);
}
