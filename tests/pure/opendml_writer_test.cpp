#include "avi/opendml_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "avi/avi_layout.h"

namespace {

// A file in memory. With a capacity it behaves like a full disk: bytes beyond it are refused, bytes
// below it are still written.
class MemorySink : public ByteSink {
public:
    explicit MemorySink(uint64_t capacity = UINT64_MAX) : m_capacity(capacity) {}
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        if (offset + size > m_capacity) {
            m_failedAt = std::min(m_failedAt, offset);
            return false;
        }
        if (bytes.size() < offset + size)
            bytes.resize(offset + size);
        std::memcpy(bytes.data() + offset, data, size);
        return true;
    }
    bool Flush() override { return true; }
    uint64_t FailedAt() const override { return m_failedAt; }
    std::vector<uint8_t> bytes;

private:
    uint64_t m_capacity;
    uint64_t m_failedAt = UINT64_MAX;
};

uint32_t U32(const std::vector<uint8_t>& b, uint64_t at) {
    return little_endian::LoadU32(&b.at(at + 3) - 3);
}
uint16_t U16(const std::vector<uint8_t>& b, uint64_t at) {
    return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
uint64_t U64(const std::vector<uint8_t>& b, uint64_t at) {
    return U32(b, at) | uint64_t{U32(b, at + 4)} << 32;
}

struct Frame {
    uint64_t chunk; // position of the chunk header
    uint32_t size;
    bool key;
};

// What a reader sees: the RIFF chain, the headers and the frames the OpenDML indexes name.
struct Parsed {
    std::vector<std::pair<uint64_t, uint32_t>> riffs; // offset, form type
    uint32_t avihFrames = 0, avihFlags = 0, strhLength = 0, dmlhFrames = 0, rate = 0, suggested = 0;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> format;
    std::vector<Frame> frames; // through indx and ix00
    std::vector<Frame> idx1;   // absolute chunk positions
    bool hasIdx1 = false;
};

// Walks chunks inside [from, to) and checks each one fits and is padded to an even size.
void WalkChunks(const std::vector<uint8_t>& b, uint64_t from, uint64_t to, std::vector<uint32_t>* ids) {
    for (uint64_t at = from; at < to;) {
        ASSERT_LE(at + 8, to);
        uint32_t size = U32(b, at + 4);
        ASSERT_LE(at + 8 + avi::Padded(size), to) << "chunk at " << at;
        ids->push_back(U32(b, at));
        at += 8 + avi::Padded(size);
    }
}

Parsed Parse(const std::vector<uint8_t>& b) {
    Parsed p;
    for (uint64_t at = 0; at + 12 <= b.size();) {
        if (U32(b, at) != avi::kRiff)
            break;
        uint32_t size = U32(b, at + 4);
        EXPECT_LE(at + 8 + size, b.size());
        EXPECT_EQ(size % 2, 0u);
        p.riffs.push_back({at, U32(b, at + 8)});
        at += 8 + avi::Padded(size);
    }
    if (p.riffs.empty() || p.riffs[0].second != avi::kAvi) {
        ADD_FAILURE() << "no RIFF AVI";
        return p;
    }
    EXPECT_EQ(U32(b, 12), avi::kList);
    EXPECT_EQ(U32(b, 20), avi::kHdrl);
    EXPECT_EQ(U32(b, 24), avi::kAvih);
    EXPECT_EQ(U32(b, 28), 56u);
    p.avihFlags = U32(b, 44);
    p.avihFrames = U32(b, 48);
    EXPECT_EQ(U32(b, 56), 1u);
    p.width = U32(b, 64);
    p.height = U32(b, 68);
    EXPECT_EQ(U32(b, 88), avi::kList);
    EXPECT_EQ(U32(b, 96), avi::kStrl);
    EXPECT_EQ(U32(b, 100), avi::kStrh);
    EXPECT_EQ(U32(b, 108), avi::kVids);
    EXPECT_EQ(U32(b, 128), 1u); // scale
    p.rate = U32(b, 132);
    p.strhLength = U32(b, 140);
    p.suggested = U32(b, 144);
    EXPECT_EQ(U16(b, 156), 0);
    EXPECT_EQ(U16(b, 158), 0);
    EXPECT_EQ(U16(b, 160), p.width);
    EXPECT_EQ(U16(b, 162), p.height);
    EXPECT_EQ(U32(b, 164), avi::kStrf);
    uint32_t formatSize = U32(b, 168);
    p.format.assign(b.begin() + 172, b.begin() + 172 + formatSize);
    uint64_t indx = 172 + avi::Padded(formatSize);
    EXPECT_EQ(U32(b, indx), avi::kIndx);
    EXPECT_EQ(U16(b, indx + 8), 4);
    EXPECT_EQ(b.at(indx + 11), avi::kIndexOfIndexes);
    uint32_t superEntries = U32(b, indx + 12);
    uint32_t chunkId = U32(b, indx + 16);
    EXPECT_LE(avi::kSuperIndexHeaderSize + 16 * superEntries, U32(b, indx + 4));
    uint64_t odml = indx + 8 + U32(b, indx + 4);
    EXPECT_EQ(odml, 92 + 4 + U32(b, 92)) << "strl ends after indx";
    EXPECT_EQ(U32(b, odml), avi::kList);
    EXPECT_EQ(U32(b, odml + 8), avi::kOdml);
    EXPECT_EQ(U32(b, odml + 12), avi::kDmlh);
    p.dmlhFrames = U32(b, odml + 20);
    uint64_t movi = 20 + U32(b, 16);
    EXPECT_EQ(movi, odml + 8 + U32(b, odml + 4)) << "hdrl ends after odml";
    EXPECT_EQ(U32(b, movi), avi::kList);
    EXPECT_EQ(U32(b, movi + 8), avi::kMovi);
    uint64_t moviEnd = movi + 8 + U32(b, movi + 4);
    std::vector<uint32_t> ids;
    WalkChunks(b, movi + 12, moviEnd, &ids);
    uint64_t riffEnd = 8 + U32(b, 4);
    if (moviEnd < riffEnd) {
        EXPECT_EQ(U32(b, moviEnd), avi::kIdx1);
        p.hasIdx1 = true;
        uint32_t n = U32(b, moviEnd + 4) / 16;
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t e = moviEnd + 8 + 16 * i;
            EXPECT_EQ(U32(b, e), chunkId);
            p.idx1.push_back({movi + 8 + U32(b, e + 8), U32(b, e + 12), (U32(b, e + 4) & 0x10) != 0});
        }
    }
    for (size_t r = 1; r < p.riffs.size(); ++r) {
        uint64_t at = p.riffs[r].first;
        EXPECT_EQ(p.riffs[r].second, avi::kAvix);
        EXPECT_EQ(U32(b, at + 12), avi::kList);
        EXPECT_EQ(U32(b, at + 20), avi::kMovi);
        EXPECT_EQ(at + 8 + U32(b, at + 4), at + 20 + U32(b, at + 16)) << "movi fills the AVIX";
        WalkChunks(b, at + 24, at + 20 + U32(b, at + 16), &ids);
    }
    for (uint32_t s = 0; s < superEntries; ++s) {
        uint64_t e = indx + 32 + 16 * s;
        uint64_t ix = U64(b, e);
        EXPECT_EQ(U32(b, ix), avi::kIx00);
        EXPECT_EQ(U32(b, e + 8), 8 + U32(b, ix + 4)) << "entry size is the ix00 chunk's";
        EXPECT_EQ(U16(b, ix + 8), 2);
        EXPECT_EQ(b.at(ix + 11), avi::kIndexOfChunks);
        uint32_t n = U32(b, ix + 12);
        EXPECT_EQ(U32(b, e + 12), n) << "duration";
        EXPECT_EQ(U32(b, ix + 16), chunkId);
        uint64_t base = U64(b, ix + 20);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t size = U32(b, ix + 36 + 8 * i);
            uint64_t data = base + U32(b, ix + 32 + 8 * i);
            EXPECT_EQ(U32(b, data - 8), chunkId);
            EXPECT_EQ(U32(b, data - 4), size & 0x7FFFFFFF);
            p.frames.push_back({data - 8, size & 0x7FFFFFFF, (size & avi::kDeltaFrameBit) == 0});
        }
    }
    return p;
}

// A frame whose bytes tell which frame it is.
std::vector<uint8_t> Payload(uint32_t index, uint32_t size) {
    std::vector<uint8_t> p(size);
    for (uint32_t i = 0; i < size; ++i)
        p[i] = static_cast<uint8_t>(index * 7 + i);
    return p;
}

void ExpectFramesAre(const std::vector<uint8_t>& b, const std::vector<Frame>& frames, uint32_t count,
                     uint32_t (*sizeOf)(uint32_t)) {
    ASSERT_EQ(frames.size(), count);
    for (uint32_t k = 0; k < count; ++k) {
        ASSERT_EQ(frames[k].size, sizeOf(k)) << k;
        std::vector<uint8_t> expected = Payload(k, sizeOf(k));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), b.begin() + frames[k].chunk + 8))
            << "frame " << k;
    }
}

std::vector<uint8_t> BitmapFormat(int32_t w, int32_t h, uint32_t compression) {
    avi::Encoder e;
    e.U32(40);
    e.U32(static_cast<uint32_t>(w));
    e.U32(static_cast<uint32_t>(h));
    e.U16(1);
    e.U16(32);
    e.U32(compression);
    e.U32(static_cast<uint32_t>(w * h * 4));
    e.Zeros(16);
    return e.bytes();
}

VideoStreamHeader Header(int16_t w, int16_t h, uint32_t fps) {
    VideoStreamHeader v;
    v.rate = fps;
    v.suggestedBufferSize = static_cast<uint32_t>(w * h * 4);
    v.right = w;
    v.bottom = h;
    return v;
}

} // namespace

TEST(OpenDmlWriter, SmallFileHeadersAndIndexesFieldByField) {
    MemorySink sink;
    OpenDmlWriter writer(sink, Header(4, 2, 5));
    const auto format = BitmapFormat(4, 2, 0);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    for (uint32_t k = 0; k < 3; ++k)
        ASSERT_TRUE(writer.WriteFrame(Payload(k, 32).data(), 32, k != 1, 0));
    ASSERT_TRUE(writer.Finish());

    const auto& b = sink.bytes;
    Parsed p = Parse(b);
    ASSERT_EQ(p.riffs.size(), 1u);
    EXPECT_EQ(U32(b, 32), 200000u) << "microseconds per frame at 5 fps";
    EXPECT_EQ(p.rate, 5u);
    EXPECT_EQ(p.suggested, 32u);
    EXPECT_EQ(p.width, 4u);
    EXPECT_EQ(p.height, 2u);
    EXPECT_EQ(p.format, format);
    EXPECT_EQ(p.avihFrames, 3u);
    EXPECT_EQ(p.strhLength, 3u);
    EXPECT_EQ(p.dmlhFrames, 3u);
    EXPECT_EQ(p.avihFlags, avi::kAvifHasIndex);
    EXPECT_EQ(U32(b, 172 + 40 + 16), avi::kUncompressedFrame) << "indx chunk id of an uncompressed stream";
    ExpectFramesAre(b, p.frames, 3, [](uint32_t) { return 32u; });
    EXPECT_FALSE(p.frames[1].key);
    EXPECT_TRUE(p.frames[2].key);
    ASSERT_TRUE(p.hasIdx1);
    ASSERT_EQ(p.idx1.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(p.idx1[k].chunk, p.frames[k].chunk);
        EXPECT_EQ(p.idx1[k].key, k != 1);
    }
}

TEST(OpenDmlWriter, OddFramesArePaddedAndCompressedFormatsUseDc) {
    MemorySink sink;
    OpenDmlWriter writer(sink, Header(4, 2, 4));
    auto format = BitmapFormat(4, 2, avi::FourCc("MRLE"));
    format.push_back(0x5A); // an odd format size too
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    auto sizeOf = [](uint32_t k) { return k * 3 + 1; }; // 1, 4, 7, 10, 13: odd and even
    for (uint32_t k = 0; k < 5; ++k)
        ASSERT_TRUE(writer.WriteFrame(Payload(k, sizeOf(k)).data(), sizeOf(k), true, 0));
    ASSERT_TRUE(writer.Finish());
    Parsed p = Parse(sink.bytes);
    EXPECT_EQ(p.format.size(), 41u);
    ExpectFramesAre(sink.bytes, p.frames, 5, [](uint32_t k) { return k * 3 + 1; });
    for (const Frame& f : p.frames)
        EXPECT_EQ(U32(sink.bytes, f.chunk), avi::kCompressedFrame);
}

TEST(OpenDmlWriter, SegmentsStayWithinTheLimitAndIndexEveryFrame) {
    struct Case {
        uint64_t segment;
        uint32_t frames, flushFrames, runFrames;
    };
    for (Case c : {Case{4096, 40, 3, 256}, Case{20000, 300, 32, 7}, Case{6000, 40, 1, 1}}) {
        SCOPED_TRACE(c.segment);
        MemorySink sink;
        WriterLimits limits;
        limits.segmentBytes = c.segment;
        limits.flushFrames = c.flushFrames;
        limits.runFrames = c.runFrames;
        limits.superIndexEntries = 200;
        OpenDmlWriter writer(sink, Header(10, 10, 30), limits);
        const auto format = BitmapFormat(10, 10, 0);
        ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
        auto sizeOf = [](uint32_t k) { return 100 + k % 5; };
        for (uint32_t k = 0; k < c.frames; ++k)
            ASSERT_TRUE(writer.WriteFrame(Payload(k, sizeOf(k)).data(), sizeOf(k), true, k));
        ASSERT_TRUE(writer.Finish());
        Parsed p = Parse(sink.bytes);
        EXPECT_GT(p.riffs.size(), 1u);
        for (size_t r = 0; r < p.riffs.size(); ++r)
            EXPECT_LE(8 + U32(sink.bytes, p.riffs[r].first + 4), c.segment) << "RIFF " << r;
        ExpectFramesAre(sink.bytes, p.frames, c.frames, [](uint32_t k) { return 100 + k % 5; });
        EXPECT_EQ(p.strhLength, c.frames);
        EXPECT_EQ(p.dmlhFrames, c.frames);
        EXPECT_EQ(p.avihFrames, p.idx1.size()) << "avih counts the first RIFF";
        for (size_t k = 0; k < p.idx1.size(); ++k)
            EXPECT_EQ(p.idx1[k].chunk, p.frames[k].chunk);
    }
}

// Every state the file passes through between two flushes reads as the state of the last flush.
TEST(OpenDmlWriter, FileOnDiskIsCompleteAfterEveryFlush) {
    MemorySink sink;
    WriterLimits limits;
    limits.segmentBytes = 2048;
    limits.flushFrames = 4;
    limits.runFrames = 6;
    limits.superIndexEntries = 100;
    OpenDmlWriter writer(sink, Header(8, 8, 10), limits);
    const auto format = BitmapFormat(8, 8, 0);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    uint32_t flushed = 0;
    for (uint32_t k = 0; k < 60; ++k) {
        ASSERT_TRUE(writer.WriteFrame(Payload(k, 50).data(), 50, true, 0));
        Parsed p = Parse(sink.bytes); // no Finish: what a killed process leaves
        if (p.frames.size() != flushed) {
            EXPECT_TRUE(p.frames.size() == k + 1) << "a flush covers every frame written";
            flushed = static_cast<uint32_t>(p.frames.size());
        }
        EXPECT_GE(flushed + limits.flushFrames, k + 1);
        ExpectFramesAre(sink.bytes, p.frames, flushed, [](uint32_t) { return 50u; });
        EXPECT_EQ(p.strhLength, flushed);
        if (HasFatalFailure())
            return;
    }
}

TEST(OpenDmlWriter, TimeDecidesTheFlushWhenFramesAreFew) {
    MemorySink sink;
    OpenDmlWriter writer(sink, Header(8, 8, 10));
    const auto format = BitmapFormat(8, 8, 0);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    struct Step {
        uint64_t ms;
        size_t visible;
    };
    uint32_t k = 0;
    for (Step s :
         {Step{5000, 1}, Step{5400, 1}, Step{5999, 1}, Step{6000, 4}, Step{6001, 4}, Step{7000, 6}}) {
        ASSERT_TRUE(writer.WriteFrame(Payload(k, 20).data(), 20, true, s.ms));
        ++k;
        EXPECT_EQ(Parse(sink.bytes).frames.size(), s.visible) << "at " << s.ms << " ms";
    }
}

TEST(OpenDmlWriter, FullDiskFailsTheWriteAndKeepsEveryFrameThatReachedIt) {
    for (uint64_t capacity : {6000u, 9000u, 12345u, 20000u}) {
        SCOPED_TRACE(capacity);
        MemorySink sink(capacity);
        WriterLimits limits;
        limits.segmentBytes = 5000;
        limits.flushFrames = 5;
        limits.superIndexEntries = 100;
        OpenDmlWriter writer(sink, Header(8, 8, 10), limits);
        const auto format = BitmapFormat(8, 8, 0);
        ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
        uint32_t written = 0;
        while (writer.WriteFrame(Payload(written, 301).data(), 301, true, 0))
            ++written;
        EXPECT_TRUE(writer.Failed());
        EXPECT_FALSE(writer.WriteFrame(Payload(0, 301).data(), 301, true, 0));
        EXPECT_FALSE(writer.Finish());
        Parsed p = Parse(sink.bytes);
        EXPECT_GE(p.frames.size(), written);
        EXPECT_EQ(p.frames.size(), writer.Frames());
        ExpectFramesAre(sink.bytes, p.frames, writer.Frames(), [](uint32_t) { return 301u; });
        EXPECT_EQ(p.strhLength, writer.Frames());
    }
}

TEST(OpenDmlWriter, SuperIndexHasRoomForSixHoursAtTheStreamRate) {
    struct Case {
        int16_t w, h;
        uint32_t fps, atLeast;
    };
    // 6 h at 60 fps is 1,296,000 frames: 5,063 runs of 256; 1920x1080x4 frames fill 10,010 segments.
    for (Case c : {Case{1920, 1080, 60, 5063 + 10010}, Case{1280, 720, 4, 338 + 297}, Case{16, 16, 1, 85}}) {
        MemorySink sink;
        OpenDmlWriter writer(sink, Header(c.w, c.h, c.fps));
        EXPECT_GE(writer.SuperIndexCapacity(), c.atLeast) << c.w << "x" << c.h << "@" << c.fps;
    }
}

TEST(OpenDmlWriter, RefusesFramesBeforeTheFormatAndASecondFormat) {
    MemorySink sink;
    OpenDmlWriter writer(sink, Header(8, 8, 10));
    EXPECT_FALSE(writer.WriteFrame("abcd", 4, true, 0));
    const auto format = BitmapFormat(8, 8, 0);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    EXPECT_FALSE(writer.SetFormat(format.data(), format.size()));
    ASSERT_TRUE(writer.Finish());
    Parsed p = Parse(sink.bytes);
    EXPECT_EQ(p.frames.size(), 0u);
    EXPECT_EQ(p.strhLength, 0u);
}
