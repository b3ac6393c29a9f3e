#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace avi {
class Encoder;
}

// Where the writer's bytes go: positioned writes, in the order issued, and a flush that hands
// everything written so far to the system. A sink may hold writes back, so a failure can surface at a
// later call. Writes after a failure are still attempted (a full disk still takes writes over bytes it
// already holds), and so is cutting the file, which gives room back.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
    virtual bool Flush() = 0;
    // Ends the file at `size`; writes held back for bytes beyond it are dropped.
    virtual bool Truncate(uint64_t size) = 0;
};

// What the stream header says about the one video stream.
struct VideoStreamHeader {
    uint32_t handler = 0;
    uint32_t scale = 1;
    uint32_t rate = 1;
    uint32_t suggestedBufferSize = 0;
    uint32_t quality = 0;
    int16_t left = 0, top = 0, right = 0, bottom = 0;
};

struct WriterLimits {
    uint64_t segmentBytes = uint64_t{1} << 30; // each RIFF, the first included
    uint32_t flushFrames = 32;
    uint64_t flushMs = 1000;
    uint32_t runFrames = 256;       // frames one standard index covers at most
    uint32_t superIndexEntries = 0; // 0: room for a week at the stream's rate
};

// Writes one video stream as an OpenDML (AVI 2.0) file: a first RIFF 'AVI ' with the headers, a super
// index, frames and an idx1, then RIFF 'AVIX' segments. At every flush the file on disk is complete
// (sizes, counts and indexes cover every frame written so far), so a killed process leaves a file that
// readers open as it was at the last flush. After a write failure the writer indexes the frames
// written since, using room it keeps reserved for that, cuts the file after them and refuses further
// work.
class OpenDmlWriter {
public:
    OpenDmlWriter(ByteSink& sink, const VideoStreamHeader& header, const WriterLimits& limits = {});
    OpenDmlWriter(const OpenDmlWriter&) = delete;
    OpenDmlWriter& operator=(const OpenDmlWriter&) = delete;

    // Fixes the stream format (a BITMAPINFOHEADER and its colour table, or a codec's format) and
    // writes the headers. Only once, before the first frame.
    bool SetFormat(const void* format, size_t size);
    // Appends one frame; nowMs is a monotonic clock that decides the periodic flush.
    bool WriteFrame(const void* data, uint32_t size, bool key, uint64_t nowMs);
    // Closes the last segment (and the first RIFF's idx1). Further calls do nothing.
    bool Finish();

    bool HasFormat() const { return m_headerWritten; }
    const std::vector<uint8_t>& Format() const { return m_format; }
    uint32_t Frames() const { return m_frames; }
    bool Failed() const { return m_failed; }
    uint32_t SuperIndexCapacity() const { return m_superCapacity; }

private:
    struct ChunkRef {
        uint64_t dataPos;
        uint32_t size;
        bool key;
    };
    struct SuperEntry {
        uint64_t offset;
        uint32_t size;
        uint32_t duration;
    };
    struct MoviStart {
        size_t sizePos, reservePos; // in the encoder's bytes
    };

    void ChooseChunkId();
    void AppendHeaderList(avi::Encoder& e);
    void AppendMainHeader(avi::Encoder& e);
    void AppendStreamList(avi::Encoder& e);
    void AppendSuperIndex(avi::Encoder& e);
    void AppendOdmlList(avi::Encoder& e);
    MoviStart AppendMovi(avi::Encoder& e) const;
    void AppendReserve(avi::Encoder& e, uint64_t used) const;
    SuperEntry AppendStandardIndex(avi::Encoder& e, size_t from, bool withReserve) const;
    void AppendIdx1(avi::Encoder& e) const;

    bool FlushSegment(bool closing);
    void RecordRunIndexed(const SuperEntry& entry, bool newRun);
    bool StartNextSegment();
    bool Fail();
    void CutAt(uint64_t end);
    bool Put(uint64_t offset, const std::vector<uint8_t>& bytes);
    bool PutU32(uint64_t offset, uint32_t value);
    bool PutSizes(uint64_t end, uint64_t moviEnd);
    bool PutSuperEntry(size_t slot, const SuperEntry& entry);
    bool PutCounts(bool hasIndex);
    uint64_t ReserveBytes() const;
    uint64_t ProjectedSegmentBytes(uint32_t nextFrameSize) const;

    ByteSink& m_sink;
    VideoStreamHeader m_header;
    WriterLimits m_limits;
    uint32_t m_superCapacity;
    std::vector<uint8_t> m_format;
    uint32_t m_chunkId = 0;
    bool m_failed = false;
    bool m_finished = false;

    uint64_t m_avihFlagsPos = 0, m_avihFramesPos = 0, m_strhLengthPos = 0, m_dmlhFramesPos = 0;
    uint64_t m_indxCountPos = 0, m_indxEntriesPos = 0;

    // What the file on disk holds as of the last flush; the failure path relies on nothing else.
    bool m_headerWritten = false;
    uint64_t m_segStart = 0, m_moviSizePos = 0; // the last RIFF on disk
    bool m_firstSegment = true;
    uint64_t m_moviEnd = 0;    // the frames written since the last flush lie beyond it
    uint64_t m_reservePos = 0; // behind the last standard index of the last RIFF
    bool m_idx1Written = false;
    std::vector<SuperEntry> m_super;
    size_t m_runFlushed = 0; // frames of m_run its standard index on disk covers
    bool m_runOpen = false;  // the run owns the last super-index entry

    // Frames are counted, and the end moves past them, once their bytes are flushed, indexed or not.
    uint64_t m_end = 0;
    std::vector<ChunkRef> m_run; // frames of the standard index being grown
    std::vector<ChunkRef> m_firstIndex;
    uint32_t m_segFrames = 0;
    uint32_t m_frames = 0, m_firstFrames = 0;
    uint64_t m_issuedEnd = 0; // the furthest byte a write was attempted for
    uint64_t m_lastFlushMs = 0;
    bool m_everFlushed = false;
};
