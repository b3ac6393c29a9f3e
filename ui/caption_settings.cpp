#include "ui/recorder_dlg.h"

#include "ui/caption_dlg.h"

void CRecorderDlg::OnCaptionSettings() {
    CCaptionDlg dialog;
    dialog.m_format = m_captionFormat;
    dialog.m_font = m_captionFont;
    dialog.m_location = m_captionLocation;
    ::GetObjectA(m_captionFont, sizeof(dialog.m_fontDescription), &dialog.m_fontDescription);
    if (dialog.DoModal() != IDOK)
        return;
    // The replaced font is kept: a running recording may still draw with it.
    m_captionFont = dialog.TakeFont();
    m_captionFormat = dialog.m_format;
    m_captionLocation = dialog.m_location;
}
