#include "tests/support/tray_support.h"

#include <cstring>

namespace test_support {

namespace {

std::mutex g_mutex;
std::vector<TrayCall> g_calls;

BOOL WINAPI NoteTrayCall(DWORD operation, PNOTIFYICONDATAA data) {
    TrayCall call{operation,   data->cbSize, data->hWnd, data->uID, data->uFlags, data->uCallbackMessage,
                  data->hIcon, {},           false};
    const void* end = std::memchr(data->szTip, '\0', sizeof(data->szTip));
    call.tipTerminated = end != nullptr;
    const char* tip = data->szTip;
    call.tip.assign(tip, end ? static_cast<const char*>(end) : tip + sizeof(data->szTip));
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_calls.push_back(call);
    }
    return ::Shell_NotifyIconA(operation, data);
}

} // namespace

TrayLogScope::TrayLogScope() : m_previous(SetTrayNotifier(&NoteTrayCall)) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.clear();
}

TrayLogScope::~TrayLogScope() {
    SetTrayNotifier(m_previous);
}

std::vector<TrayCall> TrayLogScope::Calls() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_calls;
}

size_t TrayLogScope::Count() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_calls.size();
}

HICON TrayIconResource(int id) {
    return ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}

} // namespace test_support
