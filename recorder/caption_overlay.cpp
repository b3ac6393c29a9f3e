#include <ctime>

#include "platform/ansi_text.h"
#include "recorder/avi_capture.h"
#include "recorder/caption_placement.h"
#include "recorder/local_caption_text.h"

void CAviCapture::DrawCaption(HDC dc, const RECT& frame) {
    const std::string text = LocalCaptionText(m_captionPattern, std::time(nullptr));
    if (text.empty())
        return;
    // Drawn as UTF-16: with the ANSI calls, a font record whose character set is not the code page's
    // own (the stock font's record says ANSI_CHARSET) turns every double-byte character into garbage.
    const std::wstring wide = WideFromAnsi(text);
    const int chars = static_cast<int>(wide.size());

    // The memory context's default background mode is opaque: every character cell gets black
    // behind the white text.
    ::SetBkColor(dc, RGB(0, 0, 0));
    ::SetTextColor(dc, RGB(255, 255, 255));
    SelectionRestore font(dc, m_captionFont.get());
    if (!font.selected())
        return;

    // Measured with the font itself: a font description from the font dialog carries a negative
    // height and no width, which say nothing about the drawn size.
    SIZE extent{};
    if (!::GetTextExtentPoint32W(dc, wide.data(), chars, &extent))
        return;
    const auto at =
        caption_placement::Place(m_captionLocation, frame.right, frame.bottom, extent.cx, extent.cy);
    ::TextOutW(dc, at.x, at.y, wide.data(), chars);
}
