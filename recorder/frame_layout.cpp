#include "recorder/frame_layout.h"

namespace frame_layout {

int StandardDepth(uint16_t d) {
    if (d == 1)
        return 1;
    if (d <= 4)
        return 4;
    if (d <= 8)
        return 8;
    if (d <= 16)
        return 16;
    if (d <= 24)
        return 24;
    return 32;
}

uint64_t Stride(int32_t width, int depth) {
    return ((static_cast<uint64_t>(width) * static_cast<uint64_t>(depth) + 31) / 32) * 4;
}

uint64_t ColorTableAllowance(int depth) {
    return depth < 24 ? uint64_t{4} << depth : 0;
}

uint64_t FirstAllocationSize(int32_t width, int32_t height, int depth) {
    return kHeaderSize + ColorTableAllowance(depth) + static_cast<uint64_t>(height) * Stride(width, depth);
}

uint64_t EnlargedAllocationSize(uint32_t sizeImage, int depth) {
    return sizeImage + ColorTableAllowance(depth) + kEnlargementSlack;
}

uint64_t FrameBytes(int32_t width, int32_t height) {
    return 4 * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
}

} // namespace frame_layout
