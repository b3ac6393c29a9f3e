#include "codec/screen_codec_driver.h"

bool ScreenCodecRegistered() {
    HIC codec = ::ICOpen(ICTYPE_VIDEO, kScreenCodecFourcc, ICMODE_QUERY);
    if (!codec)
        return false;
    ::ICClose(codec);
    return true;
}

bool InstallScreenCodec() {
    return ::ICInstall(ICTYPE_VIDEO, kScreenCodecFourcc, reinterpret_cast<LPARAM>(&ScreenCodecDriverProc),
                       nullptr, ICINSTALL_FUNCTION) != FALSE;
}

void RemoveScreenCodec() {
    ::ICRemove(ICTYPE_VIDEO, kScreenCodecFourcc, 0);
}
