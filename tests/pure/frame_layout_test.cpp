#include "recorder/frame_layout.h"
#include "recorder/output_path.h"

#include <gtest/gtest.h>

using namespace frame_layout;

TEST(FrameLayout, StandardDepthRoundsUpEveryProduct) {
    struct Case {
        uint16_t product;
        int depth;
    };
    for (auto c : {Case{0, 4}, Case{1, 1}, Case{2, 4}, Case{3, 4}, Case{4, 4}, Case{5, 8}, Case{8, 8},
                   Case{9, 16}, Case{15, 16}, Case{16, 16}, Case{17, 24}, Case{24, 24}, Case{25, 32},
                   Case{32, 32}, Case{64, 32}, Case{65535, 32}})
        EXPECT_EQ(StandardDepth(c.product), c.depth) << "planes x bits = " << c.product;
}

TEST(FrameLayout, StrideIsPaddedToFourBytes) {
    struct Case {
        int32_t width;
        int depth;
        uint64_t stride;
    };
    for (auto c : {Case{1, 1, 4}, Case{33, 1, 8}, Case{7, 4, 4}, Case{9, 4, 8}, Case{3, 8, 4}, Case{5, 8, 8},
                   Case{1, 16, 4}, Case{3, 16, 8}, Case{1280, 16, 2560}, Case{1, 24, 4}, Case{5, 24, 16},
                   Case{1279, 24, 3840}, Case{1, 32, 4}, Case{1920, 32, 7680}})
        EXPECT_EQ(Stride(c.width, c.depth), c.stride) << c.width << " px at " << c.depth;
}

TEST(FrameLayout, ColorTableOnlyBelowTwentyFourBits) {
    EXPECT_EQ(ColorTableAllowance(1), 8u);
    EXPECT_EQ(ColorTableAllowance(4), 64u);
    EXPECT_EQ(ColorTableAllowance(8), 1024u);
    EXPECT_EQ(ColorTableAllowance(16), 262144u);
    EXPECT_EQ(ColorTableAllowance(24), 0u);
    EXPECT_EQ(ColorTableAllowance(32), 0u);
}

TEST(FrameLayout, AllocationSizesPerDisplayDepth) {
    struct Case {
        int32_t width, height;
        int depth;
        uint64_t first, enlarged;
    };
    // 32-bit: 40 + 4wh, then 4wh + 400. 16-bit: the 262144-byte allowance and a 2w stride rounded
    // up to 4. 24-bit: rows of 3w rounded up to 4.
    for (auto c :
         {Case{1280, 720, 32, 40 + 4 * 1280 * 720, 4 * 1280 * 720 + 400},
          Case{1920, 1080, 32, 40 + 4 * 1920 * 1080, 4 * 1920 * 1080 + 400},
          Case{1280, 720, 16, 40 + 262144 + 720 * 2560, 4 * 1280 * 720 + 262144 + 400},
          Case{1279, 3, 16, 40 + 262144 + 3 * 2560, 4 * 1279 * 3 + 262144 + 400},
          Case{1279, 3, 24, 40 + 3 * 3840, 4 * 1279 * 3 + 400}, Case{5, 2, 24, 40 + 2 * 16, 4 * 5 * 2 + 400},
          Case{3, 2, 8, 40 + 1024 + 2 * 4, 24 + 1024 + 400}}) {
        EXPECT_EQ(FirstAllocationSize(c.width, c.height, c.depth), c.first) << c.width << "x" << c.height;
        uint32_t sizeImage = static_cast<uint32_t>(FrameBytes(c.width, c.height));
        EXPECT_EQ(EnlargedAllocationSize(sizeImage, c.depth), c.enlarged) << c.width << "x" << c.height;
    }
}

TEST(FrameLayout, LargeFramesDoNotOverflow) {
    EXPECT_EQ(FrameBytes(32768, 32768), 4ull * 32768 * 32768);
    EXPECT_EQ(FirstAllocationSize(32768, 32768, 32), 40ull + 4ull * 32768 * 32768);
}

TEST(OutputPath, FolderIsJoinedWithoutSeparator) {
    EXPECT_EQ(ComposeOutputPath("x\\out", "a.avi"), "x\\outa.avi");
    EXPECT_EQ(ComposeOutputPath("C:\\out\\", "a.avi"), "C:\\out\\a.avi");
    EXPECT_EQ(ComposeOutputPath("", "Mirvox.avi"), "Mirvox.avi");
    EXPECT_EQ(ComposeOutputPath("C:\\\x95\x5c\\", "b.avi"), "C:\\\x95\x5c\\b.avi");
}
