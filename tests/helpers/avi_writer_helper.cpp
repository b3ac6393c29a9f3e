// Writes numbered 64x64 frames into the AVI file named on the command line until it is killed.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "avi/avi_file_stream.h"
#include "tests/support/avi_writer_support.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    auto file = CAviFileWriter::Open(argv[1]);
    PAVISTREAM stream = nullptr;
    if (!file || CAviFileWriter::CreateStream(file, &stream, test_support::StreamInfo(64, 64, 30)) != 0)
        return 1;
    BITMAPINFOHEADER format = test_support::Bgra32Format(64, 64);
    if (stream->SetFormat(0, &format, sizeof(format)) != 0)
        return 1;
    for (LONG k = 0;; ++k) {
        std::vector<uint8_t> frame = test_support::NumberedFrame(k, 64, 64);
        if (stream->Write(k, 1, frame.data(), static_cast<LONG>(frame.size()), AVIIF_KEYFRAME, nullptr,
                          nullptr))
            return 1;
        ::Sleep(k % 7 == 0 ? 1 : 0);
    }
}
