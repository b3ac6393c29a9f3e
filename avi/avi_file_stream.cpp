#include "avi/avi_file_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

std::shared_ptr<CAviFileWriter> CAviFileWriter::Open(const std::string& path) {
    if (!CFileSink::CanCreate(path))
        return nullptr;
    try {
        return std::shared_ptr<CAviFileWriter>(new CAviFileWriter(path));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

CAviFileWriter::~CAviFileWriter() {
    if (m_writer)
        m_writer->Finish();
}

HRESULT CAviFileWriter::CreateStream(const std::shared_ptr<CAviFileWriter>& file, PAVISTREAM* stream,
                                     const AVISTREAMINFOA& info) {
    if (!file || !stream)
        return AVIERR_BADPARAM;
    *stream = nullptr;
    if (file->m_hasStream || info.fccType != streamtypeVIDEO)
        return AVIERR_UNSUPPORTED;
    VideoStreamHeader& header = file->m_header;
    header.handler = info.fccHandler;
    header.scale = info.dwScale;
    header.rate = info.dwRate;
    header.suggestedBufferSize = info.dwSuggestedBufferSize;
    header.quality = info.dwQuality;
    header.left = static_cast<int16_t>(info.rcFrame.left);
    header.top = static_cast<int16_t>(info.rcFrame.top);
    header.right = static_cast<int16_t>(info.rcFrame.right);
    header.bottom = static_cast<int16_t>(info.rcFrame.bottom);
    try {
        *stream = new CAviFileStream(file, info);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    file->m_hasStream = true;
    return AVIERR_OK;
}

HRESULT CAviFileWriter::SetFormat(const void* format, size_t size) {
    if (m_writer)
        return AVIERR_UNSUPPORTED;
    HRESULT result = AVIERR_FILEWRITE;
    try {
        m_sink = CFileSink::Create(m_path);
        if (!m_sink)
            return AVIERR_FILEOPEN;
        m_writer = std::make_unique<OpenDmlWriter>(*m_sink, m_header);
        if (m_writer->SetFormat(format, size))
            return AVIERR_OK;
    } catch (const std::bad_alloc&) {
        result = AVIERR_MEMORY;
    }
    // A file without its headers is no recording (one it replaced is gone already).
    m_writer.reset();
    if (m_sink) {
        m_sink.reset();
        ::DeleteFileA(m_path.c_str());
    }
    return result;
}

CAviFileStream::CAviFileStream(std::shared_ptr<CAviFileWriter> file, const AVISTREAMINFOA& info)
    : m_file(std::move(file)) {
    static_assert(offsetof(AVISTREAMINFOA, szName) == offsetof(AVISTREAMINFOW, szName));
    std::memcpy(&m_info, &info, offsetof(AVISTREAMINFOA, szName));
    ::MultiByteToWideChar(CP_ACP, 0, info.szName, -1, m_info.szName,
                          static_cast<int>(std::size(m_info.szName)));
    m_info.szName[std::size(m_info.szName) - 1] = L'\0';
    // The compressing stream refuses a format on a stream that does not say it can be written.
    m_info.dwCaps = AVIFILECAPS_CANWRITE;
}

STDMETHODIMP CAviFileStream::QueryInterface(REFIID riid, void** object) noexcept {
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IAVIStream) {
        *object = static_cast<IAVIStream*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CAviFileStream::AddRef() noexcept {
    return static_cast<ULONG>(::InterlockedIncrement(&m_references));
}

STDMETHODIMP_(ULONG) CAviFileStream::Release() noexcept {
    LONG left = ::InterlockedDecrement(&m_references);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP CAviFileStream::Create(LPARAM, LPARAM) noexcept {
    return AVIERR_UNSUPPORTED;
}

STDMETHODIMP CAviFileStream::Info(AVISTREAMINFOW* info, LONG size) noexcept {
    if (!info || size < 0)
        return AVIERR_BADPARAM;
    AVISTREAMINFOW current = m_info;
    const OpenDmlWriter* writer = m_file->writer();
    current.dwLength = writer ? writer->Frames() : 0;
    std::memcpy(info, &current, std::min<size_t>(static_cast<size_t>(size), sizeof(current)));
    return static_cast<size_t>(size) < sizeof(current) ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
}

STDMETHODIMP_(LONG) CAviFileStream::FindSample(LONG, LONG) noexcept {
    return -1;
}

STDMETHODIMP CAviFileStream::ReadFormat(LONG, void* format, LONG* size) noexcept {
    if (!size)
        return AVIERR_BADPARAM;
    const OpenDmlWriter* writer = m_file->writer();
    const LONG have = writer ? static_cast<LONG>(writer->Format().size()) : 0;
    if (!format) {
        *size = have;
        return AVIERR_OK;
    }
    if (!writer || !writer->HasFormat())
        return AVIERR_NODATA;
    std::memcpy(format, writer->Format().data(), static_cast<size_t>(std::clamp<LONG>(*size, 0, have)));
    const bool fits = *size >= have;
    *size = have;
    return fits ? AVIERR_OK : AVIERR_BUFFERTOOSMALL;
}

// The format is part of the headers, which are written once: a second format is refused, as the
// platform's stream refuses a format change.
STDMETHODIMP CAviFileStream::SetFormat(LONG position, void* format, LONG size) noexcept {
    if (!format || size <= 0 || position != 0)
        return AVIERR_BADPARAM;
    return m_file->SetFormat(format, static_cast<size_t>(size));
}

STDMETHODIMP CAviFileStream::Read(LONG, LONG, void*, LONG, LONG*, LONG*) noexcept {
    return AVIERR_UNSUPPORTED;
}

// Samples are appended in order, one frame each; the key-frame flag is what the caller (the codec,
// through the compressing stream) says.
STDMETHODIMP CAviFileStream::Write(LONG start, LONG samples, void* data, LONG size, DWORD flags,
                                   LONG* samplesWritten, LONG* bytesWritten) noexcept {
    if (samplesWritten)
        *samplesWritten = 0;
    if (bytesWritten)
        *bytesWritten = 0;
    OpenDmlWriter* writer = m_file->writer();
    if ((!data && size != 0) || size < 0 || samples != 1 ||
        start != (writer ? static_cast<LONG>(writer->Frames()) : 0))
        return AVIERR_BADPARAM;
    if (!writer || !writer->HasFormat())
        return AVIERR_UNSUPPORTED;
    if (!writer->WriteFrame(data, static_cast<uint32_t>(size), (flags & AVIIF_KEYFRAME) != 0,
                            ::GetTickCount64()))
        return AVIERR_FILEWRITE;
    if (samplesWritten)
        *samplesWritten = 1;
    if (bytesWritten)
        *bytesWritten = size;
    return AVIERR_OK;
}

STDMETHODIMP CAviFileStream::Delete(LONG, LONG) noexcept {
    return AVIERR_UNSUPPORTED;
}

STDMETHODIMP CAviFileStream::ReadData(DWORD, void*, LONG*) noexcept {
    return AVIERR_NODATA;
}

STDMETHODIMP CAviFileStream::WriteData(DWORD, void*, LONG) noexcept {
    return AVIERR_UNSUPPORTED;
}

STDMETHODIMP CAviFileStream::SetInfo(AVISTREAMINFOW*, LONG) noexcept {
    return AVIERR_UNSUPPORTED;
}
