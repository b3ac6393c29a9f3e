#include "platform/dialog_base.h"

#include "platform/dialog_init_data.h"

CDialogBase* CDialogBase::s_mainDialog = nullptr;

CDialogBase::CDialogBase(int templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

INT_PTR CDialogBase::DoModal() {
    HWND owner = m_parent;
    if (!owner && s_mainDialog != this)
        owner = MainWindow();
    m_destroyStepDone = false;
    INT_PTR result = ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), owner,
                                       &CDialogBase::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hwnd = nullptr;
    return result;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
    CDialogBase* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lp);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lp);
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<CDialogBase*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    try {
        if (msg == WM_DESTROY && !self->m_destroyStepDone) {
            // Destroyed from outside the modal run's end: the step still runs once.
            self->m_destroyStepDone = true;
            self->OnDestroyWindow();
        }
        return self->HandleMessage(msg, wp, lp);
    } catch (...) {
        // Nothing may unwind through the platform's dialog manager.
        return FALSE;
    }
}

INT_PTR CDialogBase::HandleMessage(UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG: ApplyInitialData(); return OnInitDialog();
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        break;
    }
    return DefaultHandling();
}

BOOL CDialogBase::OnInitDialog() {
    DoDataExchange(false);
    return TRUE;
}

void CDialogBase::DoDataExchange(bool) {}

void CDialogBase::OnOK() {
    DoDataExchange(true);
    EndModal(IDOK);
}

void CDialogBase::OnCancel() {
    EndModal(IDCANCEL);
}

void CDialogBase::OnDestroyWindow() {
    // The dialog manager destroys the window once the modal run has ended.
}

void CDialogBase::EndModal(INT_PTR result) {
    if (!m_hwnd)
        return;
    if (!m_destroyStepDone) {
        m_destroyStepDone = true;
        OnDestroyWindow();
    }
    ::EndDialog(m_hwnd, result);
}

void CDialogBase::ApplyInitialData() {
    // The template's initial data (list and combo box items) is in place before the dialog's own
    // initialisation runs.
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC resource = ::FindResourceA(module, MAKEINTRESOURCEA(m_templateId), MAKEINTRESOURCEA(240));
    if (!resource)
        return;
    HGLOBAL loaded = ::LoadResource(module, resource);
    const auto* bytes = static_cast<const uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    if (!bytes)
        return;
    for (const auto& item : dialog_init_data::Parse({bytes, ::SizeofResource(module, resource)})) {
        UINT message = item.message == dialog_init_data::kComboAddString  ? CB_ADDSTRING
                       : item.message == dialog_init_data::kListAddString ? LB_ADDSTRING
                                                                          : 0;
        if (message)
            ::SendDlgItemMessageA(m_hwnd, item.controlId, message, 0,
                                  reinterpret_cast<LPARAM>(item.text.c_str()));
    }
}
