#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

#include "recorder/time_zone_names.h"

namespace caption_format {

// One moment of local time, field by field.
struct BrokenDownTime {
    int year = 1970; // with century
    int month = 1;   // 1 to 12
    int mday = 1;    // 1 to 31
    int hour = 0;    // 0 to 23
    int minute = 0;  // 0 to 59
    int second = 0;  // 0 to 60
    int wday = 4;    // 0 Sunday to 6 Saturday
    int yday = 0;    // 0 (January 1) to 365
    bool isdst = false;
};

BrokenDownTime FromTm(const std::tm& t);

// The longest caption text in bytes; one that would need more gives the empty text.
constexpr size_t kMaxTextBytes = 127;

// The pattern with every code replaced as the caption's code table says: English names and date
// forms, zero-padded numbers ('#' drops the padding, or picks the long date for c and x), %z and %Z
// the zone name in effect, "%%" a percent sign; any other code, and a lone '%' or "%#" at the end,
// vanishes. Every other byte is copied as it stands.
std::string Format(std::string_view pattern, const BrokenDownTime& t, const ZoneNames& zones);

} // namespace caption_format
