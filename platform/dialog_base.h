#pragma once

#include <windows.h>

// A modal dialog from a template. The object owns its window for the length of DoModal. Derived
// classes keep their whole message table in one HandleMessage switch and defer to the base for
// what they do not handle.
class CDialogBase {
public:
    explicit CDialogBase(int templateId, HWND parent = nullptr);
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;
    virtual ~CDialogBase() = default;

    // Runs the dialog modally; returns the result it was ended with (-1 if it could not be created).
    INT_PTR DoModal();
    HWND hwnd() const { return m_hwnd; }
    HWND Item(int id) const { return ::GetDlgItem(m_hwnd, id); }

    // The program's main window: the owner of dialogs that are given no parent.
    static HWND MainWindow() { return s_mainDialog ? s_mainDialog->hwnd() : nullptr; }
    static void SetMainDialog(CDialogBase* dialog) { s_mainDialog = dialog; }

protected:
    virtual INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

    // Initialisation: controls exist and hold the template's initial data. TRUE lets the
    // platform set the focus.
    virtual BOOL OnInitDialog();
    // Copies data between the object and its controls (fromControls: controls -> object).
    virtual void DoDataExchange(bool fromControls);
    // Button 1 and Enter.
    virtual void OnOK();
    // Button 2, Esc and the close box.
    virtual void OnCancel();
    // Runs once when the modal run ends, while the window and its controls still exist; ends by
    // destroying the window.
    virtual void OnDestroyWindow();

    // Ends the modal run with the result, after the window-destruction step.
    void EndModal(INT_PTR result);
    // What the platform does with a message the dialog does not handle (FALSE for a dialog).
    INT_PTR DefaultHandling() { return FALSE; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
    void ApplyInitialData();

    int m_templateId;
    HWND m_parent;
    HWND m_hwnd = nullptr;
    bool m_destroyStepDone = false;
    static CDialogBase* s_mainDialog;
};
