#include "platform/ui_text.h"

#include <vector>

#include "platform/ansi_text.h"

std::string LoadResString(UINT id) {
    // LoadStringA cannot report the length up front: grow until the text fits with room to spare.
    for (int size = 256; size <= 65536; size *= 4) {
        std::vector<char> buffer(static_cast<size_t>(size));
        int length = ::LoadStringA(::GetModuleHandleA(nullptr), id, buffer.data(), size);
        if (length < size - 2)
            return std::string(buffer.data(), static_cast<size_t>(length));
    }
    return {};
}

void ShowMessage(HWND owner, const std::string& text, const std::string& caption) {
    ::MessageBoxA(owner, text.c_str(), caption.c_str(), MB_OK);
}

void SetWindowNumber(HWND window, int32_t value) {
    ::SetWindowTextA(window, std::to_string(value).c_str());
}

std::string GetWindowTextString(HWND window) {
    int length = ::GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = ::GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

std::string ComboItemText(HWND combo, int index) {
    // Read as UTF-16 and converted here: Wine's ANSI CB_GETLBTEXT goes through a fixed 512-character
    // buffer, which a long window title overruns.
    const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(wide.data()));
    if (got <= 0)
        return {};
    wide.resize(static_cast<size_t>(got));
    return AnsiFromWide(wide);
}
