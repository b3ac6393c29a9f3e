#include "recorder/avi_capture.h"

#include "platform/app_name.h"
#include "recorder/codec_choice.h"
#include "recorder/output_path.h"
#include "codec/screen_codec_driver.h"

namespace {

// The compression-options dialog takes an array of option-record pointers; there is only ever one
// capture object opening, so one program-wide slot serves.
LPAVICOMPRESSOPTIONS g_optionsArray[1];

// Video for Windows' version query, exported by ordinal only. The high word carries major.minor.
DWORD QueryVfwVersion() {
    UniqueModule msvfw(::LoadLibraryA("MSVFW32"));
    if (!msvfw)
        return 0;
    using VersionQuery = DWORD(WINAPI*)();
    auto query = reinterpret_cast<VersionQuery>(
        reinterpret_cast<void*>(::GetProcAddress(msvfw.get(), MAKEINTRESOURCEA(2))));
    return query ? query() : 0;
}

constexpr WORD kMinimumVfwVersion = 0x010A; // 1.10
constexpr DWORD kKeyFrameSeconds = 10;

} // namespace

CAviCapture::CAviCapture(HWND owner, SharedFont captionFont, std::string captionPattern,
                         int32_t captionEnabled, int32_t captionLocation)
    : m_captionFont(std::move(captionFont)), m_captionPattern(std::move(captionPattern)),
      m_captionEnabled(captionEnabled), m_captionLocation(captionLocation), m_owner(owner) {
    ::AVIFileInit();
}

CAviCapture::~CAviCapture() {
    // Every counted frame reaches the file before it is finished, which happens when its last
    // reference goes: the waiting frames first, then the streams.
    m_writer.reset();
    m_stream.reset();
    m_compressed.reset();
    m_file.reset();
    m_referenceSize.reset();
    ::AVIFileExit();
    m_canvas.reset();
}

int32_t CAviCapture::Open(CaptureParams* params) {
    g_optionsArray[0] = &m_options;
    m_params = params;

    if (HIWORD(QueryVfwVersion()) < kMinimumVfwVersion) {
        ShowAppMessage("Video For Windows Version Error");
        return 0;
    }

    // This grab fixes the frame size of the whole recording; it is never written.
    if (CaptureFrame() != CaptureStatus::Grabbed)
        return 0;
    if (!m_canvas) {
        ShowAppMessage("Error");
        return 0;
    }

    if (!CreateFileAndStream(ComposeOutputPath(m_params->folder, m_params->fileName)))
        return 0;

    // The dialog opens on our own screen codec. Left at zero, the key-frame interval would make the
    // compressing stream ask for a key frame on every frame; the user may still pick another codec.
    m_options = {};
    m_options.fccType = streamtypeVIDEO;
    m_options.fccHandler = kScreenCodecFourcc;
    m_options.dwFlags = AVICOMPRESSF_VALID | AVICOMPRESSF_KEYFRAMES;
    m_options.dwKeyFrameEvery = kKeyFrameSeconds * static_cast<DWORD>(m_params->fps);
    m_options.dwQuality = static_cast<DWORD>(ICQUALITY_DEFAULT);
    if (!ChooseCodec(m_stream.get(), g_optionsArray))
        return 0;

    if (::AVIMakeCompressedStream(m_compressed.put(), m_stream.get(), &m_options, nullptr) != 0)
        return 0;

    BITMAPINFOHEADER format = m_canvas->header();
    if (::AVIStreamSetFormat(m_compressed.get(), 0, &format, sizeof(format)) != 0)
        return 0;
    m_writer = std::make_unique<FrameWriterThread>([this](int32_t n, const void* data, uint32_t size) {
        // The compressing stream flags the codec's key frames itself (and every frame of "Full
        // Frames"); a flag of ours would mark every frame of a temporal codec as a key frame.
        PAVISTREAM stream = m_compressed ? m_compressed.get() : m_stream.get();
        const DWORD flags = m_compressed ? 0 : AVIIF_KEYFRAME;
        return ::AVIStreamWrite(stream, n, 1, const_cast<void*>(data), static_cast<LONG>(size), flags,
                                nullptr, nullptr) == 0;
    });
    return 1;
}

bool CAviCapture::CreateFileAndStream(const std::string& path) {
    m_file = CAviFileWriter::Open(path);
    if (!m_file)
        return false;

    m_streamInfo = {};
    m_streamInfo.fccType = streamtypeVIDEO;
    m_streamInfo.fccHandler = 0;
    m_streamInfo.dwScale = 1;
    m_streamInfo.dwRate = static_cast<DWORD>(m_params->fps);
    const BITMAPINFOHEADER& frame = m_canvas->header();
    m_streamInfo.dwSuggestedBufferSize = frame.biSizeImage;
    ::SetRect(&m_streamInfo.rcFrame, 0, 0, frame.biWidth, frame.biHeight);
    return CAviFileWriter::CreateStream(m_file, m_stream.put(), m_streamInfo) == 0;
}

int32_t CAviCapture::WriteFrame(int32_t n) {
    if (!m_canvas || !m_writer)
        return 0;
    return m_writer->Submit(n, m_canvas->bits(), m_canvas->header().biSizeImage) ? 1 : 0;
}

bool CAviCapture::WriteFailed() const {
    return m_writer && m_writer->Failed();
}
