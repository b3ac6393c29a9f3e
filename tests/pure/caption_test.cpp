#include "recorder/caption_format.h"
#include "recorder/caption_placement.h"
#include "recorder/time_zone_names.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>

using caption_format::BrokenDownTime;
using caption_format::Format;

namespace {

// "YYYY-MM-DD hh:mm:ss" with its weekday and day of the year from the calendar, not from a runtime.
BrokenDownTime At(const char* when) {
    BrokenDownTime t{};
    std::sscanf(when, "%d-%d-%d %d:%d:%d", &t.year, &t.month, &t.mday, &t.hour, &t.minute, &t.second);
    using namespace std::chrono;
    const sys_days day = year(t.year) / t.month / t.mday;
    t.wday = weekday(day).c_encoding(), t.yday = (day - sys_days(year(t.year) / 1 / 1)).count();
    return t;
}

const ZoneNames kZones{"JST", "JDT"};

} // namespace

// Jan 1 on every weekday (2006 a Sunday to 2011 a Saturday), Dec 31 of a leap and a common year, a
// leap day, midnight, noon and the hours either side for %I and %p: every code, then with '#'.
TEST(CaptionFormat, EveryCodeAcrossEdgeDates) {
    const std::tuple<const char*, const char*, const char*> edges[] = {
        {"2006-01-01 00:00:00", "Sun|Sunday|Jan|January|01|00|12|001|01|00|AM|00|01|0|00|06|2006",
         "1|0|12|1|1|0|0|1|0|6|2006"},
        {"2007-01-01 12:00:00", "Mon|Monday|Jan|January|01|12|12|001|01|00|PM|00|00|1|01|07|2007",
         "1|12|12|1|1|0|0|0|1|7|2007"},
        {"2008-01-01 11:59:59", "Tue|Tuesday|Jan|January|01|11|11|001|01|59|AM|59|00|2|00|08|2008",
         "1|11|11|1|1|59|59|0|0|8|2008"},
        {"2003-01-01 23:05:07", "Wed|Wednesday|Jan|January|01|23|11|001|01|05|PM|07|00|3|00|03|2003",
         "1|23|11|1|1|5|7|0|0|3|2003"},
        {"2009-01-01 13:00:01", "Thu|Thursday|Jan|January|01|13|01|001|01|00|PM|01|00|4|00|09|2009",
         "1|13|1|1|1|0|1|0|0|9|2009"},
        {"2010-01-01 01:02:03", "Fri|Friday|Jan|January|01|01|01|001|01|02|AM|03|00|5|00|10|2010",
         "1|1|1|1|1|2|3|0|0|10|2010"},
        {"2011-01-01 09:08:07", "Sat|Saturday|Jan|January|01|09|09|001|01|08|AM|07|00|6|00|11|2011",
         "1|9|9|1|1|8|7|0|0|11|2011"},
        {"2008-12-31 12:30:00", "Wed|Wednesday|Dec|December|31|12|12|366|12|30|PM|00|52|3|52|08|2008",
         "31|12|12|366|12|30|0|52|52|8|2008"},
        {"2007-12-31 00:00:00", "Mon|Monday|Dec|December|31|00|12|365|12|00|AM|00|52|1|53|07|2007",
         "31|0|12|365|12|0|0|52|53|7|2007"},
        {"2000-02-29 00:00:09", "Tue|Tuesday|Feb|February|29|00|12|060|02|00|AM|09|09|2|09|00|2000",
         "29|0|12|60|2|0|9|9|9|0|2000"}};
    for (const auto& [when, padded, unpadded] : edges) {
        EXPECT_EQ(Format("%a|%A|%b|%B|%d|%H|%I|%j|%m|%M|%p|%S|%U|%w|%W|%y|%Y", At(when), kZones), padded);
        EXPECT_EQ(Format("%#d|%#H|%#I|%#j|%#m|%#M|%#S|%#U|%#W|%#y|%#Y", At(when), kZones), unpadded);
    }
}

TEST(CaptionFormat, DateFormsLiteralsUnknownCodesAndTheLengthLimit) {
    const std::string x123(123, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"%c|%#c", "03/03/14 09:05:07|Monday, March 03, 2014 09:05:07"},
        {"%x|%#x|%X|%#X", "03/03/14|Monday, March 03, 2014|09:05:07|09:05:07"},
        {"%#a %#A %#b %#B %#p %#w|%#z|%#Z|%#%", "Mon Monday Mar March AM 1|JST|JST|%"},
        {"100%%|%%d|%%%", "100%|%d|%"},
        {"a%qb%Ec%Od%#q.", "abcd."},
        {"x%#", "x"},
        // printf conversions mean nothing here: %s and %n vanish, %5 vanishes and leaves "d".
        {"%s%n%5d%d", "d03"},
        // CP932 text passes through whole, also where a trail byte looks like '\\', '^' or 'N'.
        {"\x98\x5e\x89\xe6\x92\x86 %Y\x94\x4e\x83\x5c%H", "\x98\x5e\x89\xe6\x92\x86 2014\x94\x4e\x83\x5c"
                                                          "09"},
        // At most 127 bytes of text; a pattern that gives more, however short, gives nothing.
        {std::string(127, 'x'), std::string(127, 'x')},
        {std::string(128, 'x'), ""},
        {x123 + "%Y", x123 + "2014"},
        {x123 + "x%Y", ""},
        {x123 + "xxx%%", x123 + "xxx%"},
        {std::string(200, '%') + "x", std::string(100, '%') + "x"},
        {"%#c%#c%#c%#c%#c", ""}};
    for (const auto& [pattern, text] : cases)
        EXPECT_EQ(Format(pattern, At("2014-03-03 09:05:07"), kZones), text) << pattern;
}

// The runtime's tm counts months from 0 and years from 1900; its daylight saving picks the zone name.
TEST(CaptionFormat, FromTheRuntimesTm) {
    std::tm tm{};
    tm.tm_year = 114, tm.tm_mon = 2, tm.tm_mday = 3, tm.tm_hour = 9, tm.tm_min = 5, tm.tm_sec = 7;
    tm.tm_wday = 1, tm.tm_yday = 61, tm.tm_isdst = 1;
    EXPECT_EQ(Format("%Y-%m-%d %H:%M:%S %a %j %Z", caption_format::FromTm(tm), kZones),
              "2014-03-03 09:05:07 Mon 062 JDT");
}

TEST(TimeZoneNames, FromTheRuntimesTzForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"JST-9", "JST|"},    {"EST5EDT", "EST|EDT"},         {"CET-1CEST", "CET|CEST"},
        {"IST-5:30", "IST|"}, {"EST+05:00:00EDT", "EST|EDT"}, {"NPT-05:45:30", "NPT|"},
        {"UTC", "UTC|"},      {"YST9YDT", "YST|YDT"},         {"EST5EDT,M3.2.0,M11.1.0", "EST|EDT"},
        {"J", "J|"}};
    for (auto [tz, names] : cases)
        EXPECT_EQ(ZoneNamesFromTz(tz).standard + "|" + ZoneNamesFromTz(tz).daylight, names) << tz;
}

TEST(CaptionPlacement, EachLocationWhereItsLabelSaysAndLargeTextsFromTheEdges) {
    auto at = [](caption_placement::Point p) { return std::array{p.x, p.y}; };
    // A 100 x 20 text in a 641 x 480 frame: right-aligned texts end at 641, centred ones leave
    // (641 - 100) / 2 = 270 on the left. Stored values outside 0 to 5 draw as location 0.
    const std::array<int, 3> placed[] = {{0, 541, 0},   {1, 270, 0},   {2, 0, 0},
                                         {3, 541, 460}, {4, 270, 460}, {5, 0, 460},
                                         {-1, 541, 0},  {6, 541, 0},   {INT_MIN, 541, 0}};
    for (auto [location, x, y] : placed)
        EXPECT_EQ(at(caption_placement::Place(location, 641, 480, 100, 20)), (std::array{x, y})) << location;
    // Texts near or past the size of a 64 x 16 frame: location, text width and height, x, y.
    const std::array<int, 5> large[] = {
        {0, 65, 10, 0, 0}, {1, 66, 10, 0, 0}, {4, 300, 40, 0, 0}, {4, 62, 16, 1, 0}, {3, 10, 17, 54, 0}};
    for (auto [location, w, h, x, y] : large)
        EXPECT_EQ(at(caption_placement::Place(location, 64, 16, w, h)), (std::array{x, y}))
            << location << ", " << w << "x" << h;
}
