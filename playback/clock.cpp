#include "playback/clock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <stdio_ext.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Writes `value` as "%.2f" does into the bytes before `end`, from the right;
// returns where it begins. The huge values printf writes at length are no
// clock's: they take its own path, into `spare` (49 bytes).
char* TwoDecimalsBefore(float value, char* end, char* spare) {
  // A float's 24-bit mantissa times 100 needs at most 31 bits, so the
  // product is exact in a double; rounding it to the nearest integer, ties
  // to even, is the rounding printf makes.
  const double hundredths = std::fabs(static_cast<double>(value)) * 100.0;
  if (!(hundredths < 1e18)) {
    snprintf(spare, 49, "%.2f", value);
    return spare;
  }
  uint64_t n = static_cast<uint64_t>(hundredths);
  const double rest = hundredths - static_cast<double>(n);
  if (rest > 0.5 || (rest == 0.5 && n % 2 == 1)) ++n;

  // Digits from the right, two at a time.
  static const char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char* p = end;
  const unsigned cents = static_cast<unsigned>(n % 100);
  n /= 100;
  *--p = kPairs[2 * cents + 1];
  *--p = kPairs[2 * cents];
  *--p = '.';
  while (n >= 100) {
    const unsigned pair = static_cast<unsigned>(n % 100);
    n /= 100;
    *--p = kPairs[2 * pair + 1];
    *--p = kPairs[2 * pair];
  }
  if (n >= 10) {
    *--p = kPairs[2 * n + 1];
    *--p = kPairs[2 * n];
  } else {
    *--p = static_cast<char>('0' + n);
  }
  if (std::signbit(value)) *--p = '-';  // "-0.00" too, as printf
  return p;
}

void Write(const char* text, size_t length) {
  for (size_t sent = 0; sent < length;) {
    ssize_t n = write(STDOUT_FILENO, text + sent, length - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

size_t FormatTwoDecimals(float value, char* out) {
  char digits[49];
  char* end = digits + 24;
  char* begin = TwoDecimalsBefore(value, end, digits);
  const size_t length = begin == digits ? strlen(digits) : static_cast<size_t>(end - begin);
  memcpy(out, begin, length);
  return length;
}

void ShowClock(float seconds) {
  // The line is put together from the right, in place: nothing is copied
  // once a period but the few bytes of its ends.
  char line[64];
  char* const end = line + sizeof line - 4;
  memcpy(end, " sec", 4);
  char spare[49];
  char* begin = TwoDecimalsBefore(seconds, end, spare);
  if (begin == spare) {
    fflush(stdout);
    printf("\rclock = %s sec", spare);
    fflush(stdout);
    return;
  }
  begin -= sizeof "\rclock = " - 1;
  memcpy(begin, "\rclock = ", sizeof "\rclock = " - 1);
  // The clock is written once per period for the whole play, so it skips
  // the stream's buffer and locking: whatever the stream still holds goes
  // first, then the line goes straight to the descriptor.
  if (__fpending(stdout) != 0) fflush(stdout);
  Write(begin, static_cast<size_t>(line + sizeof line - begin));
}

double ClockNow() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void StartTrack(HeardTrack& track, uint32_t rate, double now) {
  track.count = 0;
  track.handed = 0;
  track.heard = 0;
  track.start = now;
  track.rate = rate;
}

void NoteWrite(HeardTrack& track, int64_t position, int64_t frames) {
  track.writes[track.count++ % HeardTrack::kWrites] = {track.handed, position};
  track.handed += frames;
}

int64_t HeardPosition(HeardTrack& track, long queued, double now) {
  if (track.count == 0) return 0;
  const int64_t latest = track.count - 1;
  int64_t heard = std::min(track.handed - queued, track.writes[latest % HeardTrack::kWrites].handedBefore);
  // What a device holds is not always known when it says so: the pulse
  // plugin answers 0 for its stream made anew by a prepare, until its
  // server's first timing report some 0.2 s later. On a device that plays
  // in real time no frame is heard before its time has come; one that
  // takes every frame at once (a file, the null device) never holds any.
  track.paced = track.paced || queued > 0;
  const double playable = (now - track.start) * track.rate;
  if (track.paced && playable < static_cast<double>(heard))
    heard = static_cast<int64_t>(std::max(0.0, playable));
  track.heard = heard = std::max(heard, track.heard);
  const int64_t oldest = std::max<int64_t>(0, track.count - HeardTrack::kWrites);
  for (int64_t i = latest; i > oldest; --i) {
    const HeardTrack::Write& w = track.writes[i % HeardTrack::kWrites];
    if (w.handedBefore <= heard) return w.position + (heard - w.handedBefore);
  }
  const HeardTrack::Write& w = track.writes[oldest % HeardTrack::kWrites];
  return w.position + std::max<int64_t>(0, heard - w.handedBefore);
}
