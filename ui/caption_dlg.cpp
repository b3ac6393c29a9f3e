#include "ui/caption_dlg.h"

#include <commdlg.h>

#include "platform/ui_text.h"
#include "res/resource.h"

CCaptionDlg::CCaptionDlg(HWND parent) : CDialogBase(IDD_CAPTION, parent) {}

INT_PTR CCaptionDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_FONT && HIWORD(wp) == BN_CLICKED) {
            OnFont();
            return TRUE;
        }
        break;
    }
    return CDialogBase::HandleMessage(msg, wp, lp);
}

void CCaptionDlg::DoDataExchange(bool fromControls) {
    m_helpBox = Item(IDC_CAPTION_HELP);
    m_formatBox = Item(IDC_CAPTION_FORMAT);
    if (fromControls) {
        m_format = GetWindowTextString(m_formatBox);
        m_helpText = GetWindowTextString(m_helpBox);
    } else {
        ::SetWindowTextA(m_formatBox, m_format.c_str());
        ::SetWindowTextA(m_helpBox, m_helpText.c_str());
    }
}

BOOL CCaptionDlg::OnInitDialog() {
    CDialogBase::OnInitDialog();
    m_helpText = LoadResString(IDS_CAPTION_HELP);
    ::SetWindowTextA(m_helpBox, m_helpText.c_str());
    ::SetWindowTextA(m_formatBox, m_format.c_str());
    ::CheckRadioButton(hwnd(), IDC_LOCATION_FIRST, IDC_LOCATION_LAST, IDC_LOCATION_FIRST + m_location);
    return TRUE;
}

void CCaptionDlg::OnFont() {
    // The dialog works on a copy: Wine writes every passing selection into the record, also when
    // the user cancels in the end.
    LOGFONTA chosen = m_fontDescription;
    CHOOSEFONTA choose{};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = nullptr;
    choose.lpLogFont = &chosen;
    choose.Flags = CF_SCREENFONTS;
    if (::ChooseFontA(&choose))
        m_fontDescription = chosen;
    // Cancelled or not, the description (old or new) becomes a new font object.
    m_font = MakeSharedFont(::CreateFontIndirectA(&m_fontDescription));
}

void CCaptionDlg::OnOK() {
    m_format = GetWindowTextString(m_formatBox);
    // A location outside 0..5 checks no button; then the handed-in value stays.
    for (int id = IDC_LOCATION_FIRST; id <= IDC_LOCATION_LAST; ++id) {
        if (::IsDlgButtonChecked(hwnd(), id) == BST_CHECKED) {
            m_location = id - IDC_LOCATION_FIRST;
            break;
        }
    }
    CDialogBase::OnOK();
}
