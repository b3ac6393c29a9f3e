#pragma once

#include <windows.h>
#include <vfw.h>

#include <memory>
#include <string>

#include "avi/file_sink.h"
#include "avi/opendml_writer.h"

// A recording's file: our OpenDML writer over a buffered file. Nothing at the path changes until the
// stream's format is set, the last step of starting a recording, so a start that fails before it
// leaves an earlier recording of that name as it was. The capture object and the stream each hold a
// share; the file is finished when the last one lets go.
class CAviFileWriter {
public:
    // Null when the file could not be created, found without creating it.
    static std::shared_ptr<CAviFileWriter> Open(const std::string& path);
    CAviFileWriter(const CAviFileWriter&) = delete;
    CAviFileWriter& operator=(const CAviFileWriter&) = delete;
    ~CAviFileWriter();

    // The file's one video stream, as AVIFileCreateStream hands it out (one reference for the caller).
    static HRESULT CreateStream(const std::shared_ptr<CAviFileWriter>& file, PAVISTREAM* stream,
                                const AVISTREAMINFOA& info);

    // Creates the file, replacing one of the same name, and writes the headers with this format.
    HRESULT SetFormat(const void* format, size_t size);
    // Null until the format is set.
    OpenDmlWriter* writer() const { return m_writer.get(); }

private:
    explicit CAviFileWriter(std::string path) : m_path(std::move(path)) {}

    std::string m_path;
    bool m_hasStream = false;
    VideoStreamHeader m_header;
    std::unique_ptr<CFileSink> m_sink;
    std::unique_ptr<OpenDmlWriter> m_writer;
};

// The file's video stream as the platform's compressing stream and options dialog use it: Info,
// SetFormat, ReadFormat and Write, plus the reference counting.
class CAviFileStream final : public IAVIStream {
public:
    CAviFileStream(std::shared_ptr<CAviFileWriter> file, const AVISTREAMINFOA& info);
    CAviFileStream(const CAviFileStream&) = delete;
    CAviFileStream& operator=(const CAviFileStream&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override;
    STDMETHODIMP_(ULONG) Release() noexcept override;
    STDMETHODIMP Create(LPARAM, LPARAM) noexcept override;
    STDMETHODIMP Info(AVISTREAMINFOW* info, LONG size) noexcept override;
    STDMETHODIMP_(LONG) FindSample(LONG position, LONG flags) noexcept override;
    STDMETHODIMP ReadFormat(LONG position, void* format, LONG* size) noexcept override;
    STDMETHODIMP SetFormat(LONG position, void* format, LONG size) noexcept override;
    STDMETHODIMP Read(LONG, LONG, void*, LONG, LONG*, LONG*) noexcept override;
    STDMETHODIMP Write(LONG start, LONG samples, void* data, LONG size, DWORD flags, LONG* samplesWritten,
                       LONG* bytesWritten) noexcept override;
    STDMETHODIMP Delete(LONG, LONG) noexcept override;
    STDMETHODIMP ReadData(DWORD, void*, LONG*) noexcept override;
    STDMETHODIMP WriteData(DWORD, void*, LONG) noexcept override;
    STDMETHODIMP SetInfo(AVISTREAMINFOW*, LONG) noexcept override;

private:
    ~CAviFileStream() = default;

    LONG m_references = 1;
    std::shared_ptr<CAviFileWriter> m_file;
    AVISTREAMINFOW m_info{};
};
