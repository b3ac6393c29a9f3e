#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// One listed top-level window: item i >= 1 of the source box stands for entry i - 1.
struct WindowEntry {
    HWND window = nullptr;
    std::string className; // as read during the fill; nothing shows it
    std::string title;     // as read during the fill; the item's text in the source box
};

// The capture sources: the source box (item 0 the whole screen, then one item per window) and the
// entries behind its window items, always in step.
class CSourceList {
public:
    CSourceList() = default;
    CSourceList(const CSourceList&) = delete;
    CSourceList& operator=(const CSourceList&) = delete;

    void Attach(HWND sourceBox) { m_box = sourceBox; }

    // Rebuilds the box and the entries from the top-level windows present now; selects nothing.
    void FillSourceList();
    void ClearSourceList();

    // The window an item stands for; none for item 0 (the whole screen) or no selection.
    HWND WindowOfItem(LRESULT item) const;
    LRESULT Selection() const;
    void Select(int item) const;

private:
    static BOOL CALLBACK EnumSourceWindow(HWND window, LPARAM list) noexcept;

    HWND m_box = nullptr;
    std::vector<std::unique_ptr<WindowEntry>> m_entries;
};
