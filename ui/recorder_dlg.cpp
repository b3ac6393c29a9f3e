#include "ui/recorder_dlg.h"

#include <commctrl.h>

#include <cstdio>

#include "ui/about_dlg.h"
#include "platform/ui_text.h"
#include "res/resource.h"

CRecorderDlg::CRecorderDlg(HWND parent)
    : CDialogBase(IDD_MIRVOX_DIALOG, parent),
      m_mainIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

CRecorderDlg::~CRecorderDlg() = default;

INT_PTR CRecorderDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TRAY_NOTIFY: return OnTrayCallback(wp, lp);
    case WM_SYSCOMMAND: return OnSysCommand(wp, lp);
    case WM_PAINT: return OnPaint();
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(m_mainIcon);
    case WM_TIMER: OnCaptureTimer(static_cast<UINT_PTR>(wp)); return TRUE;
    case WM_COMMAND: return OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
    }
    return CDialogBase::HandleMessage(msg, wp, lp);
}

INT_PTR CRecorderDlg::OnCommand(WORD id, WORD code, HWND control) {
    // Commands of controls and of the popup menu (a menu command arrives with code 0).
    struct CommandEntry {
        WORD id;
        WORD code;
        void (CRecorderDlg::*handler)();
    };
    static constexpr CommandEntry kCommands[] = {
        {IDC_BROWSE, BN_CLICKED, &CRecorderDlg::OnBrowse},
        {IDC_RESET, BN_CLICKED, &CRecorderDlg::OnResetSources},
        {ID_TRAY_ABOUT, 0, &CRecorderDlg::OnTrayAbout},
        {ID_TRAY_START_STOP, 0, &CRecorderDlg::OnTrayStartStop},
        {IDC_SOURCE, CBN_SELCHANGE, &CRecorderDlg::OnSourceChanged},
        {IDC_CAPTION_SETTINGS, BN_CLICKED, &CRecorderDlg::OnCaptionSettings},
    };
    for (const CommandEntry& entry : kCommands) {
        if (entry.id == id && entry.code == code) {
            (this->*entry.handler)();
            return TRUE;
        }
    }
    return CDialogBase::HandleMessage(WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

void CRecorderDlg::BindControls() {
    m_fpsSpin = Item(IDC_FPS_SPIN);
    m_fpsBox = Item(IDC_FPS);
    m_captionCheck = Item(IDC_CAPTION_ON);
    m_timeLimitBox = Item(IDC_TIME_LIMIT);
    m_resetButton = Item(IDC_RESET);
    m_browseButton = Item(IDC_BROWSE);
    m_sourceBox = Item(IDC_SOURCE);
    m_statusBox = Item(IDC_STATUS);
    m_startStopButton = Item(IDOK);
    m_rateSpin = Item(IDC_RATE_SPIN);
    m_rateBox = Item(IDC_RATE);
    m_fileNameBox = Item(IDC_FILE_NAME);
}

BOOL CRecorderDlg::OnInitDialog() {
    BindControls();
    CDialogBase::OnInitDialog();

    if (std::string about = LoadResString(IDS_ABOUTBOX); !about.empty()) {
        HMENU systemMenu = ::GetSystemMenu(hwnd(), FALSE);
        ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }

    LoadSettings();

    ::SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_mainIcon));
    ::SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_mainIcon));

    m_frameCountFormat = LoadResString(IDS_FRAME_COUNT);
    m_tipTexts = {LoadResString(IDS_TIP_RECORDING), LoadResString(IDS_TIP_IDLE), LoadResString(IDS_REMAINING),
                  LoadResString(IDS_UNLIMITED)};

    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    m_popupMenu.reset(::LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAY_MENU)));
    m_idleTrayIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY_IDLE));
    m_recordingTrayIcons = {::LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY_REC0)),
                            ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY_REC1)),
                            ::LoadIconA(instance, MAKEINTRESOURCEA(IDI_TRAY_REC2))};
    TrayNotify(NIM_ADD, m_idleTrayIcon, nullptr);

    // The box text is written after the position so that an out-of-range stored value is shown as
    // stored rather than as the control's clamped position.
    char number[16];
    ::SendMessageA(m_rateSpin, UDM_SETRANGE32, 1, 200);
    ::SendMessageA(m_rateSpin, UDM_SETPOS32, 0, m_params.rate);
    std::snprintf(number, sizeof(number), "%d", m_params.rate);
    ::SetWindowTextA(m_rateBox, number);
    ::SendMessageA(m_fpsSpin, UDM_SETRANGE32, 1, 60);
    ::SendMessageA(m_fpsSpin, UDM_SETPOS32, 0, m_params.fps);
    std::snprintf(number, sizeof(number), "%d", m_params.fps);
    ::SetWindowTextA(m_fpsBox, number);

    ::SetWindowTextA(m_fileNameBox, m_params.fileName.c_str());

    // The placeholder keeps its place in the tab order; the clip plays in a child sized to it.
    HWND placeholder = Item(IDC_ANIMATION);
    ::GetClientRect(placeholder, &m_animationArea);
    m_animation.reset(::CreateWindowExA(
        0, ANIMATE_CLASSA, nullptr, WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT | ACS_AUTOPLAY,
        m_animationArea.left, m_animationArea.top, m_animationArea.right - m_animationArea.left,
        m_animationArea.bottom - m_animationArea.top, placeholder,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_ANIMATION)), instance, nullptr));
    // Without autoplay the clip stands on its first frame until a recording starts.
    ::SetWindowLongPtrA(m_animation.get(), GWL_STYLE, WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT);
    ::SetWindowPos(m_animation.get(), nullptr, 0, 0, m_animationArea.right - m_animationArea.left,
                   m_animationArea.bottom - m_animationArea.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::SendMessageA(m_animation.get(), ACM_OPENA, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_CLIP)));

    FillSourceList();
    ::SendMessageA(m_sourceBox, CB_SETCURSEL, 0, 0);
    ::SendMessageA(m_timeLimitBox, CB_SETCURSEL, 0, 0);

    ApplyRecordingState();
    return TRUE;
}

INT_PTR CRecorderDlg::OnSysCommand(WPARAM command, LPARAM) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        RunAboutBox();
        return TRUE;
    }
    return DefaultHandling();
}

INT_PTR CRecorderDlg::OnPaint() {
    if (!::IsIconic(hwnd()))
        return DefaultHandling();
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd(), &paint);
    ::SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(hwnd(), &client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_mainIcon);
    ::EndPaint(hwnd(), &paint);
    return TRUE;
}

void CRecorderDlg::OnOK() {
    ToggleRecording();
}

void CRecorderDlg::OnCancel() {
    CDialogBase::OnCancel();
}

void CRecorderDlg::OnDestroyWindow() {
    m_recording = 0;
    ApplyRecordingState();
    ClearSourceList();
    m_popupMenu.reset();
    SaveSettings();
    TrayNotify(NIM_DELETE, m_idleTrayIcon, nullptr);
    CDialogBase::OnDestroyWindow();
}

void CRecorderDlg::RunAboutBox() {
    CAboutDlg about;
    about.DoModal();
}

void CRecorderDlg::OnTrayAbout() {
    RunAboutBox();
}
