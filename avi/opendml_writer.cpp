#include "avi/opendml_writer.h"

#include <algorithm>
#include <new>

#include "avi/avi_layout.h"
#include "platform/little_endian.h"

using avi::Encoder;

namespace {

constexpr uint64_t kSixHoursSeconds = 6 * 3600;
constexpr uint32_t kMinimumSuperEntries = 64;
constexpr uint32_t kMaximumSuperEntries = 1u << 20;
constexpr uint32_t kBiCompressionOffset = 16;

uint64_t CeilDiv(uint64_t a, uint64_t b) {
    return (a + b - 1) / b;
}

// One entry per standard index run and one per segment, for six hours at the stream's rate with every
// frame as large as the suggested buffer; one spare for indexing what reached the disk after a failure.
uint32_t SuperCapacity(const VideoStreamHeader& h, const WriterLimits& limits) {
    if (limits.superIndexEntries)
        return limits.superIndexEntries;
    const uint64_t frames =
        CeilDiv(kSixHoursSeconds * std::max<uint32_t>(h.rate, 1), std::max<uint32_t>(h.scale, 1));
    const uint64_t bytes = frames * (uint64_t{h.suggestedBufferSize} + 8);
    uint64_t entries = CeilDiv(frames, limits.runFrames) + CeilDiv(bytes, limits.segmentBytes) + 2;
    return static_cast<uint32_t>(std::clamp<uint64_t>(entries, kMinimumSuperEntries, kMaximumSuperEntries));
}

} // namespace

OpenDmlWriter::OpenDmlWriter(ByteSink& sink, const VideoStreamHeader& header, const WriterLimits& limits)
    : m_sink(sink), m_header(header), m_limits(limits), m_superCapacity(SuperCapacity(header, limits)) {}

uint64_t OpenDmlWriter::ReserveBytes() const {
    // Room for a standard index of every frame one flush can leave pending, plus the JUNK header that
    // keeps the chunk chain intact behind it.
    return 8 + avi::kStandardIndexHeaderSize + uint64_t{avi::kStandardIndexEntrySize} * m_limits.flushFrames +
           8;
}

bool OpenDmlWriter::Put(uint64_t offset, const std::vector<uint8_t>& bytes) {
    return m_sink.WriteAt(offset, bytes.data(), bytes.size());
}

bool OpenDmlWriter::PutU32(uint64_t offset, uint32_t value) {
    uint8_t b[4];
    little_endian::StoreU32(b, value);
    return m_sink.WriteAt(offset, b, sizeof(b));
}

bool OpenDmlWriter::SetFormat(const void* format, size_t size) {
    if (m_headerWritten || m_failed || size > 0xFFFFFFF0u)
        return false;
    try {
        const auto* f = static_cast<const uint8_t*>(format);
        m_format.assign(f, f + size);
        ChooseChunkId();
        Encoder e;
        e.U32(avi::kRiff);
        const size_t riffSize = e.U32(0);
        e.U32(avi::kAvi);
        AppendHeaderList(e);
        const MoviStart movi = AppendMovi(e);
        e.PatchSize(riffSize);

        m_headerWritten = true;
        m_segStart = 0;
        m_moviSizePos = movi.sizePos;
        m_reservePos = movi.reservePos;
        if (!Put(0, e.bytes()))
            return Fail();
        m_end = e.size();
        m_flushedEnd = m_end;
        return m_sink.Flush() || Fail();
    } catch (const std::bad_alloc&) {
        return Fail();
    }
}

void OpenDmlWriter::ChooseChunkId() {
    const bool uncompressed = m_format.size() >= kBiCompressionOffset + 4 &&
                              little_endian::LoadU32(&m_format[kBiCompressionOffset]) == 0;
    m_chunkId = uncompressed ? avi::kUncompressedFrame : avi::kCompressedFrame;
    // The stream is created before the codec is chosen; players look for the codec in the stream
    // header too.
    if (!uncompressed && m_header.handler == 0 && m_format.size() >= kBiCompressionOffset + 4)
        m_header.handler = little_endian::LoadU32(&m_format[kBiCompressionOffset]);
}

void OpenDmlWriter::AppendHeaderList(Encoder& e) {
    e.U32(avi::kList);
    const size_t hdrlSize = e.U32(0);
    e.U32(avi::kHdrl);
    AppendMainHeader(e);
    AppendStreamList(e);
    AppendOdmlList(e);
    e.PatchSize(hdrlSize);
}

void OpenDmlWriter::AppendMainHeader(Encoder& e) {
    const uint32_t rate = std::max<uint32_t>(m_header.rate, 1), scale = std::max<uint32_t>(m_header.scale, 1);
    const uint64_t bytesPerSec = uint64_t{m_header.suggestedBufferSize} * rate / scale;
    e.U32(avi::kAvih);
    e.U32(avi::kMainHeaderSize);
    e.U32(static_cast<uint32_t>(uint64_t{1000000} * scale / rate));
    e.U32(static_cast<uint32_t>(std::min<uint64_t>(bytesPerSec, 0xFFFFFFFFu)));
    e.U32(0); // padding granularity
    m_avihFlagsPos = e.U32(0);
    m_avihFramesPos = e.U32(0);
    e.U32(0); // initial frames
    e.U32(1); // streams
    e.U32(m_header.suggestedBufferSize);
    e.U32(static_cast<uint32_t>(m_header.right - m_header.left));
    e.U32(static_cast<uint32_t>(m_header.bottom - m_header.top));
    e.Zeros(16);
}

void OpenDmlWriter::AppendStreamList(Encoder& e) {
    e.U32(avi::kList);
    const size_t strlSize = e.U32(0);
    e.U32(avi::kStrl);
    e.U32(avi::kStrh);
    e.U32(avi::kStreamHeaderSize);
    e.U32(avi::kVids);
    e.U32(m_header.handler);
    e.U32(0); // flags
    e.U16(0); // priority
    e.U16(0); // language
    e.U32(0); // initial frames
    e.U32(std::max<uint32_t>(m_header.scale, 1));
    e.U32(std::max<uint32_t>(m_header.rate, 1));
    e.U32(0); // start
    m_strhLengthPos = e.U32(0);
    e.U32(m_header.suggestedBufferSize);
    e.U32(m_header.quality);
    e.U32(0); // sample size
    e.U16(static_cast<uint16_t>(m_header.left));
    e.U16(static_cast<uint16_t>(m_header.top));
    e.U16(static_cast<uint16_t>(m_header.right));
    e.U16(static_cast<uint16_t>(m_header.bottom));

    e.U32(avi::kStrf);
    e.U32(static_cast<uint32_t>(m_format.size()));
    e.Bytes(m_format.data(), m_format.size());
    e.Zeros(m_format.size() & 1);
    AppendSuperIndex(e);
    e.PatchSize(strlSize);
}

void OpenDmlWriter::AppendSuperIndex(Encoder& e) {
    e.U32(avi::kIndx);
    e.U32(avi::kSuperIndexHeaderSize + avi::kSuperIndexEntrySize * m_superCapacity);
    e.U16(4); // longs per entry
    e.U8(0);
    e.U8(avi::kIndexOfIndexes);
    m_indxCountPos = e.U32(0);
    e.U32(m_chunkId);
    e.Zeros(12);
    m_indxEntriesPos = e.Zeros(size_t{avi::kSuperIndexEntrySize} * m_superCapacity);
}

void OpenDmlWriter::AppendOdmlList(Encoder& e) {
    e.U32(avi::kList);
    const size_t odmlSize = e.U32(0);
    e.U32(avi::kOdml);
    e.U32(avi::kDmlh);
    e.U32(avi::kDmlhSize);
    m_dmlhFramesPos = e.U32(0);
    e.Zeros(avi::kDmlhSize - 4);
    e.PatchSize(odmlSize);
}

OpenDmlWriter::MoviStart OpenDmlWriter::AppendMovi(Encoder& e) const {
    e.U32(avi::kList);
    const size_t moviSize = e.U32(0);
    e.U32(avi::kMovi);
    const size_t reserve = e.size();
    AppendReserve(e, 0);
    e.PatchSize(moviSize);
    return {moviSize, reserve};
}

// A JUNK chunk over what is left of the reserve once `used` bytes of it hold an index.
void OpenDmlWriter::AppendReserve(Encoder& e, uint64_t used) const {
    e.U32(avi::kJunk);
    e.U32(static_cast<uint32_t>(ReserveBytes() - used - 8));
    e.Zeros(ReserveBytes() - used - 8);
}

uint64_t OpenDmlWriter::ProjectedSegmentBytes(uint32_t nextFrameSize) const {
    uint64_t bytes = m_end + 8 + avi::Padded(nextFrameSize) - m_segStart;
    bytes += 8 + avi::kStandardIndexHeaderSize + uint64_t{avi::kStandardIndexEntrySize} * (m_run.size() + 1);
    bytes += ReserveBytes();
    if (m_firstSegment)
        bytes += 8 + uint64_t{avi::kIdx1EntrySize} * (m_firstIndex.size() + 1);
    return bytes;
}

bool OpenDmlWriter::WriteFrame(const void* data, uint32_t size, bool key, uint64_t nowMs) {
    if (!m_headerWritten || m_failed || m_finished || m_frames == 0xFFFFFFFFu)
        return false;
    try {
        if (m_segFrames > 0 && ProjectedSegmentBytes(size) > m_limits.segmentBytes && !StartNextSegment())
            return false;
        m_run.reserve(m_run.size() + 1);
        if (m_firstSegment)
            m_firstIndex.reserve(m_firstIndex.size() + 1);

        uint8_t head[8];
        little_endian::StoreU32(head, m_chunkId);
        little_endian::StoreU32(head + 4, size);
        static const uint8_t pad = 0;
        if (!m_sink.WriteAt(m_end, head, sizeof(head)) || !m_sink.WriteAt(m_end + 8, data, size) ||
            ((size & 1) && !m_sink.WriteAt(m_end + 8 + size, &pad, 1)) || !m_sink.Flush())
            return Fail();
        const ChunkRef ref{m_end + 8, size, key};
        m_end += 8 + avi::Padded(size);
        m_run.push_back(ref);
        if (m_firstSegment) {
            m_firstIndex.push_back(ref);
            ++m_firstFrames;
        }
        ++m_frames;
        ++m_segFrames;

        const bool due = m_run.size() - m_runFlushed >= m_limits.flushFrames || !m_everFlushed ||
                         nowMs - m_lastFlushMs >= m_limits.flushMs;
        if (due) {
            if (!FlushSegment(false))
                return false;
            m_lastFlushMs = nowMs;
            m_everFlushed = true;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return Fail();
    }
}

std::vector<uint8_t> OpenDmlWriter::StandardIndex(size_t from, size_t to, bool withReserve) const {
    Encoder e;
    const uint32_t entries = static_cast<uint32_t>(to - from);
    e.U32(avi::kIx00);
    e.U32(avi::kStandardIndexHeaderSize + avi::kStandardIndexEntrySize * entries);
    e.U16(2); // longs per entry
    e.U8(0);
    e.U8(avi::kIndexOfChunks);
    e.U32(entries);
    e.U32(m_chunkId);
    e.U64(m_segStart);
    e.U32(0);
    for (size_t i = from; i < to; ++i) {
        e.U32(static_cast<uint32_t>(m_run[i].dataPos - m_segStart));
        e.U32(m_run[i].size | (m_run[i].key ? 0 : avi::kDeltaFrameBit));
    }
    if (withReserve) {
        e.U32(avi::kJunk);
        e.U32(static_cast<uint32_t>(ReserveBytes() - 8));
        e.Zeros(ReserveBytes() - 8);
    }
    return e.bytes();
}

bool OpenDmlWriter::PutSuperEntry(size_t slot) {
    Encoder e;
    e.U64(m_super[slot].offset);
    e.U32(m_super[slot].size);
    e.U32(m_super[slot].duration);
    return Put(m_indxEntriesPos + slot * avi::kSuperIndexEntrySize, e.bytes());
}

bool OpenDmlWriter::PatchCounts() {
    if (m_firstSegment && !PutU32(m_avihFramesPos, m_firstFrames))
        return false;
    if (m_idx1Written && !PutU32(m_avihFlagsPos, avi::kAvifHasIndex))
        return false;
    return PutU32(m_strhLengthPos, m_frames) && PutU32(m_dmlhFramesPos, m_frames);
}

// The order of the writes keeps the file readable after each one: new chunks go beyond the recorded
// sizes first, then the sizes take them in, then the indexes point at them, then the counts follow.
bool OpenDmlWriter::FlushSegment(bool closing) {
    if (m_failed)
        return false;
    const bool pending = m_run.size() > m_runFlushed;
    const bool newRun = pending && !m_runOpen;
    if (newRun && m_super.size() + 1 >= m_superCapacity)
        return Fail();
    try {
        uint64_t indexPos = 0, indexBytes = 0, reservePos = m_reservePos;
        if (pending) {
            std::vector<uint8_t> index = StandardIndex(0, m_run.size(), true);
            if (!Put(m_end, index))
                return Fail();
            indexPos = m_end;
            indexBytes = index.size() - ReserveBytes();
            reservePos = m_end + indexBytes;
            m_end += index.size();
        }
        const uint64_t moviEnd = m_end;
        if (closing && m_firstSegment && !m_idx1Written) {
            Encoder e;
            e.U32(avi::kIdx1);
            e.U32(static_cast<uint32_t>(avi::kIdx1EntrySize * m_firstIndex.size()));
            const uint64_t moviData = m_moviSizePos + 4;
            for (const ChunkRef& c : m_firstIndex) {
                e.U32(m_chunkId);
                e.U32(c.key ? avi::kIndexFlagKeyFrame : 0);
                e.U32(static_cast<uint32_t>(c.dataPos - 8 - moviData));
                e.U32(c.size);
            }
            if (!Put(m_end, e.bytes()))
                return Fail();
            m_end += e.size();
            m_idx1Written = true;
        }

        const uint32_t riffSize = static_cast<uint32_t>(m_end - m_segStart - 8);
        const uint32_t moviSize = static_cast<uint32_t>(moviEnd - m_moviSizePos - 4);
        if (m_firstSegment) {
            if (!PutU32(m_segStart + 4, riffSize) || !PutU32(m_moviSizePos, moviSize))
                return Fail();
        } else {
            Encoder e; // RIFF size through movi size: one write
            e.U32(riffSize);
            e.U32(avi::kAvix);
            e.U32(avi::kList);
            e.U32(moviSize);
            if (!Put(m_segStart + 4, e.bytes()))
                return Fail();
        }

        if (pending) {
            const SuperEntry entry{indexPos, static_cast<uint32_t>(indexBytes),
                                   static_cast<uint32_t>(m_run.size())};
            if (newRun)
                m_super.push_back(entry);
            else
                m_super.back() = entry;
            // The entry first, then the count that makes it visible.
            if (!PutSuperEntry(m_super.size() - 1) ||
                (newRun && !PutU32(m_indxCountPos, static_cast<uint32_t>(m_super.size()))))
                return Fail();
            m_reservePos = reservePos;
            m_runFlushed = m_run.size();
            m_runOpen = true;
        }
        if (!PatchCounts() || !m_sink.Flush())
            return Fail();
        m_flushedEnd = m_end;
        if (closing || m_run.size() >= m_limits.runFrames) {
            m_run.clear();
            m_runFlushed = 0;
            m_runOpen = false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return Fail();
    }
}

bool OpenDmlWriter::StartNextSegment() {
    if (!FlushSegment(true))
        return false;
    Encoder e;
    e.U32(avi::kRiff);
    e.U32(0);
    e.U32(avi::kAvix);
    e.U32(avi::kList);
    e.U32(0);
    e.U32(avi::kMovi);
    const size_t reserve = e.U32(avi::kJunk);
    e.U32(static_cast<uint32_t>(ReserveBytes() - 8));
    e.Zeros(ReserveBytes() - 8);
    little_endian::StoreU32(&e.bytes()[4], static_cast<uint32_t>(e.size() - 8));
    little_endian::StoreU32(&e.bytes()[16], static_cast<uint32_t>(e.size() - 20));
    if (!Put(m_end, e.bytes()))
        return Fail();
    m_firstSegment = false;
    m_segStart = m_end;
    m_moviSizePos = m_end + 16;
    m_reservePos = m_end + reserve;
    m_end += e.size();
    m_segFrames = 0;
    m_flushedEnd = m_end;
    return true;
}

// Indexes the frames that reached the disk since the last flush inside the reserved JUNK chunk, whose
// room was allocated before; the new chunks beyond it need no more room than they already took.
bool OpenDmlWriter::Fail() {
    if (m_failed)
        return false;
    m_failed = true;
    try {
        // Frames whose bytes may not have reached the file are not indexed (nor counted).
        const uint64_t safeEnd = std::min(m_end, m_sink.FailedAt());
        m_end = m_flushedEnd;
        while (m_run.size() > m_runFlushed && m_run.back().dataPos + m_run.back().size > safeEnd) {
            m_run.pop_back();
            if (m_firstSegment && !m_idx1Written) {
                m_firstIndex.pop_back();
                --m_firstFrames;
            }
            --m_frames;
            --m_segFrames;
        }
        if (m_run.size() > m_runFlushed)
            m_end = std::max(m_end, m_run.back().dataPos + avi::Padded(m_run.back().size));
        const size_t pending = m_run.size() - m_runFlushed;
        if (pending > 0 && m_reservePos != 0 && m_super.size() < m_superCapacity &&
            pending <= m_limits.flushFrames) {
            std::vector<uint8_t> index = StandardIndex(m_runFlushed, m_run.size(), false);
            const uint64_t indexBytes = index.size();
            Encoder junk;
            junk.U32(avi::kJunk);
            junk.U32(static_cast<uint32_t>(ReserveBytes() - indexBytes - 8));
            index.insert(index.end(), junk.bytes().begin(), junk.bytes().end());
            m_super.push_back(
                {m_reservePos, static_cast<uint32_t>(indexBytes), static_cast<uint32_t>(pending)});
            if (!Put(m_reservePos, index) || !PutSuperEntry(m_super.size() - 1) ||
                !PutU32(m_indxCountPos, static_cast<uint32_t>(m_super.size())))
                return false;
            m_reservePos = 0;
            m_runFlushed = m_run.size();
        }
        const uint32_t riffSize = static_cast<uint32_t>(m_end - m_segStart - 8);
        const uint32_t moviSize = static_cast<uint32_t>(m_end - m_moviSizePos - 4);
        // A first RIFF that already holds its idx1 is closed and stays as it is.
        if (m_headerWritten && !(m_firstSegment && m_idx1Written)) {
            if (!PutU32(m_segStart + 4, riffSize) || !PutU32(m_moviSizePos, moviSize))
                return false;
        }
        if (m_headerWritten)
            PatchCounts();
        m_sink.Flush();
    } catch (const std::bad_alloc&) {
    }
    return false;
}

bool OpenDmlWriter::Flush() {
    if (!m_headerWritten || m_failed || m_finished)
        return false;
    return FlushSegment(false);
}

bool OpenDmlWriter::Finish() {
    if (m_finished)
        return !m_failed;
    if (!m_headerWritten && !m_failed)
        SetFormat(nullptr, 0);
    const bool ok = !m_failed && FlushSegment(true);
    m_finished = true;
    return ok;
}
