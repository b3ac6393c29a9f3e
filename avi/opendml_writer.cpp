#include "avi/opendml_writer.h"

#include <algorithm>
#include <new>

#include "avi/avi_layout.h"
#include "platform/little_endian.h"

using avi::Encoder;

namespace {

// An unlimited recording goes on until the user stops it or the disk fills, so the super index, whose
// room is fixed when the header is written, covers a week of video.
constexpr uint64_t kIndexedSeconds = 7 * 24 * 3600;
constexpr uint32_t kMinimumSuperEntries = 64;
constexpr uint32_t kMaximumSuperEntries = 1u << 20;
constexpr uint32_t kBiCompressionOffset = 16;

uint64_t CeilDiv(uint64_t a, uint64_t b) {
    return (a + b - 1) / b;
}

// One entry per standard index run and one per segment, for a week at the stream's rate with every
// frame as large as the suggested buffer; one spare for indexing what reached the disk after a failure.
uint32_t SuperCapacity(const VideoStreamHeader& h, const WriterLimits& limits) {
    if (limits.superIndexEntries)
        return limits.superIndexEntries;
    const uint64_t frames =
        CeilDiv(kIndexedSeconds * std::max<uint32_t>(h.rate, 1), std::max<uint32_t>(h.scale, 1));
    const uint64_t bytes = frames * (uint64_t{h.suggestedBufferSize} + 8);
    uint64_t entries = CeilDiv(frames, limits.runFrames) + CeilDiv(bytes, limits.segmentBytes) + 2;
    return static_cast<uint32_t>(std::clamp<uint64_t>(entries, kMinimumSuperEntries, kMaximumSuperEntries));
}

// The reserve holds an index of the frames one flush covers: a flush at every frame still needs room
// for one.
WriterLimits AtLeastOneFrameAFlush(WriterLimits limits) {
    limits.flushFrames = std::max<uint32_t>(limits.flushFrames, 1);
    return limits;
}

} // namespace

OpenDmlWriter::OpenDmlWriter(ByteSink& sink, const VideoStreamHeader& header, const WriterLimits& limits)
    : m_sink(sink), m_header(header), m_limits(AtLeastOneFrameAFlush(limits)),
      m_superCapacity(SuperCapacity(header, m_limits)) {}

uint64_t OpenDmlWriter::ReserveBytes() const {
    // Room for a standard index of every frame one flush can leave pending, plus the JUNK header that
    // keeps the chunk chain intact behind it.
    return 8 + avi::kStandardIndexHeaderSize + uint64_t{avi::kStandardIndexEntrySize} * m_limits.flushFrames +
           8;
}

bool OpenDmlWriter::Put(uint64_t offset, const std::vector<uint8_t>& bytes) {
    m_issuedEnd = std::max(m_issuedEnd, offset + bytes.size());
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
        if (!Put(0, e.bytes()) || !m_sink.Flush())
            return Fail();
        m_headerWritten = true;
        m_segStart = 0;
        m_moviSizePos = movi.sizePos;
        m_reservePos = movi.reservePos;
        m_end = m_moviEnd = e.size();
        return true;
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
        m_issuedEnd = std::max(m_issuedEnd, m_end + 8 + avi::Padded(size));
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

// A standard index of the run's frames from `from` on; the super-index entry that would name it where
// the encoder's bytes start at m_end.
OpenDmlWriter::SuperEntry OpenDmlWriter::AppendStandardIndex(Encoder& e, size_t from,
                                                             bool withReserve) const {
    const uint32_t entries = static_cast<uint32_t>(m_run.size() - from);
    const size_t start = e.size();
    e.U32(avi::kIx00);
    e.U32(avi::kStandardIndexHeaderSize + avi::kStandardIndexEntrySize * entries);
    e.U16(2); // longs per entry
    e.U8(0);
    e.U8(avi::kIndexOfChunks);
    e.U32(entries);
    e.U32(m_chunkId);
    e.U64(m_segStart);
    e.U32(0);
    for (size_t i = from; i < m_run.size(); ++i) {
        e.U32(static_cast<uint32_t>(m_run[i].dataPos - m_segStart));
        e.U32(m_run[i].size | (m_run[i].key ? 0 : avi::kDeltaFrameBit));
    }
    const SuperEntry entry{m_end + start, static_cast<uint32_t>(e.size() - start), entries};
    if (withReserve)
        AppendReserve(e, 0);
    return entry;
}

// The offsets count from the start of the file, as the format allows beside counting from the movi
// list: Wine's AVIFile reader takes the first entry for the list's first chunk, and ours follows the
// reserve. The first RIFF stays far below 4 GiB.
void OpenDmlWriter::AppendIdx1(Encoder& e) const {
    e.U32(avi::kIdx1);
    e.U32(static_cast<uint32_t>(avi::kIdx1EntrySize * m_firstIndex.size()));
    for (const ChunkRef& c : m_firstIndex) {
        e.U32(m_chunkId);
        e.U32(c.key ? avi::kIndexFlagKeyFrame : 0);
        e.U32(static_cast<uint32_t>(c.dataPos - 8));
        e.U32(c.size);
    }
}

bool OpenDmlWriter::PutSizes(uint64_t end, uint64_t moviEnd) {
    const uint32_t riffSize = static_cast<uint32_t>(end - m_segStart - 8);
    const uint32_t moviSize = static_cast<uint32_t>(moviEnd - m_moviSizePos - 4);
    if (m_firstSegment)
        return PutU32(m_segStart + 4, riffSize) && PutU32(m_moviSizePos, moviSize);
    Encoder e; // RIFF size through movi size: one write
    e.U32(riffSize);
    e.U32(avi::kAvix);
    e.U32(avi::kList);
    e.U32(moviSize);
    return Put(m_segStart + 4, e.bytes());
}

bool OpenDmlWriter::PutSuperEntry(size_t slot, const SuperEntry& entry) {
    uint8_t b[avi::kSuperIndexEntrySize];
    little_endian::StoreU64(b, entry.offset);
    little_endian::StoreU32(b + 8, entry.size);
    little_endian::StoreU32(b + 12, entry.duration);
    return m_sink.WriteAt(m_indxEntriesPos + slot * avi::kSuperIndexEntrySize, b, sizeof(b));
}

bool OpenDmlWriter::PutCounts(bool hasIndex) {
    return PutU32(m_avihFlagsPos, hasIndex ? avi::kAvifHasIndex : 0) &&
           (!m_firstSegment || PutU32(m_avihFramesPos, m_firstFrames)) && PutU32(m_strhLengthPos, m_frames) &&
           PutU32(m_dmlhFramesPos, m_frames);
}

// The order of the writes keeps the file readable after each one: new chunks go beyond the recorded
// sizes first, then the sizes take them in, then the super index names the new standard index, then
// the counts follow. Only once all of it is flushed does the writer take it as the file's state.
bool OpenDmlWriter::FlushSegment(bool closing) {
    if (m_failed)
        return false;
    const bool pending = m_run.size() > m_runFlushed;
    const bool newRun = pending && !m_runOpen;
    if (newRun && m_super.size() + 1 >= m_superCapacity)
        return Fail();
    try {
        const bool closesFirst = closing && m_firstSegment;
        m_super.reserve(m_super.size() + 1); // recording the flush cannot fail
        Encoder tail;
        const SuperEntry entry = pending ? AppendStandardIndex(tail, 0, true) : SuperEntry{};
        const uint64_t moviEnd = m_end + tail.size();
        if (closesFirst)
            AppendIdx1(tail);
        const uint64_t end = m_end + tail.size();
        const size_t slot = newRun ? m_super.size() : m_super.size() - 1;
        if (!Put(m_end, tail.bytes()) || !PutSizes(end, moviEnd) ||
            (pending && !PutSuperEntry(slot, entry)) ||
            (newRun && !PutU32(m_indxCountPos, static_cast<uint32_t>(slot + 1))) ||
            !PutCounts(m_idx1Written || closesFirst) || !m_sink.Flush())
            return Fail();

        m_end = end;
        m_moviEnd = moviEnd;
        m_idx1Written = m_idx1Written || closesFirst;
        if (pending)
            RecordRunIndexed(entry, newRun);
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

void OpenDmlWriter::RecordRunIndexed(const SuperEntry& entry, bool newRun) {
    if (newRun)
        m_super.push_back(entry);
    else
        m_super.back() = entry;
    m_reservePos = entry.offset + entry.size;
    m_runFlushed = m_run.size();
    m_runOpen = true;
}

bool OpenDmlWriter::StartNextSegment() {
    if (!FlushSegment(true))
        return false;
    Encoder e;
    e.U32(avi::kRiff);
    const size_t riffSize = e.U32(0);
    e.U32(avi::kAvix);
    const MoviStart movi = AppendMovi(e);
    e.PatchSize(riffSize);
    if (!Put(m_end, e.bytes()) || !m_sink.Flush())
        return Fail();
    m_firstSegment = false;
    m_segStart = m_end;
    m_moviSizePos = m_end + movi.sizePos;
    m_reservePos = m_end + movi.reservePos;
    m_end = m_moviEnd = m_end + e.size();
    m_segFrames = 0;
    return true;
}

// The file is put back to its state at the last flush, plus the frames written since: each of them was
// flushed, so they are indexed in the room reserved behind the last standard index (a flush covers at
// most that many, and the super index keeps a spare entry), and the file is cut after the last one.
bool OpenDmlWriter::Fail() {
    if (m_failed)
        return false;
    m_failed = true;
    try {
        if (!m_headerWritten) {
            CutAt(0);
            m_sink.Flush();
            return false;
        }
        const size_t pending = m_run.size() - m_runFlushed;
        CutAt(m_end);
        // The failed flush may have got as far as the super index.
        size_t entries = m_super.size();
        if (entries > 0)
            PutSuperEntry(entries - 1, m_super.back());
        if (pending > 0) {
            Encoder index;
            const SuperEntry entry = AppendStandardIndex(index, m_runFlushed, false);
            AppendReserve(index, entry.size);
            Put(m_reservePos, index.bytes());
            PutSuperEntry(entries++, {m_reservePos, entry.size, entry.duration});
        }
        PutU32(m_indxCountPos, static_cast<uint32_t>(entries));
        PutSizes(m_end, pending > 0 ? m_end : m_moviEnd);
        PutCounts(m_idx1Written);
        m_sink.Flush();
    } catch (const std::bad_alloc&) {
    }
    return false;
}

// Bytes past the end would be a torn chunk to a reader that scans chunks. Where the file cannot be
// cut, the torn chunk at least becomes JUNK.
void OpenDmlWriter::CutAt(uint64_t end) {
    if (!m_sink.Truncate(end) && m_issuedEnd >= end + 4) {
        uint8_t id[4];
        little_endian::StoreU32(id, avi::kJunk);
        m_sink.WriteAt(end, id, sizeof(id));
    }
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
