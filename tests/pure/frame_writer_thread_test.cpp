#include "recorder/frame_writer_thread.h"

#include <gtest/gtest.h>

#include <semaphore>

namespace {

// Writes that wait until the test lets them go, so the queue's bound can be seen filling.
struct GatedWrites {
    std::counting_semaphore<> allowed{0};
    int failAt = -1;
    std::vector<std::pair<int32_t, uint8_t>> written = {}; // index, last byte; read once the writes are over

    FrameWriterThread::WriteFunction Write() {
        return [this](int32_t index, const void* data, uint32_t size) {
            allowed.acquire();
            if (index == failAt)
                return false;
            written.emplace_back(index, static_cast<const uint8_t*>(data)[size - 1]);
            return true;
        };
    }
};

} // namespace

TEST(FrameWriterThread, WritesInOrderAndEveryFrameBeforeItGoes) {
    GatedWrites gate{.allowed = std::counting_semaphore<>(5)};
    {
        FrameWriterThread writer(gate.Write());
        for (uint8_t i = 0; i < 5; ++i) {
            // The frame is copied: the caller's buffer changes right after.
            uint8_t frame[3] = {0, 0, static_cast<uint8_t>(10 + i)};
            ASSERT_TRUE(writer.Submit(i, frame, sizeof(frame)));
            frame[2] = 0;
        }
    }
    EXPECT_EQ(gate.written,
              (std::vector<std::pair<int32_t, uint8_t>>{{0, 10}, {1, 11}, {2, 12}, {3, 13}, {4, 14}}));
}

TEST(FrameWriterThread, AFailedWriteIsReportedByTheNextSubmitAndStopsWriting) {
    GatedWrites gate{.failAt = 0};
    uint8_t frame[1] = {7};
    FrameWriterThread writer(gate.Write());
    ASSERT_TRUE(writer.Submit(0, frame, 1));
    ASSERT_TRUE(writer.Submit(1, frame, 1));
    // Two frames are out of the caller's hands (one being written, one waiting): a third waits for
    // room, and here the room comes with the failure, so it is refused whenever it runs.
    gate.allowed.release(5);
    EXPECT_FALSE(writer.Submit(2, frame, 1));
    EXPECT_FALSE(writer.Submit(3, frame, 1));
    EXPECT_TRUE(gate.written.empty()); // the frame behind the failed one is dropped
}
