#include "recorder/avi_capture.h"

#include <algorithm>

namespace {

// The source is read a band of rows at a time: a display driver that reads the whole frame in one
// request holds a copy of all of it (14 MiB at 1920x1080 under Wine's X11 driver, measured), which
// then stays in the working set for the rest of the recording. Bands of 128 rows (1 MiB at 1920
// pixels) kept the recorder's thread busy with the driver's buffer coming and going, a page fault
// at a time: at 1280x720 a tenth of the ticks were lost on a moving picture, none with 32 rows.
constexpr int kBandRows = 32;

bool CopyInBands(HDC target, HDC source, int width, int height) {
    for (int top = 0; top < height; top += kBandRows)
        if (!::BitBlt(target, 0, top, width, std::min(kBandRows, height - top), source, 0, top, SRCCOPY))
            return false;
    return true;
}

} // namespace

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

    // The canvas lives as long as the recording: its size can only be the first frame's.
    if (!m_canvas) {
        if (width <= 0 || height <= 0)
            return CaptureStatus::ReadFailed;
        m_canvas = CFrameCanvas::Create(sourceDc.get(), width, height);
        if (!m_canvas)
            return CaptureStatus::NoMemory;
    }
    if (!CopyInBands(m_canvas->dc(), sourceDc.get(), width, height))
        return CaptureStatus::ReadFailed;
    if (m_captionEnabled == 1)
        DrawCaption(m_canvas->dc(), source);
    // The bits are read directly: every drawing call must have reached them.
    ::GdiFlush();
    return CaptureStatus::Grabbed;
}
