#include "platform/ansi_text.h"

#include <windows.h>

namespace {

std::string Narrow(std::wstring_view text, DWORD flags, bool* lossy) {
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = lossy ? &usedDefault : nullptr;
    const int wide = static_cast<int>(text.size());
    const int bytes =
        wide ? ::WideCharToMultiByte(CP_ACP, flags, text.data(), wide, nullptr, 0, nullptr, usedDefaultOut)
             : 0;
    std::string ansi(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0 && ::WideCharToMultiByte(CP_ACP, flags, text.data(), wide, ansi.data(), bytes, nullptr,
                                           usedDefaultOut) != bytes)
        ansi.clear();
    if (lossy)
        *lossy = usedDefault != FALSE;
    return ansi;
}

} // namespace

std::wstring WideFromAnsi(std::string_view text) {
    const int bytes = static_cast<int>(text.size());
    const int chars = bytes ? ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0) : 0;
    std::wstring wide(static_cast<size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, wide.data(), chars);
    return wide;
}

std::string AnsiFromWide(std::wstring_view text) {
    return Narrow(text, 0, nullptr);
}

std::string AnsiOrEmpty(std::wstring_view text) {
    bool lossy = false;
    std::string ansi = Narrow(text, WC_NO_BEST_FIT_CHARS, &lossy);
    return lossy ? std::string() : ansi;
}

bool IsAnsiLeadByte(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != FALSE;
}
