#include "avi/opendml_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "avi/avi_layout.h"
#include "platform/little_endian.h"
#include "tests/support/avi_reader.h"

using test_support::AviFile;
using test_support::Disk;
using test_support::DiskSink;
using test_support::ReadAvi;

namespace {

// A frame whose bytes tell which frame it is; made once, as the full-disk test asks for many.
const std::vector<uint8_t>& Payload(uint32_t index, uint32_t size) {
    static std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> made;
    std::vector<uint8_t>& p = made[{index, size}];
    for (uint32_t i = static_cast<uint32_t>(p.size()); i < size; ++i)
        p.push_back(static_cast<uint8_t>(index * 7 + i));
    return p;
}

// The file reads without a single inconsistency and indexes frames 0..count-1 as written.
void ExpectFramesAre(std::span<const uint8_t> file, const AviFile& avi, uint32_t count,
                     uint32_t (*sizeOf)(uint32_t)) {
    EXPECT_TRUE(avi.errors.empty()) << testing::PrintToString(avi.errors);
    ASSERT_EQ(avi.frames.size(), count);
    for (uint32_t k = 0; k < count; ++k)
        EXPECT_EQ(test_support::FrameBytes(file, avi.frames[k]), Payload(k, sizeOf(k))) << "frame " << k;
}

std::vector<uint8_t> BitmapFormat(int32_t w, int32_t h, uint32_t compression) {
    avi::Encoder e;
    e.U32(40), e.U32(w), e.U32(h), e.U16(1), e.U16(32), e.U32(compression), e.U32(w * h * 4), e.Zeros(16);
    return e.bytes();
}

VideoStreamHeader Header(int16_t w, int16_t h, uint32_t fps) {
    return {.rate = fps, .suggestedBufferSize = static_cast<uint32_t>(w * h * 4), .right = w, .bottom = h};
}

// The frames as they are after the last flush: the file up to the end of its last whole RIFF.
AviFile Flushed(std::span<const uint8_t> file) {
    return ReadAvi(file.first(ReadAvi(file).end));
}

struct Recording {
    const char* name;
    int16_t w, h;
    uint32_t fps, compression, frames;
    uint32_t (*sizeOf)(uint32_t);
    WriterLimits limits;
    bool oddFormat = false; // a byte after the BITMAPINFOHEADER
};

// Frames of 4 KiB go past the sink's buffer; small ones gather in it.
uint32_t FourKiB(uint32_t) {
    return 4096;
}
uint32_t OddAndEven(uint32_t k) {
    return 90 + k * 37 % 101;
}
uint32_t Small(uint32_t k) {
    return 100 + k % 5;
}

// The first two are filled up in every way; the small compressed one's first RIFF closes right
// after a flush, so that its idx1 is written alone.
const Recording kRecordings[] = {
    {"32x32 uncompressed",
     32,
     32,
     10,
     0,
     5,
     FourKiB,
     {.segmentBytes = 10000, .flushFrames = 2, .runFrames = 3, .superIndexEntries = 16}},
    {"small compressed",
     8,
     8,
     10,
     avi::FourCc("MRLE"),
     24,
     OddAndEven,
     {.segmentBytes = 1800, .flushFrames = 3, .runFrames = 4, .superIndexEntries = 24}},
    {"one segment", 4, 2, 5, 0, 3, [](uint32_t) { return 32u; }, {}},
    {"odd frames and format",
     4,
     2,
     4,
     avi::FourCc("MRLE"),
     5,
     [](uint32_t k) { return k * 3 + 1; },
     {},
     true},
    {"a run a segment",
     10,
     10,
     30,
     0,
     40,
     Small,
     {.segmentBytes = 4096, .flushFrames = 3, .superIndexEntries = 200}},
    {"runs of 7",
     10,
     10,
     30,
     0,
     300,
     Small,
     {.segmentBytes = 20000, .runFrames = 7, .superIndexEntries = 200}},
    {"a flush and a run a frame",
     10,
     10,
     30,
     0,
     40,
     Small,
     {.segmentBytes = 6000, .flushFrames = 1, .runFrames = 1, .superIndexEntries = 200}},
};

struct Outcome {
    bool formatSet = false;
    uint32_t accepted = 0; // WriteFrame calls that succeeded
    uint32_t frames = 0;   // what the writer says it kept
    bool finished = false;
};

std::vector<uint8_t> Format(const Recording& r) {
    auto format = BitmapFormat(r.w, r.h, r.compression);
    if (r.oddFormat)
        format.push_back(0x5A);
    return format;
}

// Every third frame is a key frame.
Outcome Record(const Recording& r, DiskSink& sink) {
    Outcome o;
    OpenDmlWriter writer(sink, Header(r.w, r.h, r.fps), r.limits);
    const auto format = Format(r);
    o.formatSet = writer.SetFormat(format.data(), format.size());
    while (o.accepted < r.frames && writer.WriteFrame(Payload(o.accepted, r.sizeOf(o.accepted)).data(),
                                                      r.sizeOf(o.accepted), o.accepted % 3 == 0, 0))
        ++o.accepted;
    if (o.accepted < r.frames) {
        EXPECT_FALSE(writer.WriteFrame(Payload(0, 16).data(), 16, true, 0)) << "a failed file stays failed";
    }
    o.finished = writer.Finish();
    o.frames = writer.Frames();
    return o;
}

} // namespace

// The reader checks the file's indexes and counts against each other; here they meet what was written.
TEST(OpenDmlWriter, FilesReadBackAsWritten) {
    for (const Recording& r : kRecordings) {
        SCOPED_TRACE(r.name);
        DiskSink sink;
        ASSERT_TRUE(Record(r, sink).finished);
        const AviFile avi = ReadAvi(sink.bytes);
        ExpectFramesAre(sink.bytes, avi, r.frames, r.sizeOf);
        EXPECT_EQ(std::tie(avi.microSecPerFrame, avi.rate, avi.scale, avi.width, avi.height, avi.handler),
                  std::tuple(1000000 / r.fps, r.fps, 1u, uint32_t(r.w), uint32_t(r.h), r.compression));
        EXPECT_EQ(avi.suggestedBufferSize, uint32_t(r.w * r.h * 4));
        EXPECT_EQ(avi.format, Format(r));
        EXPECT_EQ(avi.flags, avi::kAvifHasIndex);
        for (size_t k = 0; k < avi.frames.size(); ++k)
            EXPECT_EQ(avi.frames[k].key, k % 3 == 0) << "frame " << k;
        EXPECT_EQ(avi.riffs.size() > 1, r.limits.segmentBytes < 100000);
        for (const auto& riff : avi.riffs)
            EXPECT_LE(8 + riff.size, r.limits.segmentBytes) << "RIFF at " << riff.offset;
    }
}

// What a killed process leaves after any frame reads as the last flush left it: a consistent file up
// to the end of its last RIFF, the frames since then beyond it.
TEST(OpenDmlWriter, FileOnDiskIsCompleteAfterEveryFlush) {
    DiskSink sink;
    const WriterLimits limits{
        .segmentBytes = 2048, .flushFrames = 4, .runFrames = 6, .superIndexEntries = 100};
    OpenDmlWriter writer(sink, Header(8, 8, 10), limits);
    const auto format = BitmapFormat(8, 8, 0);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    uint32_t flushed = 0;
    for (uint32_t k = 0; k < 60 && !HasFailure(); ++k) {
        ASSERT_TRUE(writer.WriteFrame(Payload(k, 50).data(), 50, true, 0));
        const AviFile avi = Flushed(sink.bytes);
        if (avi.frames.size() != flushed) {
            EXPECT_EQ(avi.frames.size(), k + 1) << "a flush covers every frame written";
            flushed = static_cast<uint32_t>(avi.frames.size());
        }
        EXPECT_GE(flushed + limits.flushFrames, k + 1);
        ExpectFramesAre(std::span<const uint8_t>(sink.bytes).first(ReadAvi(sink.bytes).end), avi, flushed,
                        [](uint32_t) { return 50u; });
    }
}

TEST(OpenDmlWriter, TimeDecidesTheFlushWhenFramesAreFew) {
    DiskSink sink;
    OpenDmlWriter writer(sink, Header(8, 8, 10));
    const auto format = BitmapFormat(8, 8, 0);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    uint32_t k = 0;
    for (auto [ms, visible] :
         {std::pair{5000, 1u}, {5400, 1u}, {5999, 1u}, {6000, 4u}, {6001, 4u}, {7000, 6u}}) {
        ASSERT_TRUE(writer.WriteFrame(Payload(k, 20).data(), 20, true, ms));
        ++k;
        EXPECT_EQ(Flushed(sink.bytes).frames.size(), visible) << "at " << ms << " ms";
    }
}

// The disk fills at every byte of a recording of several segments, taking whole writes or the part
// that fits, and the file may not be cut; or any one write fails. Whatever failed, the file is a
// consistent AVI that ends with its last RIFF (or, uncut, with a JUNK chunk after it) and indexes
// intact every frame whose write succeeded; without its headers, it is empty.
TEST(OpenDmlWriter, DiskFullAtEveryByteLeavesAConsistentFile) {
    struct Mode {
        const char* name;
        bool partial, truncates, oneWriteFails;
    };
    for (const Recording& r : std::span(kRecordings, 2)) {
        DiskSink unlimited;
        ASSERT_TRUE(Record(r, unlimited).finished);
        ASSERT_GE(ReadAvi(unlimited.bytes).riffs.size(), 3u) << r.name;
        for (Mode m : {Mode{"whole writes", false, true, false}, Mode{"partial writes", true, true, false},
                       Mode{"partial writes, no cut", true, false, false},
                       Mode{"one write fails", false, true, true}}) {
            const uint64_t runs = m.oneWriteFails ? unlimited.writes : unlimited.bytes.size();
            DiskSink sink;
            for (uint64_t at = 0; at < runs && !HasFailure(); ++at) {
                SCOPED_TRACE(std::string(r.name) + ", " + m.name + " at " + std::to_string(at));
                sink.Reset(m.oneWriteFails ? Disk{UINT64_MAX, false, true, at + 1}
                                           : Disk{at, m.partial, m.truncates});
                const Outcome o = Record(r, sink);
                EXPECT_FALSE(o.finished);
                const std::span<const uint8_t> file(sink.bytes);
                const AviFile whole = ReadAvi(file);
                const std::span<const uint8_t> tail = file.subspan(whole.end);
                EXPECT_TRUE(tail.size() < 4 || little_endian::LoadU32(tail.data()) == avi::kJunk);
                EXPECT_TRUE(tail.empty() || !m.truncates);
                if (!o.formatSet) {
                    EXPECT_EQ(whole.end, 0u);
                    continue;
                }
                EXPECT_TRUE(o.frames == o.accepted || o.frames == o.accepted + 1) << o.frames;
                const std::span<const uint8_t> avi = file.first(whole.end);
                ExpectFramesAre(avi, tail.empty() ? whole : ReadAvi(avi), o.frames, r.sizeOf);
            }
        }
    }
}

// ffmpeg decodes as many frames as the indexes name from files whose disk filled inside a frame, the
// idx1 or an AVIX header, with whole and with partial writes.
TEST(OpenDmlWriter, FfprobeDecodesTheIndexedFramesOfFullDiskFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "the host's ffprobe is run from the native build";
#else
    const Recording& r = kRecordings[0];
    DiskSink unlimited;
    Record(r, unlimited);
    const AviFile whole = ReadAvi(unlimited.bytes);
    ASSERT_GE(whole.riffs.size(), 3u);
    std::vector<uint64_t> capacities = {whole.frames[1].offset + 100, whole.riffs[1].offset - 1,
                                        whole.frames.back().offset + 2000};
    for (size_t i = 1; i < whole.riffs.size(); ++i)
        capacities.push_back(whole.riffs[i].offset + 10);
    for (bool partial : {false, true})
        for (uint64_t capacity : capacities) {
            SCOPED_TRACE(std::string(partial ? "partial" : "whole") + " writes, disk of " +
                         std::to_string(capacity));
            DiskSink sink(Disk{capacity, partial});
            Record(r, sink);
            const AviFile avi = ReadAvi(sink.bytes);
            EXPECT_TRUE(avi.errors.empty()) << testing::PrintToString(avi.errors);
            const std::string out =
                test_support::RunOnFile(sink.bytes, "ffprobe -v error -count_frames -select_streams v:0 "
                                                    "-show_entries stream=nb_read_frames -of csv=p=0 %s");
            ASSERT_FALSE(out.empty()) << "no answer from ffprobe";
            EXPECT_EQ(std::atoi(out.c_str()), static_cast<int>(avi.frames.size()));
        }
#endif
}

TEST(OpenDmlWriter, SuperIndexHasRoomForAWeekAtTheStreamRate) {
    // A week at 60 fps is 36,288,000 frames: 141,750 runs of 256; 1920x1080x4 frames fill 280,317
    // segments.
    for (auto [w, h, fps, atLeast] :
         {std::tuple<int16_t, int16_t, uint32_t, uint32_t>{1920, 1080, 60, 141750 + 280317},
          {1280, 720, 4, 9450 + 8306},
          {16, 16, 1, 2363 + 1}}) {
        DiskSink sink;
        EXPECT_GE(OpenDmlWriter(sink, Header(w, h, fps)).SuperIndexCapacity(), atLeast)
            << w << "x" << h << "@" << fps;
    }
}

TEST(OpenDmlWriter, RefusesFramesBeforeTheFormatAndASecondFormat) {
    DiskSink sink;
    OpenDmlWriter writer(sink, Header(8, 8, 10));
    EXPECT_FALSE(writer.WriteFrame("abcd", 4, true, 0));
    const auto format = BitmapFormat(8, 8, 0);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    EXPECT_FALSE(writer.SetFormat(format.data(), format.size()));
    ASSERT_TRUE(writer.Finish());
    ExpectFramesAre(sink.bytes, ReadAvi(sink.bytes), 0, FourKiB);
}
