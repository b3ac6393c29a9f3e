#pragma once

#include <ctime>

// Calendar time in whole seconds for the recording's time limit and the remaining time. Tests move
// it; the program uses time().
using ClockSource = std::time_t (*)();
std::time_t CurrentTime();
// Installs a clock (null: time() again) and returns the previous one.
ClockSource SetClockSource(ClockSource source);
