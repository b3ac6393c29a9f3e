#include "recorder/caption_placement.h"

#include <gtest/gtest.h>

#include <climits>

TEST(CaptionPlacement, EachLocationWhereItsLabelSaysAndLargeTextsFromTheEdges) {
    // A 100 x 20 text in a 641 x 480 frame: right-aligned texts end at 641, centred ones leave
    // (641 - 100) / 2 = 270 on the left. Stored values outside 0 to 5 draw as location 0.
    const int cases[][7] = {
        // location, frame right and bottom, text width and height, x, y
        {0, 641, 480, 100, 20, 541, 0},
        {1, 641, 480, 100, 20, 270, 0},
        {2, 641, 480, 100, 20, 0, 0},
        {3, 641, 480, 100, 20, 541, 460},
        {4, 641, 480, 100, 20, 270, 460},
        {5, 641, 480, 100, 20, 0, 460},
        {-1, 641, 480, 100, 20, 541, 0},
        {6, 641, 480, 100, 20, 541, 0},
        {INT_MIN, 641, 480, 100, 20, 541, 0},
        {0, 64, 16, 65, 10, 0, 0},
        {1, 64, 16, 66, 10, 0, 0},
        {4, 64, 16, 300, 40, 0, 0},
        {4, 64, 16, 62, 16, 1, 0},
        {3, 64, 16, 10, 17, 54, 0},
    };
    for (const auto& c : cases) {
        const auto p = caption_placement::Place(c[0], c[1], c[2], c[3], c[4]);
        EXPECT_EQ(std::make_pair(p.x, p.y), std::make_pair(c[5], c[6]))
            << "location " << c[0] << ", " << c[3];
    }
}
