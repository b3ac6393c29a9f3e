#include "avi/opendml_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "avi/avi_layout.h"
#include "platform/little_endian.h"
#include "tests/support/avi_reader.h"

using test_support::AviFile;
using test_support::ReadAvi;

namespace {

struct Disk {
    uint64_t capacity = UINT64_MAX; // the file's bytes fit below it
    bool partial = false;           // a write across it writes what fits before failing
    bool truncates = true;
    uint64_t failingWrite = 0; // this write (counting from 1) fails, as an I/O error would, once
};

// The file sink's buffering over a disk: appending writes under 4 KiB gather in a 64 KiB buffer;
// larger ones, and writes elsewhere, hand the buffer over first.
class DiskSink : public ByteSink {
public:
    explicit DiskSink(Disk disk = {}) { Reset(disk); }
    // An empty file again; the memory stays, which keeps thousands of runs quick.
    void Reset(Disk disk) {
        m_disk = disk;
        bytes.clear();
        m_held.clear();
        writes = 0;
    }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        if (offset == m_heldAt + m_held.size() && size < 4096 && m_held.size() + size <= 65536) {
            m_heldAt = m_held.empty() ? offset : m_heldAt;
            m_held.insert(m_held.end(), p, p + size);
            return true;
        }
        const bool flushed = Flush();
        if (size >= 4096)
            return WriteThrough(offset, p, size) && flushed;
        m_heldAt = offset;
        m_held.assign(p, p + size);
        return flushed;
    }
    bool Flush() override {
        const bool written = WriteThrough(m_heldAt, m_held.data(), m_held.size());
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
        if (size == 0)
            return true;
        const uint64_t room = offset < m_disk.capacity ? m_disk.capacity - offset : 0;
        const size_t fits = ++writes == m_disk.failingWrite ? 0
                            : size <= room                  ? size
                            : m_disk.partial                ? room
                                                            : 0;
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

// A frame whose bytes tell which frame it is; made once, as the full-disk test asks for many.
const std::vector<uint8_t>& Payload(uint32_t index, uint32_t size) {
    static std::map<std::pair<uint32_t, uint32_t>, std::vector<uint8_t>> made;
    std::vector<uint8_t>& p = made[{index, size}];
    for (uint32_t i = static_cast<uint32_t>(p.size()); i < size; ++i)
        p.push_back(static_cast<uint8_t>(index * 7 + i));
    return p;
}

std::string Errors(const AviFile& avi) {
    std::string all;
    for (const std::string& e : avi.errors)
        all += e + "\n";
    return all;
}

// The file reads without a single inconsistency and indexes frames 0..count-1 as written.
void ExpectFramesAre(std::span<const uint8_t> file, const AviFile& avi, uint32_t count,
                     uint32_t (*sizeOf)(uint32_t)) {
    EXPECT_TRUE(avi.errors.empty()) << Errors(avi);
    ASSERT_EQ(avi.frames.size(), count);
    for (uint32_t k = 0; k < count; ++k)
        EXPECT_EQ(test_support::FrameBytes(file, avi.frames[k]), Payload(k, sizeOf(k))) << "frame " << k;
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

// A recording of several segments.
struct Recording {
    const char* name;
    int16_t w, h;
    uint32_t compression, frames;
    uint32_t (*sizeOf)(uint32_t);
    WriterLimits limits;
};

uint32_t FourKiB(uint32_t) {
    return 4096;
}
uint32_t OddAndEven(uint32_t k) {
    return 90 + k * 37 % 101;
}

// 4 KiB frames go past the sink's buffer; small ones gather in it, and their first RIFF closes right
// after a flush, so that its idx1 is written alone.
constexpr WriterLimits kTwoBigFramesASegment{
    .segmentBytes = 10000, .flushFrames = 2, .runFrames = 3, .superIndexEntries = 16};
constexpr WriterLimits kFourSmallFramesFirst{
    .segmentBytes = 1800, .flushFrames = 3, .runFrames = 4, .superIndexEntries = 24};
const Recording kRecordings[] = {
    {"32x32 uncompressed", 32, 32, 0, 5, FourKiB, kTwoBigFramesASegment},
    {"small compressed", 8, 8, avi::FourCc("MRLE"), 24, OddAndEven, kFourSmallFramesFirst},
};

struct Outcome {
    bool formatSet = false;
    uint32_t accepted = 0; // WriteFrame calls that succeeded
    uint32_t frames = 0;   // what the writer says it kept
    bool finished = false;
};

Outcome Record(const Recording& r, DiskSink& sink) {
    Outcome o;
    OpenDmlWriter writer(sink, Header(r.w, r.h, 10), r.limits);
    const auto format = BitmapFormat(r.w, r.h, r.compression);
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

TEST(OpenDmlWriter, SmallFileHeadersAndIndexesFieldByField) {
    DiskSink sink;
    OpenDmlWriter writer(sink, Header(4, 2, 5));
    const auto format = BitmapFormat(4, 2, 0);
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    for (uint32_t k = 0; k < 3; ++k)
        ASSERT_TRUE(writer.WriteFrame(Payload(k, 32).data(), 32, k != 1, 0));
    ASSERT_TRUE(writer.Finish());

    const AviFile avi = ReadAvi(sink.bytes);
    ExpectFramesAre(sink.bytes, avi, 3, [](uint32_t) { return 32u; });
    ASSERT_EQ(avi.riffs.size(), 1u);
    EXPECT_EQ(avi.microSecPerFrame, 200000u);
    EXPECT_EQ(avi.rate, 5u);
    EXPECT_EQ(avi.scale, 1u);
    EXPECT_EQ(avi.suggestedBufferSize, 32u);
    EXPECT_EQ(avi.width, 4u);
    EXPECT_EQ(avi.height, 2u);
    EXPECT_EQ(avi.format, format);
    EXPECT_EQ(avi.length, 3u);
    EXPECT_EQ(avi.flags, avi::kAvifHasIndex);
    EXPECT_EQ(avi.chunkId, avi::kUncompressedFrame);
    EXPECT_FALSE(avi.frames[1].key);
    EXPECT_TRUE(avi.frames[2].key);
    EXPECT_EQ(avi.idx1, avi.frames);
}

TEST(OpenDmlWriter, OddFramesArePaddedAndCompressedFormatsUseDc) {
    DiskSink sink;
    OpenDmlWriter writer(sink, Header(4, 2, 4));
    auto format = BitmapFormat(4, 2, avi::FourCc("MRLE"));
    format.push_back(0x5A); // an odd format size too
    ASSERT_TRUE(writer.SetFormat(format.data(), format.size()));
    auto sizeOf = [](uint32_t k) { return k * 3 + 1; }; // 1, 4, 7, 10, 13: odd and even
    for (uint32_t k = 0; k < 5; ++k)
        ASSERT_TRUE(writer.WriteFrame(Payload(k, sizeOf(k)).data(), sizeOf(k), true, 0));
    ASSERT_TRUE(writer.Finish());
    const AviFile avi = ReadAvi(sink.bytes);
    EXPECT_EQ(avi.format, format);
    EXPECT_EQ(avi.chunkId, avi::kCompressedFrame);
    EXPECT_EQ(avi.handler, avi::FourCc("MRLE"));
    ExpectFramesAre(sink.bytes, avi, 5, sizeOf);
}

TEST(OpenDmlWriter, SegmentsStayWithinTheLimitAndIndexEveryFrame) {
    struct Case {
        uint64_t segment;
        uint32_t frames, flushFrames, runFrames;
    };
    for (Case c : {Case{4096, 40, 3, 256}, Case{20000, 300, 32, 7}, Case{6000, 40, 1, 1}}) {
        SCOPED_TRACE(c.segment);
        DiskSink sink;
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
        const AviFile avi = ReadAvi(sink.bytes);
        ExpectFramesAre(sink.bytes, avi, c.frames, sizeOf);
        EXPECT_GT(avi.riffs.size(), 1u);
        for (const auto& riff : avi.riffs)
            EXPECT_LE(8 + riff.size, c.segment) << "RIFF at " << riff.offset;
    }
}

// What a killed process leaves after any frame reads as the last flush left it: a consistent file up
// to the end of its last RIFF, the frames since then beyond it.
TEST(OpenDmlWriter, FileOnDiskIsCompleteAfterEveryFlush) {
    DiskSink sink;
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
        const std::span<const uint8_t> file(sink.bytes);
        const AviFile avi = ReadAvi(file.first(ReadAvi(file).end));
        if (avi.frames.size() != flushed) {
            EXPECT_EQ(avi.frames.size(), k + 1) << "a flush covers every frame written";
            flushed = static_cast<uint32_t>(avi.frames.size());
        }
        EXPECT_GE(flushed + limits.flushFrames, k + 1);
        ExpectFramesAre(file, avi, flushed, [](uint32_t) { return 50u; });
        if (HasFatalFailure())
            return;
    }
}

TEST(OpenDmlWriter, TimeDecidesTheFlushWhenFramesAreFew) {
    DiskSink sink;
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
        const std::span<const uint8_t> file(sink.bytes);
        EXPECT_EQ(ReadAvi(file.first(ReadAvi(file).end)).frames.size(), s.visible) << "at " << s.ms << " ms";
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
    for (const Recording& r : kRecordings) {
        DiskSink unlimited;
        ASSERT_TRUE(Record(r, unlimited).finished);
        const AviFile complete = ReadAvi(unlimited.bytes);
        ExpectFramesAre(unlimited.bytes, complete, r.frames, r.sizeOf);
        ASSERT_GE(complete.riffs.size(), 3u) << r.name;
        for (Mode m : {Mode{"whole writes", false, true, false}, Mode{"partial writes", true, true, false},
                       Mode{"partial writes, no cut", true, false, false},
                       Mode{"one write fails", false, true, true}}) {
            const uint64_t runs = m.oneWriteFails ? unlimited.writes : unlimited.bytes.size();
            DiskSink sink;
            for (uint64_t at = 0; at < runs; ++at) {
                SCOPED_TRACE(std::string(r.name) + ", " + m.name + " at " + std::to_string(at));
                sink.Reset(m.oneWriteFails ? Disk{UINT64_MAX, false, true, at + 1}
                                           : Disk{at, m.partial, m.truncates});
                const Outcome o = Record(r, sink);
                EXPECT_FALSE(o.finished);
                const std::span<const uint8_t> file(sink.bytes);
                const AviFile whole = ReadAvi(file);
                const std::span<const uint8_t> tail = file.subspan(whole.end);
                EXPECT_TRUE(tail.size() < 4 || little_endian::LoadU32(tail.data()) == avi::kJunk);
                if (m.truncates) {
                    EXPECT_TRUE(tail.empty());
                }
                if (!o.formatSet) {
                    EXPECT_EQ(whole.end, 0u);
                } else {
                    EXPECT_GE(o.frames, o.accepted);
                    EXPECT_LE(o.frames, o.accepted + 1);
                    const std::span<const uint8_t> avi = file.first(whole.end);
                    ExpectFramesAre(avi, tail.empty() ? whole : ReadAvi(avi), o.frames, r.sizeOf);
                }
                if (HasFailure())
                    return;
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
    const std::string path =
        (std::filesystem::temp_directory_path() / ("odml-" + std::to_string(std::random_device{}()) + ".avi"))
            .string();
    for (bool partial : {false, true}) {
        for (uint64_t capacity : capacities) {
            SCOPED_TRACE((partial ? "partial writes, disk of " : "whole writes, disk of ") +
                         std::to_string(capacity));
            DiskSink sink(Disk{capacity, partial});
            Record(r, sink);
            const AviFile avi = ReadAvi(sink.bytes);
            EXPECT_TRUE(avi.errors.empty()) << Errors(avi);
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(sink.bytes.data()),
                       static_cast<std::streamsize>(sink.bytes.size()));
            FILE* probe = popen(("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                 "stream=nb_read_frames -of csv=p=0 '" +
                                 path + "'")
                                    .c_str(),
                                "r");
            ASSERT_NE(probe, nullptr);
            char out[64] = {};
            const bool read = std::fgets(out, sizeof(out), probe) != nullptr;
            pclose(probe);
            ASSERT_TRUE(read) << "no answer from ffprobe";
            EXPECT_EQ(std::atoi(out), static_cast<int>(avi.frames.size()));
        }
    }
    std::remove(path.c_str());
#endif
}

TEST(OpenDmlWriter, SuperIndexHasRoomForSixHoursAtTheStreamRate) {
    struct Case {
        int16_t w, h;
        uint32_t fps, atLeast;
    };
    // 6 h at 60 fps is 1,296,000 frames: 5,063 runs of 256; 1920x1080x4 frames fill 10,010 segments.
    for (Case c : {Case{1920, 1080, 60, 5063 + 10010}, Case{1280, 720, 4, 338 + 297}, Case{16, 16, 1, 85}}) {
        DiskSink sink;
        OpenDmlWriter writer(sink, Header(c.w, c.h, c.fps));
        EXPECT_GE(writer.SuperIndexCapacity(), c.atLeast) << c.w << "x" << c.h << "@" << c.fps;
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
    const AviFile avi = ReadAvi(sink.bytes);
    EXPECT_TRUE(avi.errors.empty()) << Errors(avi);
    EXPECT_EQ(avi.frames.size(), 0u);
}
