#include "codec/zmbv_encoder.h"
#include "codec/zmbv_decoder.h"

#include "avi/opendml_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

// A screen-like picture: lines of glyph-sized marks on a plain background, whose unused fourth
// byte holds junk as it does after a real screen copy.
class Screen {
public:
    Screen(int width, int height, uint32_t seed)
        : w(width), h(height), pixels(static_cast<size_t>(w) * h), rng(seed) {
        for (int y = 0; y < h; ++y)
            DrawLine(y);
    }
    void Scroll(int d) { // content moves up by d rows (down for negative d); new lines appear
        std::vector<uint32_t> moved(pixels.size());
        for (int y = 0; y < h; ++y) {
            int from = y + d;
            if (from >= 0 && from < h)
                std::memcpy(&moved[static_cast<size_t>(y) * w], &pixels[static_cast<size_t>(from) * w],
                            w * 4u);
        }
        pixels.swap(moved);
        for (int y = 0; y < h; ++y)
            if (y + d < 0 || y + d >= h)
                DrawLine(y);
    }
    void Type(int glyphs) { // a few marks change, as when typing
        for (int g = 0; g < glyphs; ++g) {
            int x0 = static_cast<int>(rng() % w), y0 = static_cast<int>(rng() % h);
            for (int y = y0; y < std::min(h, y0 + 9); ++y)
                for (int x = x0; x < std::min(w, x0 + 6); ++x)
                    At(x, y) = Colour(rng() % 2 ? 0x202020 : 0xE0E0E0);
        }
    }
    void Replace() {
        for (auto& p : pixels)
            p = Colour(rng() & 0xFFFFFF);
    }
    void JunkInFourthByte() {
        for (auto& p : pixels)
            p = (p & 0xFFFFFF) | (rng() << 24);
    }
    uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(y) * w + x]; }

    int w, h;
    std::vector<uint32_t> pixels;

private:
    uint32_t Colour(uint32_t rgb) { return rgb | (rng() << 24); }
    void DrawLine(int y) {
        const int lineHeight = 11;
        const bool ink = y % lineHeight >= 2 && y % lineHeight < 9;
        const uint32_t seedOfLine = static_cast<uint32_t>(rng());
        for (int x = 0; x < w; ++x) {
            bool mark = ink && ((seedOfLine >> (x / 5 % 32)) & 1) && (x * 7 + y * 3) % 5 != 0;
            At(x, y) = Colour(mark ? 0x10C010 : 0x1E1E2E);
        }
    }
    std::mt19937 rng;
};

struct Packet {
    std::vector<uint8_t> bytes;
    Packet Cut(size_t n) const { return {{bytes.begin(), bytes.begin() + n}}; }
    Packet With(size_t at, uint8_t value) const {
        Packet p = *this;
        p.bytes[at] = value;
        return p;
    }
};

#ifndef _WIN32
// The packets as an AVI written by our own writer, for ffmpeg to read.
class FileSink : public ByteSink {
public:
    explicit FileSink(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {}
    ~FileSink() override { std::fclose(m_file); }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        return std::fseek(m_file, static_cast<long>(offset), SEEK_SET) == 0 &&
               std::fwrite(data, 1, size, m_file) == size;
    }
    bool Flush() override { return std::fflush(m_file) == 0; }
    bool Truncate(uint64_t) override { return false; }

private:
    std::FILE* m_file;
};

void WriteAvi(const std::string& path, int w, int h, const std::vector<Packet>& packets) {
    FileSink sink(path);
    VideoStreamHeader header;
    header.rate = 4;
    header.right = static_cast<int16_t>(w);
    header.bottom = static_cast<int16_t>(h);
    OpenDmlWriter writer(sink, header);
    // BITMAPINFOHEADER: size, width, height, 1 plane, 32 bits, ZMBV.
    uint8_t format[40] = {40,
                          0,
                          0,
                          0,
                          static_cast<uint8_t>(w),
                          static_cast<uint8_t>(w >> 8),
                          0,
                          0,
                          static_cast<uint8_t>(h),
                          static_cast<uint8_t>(h >> 8),
                          0,
                          0,
                          1,
                          0,
                          32,
                          0,
                          'Z',
                          'M',
                          'B',
                          'V'};
    ASSERT_TRUE(writer.SetFormat(format, sizeof(format)));
    for (const Packet& p : packets)
        ASSERT_TRUE(
            writer.WriteFrame(p.bytes.data(), static_cast<uint32_t>(p.bytes.size()), p.bytes[0] & 1, 0));
    ASSERT_TRUE(writer.Finish());
}

// Every frame of the file as ffmpeg decodes it, top-down, 4 bytes a pixel.
std::vector<std::vector<uint8_t>> DecodeWithFfmpeg(const std::string& path, int w, int h) {
    std::vector<std::vector<uint8_t>> frames;
    std::string command = "ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgr0 -";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return frames;
    const size_t frameBytes = static_cast<size_t>(w) * h * 4;
    for (;;) {
        std::vector<uint8_t> frame(frameBytes);
        if (std::fread(frame.data(), 1, frameBytes, pipe) != frameBytes)
            break;
        frames.push_back(std::move(frame));
    }
    pclose(pipe);
    return frames;
}

class TempFile {
public:
    explicit TempFile(const std::string& name)
        : path((std::filesystem::temp_directory_path() / (std::to_string(std::random_device{}()) + name))
                   .string()) {}
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};
#endif

enum class Step { Still, Type, ScrollUp, ScrollDown, Replace };

struct Sequence {
    const char* name;
    int w, h;
    int keyEvery; // 0: only the first frame
    bool bottomUp;
    std::vector<std::pair<Step, int>> steps;
};

Packet EncodeOne(ZmbvEncoder& encoder, const Screen& s, bool key, bool bottomUp) {
    Packet p;
    p.bytes.resize(ZmbvEncoder::MaxFrameSize(s.w, s.h));
    const uint8_t* base = reinterpret_cast<const uint8_t*>(s.pixels.data());
    const ptrdiff_t stride = static_cast<ptrdiff_t>(s.w) * 4;
    // A bottom-up picture is handed over as the platform's frames are: last row first in memory.
    std::vector<uint32_t> flipped;
    if (bottomUp) {
        flipped.resize(s.pixels.size());
        for (int y = 0; y < s.h; ++y)
            std::memcpy(&flipped[static_cast<size_t>(s.h - 1 - y) * s.w],
                        &s.pixels[static_cast<size_t>(y) * s.w], s.w * 4u);
        base = reinterpret_cast<const uint8_t*>(flipped.data()) + (s.h - 1) * stride;
    }
    size_t n = encoder.Encode(base, bottomUp ? -stride : stride, key, p.bytes.data(), p.bytes.size());
    p.bytes.resize(n);
    return p;
}

using S = Step;
const Sequence kSequences[] = {
    {"still, typing and scrolls, one key frame",
     160,
     96,
     0,
     false,
     {{S::Still, 0},
      {S::Still, 0},
      {S::Type, 3},
      {S::ScrollUp, 1},
      {S::ScrollUp, 13},
      {S::ScrollDown, 7},
      {S::Type, 1},
      {S::ScrollDown, 33},
      {S::ScrollUp, 63},
      {S::Still, 0}}},
    {"odd size, key frame every third",
     67,
     45,
     3,
     true,
     {{S::Type, 2},
      {S::ScrollUp, 5},
      {S::Replace, 0},
      {S::ScrollDown, 3},
      {S::Still, 0},
      {S::Type, 4},
      {S::ScrollUp, 11}}},
    {"smaller than a block", 5, 3, 2, true, {{S::Type, 1}, {S::Replace, 0}, {S::Still, 0}, {S::Replace, 0}}},
    {"one pixel", 1, 1, 0, false, {{S::Replace, 0}, {S::Still, 0}, {S::Replace, 0}}},
    {"tall and narrow, scrolled further than a vector reaches",
     17,
     300,
     0,
     true,
     {{S::ScrollUp, 70}, {S::ScrollUp, 9}, {S::ScrollDown, 99}, {S::ScrollDown, 1}}},
    {"key frame every frame", 33, 31, 1, false, {{S::Type, 2}, {S::ScrollUp, 3}, {S::Replace, 0}}},
};

// The sequence's frames and the picture each was encoded from.
std::pair<std::vector<Packet>, std::vector<Screen>> EncodeSequence(const Sequence& seq) {
    Screen screen(seq.w, seq.h, 1234);
    ZmbvEncoder encoder(seq.w, seq.h);
    EXPECT_TRUE(encoder.ready());
    std::vector<Packet> packets;
    std::vector<Screen> shown;
    auto encode = [&](int index) {
        bool key = seq.keyEvery > 0 && index % seq.keyEvery == 0;
        packets.push_back(EncodeOne(encoder, screen, key, seq.bottomUp));
        ASSERT_FALSE(packets.back().bytes.empty());
        EXPECT_EQ(packets.back().bytes[0] & 1, index == 0 || key ? 1 : 0) << "frame " << index;
        shown.push_back(screen);
    };
    encode(0);
    for (auto [step, amount] : seq.steps) {
        switch (step) {
        case S::Still: screen.JunkInFourthByte(); break;
        case S::Type: screen.Type(amount); break;
        case S::ScrollUp: screen.Scroll(amount); break;
        case S::ScrollDown: screen.Scroll(-amount); break;
        case S::Replace: screen.Replace(); break;
        }
        encode(static_cast<int>(packets.size()));
    }
    return {packets, shown};
}

} // namespace

TEST(ZmbvEncoder, FfmpegDecodesEverySequenceToTheInputColours) {
#ifdef _WIN32
    GTEST_SKIP() << "the host's ffmpeg is reached from the codec's Wine test";
#else
    for (const Sequence& seq : kSequences) {
        SCOPED_TRACE(seq.name);
        auto [packets, shown] = EncodeSequence(seq);
        TempFile file(".avi");
        WriteAvi(file.path, seq.w, seq.h, packets);
        auto decoded = DecodeWithFfmpeg(file.path, seq.w, seq.h);
        ASSERT_EQ(decoded.size(), shown.size());
        for (size_t k = 0; k < shown.size(); ++k) {
            int mismatches = 0;
            for (int y = 0; y < seq.h; ++y)
                for (int x = 0; x < seq.w; ++x) {
                    const uint8_t* got = &decoded[k][(static_cast<size_t>(y) * seq.w + x) * 4];
                    uint32_t want = shown[k].At(x, y) & 0xFFFFFF;
                    uint32_t have = got[0] | got[1] << 8 | got[2] << 16;
                    if (have != want && ++mismatches <= 3)
                        ADD_FAILURE() << "frame " << k << " pixel " << x << "," << y << ": " << std::hex
                                      << have << " instead of " << want;
                }
            EXPECT_EQ(mismatches, 0) << "frame " << k;
        }
    }
#endif
}

TEST(ZmbvEncoder, UnchangedAndScrolledFramesCostLittle) {
    const int w = 320, h = 240;
    Screen screen(w, h, 99);
    ZmbvEncoder encoder(w, h);
    EncodeOne(encoder, screen, true, false);
    screen.JunkInFourthByte();
    EXPECT_LT(EncodeOne(encoder, screen, false, false).bytes.size(), 40u)
        << "junk in the fourth byte counted as change";
    for (int d : {7, -13, 1, -1, 21, 63}) {
        // A scrolled frame should cost about what its newly shown rows cost alone: the picture
        // with only those rows changed, in place, is the yardstick.
        Screen before = screen;
        screen.Scroll(d);
        const size_t scrolled = EncodeOne(encoder, screen, false, false).bytes.size();
        Screen onlyNewRows = before;
        for (int y = 0; y < h; ++y)
            if (y + d < 0 || y + d >= h)
                std::memcpy(&onlyNewRows.At(0, y), &screen.At(0, y), w * 4u);
        ZmbvEncoder yardstick(w, h);
        EncodeOne(yardstick, before, true, false);
        const size_t newRows = EncodeOne(yardstick, onlyNewRows, false, false).bytes.size();
        EXPECT_LE(scrolled, newRows + newRows / 2 + 100) << "scroll by " << d;
    }
}

TEST(ZmbvEncoder, RefusesToWriteBeyondTheBuffer) {
    Screen screen(64, 64, 7);
    screen.Replace();
    ZmbvEncoder encoder(64, 64);
    std::vector<uint8_t> small(100);
    EXPECT_EQ(encoder.Encode(reinterpret_cast<const uint8_t*>(screen.pixels.data()), 64 * 4, true,
                             small.data(), small.size()),
              0u);
    // The failed frame left no half-written stream behind: the next one is a key frame again.
    Packet next = EncodeOne(encoder, screen, false, false);
    ASSERT_FALSE(next.bytes.empty());
    EXPECT_EQ(next.bytes[0] & 1, 1);
}

namespace {

// The picture as a decoder should show it: top-down, 4 bytes a pixel, nothing in the fourth.
std::vector<uint8_t> Expected(Screen s) {
    for (uint32_t& p : s.pixels)
        p &= 0xFFFFFF;
    return {reinterpret_cast<uint8_t*>(s.pixels.data()),
            reinterpret_cast<uint8_t*>(s.pixels.data() + s.w * s.h)};
}

// Checks the picture in every layout a Video for Windows caller may ask for against a top-down one
// of 4 bytes a pixel.
void ExpectShows(const ZmbvDecoder& decoder, int w, int h, const std::vector<uint8_t>& want) {
    for (int bits : {32, 24})
        for (ptrdiff_t sign : {1, -1}) {
            const ptrdiff_t size = bits / 8, row = (w * size + 3) & ~3;
            std::vector<uint8_t> out(row * h), expected(row * h);
            for (ptrdiff_t y = 0; y < h; ++y)
                for (ptrdiff_t x = 0; x < w; ++x)
                    std::memcpy(&expected[(sign > 0 ? y : h - 1 - y) * row + x * size],
                                &want[(y * w + x) * 4], size);
            ASSERT_TRUE(decoder.CopyTo(sign > 0 ? out.data() : &out[(h - 1) * row], sign * row, bits));
            EXPECT_TRUE(out == expected) << bits << " bits, " << (sign > 0 ? "top-down" : "bottom-up");
        }
}

// Frames stored without zlib, made up here: a random picture, then random vectors over their whole
// range, many reaching outside the picture, and random XOR data.
std::vector<Packet> StoredFrames(int w, int h, int bw, int bh, int count, uint32_t seed) {
    std::mt19937 rng(seed);
    auto add = [&](Packet& p, size_t n) { std::generate_n(std::back_inserter(p.bytes), n, std::ref(rng)); };
    std::vector<Packet> frames{{{1, 0, 1, 0, 8, static_cast<uint8_t>(bw), static_cast<uint8_t>(bh)}}};
    add(frames[0], static_cast<size_t>(w) * h * 4);
    const int blocksX = (w + bw - 1) / bw, blocks = blocksX * ((h + bh - 1) / bh);
    for (int f = 1; f < count; ++f) {
        Packet& p = frames.emplace_back(Packet{{0}});
        add(p, blocks * 2);
        p.bytes.resize(1 + ((blocks * 2 + 3) & ~3));
        for (int b = 0; b < blocks; ++b) {
            p.bytes[2 + b * 2] &= 0xFE;
            if (p.bytes[1 + b * 2] & 1)
                add(p, std::min(bw, w - b % blocksX * bw) * std::min(bh, h - b / blocksX * bh) * 4);
        }
    }
    return frames;
}

DecodeStatus Decode(ZmbvDecoder& decoder, const Packet& p) {
    return decoder.Decode(p.bytes.data(), p.bytes.size());
}

// Decodes the frames, each checked against the picture it was encoded from where there is one and
// against ffmpeg's decoding of them; then seeks back to the last key frame, as a player does.
void ExpectDecodes(int w, int h, const std::vector<Packet>& packets, const std::vector<Screen>& shown) {
    std::vector<std::vector<uint8_t>> ffmpeg;
#ifndef _WIN32
    TempFile file(".avi");
    WriteAvi(file.path, w, h, packets);
    ffmpeg = DecodeWithFfmpeg(file.path, w, h);
    ASSERT_EQ(ffmpeg.size(), packets.size());
#endif
    ZmbvDecoder decoder(w, h);
    size_t lastKey = 0;
    for (size_t k = 0; k < packets.size(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        ASSERT_EQ(Decode(decoder, packets[k]), DecodeStatus::Ok);
        if (k < shown.size())
            ExpectShows(decoder, w, h, Expected(shown[k]));
        if (k < ffmpeg.size())
            ExpectShows(decoder, w, h, ffmpeg[k]);
        lastKey = packets[k].bytes[0] & 1 ? k : lastKey;
    }
    decoder.Reset();
    const bool keyLast = packets.back().bytes[0] & 1;
    EXPECT_EQ(Decode(decoder, packets.back()), keyLast ? DecodeStatus::Ok : DecodeStatus::NeedKeyFrame);
    EXPECT_EQ(Decode(decoder, packets[lastKey]), DecodeStatus::Ok);
}

} // namespace

TEST(ZmbvDecoder, ShowsEveryFrameAsEncodedAndAsFfmpegShowsIt) {
    for (const Sequence& seq : kSequences) {
        SCOPED_TRACE(seq.name);
        auto [packets, shown] = EncodeSequence(seq);
        ExpectDecodes(seq.w, seq.h, packets, shown);
    }
    SCOPED_TRACE("stored frames, 8x5 blocks, any vector");
    ExpectDecodes(37, 21, StoredFrames(37, 21, 8, 5, 6, 5), {});
}

TEST(ZmbvDecoder, RefusesEveryMalformedFrameAndRecoversAtTheNextKeyFrame) {
    const Sequence& seq = kSequences[1]; // 5 x 3 blocks, the last ones partial; key frames 0, 3, 6
    const int w = seq.w, h = seq.h;
    auto [good, shown] = EncodeSequence(seq);
    const Packet &key = good[0], &inter = good[1], stored = StoredFrames(w, h, 16, 16, 1, 9)[0];
    const Packet still{std::vector<uint8_t>(33, 0)}; // stored inter frame: no motion, no XOR data
    using D = DecodeStatus;
    // Frames fed in turn; the last one's status is checked.
    const std::tuple<const char*, std::vector<Packet>, D> cases[] = {
        {"empty", {Packet{}}, D::Malformed},
        {"flags byte alone", {key.Cut(1)}, D::Malformed},
        {"key frame header alone", {key.Cut(7)}, D::Malformed},
        {"zlib stream cut short", {key.Cut(key.bytes.size() / 2)}, D::Malformed},
        {"zlib header broken", {key.With(7, 0)}, D::Malformed},
        {"zlib data broken after the picture", {key.With(key.bytes.size() - 1, 0)}, D::Malformed},
        {"key frame of a wider picture", {StoredFrames(w + 1, h, 16, 16, 1, 9)[0]}, D::Malformed},
        {"stored key frame a pixel short", {stored.Cut(stored.bytes.size() - 4)}, D::Malformed},
        {"version 0.2", {key.With(2, 2)}, D::Unsupported},
        {"compression 2", {key.With(3, 2)}, D::Unsupported},
        {"8-bit palettized", {key.With(4, 4)}, D::Unsupported},
        {"format none", {key.With(4, 0)}, D::Malformed},
        {"format 9", {key.With(4, 9)}, D::Malformed},
        {"block width 0", {key.With(5, 0)}, D::Malformed},
        {"block height 0", {key.With(6, 0)}, D::Malformed},
        {"block size changed", {key, inter, good[3].With(5, 8)}, D::FormatChanged},
        {"depth changed", {key, good[3].With(4, 6)}, D::FormatChanged},
        {"inter frame first", {inter}, D::NeedKeyFrame},
        {"inter frame cut short", {key, inter.Cut(inter.bytes.size() / 2)}, D::Malformed},
        {"inter frame after a bad one", {key, inter.Cut(inter.bytes.size() / 2), good[2]}, D::NeedKeyFrame},
        {"stored inter frame", {stored, still}, D::Ok},
        {"vertical vector byte odd", {stored, still.With(2, 1)}, D::Malformed},
        {"XOR data missing", {stored, still.With(1, 1)}, D::Malformed},
        {"XOR data left over", {stored, Packet{std::vector<uint8_t>(37, 0)}}, D::Malformed},
        {"vector table cut short", {stored, still.Cut(6)}, D::Malformed},
    };
    for (const auto& [name, frames, want] : cases) {
        SCOPED_TRACE(name);
        ZmbvDecoder decoder(w, h);
        std::vector<uint8_t> before(w * h * 4), after(before.size());
        bool hadPicture = false;
        D status = D::Ok;
        for (const Packet& p : frames) {
            hadPicture = decoder.CopyTo(before.data(), w * 4, 32);
            status = Decode(decoder, p);
        }
        EXPECT_EQ(status, want);
        // Whatever the frame held, the last good picture stays on show.
        EXPECT_EQ(decoder.CopyTo(after.data(), w * 4, 32), hadPicture);
        EXPECT_EQ(after, before);
        ASSERT_EQ(Decode(decoder, good[3]), D::Ok);
        ASSERT_EQ(Decode(decoder, good[4]), D::Ok);
        ExpectShows(decoder, w, h, Expected(shown[4]));
    }
}

TEST(ZmbvDecoder, RefusesSizesAndLayoutsItCannotServe) {
    EXPECT_FALSE(ZmbvDecoder(0, 1).ready());
    ZmbvDecoder tooLarge(ZmbvDecoder::kMaxPixels + 1, 1);
    EXPECT_FALSE(tooLarge.ready());
    EXPECT_EQ(Decode(tooLarge, StoredFrames(1, 1, 16, 16, 1, 1)[0]), DecodeStatus::Unsupported);
    ZmbvDecoder decoder(3, 2);
    std::vector<uint8_t> out(24);
    EXPECT_FALSE(decoder.CopyTo(out.data(), 12, 32)) << "no picture yet";
    // A key frame whose zlib stream ends with it is as good as one that goes on.
    const Packet stored = StoredFrames(3, 2, 16, 16, 1, 1)[0];
    Packet finished = stored.With(3, 1);
    uLongf size = compressBound(24);
    finished.bytes.resize(7 + size);
    ASSERT_EQ(compress(&finished.bytes[7], &size, &stored.bytes[7], 24), Z_OK);
    ASSERT_EQ(Decode(decoder, finished.Cut(7 + size)), DecodeStatus::Ok);
    EXPECT_TRUE(decoder.CopyTo(out.data(), 12, 32));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), stored.bytes.begin() + 7));
    EXPECT_FALSE(decoder.CopyTo(out.data(), 12, 16));
    EXPECT_FALSE(decoder.CopyTo(out.data() + 11, -11, 32));
    EXPECT_EQ(decoder.Decode(finished.bytes.data(), SIZE_MAX), DecodeStatus::Malformed)
        << "a size beyond any frame's";
}
