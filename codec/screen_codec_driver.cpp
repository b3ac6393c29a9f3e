#include "codec/screen_codec_driver.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "codec/zmbv_decoder.h"
#include "codec/zmbv_encoder.h"

namespace {

// The library sends some messages (ICM_GETINFO, DRV_LOAD, DRV_OPEN) with a driver id of 0 or of
// no meaning, so nothing lives outside an instance that DRV_OPEN handed out.
struct CodecInstance {
    std::unique_ptr<ZmbvEncoder> encoder;
    int width = 0, height = 0; // of the frames being compressed
    std::unique_ptr<ZmbvDecoder> decoder;
    LONG decodedWidth = 0, decodedHeight = 0;
};

// Keeps a frame and its compressed bound within zlib's 32-bit sizes.
constexpr LONG kMaxDimension = 16384;

bool AcceptsInput(const BITMAPINFOHEADER* in) {
    return in && in->biCompression == BI_RGB && in->biBitCount == 32 && in->biPlanes == 1 &&
           in->biWidth > 0 && in->biWidth <= kMaxDimension && in->biHeight != 0 &&
           std::labs(in->biHeight) <= kMaxDimension;
}

bool MatchesOutput(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    return out->biCompression == kScreenCodecFourcc && out->biWidth == in->biWidth &&
           out->biHeight == std::labs(in->biHeight);
}

// The 32-bit pictures our encoder writes. Other writers may name the format in lower case, and
// ffmpeg marks its 32-bit ZMBV files with 24 bits.
bool IsScreenCodecFormat(const BITMAPINFOHEADER* in) {
    return in &&
           (in->biCompression == kScreenCodecFourcc || in->biCompression == mmioFOURCC('z', 'm', 'b', 'v')) &&
           (in->biBitCount == 32 || in->biBitCount == 24) && in->biWidth > 0 && in->biHeight > 0 &&
           static_cast<int64_t>(in->biWidth) * in->biHeight <= ZmbvDecoder::kMaxPixels;
}

bool IsDecompressedFormat(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    return out->biCompression == BI_RGB && (out->biBitCount == 24 || out->biBitCount == 32) &&
           out->biWidth == in->biWidth && std::labs(out->biHeight) == in->biHeight;
}

BITMAPINFOHEADER Picture32(LONG width, LONG height, DWORD compression, DWORD sizeImage) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = compression;
    header.biSizeImage = sizeImage;
    return header;
}

LRESULT GetInfo(ICINFO* info, LPARAM size) {
    if (!info)
        return sizeof(ICINFO);
    if (size < static_cast<LPARAM>(sizeof(ICINFO)))
        return 0;
    *info = {};
    info->dwSize = sizeof(ICINFO);
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = kScreenCodecFourcc;
    // Fast temporal: the encoder and the decoder keep their own previous picture, so the caller
    // does not have to hand it back with every frame.
    info->dwFlags = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC | VIDCF_FASTTEMPORALD | VIDCF_QUALITY;
    info->dwVersion = 0x00010000;
    info->dwVersionICM = ICVERSION;
    wcscpy(info->szName, L"ZMBV");
    wcscpy(info->szDescription, L"Mirvox 可逆画面コーデック (ZMBV)");
    return sizeof(ICINFO);
}

LRESULT CompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    if (!AcceptsInput(in) || (out && !MatchesOutput(in, out)))
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT CompressGetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
    if (!AcceptsInput(in))
        return ICERR_BADFORMAT;
    if (!out)
        return sizeof(BITMAPINFOHEADER);
    // The format stores its rows top first; a positive height is how that is written for it.
    const LONG height = std::labs(in->biHeight);
    *out = Picture32(in->biWidth, height, kScreenCodecFourcc,
                     static_cast<DWORD>(ZmbvEncoder::MaxFrameSize(in->biWidth, height)));
    return ICERR_OK;
}

LRESULT CompressBegin(CodecInstance* instance, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    if (CompressQuery(in, out) != ICERR_OK)
        return ICERR_BADFORMAT;
    instance->width = in->biWidth;
    instance->height = static_cast<int>(std::labs(in->biHeight));
    try {
        instance->encoder = std::make_unique<ZmbvEncoder>(instance->width, instance->height);
    } catch (const std::bad_alloc&) {
        return ICERR_MEMORY;
    }
    if (!instance->encoder->ready()) {
        instance->encoder.reset();
        return ICERR_MEMORY;
    }
    return ICERR_OK;
}

LRESULT Compress(CodecInstance* instance, ICCOMPRESS* ic) {
    if (!instance->encoder)
        return ICERR_BADFORMAT;
    const BITMAPINFOHEADER* in = ic->lpbiInput;
    if (!AcceptsInput(in) || in->biWidth != instance->width || std::labs(in->biHeight) != instance->height)
        return ICERR_BADFORMAT;
    const ptrdiff_t stride = static_cast<ptrdiff_t>(instance->width) * 4;
    const uint8_t* pixels = static_cast<const uint8_t*>(ic->lpInput);
    // A positive height is a bottom-up picture: its top row is the last one in memory.
    const uint8_t* top = in->biHeight > 0 ? pixels + stride * (instance->height - 1) : pixels;
    const bool wantKey = (ic->dwFlags & ICCOMPRESS_KEYFRAME) != 0;
    uint8_t* out = static_cast<uint8_t*>(ic->lpOutput);
    const size_t size =
        instance->encoder->Encode(top, in->biHeight > 0 ? -stride : stride, wantKey, out,
                                  ZmbvEncoder::MaxFrameSize(instance->width, instance->height));
    if (size == 0)
        return ICERR_INTERNAL;
    ic->lpbiOutput->biSizeImage = static_cast<DWORD>(size);
    if (ic->lpdwFlags)
        *ic->lpdwFlags = (out[0] & 1) ? AVIIF_KEYFRAME : 0;
    return ICERR_OK;
}

LRESULT DecompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    if (!IsScreenCodecFormat(in) || (out && !IsDecompressedFormat(in, out)))
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT DecompressGetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
    if (!IsScreenCodecFormat(in))
        return ICERR_BADFORMAT;
    if (!out)
        return sizeof(BITMAPINFOHEADER);
    *out = Picture32(in->biWidth, in->biHeight, BI_RGB,
                     static_cast<DWORD>(in->biWidth) * 4 * static_cast<DWORD>(in->biHeight));
    return ICERR_OK;
}

LRESULT DecompressBegin(CodecInstance* instance, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    if (DecompressQuery(in, out) != ICERR_OK)
        return ICERR_BADFORMAT;
    instance->decodedWidth = in->biWidth;
    instance->decodedHeight = in->biHeight;
    try {
        instance->decoder = std::make_unique<ZmbvDecoder>(in->biWidth, in->biHeight);
    } catch (const std::bad_alloc&) {
        return ICERR_MEMORY;
    }
    if (!instance->decoder->ready()) {
        instance->decoder.reset();
        return ICERR_MEMORY;
    }
    return ICERR_OK;
}

// On any error the output buffer is left as it was: a player shows nothing made up.
LRESULT Decompress(CodecInstance* instance, const ICDECOMPRESS* ic) {
    const BITMAPINFOHEADER *in = ic->lpbiInput, *out = ic->lpbiOutput;
    if (!instance->decoder || !IsScreenCodecFormat(in) || in->biWidth != instance->decodedWidth ||
        in->biHeight != instance->decodedHeight || !IsDecompressedFormat(in, out))
        return ICERR_BADFORMAT;
    // A frame of no bytes repeats the picture before it.
    if (in->biSizeImage != 0) {
        switch (instance->decoder->Decode(static_cast<const uint8_t*>(ic->lpInput), in->biSizeImage)) {
        case DecodeStatus::Ok: break;
        case DecodeStatus::Unsupported:
        case DecodeStatus::FormatChanged: return ICERR_BADFORMAT;
        case DecodeStatus::NeedKeyFrame:
        case DecodeStatus::Malformed: return ICERR_ERROR;
        }
    }
    if (ic->dwFlags & (ICDECOMPRESS_HURRYUP | ICDECOMPRESS_PREROLL))
        return ICERR_OK;
    const ptrdiff_t stride =
        (static_cast<ptrdiff_t>(out->biWidth) * (out->biBitCount / 8) + 3) & ~ptrdiff_t{3};
    auto* pixels = static_cast<uint8_t*>(ic->lpOutput);
    // A positive height is a bottom-up picture: its top row is the last one in memory.
    uint8_t* top = out->biHeight > 0 ? pixels + stride * (out->biHeight - 1) : pixels;
    if (!instance->decoder->CopyTo(top, out->biHeight > 0 ? -stride : stride, out->biBitCount))
        return ICERR_ERROR;
    return ICERR_OK;
}

LRESULT HandleMessage(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM lp1, LPARAM lp2) {
    auto* instance = reinterpret_cast<CodecInstance*>(id);
    switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE: return 1;
    case DRV_OPEN: {
        auto* open = reinterpret_cast<ICOPEN*>(lp2);
        if (open && open->fccType != ICTYPE_VIDEO)
            return 0;
        auto* created = new (std::nothrow) CodecInstance;
        if (open)
            open->dwError = created ? ICERR_OK : ICERR_MEMORY;
        return reinterpret_cast<LRESULT>(created);
    }
    case DRV_CLOSE: delete instance; return 1;
    case DRV_QUERYCONFIGURE: return 0;
    case ICM_GETINFO: return GetInfo(reinterpret_cast<ICINFO*>(lp1), lp2);
    case ICM_GETDEFAULTQUALITY:
    case ICM_GETQUALITY:
        if (lp1)
            *reinterpret_cast<DWORD*>(lp1) = ICQUALITY_HIGH;
        return ICERR_OK;
    case ICM_SETQUALITY: return ICERR_OK; // lossless: every quality is the highest
    case ICM_GETSTATE:
    case ICM_SETSTATE: return 0;
    case ICM_COMPRESS_QUERY:
        return CompressQuery(reinterpret_cast<const BITMAPINFOHEADER*>(lp1),
                             reinterpret_cast<const BITMAPINFOHEADER*>(lp2));
    case ICM_COMPRESS_GET_FORMAT:
        return CompressGetFormat(reinterpret_cast<const BITMAPINFOHEADER*>(lp1),
                                 reinterpret_cast<BITMAPINFOHEADER*>(lp2));
    case ICM_COMPRESS_GET_SIZE: {
        const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(lp1);
        if (!AcceptsInput(in))
            return ICERR_BADFORMAT;
        return static_cast<LRESULT>(
            ZmbvEncoder::MaxFrameSize(in->biWidth, static_cast<int>(std::labs(in->biHeight))));
    }
    case ICM_COMPRESS_FRAMES_INFO: return ICERR_OK;
    case ICM_DECOMPRESS_QUERY:
        return DecompressQuery(reinterpret_cast<const BITMAPINFOHEADER*>(lp1),
                               reinterpret_cast<const BITMAPINFOHEADER*>(lp2));
    case ICM_DECOMPRESS_GET_FORMAT:
        return DecompressGetFormat(reinterpret_cast<const BITMAPINFOHEADER*>(lp1),
                                   reinterpret_cast<BITMAPINFOHEADER*>(lp2));
    }
    if (!instance && msg >= ICM_USER)
        return ICERR_BADHANDLE;
    switch (msg) {
    case ICM_COMPRESS_BEGIN:
        return CompressBegin(instance, reinterpret_cast<const BITMAPINFOHEADER*>(lp1),
                             reinterpret_cast<const BITMAPINFOHEADER*>(lp2));
    case ICM_COMPRESS: return Compress(instance, reinterpret_cast<ICCOMPRESS*>(lp1));
    case ICM_COMPRESS_END: instance->encoder.reset(); return ICERR_OK;
    case ICM_DECOMPRESS_BEGIN:
        return DecompressBegin(instance, reinterpret_cast<const BITMAPINFOHEADER*>(lp1),
                               reinterpret_cast<const BITMAPINFOHEADER*>(lp2));
    case ICM_DECOMPRESS: return Decompress(instance, reinterpret_cast<const ICDECOMPRESS*>(lp1));
    case ICM_DECOMPRESS_END: instance->decoder.reset(); return ICERR_OK;
    }
    if (msg < DRV_USER)
        return ::DefDriverProc(id, driver, msg, lp1, lp2);
    return ICERR_UNSUPPORTED;
}

} // namespace

LRESULT CALLBACK ScreenCodecDriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM lp1,
                                       LPARAM lp2) noexcept {
    try {
        return HandleMessage(id, driver, msg, lp1, lp2);
    } catch (...) {
        return ICERR_INTERNAL;
    }
}
