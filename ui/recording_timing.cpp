#include "ui/recording_timing.h"

int TickIntervalMs(int rate, int fps) {
    if (fps < 1)
        fps = 1;
    return rate * (1000 / fps);
}
