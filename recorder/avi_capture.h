#pragma once

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/unique_handle.h"
#include "avi/avi_file_stream.h"
#include "recorder/capture_params.h"
#include "recorder/capture_status.h"
#include "recorder/frame_canvas.h"
#include "recorder/frame_writer_thread.h"

// Lives for exactly one recording: grabs frames of the display or of a window's client area,
// stamps the caption on them and appends them to one AVI file.
class CAviCapture {
public:
    CAviCapture(HWND owner, SharedFont captionFont, std::string captionPattern, int32_t captionEnabled,
                int32_t captionLocation);
    CAviCapture(const CAviCapture&) = delete;
    CAviCapture& operator=(const CAviCapture&) = delete;
    virtual ~CAviCapture();

    // Nonzero when the file, the streams and the stream format are ready.
    int32_t Open(CaptureParams* params);
    // Appends the last grabbed frame as sample n; nonzero when it is on its way to the file (it is
    // compressed and written in the background). Zero when an earlier frame could not be written.
    int32_t WriteFrame(int32_t n);
    // Whether a frame handed over earlier could not be written.
    bool WriteFailed() const;
    CaptureStatus CaptureFrame();

private:
    void DrawCaption(HDC dc, const RECT& frame);
    bool CreateFileAndStream(const std::string& path);

    CaptureParams* m_params = nullptr;
    std::unique_ptr<RECT> m_referenceSize;
    SharedFont m_captionFont; // kept alive while this recording draws with it
    std::string m_captionPattern;
    int32_t m_captionEnabled;
    int32_t m_captionLocation;
    HWND m_owner;
    std::unique_ptr<CFrameCanvas> m_canvas; // the last grabbed frame
    AVISTREAMINFOA m_streamInfo{};
    std::shared_ptr<CAviFileWriter> m_file;
    UniqueAviStream m_stream;
    UniqueAviStream m_compressed;
    AVICOMPRESSOPTIONS m_options{};
    // Declared last: it goes first and writes what is still waiting while the streams exist.
    std::unique_ptr<FrameWriterThread> m_writer;
};
