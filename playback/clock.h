// The running clock: after every write a play shows the position of the
// frame being heard, overwriting the clock line of the write before.
#ifndef KESTRUNE_PLAYBACK_CLOCK_H_
#define KESTRUNE_PLAYBACK_CLOCK_H_

#include <cstddef>
#include <cstdint>

// The writes of one play, the latest few: where in the file each began,
// counted in the frames handed to the device since the play began.
struct HeardTrack {
  static constexpr int kWrites = 64;
  struct Write {
    int64_t handedBefore;
    int64_t position;
  } writes[kWrites];
  int64_t count = 0;   // writes noted
  int64_t handed = 0;  // frames handed over
  int64_t heard = 0;   // frames heard, as last worked out
  double start = 0;    // ClockNow() before the first write
  uint32_t rate = 0;   // the device's frames a second
  bool paced = false;  // the device once said it held frames: it plays in
                       // real time (kept from play to play)
};

// Seconds on a clock that only goes forward.
double ClockNow();

// A new play on a device playing `rate` frames a second, before its first
// write, at `now`: nothing handed over yet. What the device showed of
// itself in earlier plays is kept.
void StartTrack(HeardTrack& track, uint32_t rate, double now);

// `frames` frames from file position `position` were handed over.
void NoteWrite(HeardTrack& track, int64_t position, int64_t frames);

// The file position being heard at `now` while the device still holds
// `queued` of the frames handed over: never past the first frame of the
// latest write (a device that holds nothing back shows just that), never
// going back, and, on a device that plays in real time, never more frames
// than it could have played since the play began. Positions of writes too
// old to be kept give the oldest kept.
int64_t HeardPosition(HeardTrack& track, long queued, double now);

// The time HeardPosition needs: the clock's on a device that plays in real
// time, or says it holds frames now; a device that takes every frame at
// once is spared the call.
inline double TimeIfPaced(const HeardTrack& track, long queued) {
  return track.paced || queued > 0 ? ClockNow() : 0;
}

// Prints "\rclock = %.2f sec" with `seconds` and flushes standard output.
void ShowClock(float seconds);

// Writes `value` as "%.2f" does, without the cost of printf's general
// floating-point conversion; returns the number of characters written
// (at most 48, without a terminating NUL).
size_t FormatTwoDecimals(float value, char* out);

#endif  // KESTRUNE_PLAYBACK_CLOCK_H_
