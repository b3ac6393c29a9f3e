#include "app/recorder_app.h"

#include <windows.h>
#include <commctrl.h>

#include "platform/dialog_base.h"
#include "settings/settings_store.h"
#include "ui/recorder_dlg.h"

int CRecorderApp::Run() {
    InitInstance();
    return 0;
}

bool CRecorderApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);

    // Nothing may touch the settings store before it is named.
    CSettingsStore::SetCompanyKey("Veldrane Products");

    CRecorderDlg dialog;
    CDialogBase::SetMainDialog(&dialog);
    dialog.DoModal();
    CDialogBase::SetMainDialog(nullptr);
    return false;
}
