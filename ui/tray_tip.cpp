#include "ui/tray_tip.h"

#include <cstdio>

namespace {

std::string TwoDigits(int64_t value) {
    char digits[24];
    std::snprintf(digits, sizeof(digits), "%02lld", static_cast<long long>(value));
    return digits;
}

} // namespace

std::string FillPlaceholders(const std::string& format, std::initializer_list<std::string> args) {
    std::string out;
    auto next = args.begin();
    for (size_t pos = 0; pos < format.size(); ++pos) {
        char c = format[pos];
        char conversion = pos + 1 < format.size() ? format[pos + 1] : '\0';
        // '%' is never the trail byte of a double-byte character, so bytes can be scanned here.
        if (c == '%' && conversion == '%') {
            out += '%';
            ++pos;
        } else if (c == '%' && (conversion == 's' || conversion == 'd')) {
            if (next != args.end())
                out += *next++;
            ++pos;
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatRemainingTime(const std::string& format, int64_t seconds) {
    // The tick ends a recording only once the end time has passed, so one last update can see
    // a span of -1.
    if (seconds < 0)
        seconds = 0;
    std::string out;
    for (size_t pos = 0; pos < format.size(); ++pos) {
        char conversion = pos + 1 < format.size() ? format[pos + 1] : '\0';
        if (format[pos] != '%') {
            out += format[pos];
            continue;
        }
        switch (conversion) {
        case 'H': out += TwoDigits(seconds / 3600 % 24); break;
        case 'M': out += TwoDigits(seconds / 60 % 60); break;
        case 'S': out += TwoDigits(seconds % 60); break;
        case '%': out += '%'; break;
        default: out += '%'; continue;
        }
        ++pos;
    }
    return out;
}

std::string TruncateAnsi(const std::string& text, size_t maxBytes, LeadByteTest isLeadByte) {
    size_t end = 0;
    while (end < text.size()) {
        size_t length = AnsiCharLength(text, end, isLeadByte);
        if (end + length > maxBytes)
            break;
        end += length;
    }
    return text.substr(0, end);
}

std::string TrayTipText(const TrayTipTexts& texts, const TrayState& state, LeadByteTest isLeadByte) {
    // Printed as %d prints it: the count's 32 bits as a signed number.
    std::string count = std::to_string(static_cast<int32_t>(state.frameCount));
    std::string tip;
    if (state.recording) {
        std::string remaining = state.limitSelection > 0
                                    ? FormatRemainingTime(texts.remaining, state.secondsLeft)
                                    : texts.noLimit;
        tip = FillPlaceholders(texts.recording, {state.itemText, count, remaining});
    } else {
        tip = FillPlaceholders(texts.idle, {state.itemText, count});
    }
    return TruncateAnsi(tip, kTrayTipMaxBytes, isLeadByte);
}
