// The running clock: after every write a play shows the position of that
// write's first frame, overwriting the clock line of the write before.
#ifndef KESTRUNE_PLAYBACK_CLOCK_H_
#define KESTRUNE_PLAYBACK_CLOCK_H_

#include <cstddef>

// Prints "\rclock = %.2f sec" with `seconds` and flushes standard output.
void ShowClock(float seconds);

// Writes `value` as "%.2f" does, without the cost of printf's general
// floating-point conversion; returns the number of characters written
// (at most 48, without a terminating NUL).
size_t FormatTwoDecimals(float value, char* out);

#endif  // KESTRUNE_PLAYBACK_CLOCK_H_
