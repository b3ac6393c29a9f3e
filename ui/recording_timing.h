#pragma once

// Milliseconds between two frames of a recording: rate x (1000 / fps), the division taken first
// so that a rate of 1 at 3 fps ticks every 333 ms. A frame rate below 1 counts as 1.
int TickIntervalMs(int rate, int fps);
