#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "avi/opendml_writer.h"

// A strict reader of one-video-stream AVI files with OpenDML indexes: what a player uses, and in `errors`
// every way the file disagrees with itself. Every id, flag and offset it checks is spelled out in it.
namespace test_support {

struct AviFrame {
    uint64_t offset; // of the chunk's header
    uint32_t size;
    bool key;
    bool operator==(const AviFrame&) const = default;
};

struct AviFile {
    std::vector<uint32_t> riffs; // the sizes their headers give
    uint64_t end = 0;            // end of the last RIFF that fits in the file
    uint32_t microSecPerFrame = 0, flags = 0, width = 0, height = 0;                // avih
    uint32_t handler = 0, scale = 0, rate = 0, suggestedBufferSize = 0, length = 0; // strh
    std::vector<uint8_t> format;                                                    // strf
    std::vector<AviFrame> frames; // through the super index and the standard indexes, in order
    std::vector<std::string> errors;
};

AviFile ReadAvi(std::span<const uint8_t> file);

struct Disk {
    uint64_t capacity = UINT64_MAX; // the file's bytes fit below it
    bool partial = false;           // a write across it writes what fits before failing
    bool truncates = true;
    uint64_t failingWrite = 0; // this write (counting from 1) fails, as an I/O error would, once
};

// A file in memory behind the file sink's buffering: appending writes under 4 KiB gather in a 64 KiB
// buffer; larger ones, and writes elsewhere, hand the buffer over first.
class DiskSink : public ByteSink {
public:
    // An empty file again; the memory stays, which keeps thousands of runs quick.
    void Reset(Disk disk) { m_disk = disk, writes = 0, bytes.clear(), m_held.clear(); }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        const bool flushed =
            (offset == m_heldAt + m_held.size() && size < 4096 && m_held.size() + size <= 65536) || Flush();
        if (size >= 4096)
            return WriteThrough(offset, p, size) && flushed;
        m_heldAt = m_held.empty() ? offset : m_heldAt;
        m_held.insert(m_held.end(), p, p + size);
        return flushed;
    }
    bool Flush() override {
        const bool written = m_held.empty() || WriteThrough(m_heldAt, m_held.data(), m_held.size());
        m_held.clear();
        return written;
    }
    bool Truncate(uint64_t size) override {
        m_held.resize(m_heldAt >= size ? 0 : std::min<uint64_t>(m_held.size(), size - m_heldAt));
        const bool flushed = Flush();
        if (m_disk.truncates)
            bytes.resize(size);
        return m_disk.truncates && flushed;
    }
    std::vector<uint8_t> bytes;
    uint64_t writes = 0;

private:
    bool WriteThrough(uint64_t offset, const uint8_t* p, size_t size) {
        const uint64_t room = offset < m_disk.capacity ? m_disk.capacity - offset : 0;
        size_t fits = size <= room ? size : m_disk.partial ? room : 0;
        fits = ++writes == m_disk.failingWrite ? 0 : fits;
        if (fits > 0) {
            bytes.resize(std::max<uint64_t>(bytes.size(), offset + fits));
            std::memcpy(bytes.data() + offset, p, fits);
        }
        return fits == size;
    }
    Disk m_disk;
    std::vector<uint8_t> m_held;
    uint64_t m_heldAt = 0;
};

} // namespace test_support
