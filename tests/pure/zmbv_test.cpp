#include "codec/zmbv_decoder.h"
#include "codec/zmbv_encoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "avi/avi_layout.h"
#include "tests/support/avi_reader.h"

namespace {

using Picture = std::vector<uint32_t>; // top-down, 4 bytes a pixel

// A screen-like picture: lines of glyph-sized marks on a plain background, whose unused fourth
// byte holds junk as it does after a real screen copy.
struct Screen {
    int w, h;
    Picture pixels;
    std::mt19937 rng;

    Screen(int width, int height, uint32_t seed) : w(width), h(height), pixels(size_t(w) * h), rng(seed) {
        Step('S', h); // every line new
    }
    uint32_t& At(int x, int y) { return pixels[size_t(y) * w + x]; }
    uint32_t Colour(uint32_t rgb) { return rgb | (rng() << 24); }
    // '.' still but for the fourth byte, 'T'n n glyphs typed, 'S'n content scrolled up by n rows (down
    // for negative n) and new lines shown, 'R' all replaced, 'V'n a video's next picture in the top n
    // rows: pairs of pixels alike.
    void Step(char step, int n) {
        const int d = step == 'S' ? n : 0;
        std::rotate(pixels.begin(), pixels.begin() + size_t((d + h) % h) * w, pixels.end());
        for (int y = 0; y < h; ++y) {
            const uint32_t seedOfLine = rng();
            for (int x = 0; (y + d < 0 || y + d >= h) && x < w; ++x) {
                const bool ink = y % 11 >= 2 && y % 11 < 9 && ((seedOfLine >> (x / 5 % 32)) & 1);
                At(x, y) = Colour(ink && (x * 7 + y * 3) % 5 != 0 ? 0x10C010 : 0x1E1E2E);
            }
        }
        for (int g = 0; step == 'T' && g < n; ++g) {
            const int x0 = static_cast<int>(rng() % w), y0 = static_cast<int>(rng() % h);
            for (int y = y0; y < std::min(h, y0 + 9); ++y)
                for (int x = x0; x < std::min(w, x0 + 6); ++x)
                    At(x, y) = Colour(rng() % 2 ? 0x202020 : 0xE0E0E0);
        }
        for (int y = 0; step == 'V' && y < n; ++y)
            for (int x = 0; x < w; ++x)
                At(x, y) = x % 2 ? At(x - 1, y) : Colour(rng() & 0xFFFFFF);
        for (uint32_t& p : pixels)
            p = step == '.' ? (p & 0xFFFFFF) | (rng() << 24) : step == 'R' ? Colour(rng() & 0xFFFFFF) : p;
    }
};

using Packet = std::vector<uint8_t>;

const auto IsKey = [](const Packet& p) { return (p[0] & 1) != 0; };

// A bottom-up picture is handed over as the platform's frames are: last row first in memory.
Packet EncodeOne(ZmbvEncoder& e, const Screen& s, bool key, bool bottomUp = false, size_t capacity = 0) {
    std::vector<uint32_t> memory(s.pixels);
    for (int y = 0; bottomUp && y < s.h; ++y)
        std::copy_n(&s.pixels[size_t(y) * s.w], s.w, &memory[size_t(s.h - 1 - y) * s.w]);
    const ptrdiff_t stride = (bottomUp ? -4 : 4) * ptrdiff_t{s.w};
    const auto* top = reinterpret_cast<const uint8_t*>(memory.data()) - (bottomUp ? (s.h - 1) * stride : 0);
    Packet p(capacity ? capacity : ZmbvEncoder::MaxFrameSize(s.w, s.h));
    p.resize(e.Encode(top, stride, key, p.data(), p.size()));
    return p;
}

const struct Sequence {
    const char* name;
    int w, h, keyEvery; // keyEvery 0: only the first frame
    bool bottomUp;
    const char* steps; // after the first frame, one frame after each step
} kSequences[] = {
    {"still, typing and scrolls, one key frame", 160, 96, 0, false, "..T3S1S13S-7T1S-33S63."},
    {"odd size, key frame every third", 67, 45, 3, true, "T2S5RS-3.T4S11"},
    {"smaller than a block", 5, 3, 2, true, "T1R.R"},
    {"tall and narrow, scrolled further than a vector reaches", 17, 300, 0, true, "S70S9S-99S-1"},
    {"key frame every frame", 33, 31, 1, false, "T2S3R"},
    {"noise over several of deflate's slices, then small changes", 320, 240, 0, false, "RRT3RS5."},
    {"a video, then typing", 320, 240, 0, false, "V240V240V96V32.T2V240"}};

std::pair<std::vector<Packet>, std::vector<Picture>> EncodeSequence(const Sequence& seq) {
    Screen screen(seq.w, seq.h, 1234);
    ZmbvEncoder encoder(seq.w, seq.h);
    std::vector<Packet> packets;
    std::vector<Picture> shown;
    for (const char* s = seq.steps;; ++s) {
        const size_t k = packets.size();
        const bool key = seq.keyEvery > 0 && k % seq.keyEvery == 0;
        packets.push_back(EncodeOne(encoder, screen, key, seq.bottomUp));
        shown.push_back(screen.pixels);
        for (uint32_t& p : shown.back())
            p &= 0xFFFFFF; // a decoder shows nothing in the fourth byte
        EXPECT_TRUE(packets.back().size() > 1 && IsKey(packets.back()) == (k == 0 || key)) << "frame " << k;
        if (*s == 0)
            break;
        char* end;
        screen.Step(*s, static_cast<int>(std::strtol(s + 1, &end, 10)));
        s = end - 1;
    }
    return {packets, shown};
}

// The picture in every layout a Video for Windows caller may ask for: 32 or 24 bits, top-down or bottom-up.
void ExpectShows(const ZmbvDecoder& decoder, int w, int h, const Picture& want) {
    for (int bytes : {4, 3})
        for (int sign : {1, -1}) {
            const ptrdiff_t row = (w * bytes + 3) & ~3;
            std::vector<uint8_t> out(row * h), ref(row * h);
            for (int i = 0; i < w * h; ++i)
                std::memcpy(&ref[(sign > 0 ? i / w : h - 1 - i / w) * row + i % w * bytes], &want[i], bytes);
            ASSERT_TRUE(decoder.CopyTo(sign > 0 ? out.data() : &out[(h - 1) * row], sign * row, bytes * 8));
            EXPECT_TRUE(out == ref) << bytes * 8 << " bits, " << (sign > 0 ? "top-down" : "bottom-up");
        }
}

// Frames stored without zlib, made up here: a random picture, then random vectors over their whole
// range, many reaching outside the picture, and random XOR data.
std::vector<Packet> StoredFrames(int w, int h, int bw, int bh, int count, uint32_t seed) {
    std::mt19937 rng(seed);
    auto add = [&](Packet& p, size_t n) { std::generate_n(std::back_inserter(p), n, std::ref(rng)); };
    std::vector<Packet> frames(1, Packet{1, 0, 1, 0, 8, uint8_t(bw), uint8_t(bh)});
    add(frames[0], size_t(w) * h * 4);
    const int blocksX = (w + bw - 1) / bw, blocks = blocksX * ((h + bh - 1) / bh);
    for (int f = 1; f < count; ++f) {
        Packet& p = frames.emplace_back(Packet{0});
        add(p, (blocks * 2 + 3) & ~3);
        for (int b = 0; b < blocks; ++b) {
            p[2 + b * 2] &= 0xFE;
            if (p[1 + b * 2] & 1)
                add(p, std::min(bw, w - b % blocksX * bw) * std::min(bh, h - b / blocksX * bh) * 4);
        }
    }
    return frames;
}

const auto Decode = [](ZmbvDecoder& decoder, const Packet& p) { return decoder.Decode(p.data(), p.size()); };

// Each frame decoded as encoded, where that is known, and as ffmpeg decodes it in an AVI of our writer;
// then a seek back to the last key frame, as a player does.
void ExpectDecodes(int w, int h, const std::vector<Packet>& packets, const std::vector<Picture>& shown) {
    test_support::DiskSink sink;
    OpenDmlWriter writer(sink, {.rate = 4, .right = int16_t(w), .bottom = int16_t(h)});
    avi::Encoder bih; // BITMAPINFOHEADER
    bih.U32(40), bih.U32(w), bih.U32(h), bih.U16(1), bih.U16(32), bih.U32(avi::FourCc("ZMBV")), bih.Zeros(20);
    EXPECT_TRUE(writer.SetFormat(bih.bytes().data(), bih.size()));
    for (const Packet& p : packets)
        EXPECT_TRUE(writer.WriteFrame(p.data(), uint32_t(p.size()), IsKey(p), 0));
    EXPECT_TRUE(writer.Finish());
    std::vector<Picture> ffmpeg;
#ifndef _WIN32 // the host's ffmpeg is run from the native build
    const std::string path = testing::TempDir() + "mirvox-" + std::to_string(std::random_device{}()) + ".avi";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(sink.bytes.data()), sink.bytes.size());
    if (std::FILE* pipe =
            popen(("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgr0 -").c_str(), "r")) {
        for (Picture frame(w * h); std::fread(frame.data(), 4, frame.size(), pipe) == frame.size();)
            ffmpeg.push_back(frame);
        pclose(pipe);
    }
    std::remove(path.c_str());
    EXPECT_EQ(ffmpeg.size(), packets.size());
#endif
    ZmbvDecoder decoder(w, h);
    size_t lastKey = 0;
    for (size_t k = 0; k < packets.size(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        ASSERT_EQ(Decode(decoder, packets[k]), DecodeStatus::Ok);
        if (k < shown.size())
            ExpectShows(decoder, w, h, shown[k]);
        if (k < ffmpeg.size())
            ExpectShows(decoder, w, h, ffmpeg[k]);
        lastKey = IsKey(packets[k]) ? k : lastKey;
    }
    decoder.Reset();
    EXPECT_EQ(Decode(decoder, packets.back()),
              IsKey(packets.back()) ? DecodeStatus::Ok : DecodeStatus::NeedKeyFrame);
    EXPECT_EQ(Decode(decoder, packets[lastKey]), DecodeStatus::Ok);
}

} // namespace

TEST(ZmbvEncoder, UnchangedAndScrolledFramesCostLittleAndNoFrameGoesPastTheBuffer) {
    const int w = 320, h = 240;
    Screen screen(w, h, 99);
    ZmbvEncoder encoder(w, h);
    EncodeOne(encoder, screen, true);
    screen.Step('.', 0);
    EXPECT_LT(EncodeOne(encoder, screen, false).size(), 40u) << "junk in the fourth byte counted as change";
    for (int d : {7, -13, 1, -1, 21, 63}) {
        // A scrolled frame should cost about what its newly shown rows cost alone: the picture
        // with only those rows changed, in place, is the yardstick.
        Screen before = screen, onlyNewRows = screen;
        screen.Step('S', d);
        const size_t scrolled = EncodeOne(encoder, screen, false).size();
        for (int y = 0; y < h; ++y)
            if (y + d < 0 || y + d >= h)
                std::memcpy(&onlyNewRows.At(0, y), &screen.At(0, y), w * 4u);
        ZmbvEncoder yardstick(w, h);
        EncodeOne(yardstick, before, true);
        const size_t newRows = EncodeOne(yardstick, onlyNewRows, false).size();
        EXPECT_LE(scrolled, newRows + newRows / 2 + 100) << "scroll by " << d;
    }
    screen.Step('R', 0);
    EXPECT_TRUE(EncodeOne(encoder, screen, true, false, 6).empty() &&
                EncodeOne(encoder, screen, false, false, 100).empty());
    // The failed frame left no half-written stream behind: the next one is a key frame again.
    const Packet next = EncodeOne(encoder, screen, false);
    EXPECT_TRUE(next.size() > 1 && IsKey(next));
}

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
    const Packet still(33, 0); // stored inter frame: no motion, no XOR data
    auto cut = [](const Packet& p, size_t n) { return Packet(p.begin(), p.begin() + n); };
    auto with = [](Packet p, size_t at, uint8_t value) { return p[at] = value, p; };
    using D = DecodeStatus; // of the last frame of each case
    const std::tuple<const char*, std::vector<Packet>, D> cases[] = {
        {"empty", {Packet{}}, D::Malformed},
        {"key frame header a byte short", {cut(key, 6)}, D::Malformed},
        {"zlib data broken after the picture", {with(key, key.size() - 1, 0)}, D::Malformed},
        {"key frame of a wider picture", {StoredFrames(w + 1, h, 16, 16, 1, 9)[0]}, D::Malformed},
        {"stored key frame a pixel short", {cut(stored, stored.size() - 4)}, D::Malformed},
        {"version 0.2", {with(key, 2, 2)}, D::Unsupported},
        {"compression 2", {with(key, 3, 2)}, D::Unsupported},
        {"8-bit palettized", {with(key, 4, 4)}, D::Unsupported},
        {"format none", {with(key, 4, 0)}, D::Malformed},
        {"format 9", {with(key, 4, 9)}, D::Malformed},
        {"block width 0", {with(key, 5, 0)}, D::Malformed},
        {"block height 0", {with(key, 6, 0)}, D::Malformed},
        {"block size changed", {key, inter, with(good[3], 5, 8)}, D::FormatChanged},
        {"depth changed", {key, with(good[3], 4, 6)}, D::FormatChanged},
        {"inter frame first", {inter}, D::NeedKeyFrame},
        {"inter frame cut short", {key, cut(inter, inter.size() / 2)}, D::Malformed},
        {"inter frame after a bad one", {key, cut(inter, inter.size() / 2), good[2]}, D::NeedKeyFrame},
        {"stored inter frame", {stored, still}, D::Ok},
        {"vertical vector byte odd", {stored, with(still, 2, 1)}, D::Malformed},
        {"XOR data missing", {stored, with(still, 1, 1)}, D::Malformed},
        {"XOR data left over", {stored, Packet(37, 0)}, D::Malformed},
        {"vector table cut short", {stored, cut(still, 6)}, D::Malformed}};
    for (const auto& [name, frames, want] : cases) {
        SCOPED_TRACE(name);
        ZmbvDecoder decoder(w, h);
        for (const Packet& p : std::span(frames).first(frames.size() - 1))
            Decode(decoder, p);
        std::vector<uint8_t> before(w * h * 4), after(before.size());
        const bool hadPicture = decoder.CopyTo(before.data(), w * 4, 32);
        EXPECT_EQ(Decode(decoder, frames.back()), want);
        // Whatever the frame held, the last good picture stays on show.
        EXPECT_TRUE(decoder.CopyTo(after.data(), w * 4, 32) == hadPicture && after == before);
        ASSERT_EQ(Decode(decoder, good[3]), D::Ok);
        ASSERT_EQ(Decode(decoder, good[4]), D::Ok);
        ExpectShows(decoder, w, h, shown[4]);
    }
}

TEST(ZmbvDecoder, RefusesSizesAndLayoutsItCannotServe) {
    EXPECT_FALSE(ZmbvDecoder(0, 1).ready());
    ZmbvDecoder tooLarge(ZmbvDecoder::kMaxPixels + 1, 1);
    EXPECT_EQ(Decode(tooLarge, StoredFrames(1, 1, 16, 16, 1, 1)[0]), DecodeStatus::Unsupported);
    ZmbvDecoder decoder(3, 2);
    std::vector<uint8_t> out(24);
    EXPECT_FALSE(decoder.CopyTo(out.data(), 12, 32)) << "no picture yet";
    // A key frame whose zlib stream ends with it is as good as one that goes on.
    const Packet stored = StoredFrames(3, 2, 16, 16, 1, 1)[0];
    Packet finished = {1, 0, 1, 1, 8, 16, 16}; // compressed
    uLongf size = compressBound(24);
    finished.resize(7 + size);
    ASSERT_EQ(compress(&finished[7], &size, &stored[7], 24), Z_OK);
    finished.resize(7 + size);
    ASSERT_EQ(Decode(decoder, finished), DecodeStatus::Ok);
    EXPECT_TRUE(decoder.CopyTo(out.data(), 12, 32) && std::equal(out.begin(), out.end(), stored.begin() + 7));
    EXPECT_FALSE(decoder.CopyTo(out.data(), 12, 16));
    EXPECT_FALSE(decoder.CopyTo(out.data() + 11, -11, 32));
    EXPECT_EQ(decoder.Decode(finished.data(), SIZE_MAX), DecodeStatus::Malformed);
}
