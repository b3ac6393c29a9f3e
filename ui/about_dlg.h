#pragma once

#include "platform/dialog_base.h"

// The About box: the product line, and the program icon that opens the read-me when clicked.
class CAboutDlg : public CDialogBase {
public:
    explicit CAboutDlg(HWND parent = nullptr);

protected:
    INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void OnReadMe();
};
