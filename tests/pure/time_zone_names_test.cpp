#include "recorder/time_zone_names.h"

#include <gtest/gtest.h>

TEST(TimeZoneNames, FromTheRuntimesTzForm) {
    for (auto [tz, names] : {std::pair{"JST-9", "JST|"},
                             {"EST5EDT", "EST|EDT"},
                             {"CET-1CEST", "CET|CEST"},
                             {"IST-5:30", "IST|"},
                             {"EST+05:00:00EDT", "EST|EDT"},
                             {"NPT-05:45:30", "NPT|"},
                             {"UTC", "UTC|"},
                             {"EST5EDT,M3.2.0,M11.1.0", "EST|EDT"},
                             {"J", "J|"}})
        EXPECT_EQ(ZoneNamesFromTz(tz).standard + "|" + ZoneNamesFromTz(tz).daylight, names) << tz;
}
