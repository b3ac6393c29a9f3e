#include "recorder/frame_writer_thread.h"

#include <cstring>

FrameWriterThread::FrameWriterThread(WriteFunction write)
    : m_write(std::move(write)), m_thread([this] { Run(); }) {}

FrameWriterThread::~FrameWriterThread() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool FrameWriterThread::Submit(int32_t index, const void* data, uint32_t size) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_failed || m_waiting.size() < kMaxWaiting; });
    if (m_failed)
        return false;
    std::vector<uint8_t> bytes;
    if (!m_spare.empty()) {
        bytes = std::move(m_spare.back());
        m_spare.pop_back();
    }
    bytes.resize(size);
    std::memcpy(bytes.data(), data, size);
    m_waiting.push_back({index, std::move(bytes)});
    lock.unlock();
    m_changed.notify_all();
    return true;
}

bool FrameWriterThread::Failed() {
    std::lock_guard lock(m_mutex);
    return m_failed;
}

void FrameWriterThread::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_closing || !m_waiting.empty(); });
        if (m_waiting.empty() || m_failed)
            return;
        // The frame stays at the head while it is written, so it counts against the two that may wait.
        Frame& frame = m_waiting.front();
        lock.unlock();
        const bool written =
            m_write(frame.index, frame.bytes.data(), static_cast<uint32_t>(frame.bytes.size()));
        lock.lock();
        m_spare.push_back(std::move(m_waiting.front().bytes));
        m_waiting.pop_front();
        if (!written) {
            m_failed = true;
            m_waiting.clear();
        }
        m_changed.notify_all();
        if (m_failed)
            return;
    }
}
