#include "avi/opendml_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "avi/avi_layout.h"
#include "tests/support/avi_reader.h"

using namespace test_support;

namespace {

struct Recording {
    const char* name;
    int16_t w, h;
    uint32_t fps, compression, frames;
    uint32_t size, sizeStep, sizeModulo; // frame k has size + k * sizeStep % sizeModulo bytes
    WriterLimits limits;
    bool oddFormat = false; // a byte after the BITMAPINFOHEADER
    uint32_t SizeOf(uint32_t k) const { return size + k * sizeStep % sizeModulo; }
};

// The first two are filled up in every way; the small compressed one's first RIFF closes right after a
// flush, so that its idx1 is written alone. Frames of 4 KiB go past the sink's buffer, small ones gather.
const Recording kRecordings[] = {
    {"32x32 uncompressed", 32, 32, 10, 0, 5, 4096, 0, 1, {10000, 2, 1000, 3, 16}},
    {"small compressed", 8, 8, 10, avi::FourCc("MRLE"), 24, 90, 37, 101, {1800, 3, 1000, 4, 24}},
    {"no frames", 4, 2, 5, 0, 0, 32, 0, 1, {}},
    {"odd frames and format", 4, 2, 4, avi::FourCc("MRLE"), 5, 1, 3, 1000, {}, true},
    {"a run a segment", 10, 10, 30, 0, 40, 100, 1, 5, {4096, 3, 1000, 256, 200}},
    {"runs of 7", 10, 10, 30, 0, 300, 100, 1, 5, {20000, 32, 1000, 7, 200}},
    {"a flush and a run a frame", 10, 10, 30, 0, 40, 100, 1, 5, {6000, 1, 1000, 1, 200}},
    {"flushes of 4", 8, 8, 10, 0, 60, 50, 0, 1, {3000, 4, 1000, 6, 100}}};

// A frame whose bytes tell which frame it is; made once, as the full-disk test asks for many.
const std::vector<uint8_t>& Payload(uint32_t index, uint32_t size) {
    static std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> made;
    std::vector<uint8_t>& p = made[{index, size}];
    for (uint32_t i = static_cast<uint32_t>(p.size()); i < size; ++i)
        p.push_back(static_cast<uint8_t>(index * 7 + i));
    return p;
}

std::vector<uint8_t> Format(const Recording& r) {
    avi::Encoder e; // BITMAPINFOHEADER
    e.U32(40), e.U32(r.w), e.U32(r.h), e.U16(1), e.U16(32), e.U32(r.compression), e.U32(r.w * r.h * 4);
    e.Zeros(16 + r.oddFormat);
    return e.bytes();
}

// Frames 0..count-1 as written, every third a key frame, in a file without a single inconsistency.
void ExpectFrames(std::span<const uint8_t> file, const AviFile& avi, const Recording& r, size_t count) {
    ASSERT_TRUE(avi.errors.empty()) << testing::PrintToString(avi.errors);
    ASSERT_EQ(avi.frames.size(), count);
    for (uint32_t k = 0; k < count; ++k) {
        const auto bytes = file.subspan(avi.frames[k].offset + 8, avi.frames[k].size);
        EXPECT_TRUE(std::ranges::equal(bytes, Payload(k, r.SizeOf(k)))) << "frame " << k;
        EXPECT_EQ(avi.frames[k].key, k % 3 == 0) << "frame " << k;
    }
}

struct Outcome {
    bool formatSet = false, finished = false;
    uint32_t accepted = 0, frames = 0; // WriteFrame calls that succeeded; what the writer says it kept
};

// With checkFlushes, the file is read after every frame as a killed process would leave it.
Outcome Record(const Recording& r, DiskSink& sink, bool checkFlushes = false) {
    Outcome o;
    OpenDmlWriter writer(
        sink, {.rate = r.fps, .suggestedBufferSize = uint32_t(r.w * r.h * 4), .right = r.w, .bottom = r.h},
        r.limits);
    const auto format = Format(r);
    o.formatSet = writer.SetFormat(format.data(), format.size());
    for (size_t flushed = 0; o.accepted < r.frames; ++o.accepted) {
        const uint32_t k = o.accepted, size = r.SizeOf(k);
        if (!writer.WriteFrame(Payload(k, size).data(), size, k % 3 == 0, 0))
            break;
        if (!checkFlushes)
            continue;
        const auto file = std::span(sink.bytes).first(ReadAvi(sink.bytes).end); // what the last flush left
        const AviFile avi = ReadAvi(file);
        // The first frame is flushed at once; a flush takes in every frame written before it: the one being
        // written, or the one before when it starts a segment.
        EXPECT_TRUE(avi.frames.size() == flushed ? k > 0 : avi.frames.size() >= k) << avi.frames.size();
        flushed = avi.frames.size();
        EXPECT_LT(k + 1 - flushed, r.limits.flushFrames) << "frames left unflushed";
        ExpectFrames(file, avi, r, flushed);
    }
    EXPECT_TRUE(o.accepted == r.frames || !writer.WriteFrame(Payload(0, 16).data(), 16, true, 0))
        << "a failed file stays failed";
    o.finished = writer.Finish();
    o.frames = writer.Frames();
    return o;
}

} // namespace

// The reader checks the file's indexes and counts against each other; here they meet what was written.
TEST(OpenDmlWriter, FilesReadBackAsWrittenAfterEveryFlush) {
    for (const Recording& r : kRecordings) {
        SCOPED_TRACE(r.name);
        DiskSink sink;
        ASSERT_TRUE(Record(r, sink, true).finished);
        const AviFile avi = ReadAvi(sink.bytes);
        ExpectFrames(sink.bytes, avi, r, r.frames);
        EXPECT_EQ(std::tie(avi.microSecPerFrame, avi.rate, avi.scale, avi.width, avi.height, avi.handler,
                           avi.suggestedBufferSize, avi.flags, avi.format),
                  std::tuple(1000000 / r.fps, r.fps, 1u, uint32_t(r.w), uint32_t(r.h), r.compression,
                             uint32_t(r.w * r.h * 4), avi::kAvifHasIndex, Format(r)));
        EXPECT_EQ(avi.riffs.size() > 1, r.limits.segmentBytes < 100000);
        EXPECT_LE(8 + std::ranges::max(avi.riffs), r.limits.segmentBytes);
    }
}

TEST(OpenDmlWriter, TimeDecidesTheFlushWhenFramesAreFewAndNoFrameGoesBeforeTheFormat) {
    const Recording& r = kRecordings[2];
    DiskSink sink;
    OpenDmlWriter writer(sink, {.rate = r.fps, .right = r.w, .bottom = r.h});
    EXPECT_FALSE(writer.WriteFrame("abcd", 4, true, 0));
    const auto format = Format(r);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    EXPECT_FALSE(writer.SetFormat(format.data(), format.size()));
    for (auto [ms, n] : {std::pair{5000, 1u}, {5400, 1u}, {5999, 1u}, {6000, 4u}, {6001, 4u}, {7000, 6u}}) {
        ASSERT_TRUE(writer.WriteFrame("abcd", 4, true, ms));
        EXPECT_EQ(ReadAvi(sink.bytes).frames.size(), n) << "frames on disk at " << ms << " ms";
    }
}

// The disk fills at every byte of a recording of several segments, taking whole writes (mode 0) or what
// fits (1), also where the file cannot be cut (2); or any one write fails (3). The file stays a consistent
// AVI ending with its last RIFF (uncut, then JUNK) that indexes every frame written; without headers, empty.
TEST(OpenDmlWriter, DiskFullAtEveryByteLeavesAConsistentFile) {
    for (const Recording& r : std::span(kRecordings, 2)) {
        DiskSink unlimited;
        ASSERT_TRUE(Record(r, unlimited).finished);
        ASSERT_GE(ReadAvi(unlimited.bytes).riffs.size(), 3u) << r.name;
        DiskSink sink;
        for (int mode = 0; mode < 4; ++mode)
            for (uint64_t at = 0;
                 at < (mode < 3 ? unlimited.bytes.size() : unlimited.writes) && !HasFailure(); ++at) {
                SCOPED_TRACE(std::string(r.name) + ", mode " + std::to_string(mode) + " at " +
                             std::to_string(at));
                sink.Reset(mode < 3 ? Disk{at, mode > 0, mode < 2} : Disk{.failingWrite = at + 1});
                const Outcome o = Record(r, sink);
                EXPECT_FALSE(o.finished);
                const AviFile whole = ReadAvi(sink.bytes);
                const auto file = std::span(sink.bytes).first(whole.end),
                           tail = std::span(sink.bytes).subspan(whole.end);
                EXPECT_TRUE(
                    tail.empty() ||
                    (mode == 2 && (tail.size() < 4 || little_endian::LoadU32(tail.data()) == avi::kJunk)));
                EXPECT_TRUE(o.formatSet ? o.frames - o.accepted <= 1 : whole.end == 0) << o.frames;
                if (o.formatSet)
                    ExpectFrames(file, tail.empty() ? whole : ReadAvi(file), r, o.frames);
            }
    }
}

TEST(OpenDmlWriter, SuperIndexHasRoomForAWeekAtTheStreamRate) {
    // A week at 60 fps is 36,288,000 frames: 141,750 runs of 256, and 280,317 segments of 1920x1080x4.
    DiskSink sink;
    OpenDmlWriter writer(sink,
                         {.rate = 60, .suggestedBufferSize = 1920 * 1080 * 4, .right = 1920, .bottom = 1080});
    EXPECT_GE(writer.SuperIndexCapacity(), 141750u + 280317u);
}
