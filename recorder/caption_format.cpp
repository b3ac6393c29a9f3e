#include "recorder/caption_format.h"

namespace caption_format {

namespace {

constexpr const char* kWeekdays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

std::string_view Weekday(const BrokenDownTime& t) {
    return (t.wday >= 0 && t.wday < 7) ? kWeekdays[t.wday] : "";
}

std::string_view Month(const BrokenDownTime& t) {
    return (t.month >= 1 && t.month <= 12) ? kMonths[t.month - 1] : "";
}

class Writer {
public:
    void Text(std::string_view s) { m_text.append(s); }
    void Char(char c) { m_text.push_back(c); }
    // value at least `width` digits wide, or without padding.
    void Number(long long value, int width, bool pad) {
        std::string digits;
        const bool negative = value < 0;
        unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
        do {
            digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
            magnitude /= 10;
        } while (magnitude != 0);
        if (pad && static_cast<int>(digits.size()) < width)
            digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
        if (negative)
            Char('-');
        Text(digits);
    }
    size_t Size() const { return m_text.size(); }
    std::string Take() { return std::move(m_text); }

private:
    std::string m_text;
};

int WeekOfYear(int yday, int firstDayWeekday) {
    return (yday + 7 - firstDayWeekday) / 7;
}

void ShortDate(Writer& out, const BrokenDownTime& t) {
    out.Number(t.month, 2, true);
    out.Char('/');
    out.Number(t.mday, 2, true);
    out.Char('/');
    out.Number(((t.year % 100) + 100) % 100, 2, true);
}

void LongDate(Writer& out, const BrokenDownTime& t) {
    out.Text(Weekday(t));
    out.Text(", ");
    out.Text(Month(t));
    out.Char(' ');
    out.Number(t.mday, 2, true);
    out.Text(", ");
    out.Number(t.year, 4, true);
}

void Time(Writer& out, const BrokenDownTime& t) {
    out.Number(t.hour, 2, true);
    out.Char(':');
    out.Number(t.minute, 2, true);
    out.Char(':');
    out.Number(t.second, 2, true);
}

void Code(Writer& out, char code, bool alternate, const BrokenDownTime& t, const ZoneNames& zones) {
    const bool pad = !alternate;
    switch (code) {
    case 'a': out.Text(Weekday(t).substr(0, 3)); break;
    case 'A': out.Text(Weekday(t)); break;
    case 'b': out.Text(Month(t).substr(0, 3)); break;
    case 'B': out.Text(Month(t)); break;
    case 'c':
        alternate ? LongDate(out, t) : ShortDate(out, t);
        out.Char(' ');
        Time(out, t);
        break;
    case 'd': out.Number(t.mday, 2, pad); break;
    case 'H': out.Number(t.hour, 2, pad); break;
    case 'I': out.Number(t.hour % 12 == 0 ? 12 : t.hour % 12, 2, pad); break;
    case 'j': out.Number(t.yday + 1, 3, pad); break;
    case 'm': out.Number(t.month, 2, pad); break;
    case 'M': out.Number(t.minute, 2, pad); break;
    case 'p': out.Text(t.hour < 12 ? "AM" : "PM"); break;
    case 'S': out.Number(t.second, 2, pad); break;
    case 'U': out.Number(WeekOfYear(t.yday, t.wday), 2, pad); break;
    case 'w': out.Number(t.wday, 1, true); break;
    case 'W': out.Number(WeekOfYear(t.yday, (t.wday + 6) % 7), 2, pad); break;
    case 'x': alternate ? LongDate(out, t) : ShortDate(out, t); break;
    case 'X': Time(out, t); break;
    case 'y': out.Number(((t.year % 100) + 100) % 100, 2, pad); break;
    case 'Y': out.Number(t.year, 4, pad); break;
    case 'z':
    case 'Z': out.Text(t.isdst ? zones.daylight : zones.standard); break;
    case '%': out.Char('%'); break;
    default: break;
    }
}

} // namespace

BrokenDownTime FromTm(const std::tm& t) {
    return BrokenDownTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,     t.tm_min,
                          t.tm_sec,         t.tm_wday,    t.tm_yday, t.tm_isdst > 0};
}

std::string Format(std::string_view pattern, const BrokenDownTime& t, const ZoneNames& zones) {
    Writer out;
    // Bytes are copied one by one: no double-byte code page uses '%' as a trail byte, so a '%'
    // always starts a code.
    for (size_t i = 0; i < pattern.size() && out.Size() <= kMaxTextBytes; ++i) {
        if (pattern[i] != '%') {
            out.Char(pattern[i]);
            continue;
        }
        bool alternate = false;
        if (i + 1 < pattern.size() && pattern[i + 1] == '#') {
            alternate = true;
            ++i;
        }
        if (i + 1 >= pattern.size())
            break;
        Code(out, pattern[++i], alternate, t, zones);
    }
    std::string text = out.Take();
    if (text.size() > kMaxTextBytes)
        text.clear();
    return text;
}

} // namespace caption_format
