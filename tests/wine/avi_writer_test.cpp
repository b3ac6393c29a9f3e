#include "avi/avi_file_stream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <thread>

#include "recorder/avi_capture.h"
#include "recorder/codec_choice.h"
#include "tests/support/avi_reader.h"
#include "tests/support/avi_writer_support.h"
#include "tests/support/test_support.h"
#include "tests/support/small_filesystem.h"

using namespace std::chrono_literals;
using test_support::NumberedFrame;
using test_support::NumberedFrameTopDown;
using test_support::RunHost;
using test_support::ScratchFolder;

namespace {

// Writes numbered frames through our stream behind the platform's compressing stream, as Open sets it up
// for "Full Frames (Uncompressed)".
void WriteThroughCompressingStream(const std::string& path, int w, int h, int frames) {
    struct Library {
        Library() { ::AVIFileInit(); }
        ~Library() { ::AVIFileExit(); }
    } library;
    auto file = CAviFileWriter::Open(path);
    ASSERT_TRUE(file);
    UniqueAviStream stream, compressed;
    ASSERT_EQ(CAviFileWriter::CreateStream(file, stream.put(), test_support::StreamInfo(w, h, 7)), 0);
    AVICOMPRESSOPTIONS options{};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = comptypeDIB;
    options.dwFlags = AVICOMPRESSF_VALID;
    ASSERT_EQ(::AVIMakeCompressedStream(compressed.put(), stream.get(), &options, nullptr), 0);
    BITMAPINFOHEADER format = test_support::Bgra32Format(w, h);
    ASSERT_EQ(::AVIStreamSetFormat(compressed.get(), 0, &format, sizeof(format)), 0);
    for (int k = 0; k < frames; ++k) {
        std::vector<uint8_t> frame = NumberedFrame(k, w, h);
        ASSERT_EQ(::AVIStreamWrite(compressed.get(), k, 1, frame.data(), static_cast<LONG>(frame.size()),
                                   AVIIF_KEYFRAME, nullptr, nullptr),
                  0);
    }
}

void ExpectNumberedFrames(const std::string& path, int w, int h, int frames) {
    auto probe = test_support::ProbeVideo(path);
    EXPECT_EQ(probe.codec, "rawvideo");
    EXPECT_EQ(probe.frameRate, "7/1");
    EXPECT_EQ(probe.frames, frames);
    auto decoded = test_support::DecodeFrames(path, w, h);
    ASSERT_EQ(decoded.size(), static_cast<size_t>(frames));
    for (int k = 0; k < frames; ++k)
        EXPECT_TRUE(decoded[k] == NumberedFrameTopDown(k, w, h)) << "frame " << k;
}

std::string DecodeOne(const std::string& path, int index, size_t bytes) {
    ScratchFolder scratch;
    std::string raw = scratch.File("one.raw");
    RunHost("ffmpeg -v error -y -i " + test_support::ShellQuote(test_support::HostPath(path)) +
            " -vf \"select='eq(n," + std::to_string(index) + ")'\" -frames:v 1 -f rawvideo -pix_fmt bgra " +
            test_support::ShellQuote(test_support::HostPath(raw)));
    std::string data;
    if (FILE* f = std::fopen(raw.c_str(), "rb")) {
        data.resize(bytes);
        data.resize(std::fread(data.data(), 1, bytes, f));
        std::fclose(f);
    }
    return data;
}

} // namespace

TEST(AviWriter, UncompressedFilesThroughTheCompressingStreamDecodeExactly) {
    ScratchFolder folder;
    struct Case {
        const char* name;
        int w, h, frames;
    };
    for (Case c : {Case{"one.avi", 32, 24, 1}, Case{"many.avi", 33, 17, 150}}) {
        SCOPED_TRACE(c.name);
        WriteThroughCompressingStream(folder.File(c.name), c.w, c.h, c.frames);
        ExpectNumberedFrames(folder.File(c.name), c.w, c.h, c.frames);
    }
}

// Through the real 1 GiB segment limit: the file passes 2 GiB and 4 GiB of offsets stay right.
TEST(AviWriter, FilePastTwoGibibytesReadsBackFrameForFrame) {
    ScratchFolder folder;
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(::GetDiskFreeSpaceExA(folder.path().c_str(), &freeBytes, nullptr, nullptr));
    if (freeBytes.QuadPart < (6ull << 30))
        GTEST_SKIP() << "needs 6 GiB free in " << folder.path();
    constexpr int w = 1920, h = 1080, frames = 262;
    const std::string path = folder.File("big.avi");
    {
        auto file = CAviFileWriter::Open(path);
        ASSERT_TRUE(file);
        UniqueAviStream stream;
        ASSERT_EQ(CAviFileWriter::CreateStream(file, stream.put(), test_support::StreamInfo(w, h, 7)), 0);
        BITMAPINFOHEADER format = test_support::Bgra32Format(w, h);
        ASSERT_EQ(stream.get()->SetFormat(0, &format, sizeof(format)), 0);
        std::vector<uint8_t> frame = NumberedFrame(0, w, h);
        for (int k = 0; k < frames; ++k) {
            frame[0] = static_cast<uint8_t>(k); // the frame number in its first bytes keeps this quick
            frame[1] = static_cast<uint8_t>(k >> 8);
            ASSERT_EQ(stream.get()->Write(k, 1, frame.data(), static_cast<LONG>(frame.size()), AVIIF_KEYFRAME,
                                          nullptr, nullptr),
                      0);
        }
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_GT((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow, 2ull << 30);

    std::string count = RunHost("ffprobe -v error -select_streams v:0 -count_packets -show_entries "
                                "stream=nb_read_packets -of csv=p=0 " +
                                test_support::ShellQuote(test_support::HostPath(path)));
    EXPECT_EQ(std::atoi(count.c_str()), frames);
    const std::vector<uint8_t> expected = NumberedFrameTopDown(0, w, h);
    for (int k : {0, 1, 128, 129, 130, 257, 258, 259, frames - 1}) {
        std::string got = DecodeOne(path, k, expected.size());
        ASSERT_EQ(got.size(), expected.size()) << "frame " << k;
        std::vector<uint8_t> want = expected;
        // The first bytes of the bottom row, which is the last row top-down.
        const size_t lastRow = static_cast<size_t>(h - 1) * w * 4;
        want[lastRow] = static_cast<uint8_t>(k);
        want[lastRow + 1] = static_cast<uint8_t>(k >> 8);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), reinterpret_cast<const uint8_t*>(got.data())))
            << "frame " << k;
    }
    ::DeleteFileA(path.c_str());
}

TEST(AviWriter, KilledWriterLeavesAFileWithEveryFlushedFrame) {
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string helper(self);
    helper = helper.substr(0, helper.find_last_of('\\') + 1) + "avi_writer_helper.exe";
    std::mt19937 random(12345);
    for (int run = 0; run < 4; ++run) {
        ScratchFolder folder;
        const std::string path = folder.File("killed.avi");
        std::string command = "\"" + helper + "\" \"" + path + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &si, &pi));
        UniqueFile process(pi.hProcess), thread(pi.hThread);
        const uint32_t flushedAtLeast = 40 + random() % 400;
        const bool reached = test_support::PumpUntil(
            [&] { return test_support::StreamHeaderLength(path) >= flushedAtLeast; }, 20s);
        // A further random stretch so the kill lands anywhere between two flushes.
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
        ::TerminateProcess(process.get(), 9);
        ::WaitForSingleObject(process.get(), 10000);
        ASSERT_TRUE(reached) << "the helper never flushed " << flushedAtLeast << " frames";
        const uint32_t lastFlush = test_support::StreamHeaderLength(path);
        auto probe = test_support::ProbeVideo(path);
        EXPECT_GE(probe.frames, static_cast<int>(lastFlush)) << "run " << run;
        auto decoded = test_support::DecodeFrames(path, 64, 64);
        ASSERT_EQ(decoded.size(), static_cast<size_t>(probe.frames));
        for (size_t k = 0; k < decoded.size(); ++k)
            ASSERT_TRUE(decoded[k] == NumberedFrameTopDown(static_cast<int>(k), 64, 64)) << "frame " << k;
    }
}

TEST(AviWriter, FullDiskFailsWriteFrameAndKeepsEveryFrameWrittenBefore) {
    ScratchFolder folder;
    test_support::SmallFilesystem small(folder, "1m");
    if (!small.mounted())
        GTEST_SKIP() << "mounting a tmpfs was refused (needs root)";
    test_support::PatternWindow window(64, 48);
    CaptureParams params;
    params.targetWindow = window.hwnd();
    params.folder = small.path();
    params.fileName = "full.avi";
    params.fps = 4;
    int written = 0;
    {
        test_support::CodecChooserScope fullFrames(&test_support::ChooseFullFrames);
        CAviCapture capture(nullptr, nullptr, "", 0, 0);
        ASSERT_NE(capture.Open(&params), 0);
        for (; written < 1000; ++written) {
            window.SetPhase(written % 8);
            ASSERT_EQ(capture.CaptureFrame(), CaptureStatus::Grabbed);
            if (capture.WriteFrame(written) == 0)
                break;
        }
        ASSERT_LT(written, 1000) << "the disk never filled";
        EXPECT_EQ(capture.WriteFrame(written), 0) << "a failed file stays failed";
    }
    std::ifstream in(small.path() + "full.avi", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const test_support::AviFile avi = test_support::ReadAvi(bytes);
    EXPECT_EQ(avi.end, bytes.size()) << "no torn chunk after the last RIFF";
    EXPECT_TRUE(avi.errors.empty()) << avi.errors.front();
    // Frames are written in the background, so the refusal comes one or two frames after the one that
    // failed; that frame may have reached the disk before the index did.
    EXPECT_GE(avi.frames.size() + 2, static_cast<size_t>(written));
    EXPECT_LE(avi.frames.size(), static_cast<size_t>(written));
    // The frames go to a host folder for ffmpeg's output, outside the full filesystem.
    auto frames = test_support::DecodeFrames(small.path() + "full.avi", 64, 48);
    ASSERT_EQ(frames.size(), avi.frames.size());
    for (size_t k = 0; k < frames.size(); ++k) {
        const auto& f = frames[k];
        uint32_t bgr = f[0] | f[1] << 8 | f[2] << 16;
        EXPECT_EQ(bgr, test_support::PatternWindow::ExpectedPixel(0, 0, 64, 48, k % 8)) << "frame " << k;
    }
}
