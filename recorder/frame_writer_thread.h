#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Compresses and writes frames on a thread of its own, so that a tick costs the grab and a copy. At
// most two frames wait; a third waits for room. The first failed write is kept and reported by the
// next Submit; nothing is written after it. Destruction writes every frame still waiting.
class FrameWriterThread {
public:
    using WriteFunction = std::function<bool(int32_t index, const void* data, uint32_t size)>;

    explicit FrameWriterThread(WriteFunction write);
    FrameWriterThread(const FrameWriterThread&) = delete;
    FrameWriterThread& operator=(const FrameWriterThread&) = delete;
    ~FrameWriterThread();

    // Queues a copy of the frame; false when an earlier write failed (this frame is not queued).
    bool Submit(int32_t index, const void* data, uint32_t size);
    // Whether a write has failed so far; does not wait for the frames still waiting.
    bool Failed();

private:
    static constexpr size_t kMaxWaiting = 2;
    struct Frame {
        int32_t index;
        std::vector<uint8_t> bytes;
    };

    void Run();

    WriteFunction m_write;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Frame> m_waiting;
    std::vector<std::vector<uint8_t>> m_spare; // buffers of written frames, reused
    bool m_failed = false;
    bool m_closing = false;
    std::thread m_thread;
};
