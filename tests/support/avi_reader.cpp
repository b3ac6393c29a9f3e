#include "tests/support/avi_reader.h"

#include <map>
#include <set>

#include "avi/avi_layout.h"

namespace test_support {
namespace {

using avi::FourCc;
using avi::Padded;
using little_endian::LoadU32;

// The values a player reads, spelled out here rather than taken from the writer's vocabulary.
constexpr uint32_t kHasIndex = 0x10, kKeyFrame = 0x10, kDeltaFrame = 0x80000000u;

struct Chunk {
    uint64_t at; // of the id
    uint32_t size;
    uint64_t data() const { return at + 8; }
};

std::string Name(uint32_t id) {
    return {char(id), char(id >> 8), char(id >> 16), char(id >> 24)};
}

// Where each chunk may be, named by RIFF form and list types; JUNK may be anywhere, frames in movi lists.
const std::set<std::string> kPaths = {"AVI /hdrl",           "AVI /hdrl/avih",      "AVI /hdrl/strl",
                                      "AVI /hdrl/strl/strh", "AVI /hdrl/strl/strf", "AVI /hdrl/strl/indx",
                                      "AVI /hdrl/odml",      "AVI /hdrl/odml/dmlh", "AVI /movi",
                                      "AVI /movi/ix00",      "AVI /idx1",           "AVIX/movi",
                                      "AVIX/movi/ix00"};

struct Reader {
    std::span<const uint8_t> m_file;
    AviFile& m_avi;
    std::map<std::string, std::vector<Chunk>> m_chunks = {};
    uint32_t m_chunkId = 0, m_avihFrames = 0, m_dmlhFrames = 0, m_superEntries = 0;
    uint64_t m_superAt = 0;

    void Read() {
        uint64_t at = 0;
        for (uint32_t size; m_file.size() - at >= 12 && U32(at) == FourCc("RIFF") &&
                            (size = U32(at + 4)) <= m_file.size() - at - 8;
             at += 8 + size) {
            Expect(size % 2 == 0 && U32(at + 8) == (at == 0 ? FourCc("AVI ") : FourCc("AVIX")),
                   "odd size or form of the RIFF at", at);
            m_avi.riffs.push_back(size);
            Walk(at + 12, at + 8 + size, Name(U32(at + 8)));
        }
        m_avi.end = at;
        Expect(at == m_file.size() && at > 0, "no RIFF, or bytes after the last whole one, ending at", at);
        ReadHeaders();
        const std::string frame = "/movi/" + Name(m_chunkId);
        for (const auto& [path, chunks] : m_chunks)
            if (!kPaths.contains(path) && !path.ends_with("JUNK") && path != "AVI " + frame &&
                path != "AVIX" + frame)
                Expect(false, ("unexpected chunk " + path + " at").c_str(), chunks[0].at);
        Expect(m_chunks["AVI /movi"].size() == 1 && m_chunks["AVIX/movi"].size() + 1 == m_avi.riffs.size(),
               "RIFFs and movi lists differ in number:", m_avi.riffs.size());
        ReadIndexes(m_chunks["AVI " + frame], m_chunks["AVIX" + frame]);
    }

    // Messages are built only for errors: a test may read thousands of files.
    void Expect(bool ok, const char* what, uint64_t value = 0) {
        if (!ok)
            m_avi.errors.push_back(what + (" " + std::to_string(value)));
    }
    uint32_t U32(uint64_t at) const { return at + 4 <= m_file.size() ? LoadU32(&m_file[at]) : 0; }
    uint64_t U64(uint64_t at) const { return U32(at) | uint64_t{U32(at + 4)} << 32; }
    const Chunk* First(const std::string& p) { return m_chunks[p].empty() ? nullptr : &m_chunks[p][0]; }

    // Records the chunks that tile [at, to) by path, lists and their contents alike.
    void Walk(uint64_t at, uint64_t to, const std::string& path) {
        for (uint32_t size; at < to; at += 8 + Padded(size)) {
            size = U32(at + 4);
            if (to - at < 8 || to - at - 8 < Padded(size))
                return Expect(false, "chunk runs past the end of its list at", at);
            const bool list = U32(at) == FourCc("LIST") && size >= 4;
            const std::string name = path + "/" + Name(U32(list ? at + 8 : at));
            m_chunks[name].push_back({at, size});
            if (list)
                Walk(at + 12, at + 8 + size, name);
        }
    }

    void ReadHeaders() {
        const Chunk *avih = First("AVI /hdrl/avih"), *strh = First("AVI /hdrl/strl/strh"),
                    *strf = First("AVI /hdrl/strl/strf"), *indx = First("AVI /hdrl/strl/indx"),
                    *dmlh = First("AVI /hdrl/odml/dmlh");
        if (!avih || avih->size < 56 || !strh || strh->size < 56 || !strf || strf->size < 40 || !indx ||
            indx->size < 24 || !dmlh || dmlh->size < 4)
            return Expect(false, "headers missing or short");
        const uint64_t a = avih->data(), h = strh->data(), f = strf->data(), x = indx->data();
        m_avi.microSecPerFrame = U32(a), m_avi.flags = U32(a + 12), m_avihFrames = U32(a + 16);
        m_avi.width = U32(a + 32), m_avi.height = U32(a + 36), m_avi.handler = U32(h + 4);
        m_avi.scale = U32(h + 20), m_avi.rate = U32(h + 24), m_avi.length = U32(h + 32);
        m_avi.suggestedBufferSize = U32(h + 36), m_dmlhFrames = U32(dmlh->data());
        m_superEntries = U32(x + 4), m_chunkId = U32(x + 8);
        m_avi.format.assign(&m_file[f], &m_file[f] + strf->size);
        Expect(U32(a + 24) == 1 && U32(h) == FourCc("vids"), "not one video stream");
        // An index of indexes, of four longs an entry, naming the chunk id the format calls for.
        Expect(U32(x) == 4 && m_chunkId == (U32(f + 16) == 0 ? FourCc("00db") : FourCc("00dc")),
               "indx is not an index of indexes of the format's chunks");
        Expect(24 + uint64_t{16} * m_superEntries <= indx->size, "indx entries past its chunk");
        m_superAt = x + 24;
        m_superEntries = std::min<uint64_t>(m_superEntries, (indx->size - 24) / 16);
    }

    // Every frame chunk in a movi list is indexed once, in file order, and the counts say so.
    void ReadIndexes(const std::vector<Chunk>& firstFrames, const std::vector<Chunk>& laterFrames) {
        std::vector<Chunk> indexes = m_chunks["AVI /movi/ix00"], frames = firstFrames;
        indexes.insert(indexes.end(), m_chunks["AVIX/movi/ix00"].begin(), m_chunks["AVIX/movi/ix00"].end());
        frames.insert(frames.end(), laterFrames.begin(), laterFrames.end());
        for (uint64_t e = m_superAt; e < m_superAt + 16 * m_superEntries; e += 16) {
            const auto ix = std::ranges::find(indexes, U64(e), &Chunk::at);
            Expect(ix != indexes.end(), "the super index entry names no ix00 in a movi list:", e);
            if (ix == indexes.end())
                continue;
            // Of two longs an entry and of type "index of chunks", with the entries the super index says.
            const uint64_t x = ix->data(), n = U32(x + 4), base = U64(x + 12);
            Expect(U32(e + 8) == 8 + ix->size && U32(e + 12) == n && ix->size >= 24 + 8 * n &&
                       U32(x) == 0x01000002 && U32(x + 8) == m_chunkId,
                   "the super index and the ix00 disagree, or the ix00 is not one: the ix00 at", ix->at);
            for (uint64_t i = x + 24; i + 8 <= x + std::min<uint64_t>(ix->size, 24 + 8 * n); i += 8)
                m_avi.frames.push_back(
                    {base + U32(i) - 8, U32(i + 4) & ~kDeltaFrame, (U32(i + 4) & kDeltaFrame) == 0});
        }
        auto same = [](const AviFrame& f, const Chunk& c) { return f.offset == c.at && f.size == c.size; };
        Expect(std::ranges::equal(m_avi.frames, frames, same),
               "indexed frames differ from the frame chunks in movi, of which there are", frames.size());
        Expect(m_avi.length == frames.size() && m_dmlhFrames == frames.size() &&
                   m_avihFrames == firstFrames.size(),
               "frame counts of strh, dmlh or avih wrong; frames:", frames.size());
        const Chunk *idx1 = First("AVI /idx1"), *movi = First("AVI /movi");
        Expect(!idx1 == !(m_avi.flags & kHasIndex), "avih index flag disagrees with idx1");
        if (!idx1 || !movi)
            return;
        Expect(idx1->at > movi->at && idx1->size == 16 * std::min(m_avi.frames.size(), firstFrames.size()),
               "idx1 before movi, or not of the first RIFF's frames:", idx1->size);
        for (uint64_t e = idx1->data(), k = 0; e + 16 <= idx1->data() + idx1->size && k < m_avi.frames.size();
             e += 16)
            Expect(U32(e) == m_chunkId &&
                       AviFrame{U32(e + 8), U32(e + 12), (U32(e + 4) & kKeyFrame) != 0} == m_avi.frames[k++],
                   "idx1 differs from the standard index at", e);
    }
};

} // namespace

AviFile ReadAvi(std::span<const uint8_t> file) {
    AviFile avi;
    Reader{file, avi}.Read();
    return avi;
}

} // namespace test_support
