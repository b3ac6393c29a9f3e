#include "platform/ui_text.h"

#include <vector>

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

std::string GetWindowTextString(HWND window) {
    int length = ::GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int got = ::GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

bool IsAnsiLeadByte(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != FALSE;
}
