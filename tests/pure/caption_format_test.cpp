#include "recorder/caption_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using caption_format::BrokenDownTime;
using caption_format::Format;

namespace {

struct Civil {
    int year, month, day, hour, minute, second;
};

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Weekday and day of the year worked out from the calendar, independently of any runtime.
BrokenDownTime At(Civil c, bool isdst = false) {
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    BrokenDownTime t;
    t.year = c.year;
    t.month = c.month;
    t.mday = c.day;
    t.hour = c.hour;
    t.minute = c.minute;
    t.second = c.second;
    t.yday = before[c.month - 1] + c.day - 1 + (c.month > 2 && IsLeap(c.year) ? 1 : 0);
    long days = 0; // since 1970-01-01, a Thursday
    for (int y = 1970; y < c.year; ++y)
        days += IsLeap(y) ? 366 : 365;
    days += t.yday;
    t.wday = static_cast<int>((days + 4) % 7);
    t.isdst = isdst;
    return t;
}

const ZoneNames kZones{"JST", "JDT"};

// Jan 1 on every weekday (2006 a Sunday to 2011 a Saturday), Dec 31 of a leap and a common year
// (day 366 and 365), a leap day, midnight, noon and the hours either side for %I and %p.
const std::vector<Civil> kEdgeDates = {
    {2006, 1, 1, 0, 0, 0},   {2007, 1, 1, 12, 0, 0}, {2008, 1, 1, 11, 59, 59}, {2003, 1, 1, 23, 5, 7},
    {2009, 1, 1, 13, 0, 1},  {2010, 1, 1, 1, 2, 3},  {2011, 1, 1, 9, 8, 7},    {2008, 12, 31, 12, 30, 0},
    {2007, 12, 31, 0, 0, 0}, {2014, 3, 3, 9, 5, 7},  {2000, 2, 29, 0, 0, 9},
};

constexpr const char* kPadded = "%a|%A|%b|%B|%d|%H|%I|%j|%m|%M|%p|%S|%U|%w|%W|%y|%Y";
constexpr const char* kUnpadded = "%#d|%#H|%#I|%#j|%#m|%#M|%#S|%#U|%#W|%#y|%#Y";

} // namespace

TEST(CaptionFormat, EveryCodeAcrossEdgeDates) {
    const char* padded[] = {
        "Sun|Sunday|Jan|January|01|00|12|001|01|00|AM|00|01|0|00|06|2006",
        "Mon|Monday|Jan|January|01|12|12|001|01|00|PM|00|00|1|01|07|2007",
        "Tue|Tuesday|Jan|January|01|11|11|001|01|59|AM|59|00|2|00|08|2008",
        "Wed|Wednesday|Jan|January|01|23|11|001|01|05|PM|07|00|3|00|03|2003",
        "Thu|Thursday|Jan|January|01|13|01|001|01|00|PM|01|00|4|00|09|2009",
        "Fri|Friday|Jan|January|01|01|01|001|01|02|AM|03|00|5|00|10|2010",
        "Sat|Saturday|Jan|January|01|09|09|001|01|08|AM|07|00|6|00|11|2011",
        "Wed|Wednesday|Dec|December|31|12|12|366|12|30|PM|00|52|3|52|08|2008",
        "Mon|Monday|Dec|December|31|00|12|365|12|00|AM|00|52|1|53|07|2007",
        "Mon|Monday|Mar|March|03|09|09|062|03|05|AM|07|09|1|09|14|2014",
        "Tue|Tuesday|Feb|February|29|00|12|060|02|00|AM|09|09|2|09|00|2000",
    };
    const char* unpadded[] = {
        "1|0|12|1|1|0|0|1|0|6|2006",  "1|12|12|1|1|0|0|0|1|7|2007",        "1|11|11|1|1|59|59|0|0|8|2008",
        "1|23|11|1|1|5|7|0|0|3|2003", "1|13|1|1|1|0|1|0|0|9|2009",         "1|1|1|1|1|2|3|0|0|10|2010",
        "1|9|9|1|1|8|7|0|0|11|2011",  "31|12|12|366|12|30|0|52|52|8|2008", "31|0|12|365|12|0|0|52|53|7|2007",
        "3|9|9|62|3|5|7|9|9|14|2014", "29|0|12|60|2|0|9|9|9|0|2000",
    };
    for (size_t i = 0; i < kEdgeDates.size(); ++i) {
        const BrokenDownTime t = At(kEdgeDates[i]);
        EXPECT_EQ(Format(kPadded, t, kZones), padded[i]) << "date " << i;
        EXPECT_EQ(Format(kUnpadded, t, kZones), unpadded[i]) << "date " << i;
    }
}

TEST(CaptionFormat, HashChangesOnlyNumbersAndTheDateForms) {
    const BrokenDownTime t = At({2014, 3, 3, 9, 5, 7});
    struct Case {
        const char* pattern;
        const char* text;
    };
    for (auto c : {Case{"%c", "03/03/14 09:05:07"}, Case{"%#c", "Monday, March 03, 2014 09:05:07"},
                   Case{"%x", "03/03/14"}, Case{"%#x", "Monday, March 03, 2014"}, Case{"%X", "09:05:07"},
                   Case{"%#X", "09:05:07"}, Case{"%#a %#A %#b %#B %#p %#w", "Mon Monday Mar March AM 1"},
                   Case{"%#z|%#Z|%#%", "JST|JST|%"}})
        EXPECT_EQ(Format(c.pattern, t, kZones), c.text) << c.pattern;
}

TEST(CaptionFormat, ZoneNameFollowsDaylightSavingAndIsNeverAnOffset) {
    const BrokenDownTime winter = At({2014, 1, 15, 12, 0, 0}, false);
    const BrokenDownTime summer = At({2014, 7, 15, 12, 0, 0}, true);
    EXPECT_EQ(Format("%z %Z", winter, ZoneNames{"EST", "EDT"}), "EST EST");
    EXPECT_EQ(Format("%z %Z", summer, ZoneNames{"EST", "EDT"}), "EDT EDT");
    EXPECT_EQ(Format("[%z]", summer, ZoneNames{"JST", ""}), "[]");
    EXPECT_EQ(Format("[%Z]", winter, ZoneNames{}), "[]");
}

TEST(CaptionFormat, DefaultPattern) {
    EXPECT_EQ(Format("%a, %d %b %Y %H:%M:%S %z", At({2014, 3, 3, 9, 5, 7}), kZones),
              "Mon, 03 Mar 2014 09:05:07 JST");
}

TEST(CaptionFormat, LiteralsPercentUnknownCodesAndTrailingPercent) {
    const BrokenDownTime t = At({2014, 3, 3, 9, 5, 7});
    struct Case {
        const char* pattern;
        const char* text;
    };
    for (auto c : {Case{"", ""}, Case{"no codes here", "no codes here"}, Case{"100%%", "100%"},
                   Case{"%%d", "%d"}, Case{"a%qb%Ec%Od%", "abcd"}, Case{"%#q.", "."}, Case{"x%", "x"},
                   Case{"x%#", "x"}, Case{"%", ""}, Case{"%#", ""}, Case{"%%%", "%"},
                   // Printf conversions mean nothing here: %s and %n vanish, %5 vanishes and leaves "d".
                   Case{"%s%n%5d%d", "d03"}})
        EXPECT_EQ(Format(c.pattern, t, kZones), c.text) << c.pattern;
}

TEST(CaptionFormat, DoubleByteCharactersPassThroughIntact) {
    const BrokenDownTime t = At({2014, 3, 3, 9, 5, 7});
    // CP932 "録画中" and "年" (0x94 0x4E), whose trail bytes look like ASCII '^', 'N' and 'N'.
    EXPECT_EQ(Format("\x98\x5e\x89\xe6\x92\x86 %Y\x94\x4e", t, kZones),
              "\x98\x5e\x89\xe6\x92\x86 2014\x94\x4e");
    EXPECT_EQ(Format("\x83\x5c%H", t, kZones), "\x83\x5c"
                                               "09");
}

TEST(CaptionFormat, TextOf127BytesFitsAnd128GiveNothing) {
    const BrokenDownTime t = At({2014, 3, 3, 9, 5, 7});
    EXPECT_EQ(Format(std::string(127, 'x'), t, kZones), std::string(127, 'x'));
    EXPECT_EQ(Format(std::string(128, 'x'), t, kZones), "");
    EXPECT_EQ(Format(std::string(123, 'x') + "%Y", t, kZones), std::string(123, 'x') + "2014");
    EXPECT_EQ(Format(std::string(124, 'x') + "%Y", t, kZones), "");
    EXPECT_EQ(Format(std::string(126, 'x') + "%%", t, kZones), std::string(126, 'x') + "%");
    // The pattern may be long as long as the text is short.
    EXPECT_EQ(Format(std::string(200, '%') + "x", t, kZones), std::string(100, '%') + "x");
    std::string codes;
    for (int i = 0; i < 22; ++i) // 132 bytes
        codes += "%A";
    EXPECT_EQ(Format(codes, t, kZones), "");
}

TEST(CaptionFormat, FromTmCountsMonthsFromOneAndYearsWithCentury) {
    std::tm tm{};
    tm.tm_year = 114;
    tm.tm_mon = 2;
    tm.tm_mday = 3;
    tm.tm_hour = 9;
    tm.tm_min = 5;
    tm.tm_sec = 7;
    tm.tm_wday = 1;
    tm.tm_yday = 61;
    tm.tm_isdst = 1;
    EXPECT_EQ(Format("%Y-%m-%d %H:%M:%S %a %j %Z", caption_format::FromTm(tm), kZones),
              "2014-03-03 09:05:07 Mon 062 JDT");
}

#ifndef _WIN32
// Where the code table and the C library agree (the "C" locale; '#' as glibc's '-'), glibc is a
// second opinion over the whole edge table.
namespace {

std::string Glibc(const char* pattern, const BrokenDownTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.mday;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_wday = t.wday;
    tm.tm_yday = t.yday;
    char buffer[256];
    size_t n = std::strftime(buffer, sizeof(buffer), pattern, &tm);
    return std::string(buffer, n);
}

} // namespace

TEST(CaptionFormat, AgreesWithGlibcWhereTheSemanticsAgree) {
    struct Pair {
        const char* ours;
        const char* glibc;
    };
    std::vector<Pair> pairs;
    for (const char* code : {"%a", "%A", "%b", "%B", "%d", "%H", "%I", "%j", "%m", "%M",
                             "%p", "%S", "%U", "%w", "%W", "%y", "%Y", "%x", "%X", "%%"})
        pairs.push_back({code, code});
    for (const char* code : {"d", "H", "I", "j", "m", "M", "S", "U", "W", "y", "Y"})
        pairs.push_back({nullptr, code});
    pairs.push_back({"%c", "%m/%d/%y %H:%M:%S"});
    pairs.push_back({"%#c", "%A, %B %d, %Y %H:%M:%S"});
    pairs.push_back({"%#x", "%A, %B %d, %Y"});
    for (const Civil& c : kEdgeDates) {
        const BrokenDownTime t = At(c);
        for (const Pair& p : pairs) {
            const std::string ours = p.ours ? p.ours : std::string("%#") + p.glibc;
            const std::string glibc = p.ours ? p.glibc : std::string("%-") + p.glibc;
            EXPECT_EQ(Format(ours, t, kZones), Glibc(glibc.c_str(), t))
                << ours << " on " << c.year << "-" << c.month << "-" << c.day << " " << c.hour;
        }
    }
}
#endif
