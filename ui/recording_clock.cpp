#include "ui/recording_clock.h"

namespace {

std::time_t SystemTime() {
    return std::time(nullptr);
}

ClockSource g_clock = &SystemTime;

} // namespace

std::time_t CurrentTime() {
    return g_clock();
}

ClockSource SetClockSource(ClockSource source) {
    ClockSource previous = g_clock;
    g_clock = source ? source : &SystemTime;
    return previous;
}
