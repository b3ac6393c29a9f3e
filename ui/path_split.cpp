#include "ui/path_split.h"

size_t AnsiCharLength(const std::string& text, size_t pos, LeadByteTest isLeadByte) {
    return isLeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size() ? 2 : 1;
}

SplitPath SplitAtLastBackslash(const std::string& path, LeadByteTest isLeadByte) {
    size_t nameStart = 0;
    for (size_t pos = 0; pos < path.size(); pos += AnsiCharLength(path, pos, isLeadByte))
        if (path[pos] == '\\')
            nameStart = pos + 1;
    return {path.substr(0, nameStart), path.substr(nameStart)};
}
