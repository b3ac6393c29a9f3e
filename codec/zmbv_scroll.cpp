#include "codec/zmbv_scroll.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zmbv_scroll {

namespace {
constexpr uint64_t kOffsetBasis = 0xcbf29ce484222325ull, kPrime = 0x100000001b3ull;
}

SegmentHashes::SegmentHashes(int width, int height, int segmentWidth)
    : m_width(width), m_height(height), m_segmentWidth(segmentWidth),
      m_columns((width + segmentWidth - 1) / segmentWidth),
      m_hashes(static_cast<size_t>(m_columns) * static_cast<size_t>(height)) {}

void SegmentHashes::Compute(const uint32_t* pixels) {
    for (int y = 0; y < m_height; ++y) {
        const uint32_t* row = pixels + static_cast<size_t>(y) * m_width;
        for (int c = 0; c < m_columns; ++c) {
            const int x0 = c * m_segmentWidth, x1 = std::min(m_width, x0 + m_segmentWidth);
            // Two pixels a step in two independent chains, so that the multiplications overlap.
            uint64_t a = kOffsetBasis, b = ~kOffsetBasis;
            int x = x0;
            for (; x + 4 <= x1; x += 4) {
                uint64_t p, q;
                std::memcpy(&p, row + x, 8);
                std::memcpy(&q, row + x + 2, 8);
                a = (a ^ p) * kPrime;
                b = (b ^ q) * kPrime;
            }
            for (; x < x1; ++x)
                a = (a ^ row[x]) * kPrime;
            m_hashes[static_cast<size_t>(c) * m_height + y] = (a ^ b) * kPrime;
        }
    }
}

std::vector<int> EstimateShifts(const SegmentHashes& previous, const SegmentHashes& current, int maxShift,
                                size_t maxCount, int minVotes) {
    const int h = current.height();
    std::vector<int> votes(static_cast<size_t>(2 * maxShift + 1), 0);
    for (int c = 0; c < current.columns(); ++c) {
        // Every other row is evidence enough, at half the cost.
        for (int y = 0; y < h; y += 2) {
            const uint64_t segment = current.at(c, y);
            if (segment == previous.at(c, y))
                continue;
            // A segment like the one above it (blank background, a long rule) matches at many
            // shifts and says nothing about which one is right.
            if (y > 0 && segment == current.at(c, y - 1))
                continue;
            const int from = std::max(-maxShift, -y), to = std::min(maxShift, h - 1 - y);
            for (int d = from; d <= to; ++d)
                if (d != 0 && previous.at(c, y + d) == segment)
                    ++votes[static_cast<size_t>(d + maxShift)];
        }
    }
    std::vector<int> shifts;
    for (int d = -maxShift; d <= maxShift; ++d)
        if (d != 0 && votes[static_cast<size_t>(d + maxShift)] >= minVotes)
            shifts.push_back(d);
    auto vote = [&](int d) { return votes[static_cast<size_t>(d + maxShift)]; };
    std::stable_sort(shifts.begin(), shifts.end(), [&](int a, int b) {
        if (vote(a) != vote(b))
            return vote(a) > vote(b);
        return std::abs(a) < std::abs(b);
    });
    if (shifts.size() > maxCount)
        shifts.resize(maxCount);
    return shifts;
}

} // namespace zmbv_scroll
