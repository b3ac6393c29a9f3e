#pragma once

#include <string>

namespace test_support {

// Lead bytes of code page 932, the code page the program runs with under LANG=ja_JP.UTF-8.
inline bool IsCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// True when stepping the text by characters ends exactly at its end: no lead byte lost its trail.
inline bool EndsOnWholeCp932Character(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size())
        pos += IsCp932LeadByte(static_cast<unsigned char>(text[pos])) ? 2 : 1;
    return pos == text.size();
}

} // namespace test_support
