#include "playback/clock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <stdio_ext.h>
#include <unistd.h>

#include <cerrno>

size_t FormatTwoDecimals(float value, char* out) {
  // A float's 24-bit mantissa times 100 needs at most 31 bits, so the
  // product is exact in a double; rounding it to the nearest integer, ties
  // to even, is the rounding printf makes.
  const double hundredths = std::fabs(static_cast<double>(value)) * 100.0;
  if (!(hundredths < 1e18)) return static_cast<size_t>(snprintf(out, 49, "%.2f", value));
  uint64_t n = static_cast<uint64_t>(hundredths);
  const double rest = hundredths - static_cast<double>(n);
  if (rest > 0.5 || (rest == 0.5 && n % 2 == 1)) ++n;

  // Digits from the right, two at a time, into the end of a scratch line.
  static const char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char digits[24];
  char* p = digits + sizeof digits;
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
  const size_t length = static_cast<size_t>(digits + sizeof digits - p);
  memcpy(out, p, length);
  return length;
}

void ShowClock(float seconds) {
  char line[64] = "\rclock = ";
  size_t length = sizeof "\rclock = " - 1;
  length += FormatTwoDecimals(seconds, line + length);
  memcpy(line + length, " sec", 4);
  length += 4;
  // The clock is written once per period for the whole play, so it skips
  // the stream's buffer and locking: whatever the stream still holds goes
  // first, then the line goes straight to the descriptor.
  if (__fpending(stdout) != 0) fflush(stdout);
  for (size_t sent = 0; sent < length;) {
    ssize_t n = write(STDOUT_FILENO, line + sent, length - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
}

void StartTrack(HeardTrack& track) {
  track.count = 0;
  track.handed = 0;
  track.heard = 0;
}

void NoteWrite(HeardTrack& track, int64_t position, int64_t frames) {
  track.writes[track.count++ % HeardTrack::kWrites] = {track.handed, position};
  track.handed += frames;
}

int64_t HeardPosition(HeardTrack& track, long queued) {
  if (track.count == 0) return 0;
  const int64_t latest = track.count - 1;
  int64_t heard = std::min(track.handed - queued, track.writes[latest % HeardTrack::kWrites].handedBefore);
  track.heard = heard = std::max(heard, track.heard);
  const int64_t oldest = std::max<int64_t>(0, track.count - HeardTrack::kWrites);
  for (int64_t i = latest; i > oldest; --i) {
    const HeardTrack::Write& w = track.writes[i % HeardTrack::kWrites];
    if (w.handedBefore <= heard) return w.position + (heard - w.handedBefore);
  }
  const HeardTrack::Write& w = track.writes[oldest % HeardTrack::kWrites];
  return w.position + std::max<int64_t>(0, heard - w.handedBefore);
}
