#pragma once

#include <windows.h>

#include <memory>

#include "platform/unique_handle.h"

// The picture a recording grabs into: a 32-bit bottom-up DIB section selected into a memory context,
// both made once for the recording's frame size. Its bits are the frame the writer takes, with no
// conversion in between.
class CFrameCanvas {
public:
    // Null when the section or the context cannot be made.
    static std::unique_ptr<CFrameCanvas> Create(HDC compatibleWith, int width, int height);
    CFrameCanvas(const CFrameCanvas&) = delete;
    CFrameCanvas& operator=(const CFrameCanvas&) = delete;

    HDC dc() const { return m_dc.get(); }
    const BITMAPINFOHEADER& header() const { return m_header; }
    const void* bits() const { return m_bits; }

private:
    CFrameCanvas() = default;

    BITMAPINFOHEADER m_header{};
    void* m_bits = nullptr;
    UniqueDc m_dc;
    UniqueBitmap m_section;
    // Declared last: the section is deselected before it and the context are deleted.
    std::unique_ptr<SelectionRestore> m_selection;
};
