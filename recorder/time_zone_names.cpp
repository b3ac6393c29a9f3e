#include "recorder/time_zone_names.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

ZoneNames ZoneNamesFromTz(std::string_view tz) {
    ZoneNames names;
    // The runtime takes the standard name as three characters, whatever they are, and reads the
    // offset only after them; the names follow the same cut so they match the offset it applies.
    names.standard = std::string(tz.substr(0, 3));
    size_t i = names.standard.size();
    if (i < tz.size() && (tz[i] == '+' || tz[i] == '-'))
        ++i;
    // Hours, then optional :minutes and :seconds.
    for (int field = 0; field < 3 && i < tz.size(); ++field) {
        if (field > 0) {
            if (tz[i] != ':')
                break;
            ++i;
        }
        while (i < tz.size() && IsDigit(tz[i]))
            ++i;
    }
    size_t end = i;
    while (end < tz.size() && IsLetter(tz[end]))
        ++end;
    names.daylight = std::string(tz.substr(i, end - i));
    return names;
}
