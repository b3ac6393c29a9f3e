#include "ui/recorder_dlg.h"

#include <commctrl.h>

#include "platform/ui_text.h"
#include "res/resource.h"
#include "settings/settings_store.h"

void CRecorderDlg::LoadSettings() {
    const CSettingsStore store;
    const RecorderSettings settings =
        LoadRecorderSettings(store, DefaultCaptionFont(LoadResString(IDS_CAPTION_FACE).c_str()));
    m_params.rate = settings.rate;
    m_params.fps = settings.fps;
    m_params.folder = settings.folder;
    m_params.fileName = settings.fileName;
    const LOGFONTA font = ToLogFont(settings.font);
    m_captionFont = ::CreateFontIndirectA(&font);
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
    ::GetObjectA(m_captionFont, sizeof(font), &font);
    settings.font = FromLogFont(font);
    settings.captionFormat = m_captionFormat;
    settings.location = m_captionLocation;
    settings.caption = static_cast<int32_t>(::SendMessageA(m_captionCheck, BM_GETCHECK, 0, 0));
    SaveRecorderSettings(CSettingsStore(), settings);
}
