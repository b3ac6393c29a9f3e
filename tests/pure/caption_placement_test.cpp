#include "recorder/caption_placement.h"

#include <gtest/gtest.h>

using caption_placement::Place;

TEST(CaptionPlacement, EachLocationWhereItsLabelSaysAndLargeTextsFromTheEdges) {
    struct Case {
        int location, frameRight, frameBottom, width, height, x, y;
    };
    // A 100 x 20 text in a 641 x 480 frame: right-aligned texts end at 641, centred ones leave
    // (641 - 100) / 2 = 270 on the left. Stored values outside 0 to 5 draw as location 0.
    const Case cases[] = {
        {0, 641, 480, 100, 20, 541, 0},
        {1, 641, 480, 100, 20, 270, 0},
        {2, 641, 480, 100, 20, 0, 0},
        {3, 641, 480, 100, 20, 541, 460},
        {4, 641, 480, 100, 20, 270, 460},
        {5, 641, 480, 100, 20, 0, 460},
        {-1, 641, 480, 100, 20, 541, 0},
        {6, 641, 480, 100, 20, 541, 0},
        {INT32_MIN, 641, 480, 100, 20, 541, 0},
        {0, 64, 16, 65, 10, 0, 0},
        {1, 64, 16, 66, 10, 0, 0},
        {4, 64, 16, 300, 40, 0, 0},
        {4, 64, 16, 62, 16, 1, 0},
        {3, 64, 16, 10, 17, 54, 0},
    };
    for (const Case& c : cases) {
        const auto p = Place(c.location, c.frameRight, c.frameBottom, c.width, c.height);
        EXPECT_EQ(std::make_pair(p.x, p.y), std::make_pair(c.x, c.y))
            << "location " << c.location << ", text " << c.width << "x" << c.height;
    }
}
