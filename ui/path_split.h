#pragma once

#include <cstddef>
#include <string>

// Tells whether a byte starts a double-byte character of the ANSI code page (IsDBCSLeadByte on
// the platform).
using LeadByteTest = bool (*)(unsigned char);

// Length in bytes of the character that starts at pos: 2 for a lead byte that has a byte after
// it, else 1.
size_t AnsiCharLength(const std::string& text, size_t pos, LeadByteTest isLeadByte);

struct SplitPath {
    std::string folder;   // empty, or up to and including the last backslash
    std::string fileName; // the rest
};

// Splits at the last backslash found by stepping characters, so that a trail byte 0x5C is never
// taken for a separator.
SplitPath SplitAtLastBackslash(const std::string& path, LeadByteTest isLeadByte);
