#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// What and where to record. The recorder dialog owns it and fills it from the settings (which hold
// the defaults); a capture object reads it through a pointer for its whole life, so nothing changes
// it while a recording runs.
struct CaptureParams {
    HWND targetWindow = nullptr; // none: the whole display
    std::string folder;          // empty or ending in a backslash
    std::string fileName;
    int32_t rate = 1;
    int32_t fps = 1;
};
