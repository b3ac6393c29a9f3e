#include "platform/app_name.h"

#include <windows.h>

std::string ExecutableBaseName() {
    char path[MAX_PATH * 4];
    DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return {};
    std::string name(path, length);
    // Step by characters of the ANSI code page: a trail byte may equal '\\' or '.'.
    size_t nameStart = 0, dot = std::string::npos;
    for (const char* p = name.c_str(); *p; p = ::CharNextA(p)) {
        if (*p == '\\' || *p == '/') {
            nameStart = static_cast<size_t>(p - name.c_str()) + 1;
            dot = std::string::npos;
        } else if (*p == '.') {
            dot = static_cast<size_t>(p - name.c_str());
        }
    }
    size_t end = dot == std::string::npos ? name.size() : dot;
    return name.substr(nameStart, end - nameStart);
}

void ShowAppMessage(const char* text) {
    ::MessageBoxA(nullptr, text, ExecutableBaseName().c_str(), MB_OK);
}
