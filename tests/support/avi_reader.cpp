#include "tests/support/avi_reader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

#include "platform/little_endian.h"

namespace test_support {
namespace {

constexpr uint32_t Id(const char (&s)[5]) {
    return static_cast<uint8_t>(s[0]) | static_cast<uint8_t>(s[1]) << 8 | static_cast<uint8_t>(s[2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

struct Chunk {
    uint32_t id;
    uint64_t offset; // of the id
    uint32_t size;
    uint64_t data() const { return offset + 8; }
    uint64_t end() const { return data() + size + (size & 1); }
};

constexpr uint32_t kHasIndex = 0x10, kKeyFrame = 0x10, kDeltaFrame = 0x80000000u;
constexpr uint64_t kNone = UINT64_MAX;

class Reader {
public:
    Reader(std::span<const uint8_t> file, AviFile& avi) : m_file(file), m_avi(avi) {}

    void Read() {
        ReadRiffChain();
        if (m_avi.riffs.empty())
            return Error("no RIFF");
        for (size_t r = 0; r < m_avi.riffs.size(); ++r)
            ReadRiff(m_avi.riffs[r], r == 0);
        ReadSuperIndex();
        CheckIndexesAgree();
    }

private:
    // Messages are built only for errors: a test may read thousands of files.
    void Error(const char* what, uint64_t value = kNone) {
        m_avi.errors.push_back(value == kNone ? what : what + (" " + std::to_string(value)));
    }
    void Expect(bool ok, const char* what, uint64_t value = kNone) {
        if (!ok)
            Error(what, value);
    }
    bool Has(uint64_t at, uint64_t n) const { return at <= m_file.size() && n <= m_file.size() - at; }
    uint16_t U16(uint64_t at) const { return Has(at, 2) ? little_endian::LoadU16(&m_file[at]) : 0; }
    uint32_t U32(uint64_t at) const { return Has(at, 4) ? little_endian::LoadU32(&m_file[at]) : 0; }
    uint64_t U64(uint64_t at) const { return Has(at, 8) ? little_endian::LoadU64(&m_file[at]) : 0; }

    void ReadRiffChain() {
        uint64_t at = 0;
        while (Has(at, 12) && U32(at) == Id("RIFF") && at + 8 + U32(at + 4) <= m_file.size()) {
            const uint32_t size = U32(at + 4);
            Expect(size % 2 == 0, "odd size of the RIFF at", at);
            m_avi.riffs.push_back({at, size, U32(at + 8), 0, 0});
            at += 8 + size;
        }
        m_avi.end = at;
        if (at != m_file.size())
            Error("bytes after the last whole RIFF, which ends at", at);
    }

    // The chunks that tile [from, to); one that runs past `to` ends the walk.
    std::vector<Chunk> Children(uint64_t from, uint64_t to) {
        std::vector<Chunk> chunks;
        uint64_t at = from;
        while (at < to) {
            Chunk c{U32(at), at, U32(at + 4)};
            if (at + 8 > to || c.end() > to) {
                Error("chunk runs past the end of its list at", at);
                break;
            }
            chunks.push_back(c);
            at = c.end();
        }
        return chunks;
    }

    static const Chunk* Find(const std::vector<Chunk>& chunks, uint32_t id) {
        auto it = std::find_if(chunks.begin(), chunks.end(), [id](const Chunk& c) { return c.id == id; });
        return it == chunks.end() ? nullptr : &*it;
    }
    const Chunk* FindList(const std::vector<Chunk>& chunks, uint32_t type) const {
        for (const Chunk& c : chunks)
            if (c.id == Id("LIST") && c.size >= 4 && U32(c.data()) == type)
                return &c;
        return nullptr;
    }
    std::vector<Chunk> ListChildren(const Chunk& list) {
        return Children(list.data() + 4, list.data() + list.size);
    }

    void ReadRiff(AviRiff& riff, bool first) {
        Expect(riff.form == (first ? Id("AVI ") : Id("AVIX")), "wrong form of the RIFF at", riff.offset);
        const std::vector<Chunk> chunks = Children(riff.offset + 12, riff.offset + 8 + riff.size);
        const Chunk* hdrl = first ? FindList(chunks, Id("hdrl")) : nullptr;
        const Chunk* movi = FindList(chunks, Id("movi"));
        const Chunk* idx1 = first ? Find(chunks, Id("idx1")) : nullptr;
        for (const Chunk& c : chunks)
            Expect(&c == hdrl || &c == movi || &c == idx1 || c.id == Id("JUNK"),
                   "unexpected chunk in a RIFF at", c.offset);
        if (first && !hdrl)
            Error("no hdrl list");
        else if (hdrl)
            ReadHeaders(*hdrl);
        if (!movi)
            return Error("no movi list in the RIFF at", riff.offset);
        riff.movi = movi->data();
        riff.moviEnd = movi->data() + movi->size;
        for (const Chunk& c : ListChildren(*movi))
            ReadMoviChunk(c);
        if (idx1) {
            Expect(idx1->offset > movi->offset, "idx1 before movi");
            ReadIdx1(*idx1);
        }
        if (first)
            m_firstRiffFrames = m_moviFrames.size();
    }

    void ReadMoviChunk(const Chunk& c) {
        if (c.id == Id("ix00"))
            m_standardIndexes.push_back(c);
        else if (c.id == m_avi.chunkId && m_avi.chunkId != 0)
            m_moviFrames.push_back({c.offset, c.size, false});
        else
            Expect(c.id == Id("JUNK"), "unexpected chunk in movi at", c.offset);
    }

    void ReadHeaders(const Chunk& hdrl) {
        const std::vector<Chunk> chunks = ListChildren(hdrl);
        const Chunk* avih = Find(chunks, Id("avih"));
        if (!avih || avih->size < 56)
            return Error("no avih of 56 bytes");
        const uint64_t a = avih->data();
        m_avi.microSecPerFrame = U32(a);
        m_avi.flags = U32(a + 12);
        m_avi.totalFrames = U32(a + 16);
        m_avi.streams = U32(a + 24);
        m_avi.width = U32(a + 32);
        m_avi.height = U32(a + 36);
        Expect(m_avi.streams == 1, "avih streams", m_avi.streams);
        const Chunk* strl = FindList(chunks, Id("strl"));
        const Chunk* odml = FindList(chunks, Id("odml"));
        if (!strl || !odml)
            return Error("no strl or odml list");
        ReadStreamList(ListChildren(*strl));
        const std::vector<Chunk> odmlChunks = ListChildren(*odml);
        const Chunk* dmlh = Find(odmlChunks, Id("dmlh"));
        Expect(dmlh && dmlh->size >= 4, "no dmlh");
        m_avi.dmlhFrames = dmlh ? U32(dmlh->data()) : 0;
    }

    void ReadStreamList(const std::vector<Chunk>& chunks) {
        const Chunk* strh = Find(chunks, Id("strh"));
        const Chunk* strf = Find(chunks, Id("strf"));
        const Chunk* indx = Find(chunks, Id("indx"));
        if (!strh || strh->size < 48 || !strf || !indx || indx->size < 24)
            return Error("strl lacks strh, strf or indx");
        const uint64_t h = strh->data();
        Expect(U32(h) == Id("vids"), "not a video stream");
        m_avi.handler = U32(h + 4);
        m_avi.scale = U32(h + 20);
        m_avi.rate = U32(h + 24);
        m_avi.length = U32(h + 32);
        m_avi.suggestedBufferSize = U32(h + 36);
        m_avi.quality = U32(h + 40);
        Expect(m_avi.scale != 0 && m_avi.rate != 0, "zero scale or rate");
        m_avi.format.assign(m_file.begin() + strf->data(), m_file.begin() + strf->data() + strf->size);
        if (strf->size >= 40) {
            const int64_t height = static_cast<int32_t>(U32(strf->data() + 8));
            Expect(U32(strf->data() + 4) == m_avi.width && (height < 0 ? -height : height) == m_avi.height,
                   "strf frame size differs from avih's");
            const bool uncompressed = U32(strf->data() + 16) == 0;
            m_expectedChunkId = uncompressed ? Id("00db") : Id("00dc");
        } else {
            Error("strf shorter than a BITMAPINFOHEADER");
        }
        const uint64_t x = indx->data();
        Expect(U16(x) == 4 && m_file[x + 2] == 0 && m_file[x + 3] == 0, "indx is not an index of indexes");
        m_superEntries = U32(x + 4);
        m_avi.chunkId = U32(x + 8);
        Expect(m_avi.chunkId == m_expectedChunkId, "indx chunk id does not suit the format");
        Expect(24 + uint64_t{16} * m_superEntries <= indx->size, "indx entries past its chunk");
        m_superEntries = std::min<uint64_t>(m_superEntries, (indx->size - 24) / 16);
        m_superAt = x + 24;
    }

    void ReadIdx1(const Chunk& idx1) {
        m_avi.hasIdx1 = true;
        Expect(idx1.size % 16 == 0, "idx1 size", idx1.size);
        for (uint64_t e = idx1.data(); e + 16 <= idx1.data() + idx1.size; e += 16) {
            Expect(U32(e) == m_avi.chunkId, "wrong id in the idx1 entry at", e);
            m_avi.idx1.push_back({U32(e + 8), U32(e + 12), (U32(e + 4) & kKeyFrame) != 0});
        }
    }

    void ReadSuperIndex() {
        for (uint32_t s = 0; s < m_superEntries; ++s) {
            const uint64_t e = m_superAt + 16 * uint64_t{s};
            const uint64_t at = U64(e);
            auto ix = std::find_if(m_standardIndexes.begin(), m_standardIndexes.end(),
                                   [at](const Chunk& c) { return c.offset == at; });
            if (ix == m_standardIndexes.end()) {
                Error("super index entry names no ix00 in a movi list:", s);
                continue;
            }
            Expect(U32(e + 8) == 8 + ix->size, "wrong size in super index entry", s);
            ReadStandardIndex(*ix, U32(e + 12));
        }
    }

    void ReadStandardIndex(const Chunk& ix, uint32_t duration) {
        const uint64_t x = ix.data();
        const uint32_t n = U32(x + 4);
        Expect(ix.size >= 24 && U16(x) == 2 && m_file[x + 2] == 0 && m_file[x + 3] == 1,
               "not an index of chunks: the ix00 at", ix.offset);
        Expect(U32(x + 8) == m_avi.chunkId, "wrong chunk id in the ix00 at", ix.offset);
        Expect(24 + uint64_t{8} * n <= ix.size, "entries past the end of the ix00 at", ix.offset);
        Expect(duration == n, "super index duration differs from the count of the ix00 at", ix.offset);
        const uint64_t base = U64(x + 12);
        for (uint64_t e = x + 24; e + 8 <= x + std::min<uint64_t>(ix.size, 24 + uint64_t{8} * n); e += 8) {
            const uint32_t size = U32(e + 4);
            m_avi.frames.push_back({base + U32(e) - 8, size & ~kDeltaFrame, (size & kDeltaFrame) == 0});
        }
    }

    // Every frame chunk in a movi list is indexed once, in file order, and the counts say so.
    void CheckIndexesAgree() {
        bool same = m_avi.frames.size() == m_moviFrames.size();
        for (size_t i = 0; same && i < m_moviFrames.size(); ++i)
            same = m_avi.frames[i].offset == m_moviFrames[i].offset &&
                   m_avi.frames[i].size == m_moviFrames[i].size;
        Expect(same, "indexed frames differ from the frame chunks in movi, of which there are",
               m_moviFrames.size());
        Expect(m_avi.length == m_avi.frames.size(), "strh length", m_avi.length);
        Expect(m_avi.dmlhFrames == m_avi.frames.size(), "dmlh frames", m_avi.dmlhFrames);
        Expect(m_avi.totalFrames == m_firstRiffFrames, "avih frames", m_avi.totalFrames);
        Expect(m_avi.hasIdx1 == ((m_avi.flags & kHasIndex) != 0), "avih index flag disagrees with idx1");
        if (!m_avi.hasIdx1)
            return;
        const size_t first = std::min(m_firstRiffFrames, m_avi.frames.size());
        Expect(m_avi.idx1 == std::vector<AviFrame>(m_avi.frames.begin(), m_avi.frames.begin() + first),
               "idx1 differs from the first RIFF's frames");
    }

    std::span<const uint8_t> m_file;
    AviFile& m_avi;
    uint32_t m_expectedChunkId = 0;
    uint64_t m_superAt = 0;
    uint32_t m_superEntries = 0;
    std::vector<Chunk> m_standardIndexes;
    std::vector<AviFrame> m_moviFrames;
    size_t m_firstRiffFrames = 0;
};

} // namespace

AviFile ReadAvi(std::span<const uint8_t> file) {
    AviFile avi;
    Reader(file, avi).Read();
    return avi;
}

std::vector<uint8_t> FrameBytes(std::span<const uint8_t> file, const AviFrame& frame) {
    if (frame.offset + 8 > file.size() || frame.size > file.size() - frame.offset - 8)
        return {};
    const auto begin = file.begin() + static_cast<std::ptrdiff_t>(frame.offset + 8);
    return std::vector<uint8_t>(begin, begin + frame.size);
}

#ifndef _WIN32
std::string RunOnFile(std::span<const uint8_t> bytes, const std::string& command) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("mirvox-" + std::to_string(std::random_device{}()) + ".avi"))
                                 .string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool saved = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::string out, line = command;
    if (file && std::fclose(file) == 0 && saved) {
        line.replace(line.find("%s"), 2, "'" + path + "'");
        if (std::FILE* pipe = popen(line.c_str(), "r")) {
            char buffer[65536];
            for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
                out.append(buffer, n);
            pclose(pipe);
        }
    }
    std::remove(path.c_str());
    return out;
}
#endif

} // namespace test_support
