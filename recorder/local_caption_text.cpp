#include "recorder/local_caption_text.h"

#include <windows.h>

#include <cstdlib>

#include "recorder/caption_format.h"

std::string AnsiOrEmpty(std::wstring_view text) {
    if (text.empty())
        return {};
    const int wide = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0,
                                            nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault)
        return {};
    std::string ansi(static_cast<size_t>(bytes), '\0');
    if (::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, ansi.data(), bytes, nullptr,
                              &usedDefault) != bytes ||
        usedDefault)
        return {};
    return ansi;
}

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
