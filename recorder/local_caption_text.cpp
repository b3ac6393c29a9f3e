#include "recorder/local_caption_text.h"

#include <windows.h>

#include <cstdlib>

#include "platform/ansi_text.h"
#include "recorder/caption_format.h"

ZoneNames LocalZoneNames() {
    // The runtime's own _tzname cannot be used: Wine's cuts the names from "TZ" to two characters.
    if (const char* tz = std::getenv("TZ"); tz && *tz)
        return ZoneNamesFromTz(tz);
    TIME_ZONE_INFORMATION zone{};
    if (::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID)
        return {};
    return ZoneNames{AnsiOrEmpty(zone.StandardName), AnsiOrEmpty(zone.DaylightName)};
}

std::string LocalCaptionText(std::string_view pattern, std::time_t when) {
    // "TZ" is read again for every caption, so the names and the offset always agree.
    ::_tzset();
    const std::tm* local = std::localtime(&when);
    if (!local)
        return {};
    return caption_format::Format(pattern, caption_format::FromTm(*local), LocalZoneNames());
}
