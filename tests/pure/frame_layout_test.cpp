#include "recorder/frame_layout.h"

#include <gtest/gtest.h>

using namespace frame_layout;

// The two allocations of a grab on displays of each depth: the first sized for the display's own
// rows and colour table, the enlarged one for the 32-bit frame plus 400 bytes.
TEST(FrameLayout, AllocationSizesPerDisplayDepth) {
    struct Case {
        int32_t width, height;
        uint16_t planesTimesBits;
        uint64_t first, enlarged;
    };
    for (auto c : {Case{1280, 720, 32, 40 + 3686400, 3686400 + 400},
                   Case{1280, 720, 16, 40 + 262144 + 720 * 2560, 3686400 + 262144 + 400},
                   Case{1279, 3, 15, 40 + 262144 + 3 * 2560, 4 * 1279 * 3 + 262144 + 400},
                   Case{5, 2, 24, 40 + 2 * 16, 40 + 400}, Case{3, 2, 5, 40 + 1024 + 2 * 4, 24 + 1024 + 400},
                   Case{32768, 32768, 64, 40 + 4ull * 32768 * 32768, 4ull * 32768 * 32768 + 400}}) {
        const int depth = StandardDepth(c.planesTimesBits);
        EXPECT_EQ(FirstAllocationSize(c.width, c.height, depth), c.first)
            << c.width << "x" << c.planesTimesBits;
        const uint64_t frame = FrameBytes(c.width, c.height);
        if (frame < UINT32_MAX)
            EXPECT_EQ(EnlargedAllocationSize(static_cast<uint32_t>(frame), depth), c.enlarged) << c.width;
    }
}
