#pragma once

#include <windows.h>

#include <string>

// One listed top-level window: item i >= 1 of the source box stands for entry i - 1.
struct WindowEntry {
    HWND window = nullptr;
    std::string className; // as read during the fill; nothing shows it
    std::string title;     // as read during the fill; the item's text in the source box
};
