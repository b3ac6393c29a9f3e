#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "ui/path_split.h"

// The notification icon's tip member holds 128 bytes including the NUL.
inline constexpr size_t kTrayTipMaxBytes = 127;

// The loaded strings the tips are made of.
struct TrayTipTexts {
    std::string recording; // string 109: item %s, count %d, remaining %s
    std::string idle;      // string 110: item %s, count %d
    std::string remaining; // string 115: %H, %M, %S of the time left
    std::string noLimit;   // string 116
};

struct TrayState {
    bool recording = false;
    std::string itemText; // the source box's text of the recorded item
    uint32_t frameCount = 0;
    int limitSelection = -1; // the time-limit box's selection; 0 and -1 mean no limit
    int64_t secondsLeft = 0; // end time minus now, whole seconds
};

// Fills %s and %d of a loaded printf-style text in order with the given texts; "%%" is a percent
// sign and any other conversion stays as it is. The arguments are never read as formats.
std::string FillPlaceholders(const std::string& format, std::initializer_list<std::string> args);

// The remaining-time text: %H hours within a day, %M minutes within the hour, %S seconds within
// the minute, two digits each. A negative span shows as zero.
std::string FormatRemainingTime(const std::string& format, int64_t seconds);

// Cuts to at most maxBytes without splitting a double-byte character.
std::string TruncateAnsi(const std::string& text, size_t maxBytes, LeadByteTest isLeadByte);

// The tooltip for the state, at most kTrayTipMaxBytes bytes.
std::string TrayTipText(const TrayTipTexts& texts, const TrayState& state, LeadByteTest isLeadByte);

// Which of the three recording icons shows after count frames.
inline int RecordingIconIndex(uint32_t frameCount) {
    return static_cast<int>(frameCount % 3);
}
