#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "recorder/time_zone_names.h"

// The zone names of this process: from "TZ" when it is set and not empty, else the system's
// time-zone names in the ANSI code page.
ZoneNames LocalZoneNames();

// The caption for a calendar time: converted to local time (honouring "TZ") and formatted with the
// pattern. Empty when the conversion fails or the text does not fit.
std::string LocalCaptionText(std::string_view pattern, std::time_t when);
