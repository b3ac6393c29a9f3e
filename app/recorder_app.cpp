#include "app/recorder_app.h"

#include <windows.h>
#include <commctrl.h>

#include "platform/dialog_base.h"
#include "codec/screen_codec_driver.h"
#include "settings/settings_store.h"
#include "ui/recorder_dlg.h"

int CRecorderApp::Run() {
    InitInstance();
    return 0;
}

bool CRecorderApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS};
    ::InitCommonControlsEx(&controls);

    // Nothing may touch the settings store before it is named.
    CSettingsStore::SetCompanyKey("Veldrane Products");

    // Our screen codec is offered in the compression dialog for as long as the program runs; if it
    // cannot be installed the platform's codecs remain. Where the system has a ZMBV driver (ours,
    // installed for every program, or another's) the dialog lists that one, and ours would list twice.
    const bool screenCodec = !ScreenCodecRegistered() && InstallScreenCodec();

    CRecorderDlg dialog;
    CDialogBase::SetMainDialog(&dialog);
    dialog.DoModal();
    CDialogBase::SetMainDialog(nullptr);

    if (screenCodec)
        RemoveScreenCodec();
    return false;
}
