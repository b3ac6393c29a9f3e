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
    // Appends the last grabbed frame as sample n; nonzero when written.
    int32_t WriteFrame(int32_t n);
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
    BITMAPINFOHEADER* m_header = nullptr;
    UniqueGlobal m_frame;
    AVISTREAMINFOA m_streamInfo{};
    std::shared_ptr<CAviFileWriter> m_file;
    UniqueAviStream m_stream;
    UniqueAviStream m_compressed;
    AVICOMPRESSOPTIONS m_options{};
};
