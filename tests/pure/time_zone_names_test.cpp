#include "recorder/time_zone_names.h"

#include <gtest/gtest.h>

TEST(TimeZoneNames, FromTheRuntimesTzForm) {
    struct Case {
        const char* tz;
        const char* names;
    };
    for (auto c : {Case{"JST-9", "JST|"}, Case{"EST5EDT", "EST|EDT"}, Case{"CET-1CEST", "CET|CEST"},
                   Case{"IST-5:30", "IST|"}, Case{"EST+05:00:00EDT", "EST|EDT"}, Case{"NPT-05:45:30", "NPT|"},
                   Case{"UTC", "UTC|"}, Case{"EST5EDT,M3.2.0,M11.1.0", "EST|EDT"}, Case{"J", "J|"}})
        EXPECT_EQ(ZoneNamesFromTz(c.tz).standard + "|" + ZoneNamesFromTz(c.tz).daylight, c.names) << c.tz;
}
