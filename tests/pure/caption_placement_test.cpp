#include "recorder/caption_placement.h"

#include <gtest/gtest.h>

using caption_placement::Place;

TEST(CaptionPlacement, EachLocationWhereItsLabelSays) {
    struct Case {
        int location, x, y;
    };
    // A 100 x 20 text in a 641 x 480 frame: right-aligned texts end at 641, centred ones leave
    // (641 - 100) / 2 = 270 on the left.
    for (auto c : {Case{0, 541, 0}, Case{1, 270, 0}, Case{2, 0, 0}, Case{3, 541, 460}, Case{4, 270, 460},
                   Case{5, 0, 460}}) {
        auto p = Place(c.location, 641, 480, 100, 20);
        EXPECT_EQ(p.x, c.x) << "location " << c.location;
        EXPECT_EQ(p.y, c.y) << "location " << c.location;
    }
}

TEST(CaptionPlacement, StoredValuesOutsideTheSixDrawAsUpperRight) {
    for (int location : {-2147483647 - 1, -7, -3, -2, -1, 6, 7, 8, 9, 2147483647}) {
        auto p = Place(location, 641, 480, 100, 20);
        EXPECT_EQ(p.x, 541) << "location " << location;
        EXPECT_EQ(p.y, 0) << "location " << location;
    }
}

TEST(CaptionPlacement, TextLargerThanTheFrameStartsAtTheLeftAndTopEdges) {
    struct Case {
        int location, width, height, x, y;
    };
    // 64 x 16 frame.
    for (auto c :
         {Case{0, 65, 10, 0, 0}, Case{1, 65, 10, 0, 0}, Case{1, 66, 10, 0, 0}, Case{2, 300, 10, 0, 0},
          Case{3, 300, 17, 0, 0}, Case{4, 300, 40, 0, 0}, Case{5, 300, 17, 0, 0}, Case{3, 64, 16, 0, 0},
          Case{4, 62, 16, 1, 0}, Case{0, 64, 17, 0, 0}, Case{3, 10, 17, 54, 0}})
        EXPECT_EQ(std::make_pair(Place(c.location, 64, 16, c.width, c.height).x,
                                 Place(c.location, 64, 16, c.width, c.height).y),
                  std::make_pair(c.x, c.y))
            << "location " << c.location << ", text " << c.width << "x" << c.height;
}
