#include "ui/recorder_dlg.h"

#include <new>

#include "platform/ui_text.h"
#include "res/resource.h"

void CRecorderDlg::FillSourceList() {
    const std::string wholeScreen = LoadResString(IDS_WHOLE_SCREEN);
    ClearSourceList();
    ::SendMessageA(m_sourceBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wholeScreen.c_str()));
    // The top-level windows, in the platform's order. EnumChildWindows with no parent does the same
    // on Windows, but Wine visits nothing that way.
    ::EnumWindows(&CRecorderDlg::EnumSourceWindow, reinterpret_cast<LPARAM>(this));
}

void CRecorderDlg::ClearSourceList() {
    m_windowEntries.clear();
    ::SendMessageA(m_sourceBox, CB_RESETCONTENT, 0, 0);
}

BOOL CALLBACK CRecorderDlg::EnumSourceWindow(HWND window, LPARAM recorder) noexcept {
    auto* self = reinterpret_cast<CRecorderDlg*>(recorder);
    char buffer[1024];

    // For a top-level pop-up GetParent reports its owner, so owned pop-ups are left out.
    if (::GetParent(window) != nullptr)
        return TRUE;
    if (::GetClassNameA(window, buffer, sizeof(buffer)) == 0)
        return TRUE;
    try {
        auto entry = std::make_unique<WindowEntry>();
        entry->className = buffer;
        entry->window = window;
        if (!entry->window || !::IsWindow(window) || !::IsWindowVisible(window))
            return TRUE;
        if (::GetWindowTextA(window, buffer, sizeof(buffer)) <= 0 || buffer[0] == '\0')
            return TRUE;
        entry->title = buffer;
        // The entry goes in first, so that item i of the box always stands for entry i - 1.
        self->m_windowEntries.push_back(std::move(entry));
        if (::SendMessageA(self->m_sourceBox, CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(self->m_windowEntries.back()->title.c_str())) < 0)
            self->m_windowEntries.pop_back();
    } catch (const std::bad_alloc&) {
        // Out of memory: this window is left out and the enumeration goes on.
    }
    return TRUE;
}

void CRecorderDlg::OnResetSources() {
    FillSourceList();
    ::SendMessageA(m_sourceBox, CB_SETCURSEL, 0, 0);
}

void CRecorderDlg::OnSourceChanged() {
    const LRESULT index = ::SendMessageA(m_sourceBox, CB_GETCURSEL, 0, 0);
    HWND window = nullptr;
    if (index >= 1 && static_cast<size_t>(index - 1) < m_windowEntries.size())
        window = m_windowEntries[static_cast<size_t>(index - 1)]->window;
    m_params.targetWindow = window;
    if (window)
        ::SetForegroundWindow(window);
    ::SetForegroundWindow(hwnd());
}
