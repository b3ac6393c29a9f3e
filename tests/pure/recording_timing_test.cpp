#include "ui/recording_timing.h"

#include <gtest/gtest.h>

TEST(RecordingTiming, TickIntervalDividesFirst) {
    struct Case {
        int rate, fps, ms;
    };
    for (auto c : {Case{1, 4, 250}, Case{1, 3, 333}, Case{1, 60, 16}, Case{200, 7, 28400}, Case{10, 4, 2500},
                   Case{200, 1, 200000}, Case{3, 0, 3000}, Case{3, -5, 3000}})
        EXPECT_EQ(TickIntervalMs(c.rate, c.fps), c.ms) << c.rate << " at " << c.fps << " fps";
}
