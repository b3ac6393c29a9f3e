#pragma once

#include <windows.h>
#include <vfw.h>

// Mirvox's own lossless screen codec (the ZMBV format) as a Video for Windows driver: one driver
// procedure, which the program installs for itself and mirvox_zmbv.dll exports as DriverProc.
constexpr DWORD kScreenCodecFourcc = mmioFOURCC('Z', 'M', 'B', 'V');

LRESULT CALLBACK ScreenCodecDriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM lp1, LPARAM lp2) noexcept;

// True when a ZMBV driver is registered with the system and opens, such as the installed DLL.
bool ScreenCodecRegistered();
// Makes the codec known to this process's Video for Windows; false when that fails.
bool InstallScreenCodec();
// Takes it away again, at exit.
void RemoveScreenCodec();
