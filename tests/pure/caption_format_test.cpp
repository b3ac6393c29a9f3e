#include "recorder/caption_format.h"

#include <gtest/gtest.h>

using caption_format::BrokenDownTime;
using caption_format::Format;

namespace {

struct Civil {
    int year, month, day, hour, minute, second;
};

// Weekday and day of the year worked out from the calendar, independently of any runtime.
BrokenDownTime At(Civil c, bool isdst = false) {
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int yday = before[c.month - 1] + c.day - 1 + (c.month > 2 && leap(c.year));
    long days = yday; // since 1970-01-01, a Thursday
    for (int y = 1970; y < c.year; ++y)
        days += leap(y) ? 366 : 365;
    return {c.year, c.month, c.day, c.hour, c.minute, c.second, static_cast<int>((days + 4) % 7),
            yday,   isdst};
}

const ZoneNames kZones{"JST", "JDT"};

} // namespace

// Jan 1 on every weekday (2006 a Sunday to 2011 a Saturday), Dec 31 of a leap and a common year, a
// leap day, midnight, noon and the hours either side for %I and %p: every code, then with '#'.
TEST(CaptionFormat, EveryCodeAcrossEdgeDates) {
    const std::pair<Civil, const char*> edges[] = {
        {{2006, 1, 1, 0, 0, 0},
         "Sun|Sunday|Jan|January|01|00|12|001|01|00|AM|00|01|0|00|06|2006 "
         "1|0|12|1|1|0|0|1|0|6|2006"},
        {{2007, 1, 1, 12, 0, 0},
         "Mon|Monday|Jan|January|01|12|12|001|01|00|PM|00|00|1|01|07|2007 "
         "1|12|12|1|1|0|0|0|1|7|2007"},
        {{2008, 1, 1, 11, 59, 59},
         "Tue|Tuesday|Jan|January|01|11|11|001|01|59|AM|59|00|2|00|08|2008 "
         "1|11|11|1|1|59|59|0|0|8|2008"},
        {{2003, 1, 1, 23, 5, 7},
         "Wed|Wednesday|Jan|January|01|23|11|001|01|05|PM|07|00|3|00|03|2003 "
         "1|23|11|1|1|5|7|0|0|3|2003"},
        {{2009, 1, 1, 13, 0, 1},
         "Thu|Thursday|Jan|January|01|13|01|001|01|00|PM|01|00|4|00|09|2009 "
         "1|13|1|1|1|0|1|0|0|9|2009"},
        {{2010, 1, 1, 1, 2, 3},
         "Fri|Friday|Jan|January|01|01|01|001|01|02|AM|03|00|5|00|10|2010 "
         "1|1|1|1|1|2|3|0|0|10|2010"},
        {{2011, 1, 1, 9, 8, 7},
         "Sat|Saturday|Jan|January|01|09|09|001|01|08|AM|07|00|6|00|11|2011 "
         "1|9|9|1|1|8|7|0|0|11|2011"},
        {{2008, 12, 31, 12, 30, 0},
         "Wed|Wednesday|Dec|December|31|12|12|366|12|30|PM|00|52|3|52|08|2008 "
         "31|12|12|366|12|30|0|52|52|8|2008"},
        {{2007, 12, 31, 0, 0, 0},
         "Mon|Monday|Dec|December|31|00|12|365|12|00|AM|00|52|1|53|07|2007 "
         "31|0|12|365|12|0|0|52|53|7|2007"},
        {{2000, 2, 29, 0, 0, 9},
         "Tue|Tuesday|Feb|February|29|00|12|060|02|00|AM|09|09|2|09|00|2000 "
         "29|0|12|60|2|0|9|9|9|0|2000"},
    };
    for (const auto& [when, text] : edges)
        EXPECT_EQ(Format("%a|%A|%b|%B|%d|%H|%I|%j|%m|%M|%p|%S|%U|%w|%W|%y|%Y "
                         "%#d|%#H|%#I|%#j|%#m|%#M|%#S|%#U|%#W|%#y|%#Y",
                         At(when), kZones),
                  text);
}

TEST(CaptionFormat, DateFormsLiteralsUnknownCodesAndTheLengthLimit) {
    const std::string x123(123, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"%a, %d %b %Y %H:%M:%S %z", "Mon, 03 Mar 2014 09:05:07 JST"},
        {"%c|%#c", "03/03/14 09:05:07|Monday, March 03, 2014 09:05:07"},
        {"%x|%#x|%X|%#X", "03/03/14|Monday, March 03, 2014|09:05:07|09:05:07"},
        {"%#a %#A %#b %#B %#p %#w|%#z|%#Z|%#%", "Mon Monday Mar March AM 1|JST|JST|%"},
        {"", ""},
        {"100%%|%%d|%%%", "100%|%d|%"},
        {"a%qb%Ec%Od%#q.", "abcd."},
        {"x%", "x"},
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
        {"%#c%#c%#c%#c%#c", ""},
    };
    for (const auto& [pattern, text] : cases)
        EXPECT_EQ(Format(pattern, At({2014, 3, 3, 9, 5, 7}), kZones), text) << pattern;
}

TEST(CaptionFormat, ZoneNameFollowsDaylightSavingAndIsNeverAnOffset) {
    EXPECT_EQ(Format("%z %Z", At({2014, 1, 15, 12, 0, 0}), kZones), "JST JST");
    EXPECT_EQ(Format("%z %Z", At({2014, 7, 15, 12, 0, 0}, true), kZones), "JDT JDT");
    EXPECT_EQ(Format("[%z]", At({2014, 7, 15, 12, 0, 0}, true), ZoneNames{"JST", ""}), "[]");
    // The runtime's tm counts months from 0 and years from 1900.
    std::tm tm{};
    tm.tm_year = 114, tm.tm_mon = 2, tm.tm_mday = 3, tm.tm_hour = 9, tm.tm_min = 5, tm.tm_sec = 7;
    tm.tm_wday = 1, tm.tm_yday = 61, tm.tm_isdst = 1;
    EXPECT_EQ(Format("%Y-%m-%d %H:%M:%S %a %j %Z", caption_format::FromTm(tm), kZones),
              "2014-03-03 09:05:07 Mon 062 JDT");
}
