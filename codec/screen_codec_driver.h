#pragma once

#include <windows.h>
#include <vfw.h>

// Mirvox's own lossless screen codec (the ZMBV format), offered through Video for Windows like any
// installed compressor but living inside this process only.
constexpr DWORD kScreenCodecFourcc = mmioFOURCC('Z', 'M', 'B', 'V');

// Makes the codec known to this process's Video for Windows; false when that fails.
bool InstallScreenCodec();
// Takes it away again, at exit.
void RemoveScreenCodec();
