#include "recorder/frame_canvas.h"

std::unique_ptr<CFrameCanvas> CFrameCanvas::Create(HDC compatibleWith, int width, int height) {
    std::unique_ptr<CFrameCanvas> canvas(new CFrameCanvas);
    BITMAPINFOHEADER& h = canvas->m_header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height; // positive: bottom-up rows, as the frame is stored
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(4 * static_cast<uint64_t>(width) * static_cast<uint64_t>(height));

    canvas->m_dc.reset(::CreateCompatibleDC(compatibleWith));
    canvas->m_section.reset(::CreateDIBSection(compatibleWith, reinterpret_cast<const BITMAPINFO*>(&h),
                                               DIB_RGB_COLORS, &canvas->m_bits, nullptr, 0));
    if (!canvas->m_dc || !canvas->m_section || !canvas->m_bits)
        return nullptr;
    canvas->m_selection = std::make_unique<SelectionRestore>(canvas->m_dc.get(), canvas->m_section.get());
    if (!canvas->m_selection->selected())
        return nullptr;
    return canvas;
}
