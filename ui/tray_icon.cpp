#include "ui/recorder_dlg.h"

#include <shellapi.h>

#include <cstring>

#include "platform/ui_text.h"
#include "res/resource.h"
#include "ui/recording_clock.h"
#include "ui/tray_notifier.h"
#include "ui/tray_tip.h"

namespace {

TrayNotifier g_trayNotifier = &::Shell_NotifyIconA;

} // namespace

TrayNotifier SetTrayNotifier(TrayNotifier notifier) {
    TrayNotifier previous = g_trayNotifier;
    g_trayNotifier = notifier ? notifier : &::Shell_NotifyIconA;
    return previous;
}

void CRecorderDlg::TrayNotify(DWORD operation, HICON icon, const char* tip) {
    NOTIFYICONDATAA data{};
    // The layout with the 128-byte tip, as this build lays it out.
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = hwnd();
    data.uID = TRAY_ICON_ID;
    data.uCallbackMessage = WM_TRAY_NOTIFY;
    data.hIcon = icon;
    switch (operation) {
    case NIM_ADD: data.uFlags = NIF_MESSAGE | NIF_ICON; break;
    case NIM_MODIFY: data.uFlags = (icon ? NIF_ICON : 0) | (tip ? NIF_TIP : 0); break;
    default: data.uFlags = 0; break;
    }
    if (tip) {
        const std::string fitted = TruncateAnsi(tip, kTrayTipMaxBytes, &IsAnsiLeadByte);
        std::memcpy(data.szTip, fitted.c_str(), fitted.size() + 1);
    }
    g_trayNotifier(operation, &data);
}

void CRecorderDlg::UpdateTrayStatus(int32_t count) {
    TrayState state;
    state.recording = m_recording != 0;
    const LRESULT selected = ::SendMessageA(m_sourceBox, CB_GETCURSEL, 0, 0);
    if (selected >= 0)
        state.itemText = ComboItemText(m_sourceBox, static_cast<int>(selected));
    state.frameCount = static_cast<uint32_t>(count);
    state.limitSelection = static_cast<int>(::SendMessageA(m_timeLimitBox, CB_GETCURSEL, 0, 0));
    state.secondsLeft = static_cast<int64_t>(m_endTime - CurrentTime());

    const std::string tip = TrayTipText(m_tipTexts, state, &IsAnsiLeadByte);
    HICON icon = state.recording
                     ? m_recordingTrayIcons[static_cast<size_t>(RecordingIconIndex(state.frameCount))]
                     : m_idleTrayIcon;
    TrayNotify(NIM_MODIFY, icon, tip.c_str());
}

INT_PTR CRecorderDlg::OnTrayCallback(WPARAM, LPARAM lp) {
    switch (static_cast<UINT>(lp)) {
    case WM_LBUTTONDOWN:
        ::SetForegroundWindow(hwnd());
        ::ShowWindow(hwnd(), SW_SHOWNORMAL);
        ::PostMessageA(hwnd(), WM_USER, 0, 0);
        break;
    case WM_RBUTTONDOWN: {
        HMENU popup = ::GetSubMenu(m_popupMenu.get(), 0);
        POINT cursor{};
        ::GetCursorPos(&cursor);
        ::TrackPopupMenu(popup, TPM_RIGHTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, cursor.x, cursor.y, 0, hwnd(),
                         nullptr);
        ::PostMessageA(hwnd(), WM_USER, 0, 0);
        break;
    }
    }
    return DefaultHandling();
}

void CRecorderDlg::OnTrayStartStop() {
    // The same overridable OK operation as button 1.
    OnOK();
}
