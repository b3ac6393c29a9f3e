#include "ui/source_list.h"

#include <new>

#include "platform/ui_text.h"
#include "res/resource.h"

void CSourceList::FillSourceList() {
    const std::string wholeScreen = LoadResString(IDS_WHOLE_SCREEN);
    ClearSourceList();
    ::SendMessageA(m_box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wholeScreen.c_str()));
    // The top-level windows, in the platform's order. EnumChildWindows with no parent does the same
    // on Windows, but Wine visits nothing that way.
    ::EnumWindows(&CSourceList::EnumSourceWindow, reinterpret_cast<LPARAM>(this));
}

void CSourceList::ClearSourceList() {
    m_entries.clear();
    ::SendMessageA(m_box, CB_RESETCONTENT, 0, 0);
}

BOOL CALLBACK CSourceList::EnumSourceWindow(HWND window, LPARAM list) noexcept {
    auto* self = reinterpret_cast<CSourceList*>(list);
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
        self->m_entries.push_back(std::move(entry));
        if (::SendMessageA(self->m_box, CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(self->m_entries.back()->title.c_str())) < 0)
            self->m_entries.pop_back();
    } catch (const std::bad_alloc&) {
        // Out of memory: this window is left out and the enumeration goes on.
    }
    return TRUE;
}

HWND CSourceList::WindowOfItem(LRESULT item) const {
    if (item < 1 || static_cast<size_t>(item - 1) >= m_entries.size())
        return nullptr;
    return m_entries[static_cast<size_t>(item - 1)]->window;
}

LRESULT CSourceList::Selection() const {
    return ::SendMessageA(m_box, CB_GETCURSEL, 0, 0);
}

void CSourceList::Select(int item) const {
    ::SendMessageA(m_box, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
}
