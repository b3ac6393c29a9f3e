#include "ui/about_dlg.h"

#include <shellapi.h>

#include "platform/ui_text.h"
#include "res/resource.h"

CAboutDlg::CAboutDlg(HWND parent) : CDialogBase(IDD_ABOUTBOX, parent) {}

INT_PTR CAboutDlg::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_README_ICON && HIWORD(wp) == STN_CLICKED) {
            OnReadMe();
            return TRUE;
        }
        break;
    }
    return CDialogBase::HandleMessage(msg, wp, lp);
}

void CAboutDlg::OnReadMe() {
    // The name carries no folder: the shell resolves it against the current working directory.
    const std::string readMe = LoadResString(IDS_README);
    HINSTANCE result = ::ShellExecuteA(nullptr, "open", readMe.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        ShowMessage(hwnd(), LoadResString(IDS_BROWSER_FAILED), LoadResString(IDS_APP_TITLE));
}
