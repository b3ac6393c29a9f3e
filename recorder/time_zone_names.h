#pragma once

#include <string>
#include <string_view>

// The two names a caption shows for %z and %Z: one while daylight-saving time is in effect, the
// other the rest of the year. Either may be empty.
struct ZoneNames {
    std::string standard;
    std::string daylight;
};

// The names a "TZ" value of the runtime's form tzn[+|-]hh[:mm[:ss]][dzn] gives: its first three
// characters, and the letters that follow the offset.
ZoneNames ZoneNamesFromTz(std::string_view tz);
