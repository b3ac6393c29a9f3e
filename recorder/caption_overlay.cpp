#include "recorder/avi_capture.h"

void CAviCapture::DrawCaption(HDC, const RECT&) {}
