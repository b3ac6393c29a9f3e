#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Finds the vertical shifts by which content moved between two frames (a terminal scrolling, a
// page moving), from hashes of the frames' row segments, so that the encoder only has to try a
// handful of motion vectors per block instead of searching around every block.
namespace zmbv_scroll {

// Hashes of a frame's row segments: one per block column and row, column-major, so that one
// block column's rows lie next to each other.
class SegmentHashes {
public:
    SegmentHashes() = default;
    SegmentHashes(int width, int height, int segmentWidth);
    // pixels: width x height 32-bit values, top row first, no padding.
    void Compute(const uint32_t* pixels);
    uint64_t at(int column, int y) const { return m_hashes[static_cast<size_t>(column) * m_height + y]; }
    int columns() const { return m_columns; }
    int height() const { return m_height; }

private:
    int m_width = 0, m_height = 0, m_segmentWidth = 1, m_columns = 0;
    std::vector<uint64_t> m_hashes;
};

// The shifts d (content now at row y was at row y + d before), most likely first, each backed by
// at least minVotes moved segments, with |d| <= maxShift, at most maxCount of them. Zero is never
// returned: an unmoved block needs no search.
std::vector<int> EstimateShifts(const SegmentHashes& previous, const SegmentHashes& current, int maxShift,
                                size_t maxCount, int minVotes);

} // namespace zmbv_scroll
