#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/dialog_base.h"
#include "platform/unique_handle.h"

// Edits the caption's pattern, font and location. The caller fills the public fields, runs the
// dialog and takes them back only when it ends with IDOK.
class CCaptionDlg : public CDialogBase {
public:
    explicit CCaptionDlg(HWND parent = nullptr);

    SharedFont m_font;
    LOGFONTA m_fontDescription{};
    int32_t m_location = 0;
    std::string m_format;
    std::string m_helpText;

protected:
    INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void DoDataExchange(bool fromControls) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void OnFont();

    HWND m_helpBox = nullptr;
    HWND m_formatBox = nullptr;
};
