#include "recorder/avi_capture.h"

#include "recorder/frame_layout.h"

CaptureStatus CAviCapture::CaptureFrame() {
    HWND target = m_params ? m_params->targetWindow : nullptr;

    RECT source{};
    SourceDc sourceDc = target ? SourceDc::ForWindow(target) : SourceDc::ForDisplay();
    if (target) {
        // A window that has gone away fails here; its grab reports a read failure.
        if (!::IsWindow(target) || !::GetClientRect(target, &source) || !sourceDc)
            return CaptureStatus::ReadFailed;
    } else {
        if (!sourceDc)
            return CaptureStatus::ReadFailed;
        ::SetRect(&source, 0, 0, ::GetDeviceCaps(sourceDc.get(), HORZRES),
                  ::GetDeviceCaps(sourceDc.get(), VERTRES));
    }
    const int width = source.right - source.left;
    const int height = source.bottom - source.top;

    if (m_referenceSize) {
        if (width != m_referenceSize->right || height != m_referenceSize->bottom)
            return CaptureStatus::SizeChanged;
    } else {
        m_referenceSize = std::make_unique<RECT>(RECT{0, 0, width, height});
    }

    UniqueBitmap bitmap(::CreateCompatibleBitmap(sourceDc.get(), width, height));
    UniqueDc memory(::CreateCompatibleDC(sourceDc.get()));
    if (!bitmap || !memory)
        return CaptureStatus::ReadFailed;
    SelectionRestore selection(memory.get(), bitmap.get());
    if (!selection.selected())
        return CaptureStatus::ReadFailed;

    ::BitBlt(memory.get(), 0, 0, width, height, sourceDc.get(), 0, 0, SRCCOPY);

    BITMAP description{};
    if (::GetObjectA(bitmap.get(), sizeof(description), &description) == 0)
        return CaptureStatus::ReadFailed;
    const int depth =
        frame_layout::StandardDepth(static_cast<uint16_t>(description.bmPlanes * description.bmBitsPixel));

    // The previous frame goes before the new block is asked for, so two never coexist.
    m_frame.reset();
    m_frame.reset(
        ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(frame_layout::FirstAllocationSize(
                                                         description.bmWidth, description.bmHeight, depth))));
    if (!m_frame)
        return CaptureStatus::NoMemory;
    GlobalLockGuard<BITMAPINFOHEADER> header(m_frame.get());
    if (!header)
        return CaptureStatus::NoMemory;

    *header.get() = BITMAPINFOHEADER{};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = description.bmWidth;
    header->biHeight = description.bmHeight;
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;

    // Without a destination the read only completes the header (biSizeImage).
    if (::GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), nullptr,
                    reinterpret_cast<BITMAPINFO*>(header.get()), DIB_RGB_COLORS) == 0)
        return CaptureStatus::ReadFailed;

    const SIZE_T enlarged =
        static_cast<SIZE_T>(frame_layout::EnlargedAllocationSize(header->biSizeImage, depth));
    header.unlock();
    HGLOBAL grown = ::GlobalReAlloc(m_frame.get(), enlarged, 0);
    if (!grown) {
        // The old block is still valid but holds no frame; the capture object keeps none.
        m_frame.reset();
        return CaptureStatus::ReadFailed;
    }
    m_frame.release();
    m_frame.reset(grown);
    GlobalLockGuard<BITMAPINFOHEADER> frame(m_frame.get());
    if (!frame)
        return CaptureStatus::ReadFailed;
    m_header = frame.get();

    if (m_captionEnabled == 1)
        DrawCaption(memory.get(), source);

    // The bitmap must not be selected into a context while its bits are read.
    selection.restore();
    BYTE* pixels = reinterpret_cast<BYTE*>(frame.get()) + frame->biSize;
    if (::GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels,
                    reinterpret_cast<BITMAPINFO*>(frame.get()), DIB_RGB_COLORS) == 0)
        return CaptureStatus::ReadFailed;
    return CaptureStatus::Grabbed;
}
