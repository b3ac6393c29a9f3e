#include "ui/recording_timing.h"

#include <gtest/gtest.h>

TEST(RecordingTiming, TickIntervalDividesFirst) {
    for (auto [rate, fps, ms] : {std::tuple{1, 4, 250},
                                 {1, 3, 333},
                                 {1, 60, 16},
                                 {200, 7, 28400},
                                 {10, 4, 2500},
                                 {200, 1, 200000},
                                 {3, 0, 3000},
                                 {3, -5, 3000}})
        EXPECT_EQ(TickIntervalMs(rate, fps), ms) << rate << " at " << fps << " fps";
}
