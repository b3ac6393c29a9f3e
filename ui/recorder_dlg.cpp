#include "ui/recorder_dlg.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "platform/ansi_text.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "ui/about_dlg.h"
#include "ui/caption_dlg.h"
#include "ui/path_split.h"

CRecorderDlg::CRecorderDlg(HWND parent)
    : CDialogBase(IDD_MIRVOX_DIALOG, parent),
      m_mainIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

CRecorderDlg::~CRecorderDlg() = default;

INT_PTR CRecorderDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == m_taskbarCreated && m_taskbarCreated != 0) {
        m_tray.Restore();
        return TRUE;
    }
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
    m_sources.Attach(m_sourceBox);
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
    m_appTitle = LoadResString(IDS_APP_TITLE);
    m_taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    m_tray.Add(hwnd());

    InitNumberBoxes();
    ::SetWindowTextA(m_fileNameBox, m_params.fileName.c_str());
    CreateAnimation();

    m_sources.FillSourceList();
    m_sources.Select(0);
    ::SendMessageA(m_timeLimitBox, CB_SETCURSEL, 0, 0);

    EnterIdleState();
    return TRUE;
}

void CRecorderDlg::InitNumberBoxes() {
    // The box text is written after the position so that an out-of-range stored value is shown as
    // stored rather than as the control's clamped position.
    ::SendMessageA(m_rateSpin, UDM_SETRANGE32, 1, 200);
    ::SendMessageA(m_rateSpin, UDM_SETPOS32, 0, m_params.rate);
    SetWindowNumber(m_rateBox, m_params.rate);
    ::SendMessageA(m_fpsSpin, UDM_SETRANGE32, 1, 60);
    ::SendMessageA(m_fpsSpin, UDM_SETPOS32, 0, m_params.fps);
    SetWindowNumber(m_fpsBox, m_params.fps);
}

void CRecorderDlg::CreateAnimation() {
    // The placeholder keeps its place in the tab order; the clip plays in a child sized to it.
    HWND placeholder = Item(IDC_ANIMATION);
    ::GetClientRect(placeholder, &m_animationArea);
    const int width = m_animationArea.right - m_animationArea.left;
    const int height = m_animationArea.bottom - m_animationArea.top;
    m_animation.reset(::CreateWindowExA(
        0, ANIMATE_CLASSA, nullptr, WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT | ACS_AUTOPLAY,
        m_animationArea.left, m_animationArea.top, width, height, placeholder,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_ANIMATION)), ::GetModuleHandleA(nullptr), nullptr));
    // Without autoplay the clip stands on its first frame until a recording starts.
    ::SetWindowLongPtrA(m_animation.get(), GWL_STYLE, WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT);
    ::SetWindowPos(m_animation.get(), nullptr, 0, 0, width, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::SendMessageA(m_animation.get(), ACM_OPENA, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDR_CLIP)));
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
    StopRecording();
    m_sources.ClearSourceList();
    SaveSettings();
    m_tray.Remove();
    CDialogBase::OnDestroyWindow();
}

void CRecorderDlg::LoadSettings() {
    const CSettingsStore store;
    const RecorderSettings settings =
        LoadRecorderSettings(store, DefaultCaptionFont(LoadResString(IDS_CAPTION_FACE).c_str()));
    m_params.rate = settings.rate;
    m_params.fps = settings.fps;
    m_params.folder = settings.folder;
    m_params.fileName = settings.fileName;
    const LOGFONTA font = ToLogFont(settings.font);
    m_captionFont = MakeSharedFont(::CreateFontIndirectA(&font));
    m_captionFormat = settings.captionFormat;
    m_captionLocation = settings.location;
    ::SendMessageA(m_captionCheck, BM_SETCHECK, static_cast<WPARAM>(settings.caption), 0);
}

void CRecorderDlg::SaveSettings() {
    RecorderSettings settings;
    // Reading the position first takes a valid number from the buddy edit; other text leaves the
    // previous position.
    m_params.rate = static_cast<int32_t>(::SendMessageA(m_rateSpin, UDM_GETPOS32, 0, 0));
    m_params.fps = static_cast<int32_t>(::SendMessageA(m_fpsSpin, UDM_GETPOS32, 0, 0));
    settings.rate = m_params.rate;
    settings.fps = m_params.fps;
    settings.folder = m_params.folder;
    settings.fileName = m_params.fileName;
    LOGFONTA font{};
    ::GetObjectA(m_captionFont.get(), sizeof(font), &font);
    settings.font = FromLogFont(font);
    settings.captionFormat = m_captionFormat;
    settings.location = m_captionLocation;
    settings.caption = static_cast<int32_t>(::SendMessageA(m_captionCheck, BM_GETCHECK, 0, 0));
    SaveRecorderSettings(CSettingsStore(), settings);
}

void CRecorderDlg::OnResetSources() {
    m_sources.FillSourceList();
    m_sources.Select(0);
}

void CRecorderDlg::OnSourceChanged() {
    HWND window = m_sources.WindowOfItem(m_sources.Selection());
    m_params.targetWindow = window;
    if (window)
        ::SetForegroundWindow(window);
    ::SetForegroundWindow(hwnd());
}

INT_PTR CRecorderDlg::OnTrayCallback(WPARAM, LPARAM lp) {
    switch (static_cast<UINT>(lp)) {
    case WM_LBUTTONDOWN:
        ::SetForegroundWindow(hwnd());
        ::ShowWindow(hwnd(), SW_SHOWNORMAL);
        ::PostMessageA(hwnd(), WM_USER, 0, 0);
        break;
    case WM_RBUTTONDOWN: m_tray.ShowMenu(); break;
    }
    // Handled, whatever the mouse did: the message number is also DM_SETDEFID, and the dialog
    // manager would otherwise make the icon's id the default button and take Enter away from Start.
    return TRUE;
}

void CRecorderDlg::OnTrayStartStop() {
    // The same overridable OK operation as button 1.
    OnOK();
}

void CRecorderDlg::OnTrayAbout() {
    RunAboutBox();
}

void CRecorderDlg::RunAboutBox() {
    CAboutDlg about;
    about.DoModal();
}

void CRecorderDlg::OnCaptionSettings() {
    CCaptionDlg dialog;
    dialog.m_format = m_captionFormat;
    dialog.m_font = m_captionFont;
    dialog.m_location = m_captionLocation;
    ::GetObjectA(m_captionFont.get(), sizeof(dialog.m_fontDescription), &dialog.m_fontDescription);
    if (dialog.DoModal() != IDOK)
        return;
    m_captionFont = dialog.m_font;
    m_captionFormat = dialog.m_format;
    m_captionLocation = dialog.m_location;
}

void CRecorderDlg::OnBrowse() {
    // Each bar ends a field; the descriptions and the first pattern keep their blanks.
    std::string filter = "AVI Files (*.avi) |*.avi | All Files (*.*) |*.*||";
    std::replace(filter.begin(), filter.end(), '|', '\0');
    char path[MAX_PATH] = "*.avi";

    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = hwnd();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof(path);
    // No overwrite prompt: the recording replaces an existing file when it starts.
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOTESTFILECREATE;
    if (!::GetSaveFileNameA(&dialog))
        return;

    SplitPath split = SplitAtLastBackslash(path, &IsAnsiLeadByte);
    m_params.folder = std::move(split.folder);
    m_params.fileName = std::move(split.fileName);
    ::SetWindowTextA(m_fileNameBox, m_params.fileName.c_str());
}
