#include "recorder/avi_capture.h"

#include <ctime>

#include "recorder/caption_placement.h"
#include "recorder/local_caption_text.h"

void CAviCapture::DrawCaption(HDC dc, const RECT& frame) {
    const std::string text = LocalCaptionText(m_captionPattern, std::time(nullptr));
    if (text.empty())
        return;
    const int bytes = static_cast<int>(text.size());

    // The memory context's default background mode is opaque: every character cell gets black
    // behind the white text.
    ::SetBkColor(dc, RGB(0, 0, 0));
    ::SetTextColor(dc, RGB(255, 255, 255));
    SelectionRestore font(dc, m_captionFont);
    if (!font.selected())
        return;

    // Measured with the font itself: a font description from the font dialog carries a negative
    // height and no width, which say nothing about the drawn size.
    SIZE extent{};
    if (!::GetTextExtentPoint32A(dc, text.data(), bytes, &extent))
        return;
    const auto at =
        caption_placement::Place(m_captionLocation, frame.right, frame.bottom, extent.cx, extent.cy);
    ::TextOutA(dc, at.x, at.y, text.data(), bytes);
}
