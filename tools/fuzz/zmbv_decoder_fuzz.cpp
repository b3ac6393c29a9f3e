// libFuzzer target for the ZMBV decoder. An input is a picture size and a sequence of frames, so
// that inter frames meet the key frames before them:
//   width - 1, height - 1 (one byte each, modulo 64)
//   then frames: size (two bytes, little-endian) and that many bytes; size 0xFFFF stands for a seek
//   (Reset) instead.
#include "codec/zmbv_decoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int width = 1 + data[0] % 64, height = 1 + data[1] % 64;
    const ptrdiff_t stride32 = width * 4, stride24 = (width * 3 + 3) & ~3;
    ZmbvDecoder decoder(width, height);
    std::vector<uint8_t> shown(stride32 * height), now(shown.size()), rows24(stride24 * height);
    bool canContinue = false, hadPicture = false;
    for (size_t at = 2; size - at >= 2;) {
        size_t n = data[at] | data[at + 1] << 8;
        at += 2;
        if (n == 0xFFFF) {
            decoder.Reset();
            canContinue = false;
            continue;
        }
        n = std::min(n, size - at);
        // A buffer of the frame's own size, so that reading past its end is caught.
        const std::vector<uint8_t> frame(data + at, data + at + n);
        at += n;
        const DecodeStatus status = decoder.Decode(frame.data(), frame.size());
        const bool inter = n > 0 && !(frame[0] & 1);
        if (inter && !canContinue && status == DecodeStatus::Ok)
            std::abort(); // an inter frame built on no good picture
        canContinue = status == DecodeStatus::Ok;
        // Bottom-up 32-bit rows, and top-down 24-bit ones.
        const bool havePicture = decoder.CopyTo(&now[(height - 1) * stride32], -stride32, 32);
        decoder.CopyTo(rows24.data(), stride24, 24);
        if (havePicture != (hadPicture || status == DecodeStatus::Ok))
            std::abort();
        if (status != DecodeStatus::Ok && std::memcmp(now.data(), shown.data(), shown.size()) != 0)
            std::abort(); // a refused frame changed the picture
        shown.swap(now);
        hadPicture = havePicture;
    }
    return 0;
}
