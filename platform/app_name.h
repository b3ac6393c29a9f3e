#pragma once

#include <string>

// The running executable's file name without folder and extension ("Mirvox" for Mirvox.EXE).
std::string ExecutableBaseName();

// An OK-only message box titled with ExecutableBaseName(), as a window-less object shows it.
void ShowAppMessage(const char* text);
