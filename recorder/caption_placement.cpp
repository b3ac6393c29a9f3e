#include "recorder/caption_placement.h"

#include <algorithm>

namespace caption_placement {

Point Place(int location, int frameRight, int frameBottom, int textWidth, int textHeight) {
    if (location < 0 || location > 5)
        location = 0;
    const int spareX = frameRight - textWidth;
    int x = 0;
    switch (location % 3) {
    case 0: x = spareX; break;
    case 1: x = spareX / 2; break;
    default: x = 0; break;
    }
    const int y = location < 3 ? 0 : frameBottom - textHeight;
    return Point{std::max(x, 0), std::max(y, 0)};
}

} // namespace caption_placement
