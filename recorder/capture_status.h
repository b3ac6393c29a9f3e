#pragma once

// The result of one frame grab.
enum class CaptureStatus : int {
    Grabbed = 0,     // frame grabbed
    SizeChanged = 1, // the source's size differs from the recording's first frame
    NoMemory = 2,    // the frame buffer could not be allocated or locked
    ReadFailed = 3,  // the pixels could not be read (also: the target window is gone)
};
