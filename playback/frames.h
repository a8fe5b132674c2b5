// Converting between seconds and frame positions. Positions are signed
// 32-bit frame counts; every result that would leave that range saturates,
// so no typed time or repeated nudge can wrap a position around.
#ifndef KESTRUNE_PLAYBACK_FRAMES_H_
#define KESTRUNE_PLAYBACK_FRAMES_H_

#include <cmath>
#include <cstdint>
#include <limits>

inline int32_t ClampToFrame(double frames) {
  if (std::isnan(frames)) return 0;
  if (frames >= std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  if (frames <= std::numeric_limits<int32_t>::min())
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(frames);  // truncates toward zero
}

inline int32_t ClampToFrame(int64_t frames) {
  if (frames > std::numeric_limits<int32_t>::max())
    return std::numeric_limits<int32_t>::max();
  if (frames < std::numeric_limits<int32_t>::min())
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(frames);
}

// Seconds are read and multiplied in double precision: a float can't hold
// every frame position of a long file (from 4:16 on at 44.1 kHz). A decimal
// time equal to a frame's time is held as the nearest double, which may lie
// a hair below it (0.125125 s at 8000 Hz gives 1000.9999999999999 frames):
// a product within a millionth of a frame of a whole frame further from
// zero counts as that frame, and the rest is truncated toward zero.
inline double SecondsTimesRate(double seconds, uint32_t rate) {
  const double frames = static_cast<double>(rate) * seconds;
  const double whole = frames < 0 ? std::floor(frames) : std::ceil(frames);
  return std::fabs(whole - frames) < 1e-6 ? whole : frames;
}

// Seconds for display; 0 when the file states no rate.
inline float FramesToSeconds(int64_t frames, uint32_t rate) {
  if (rate == 0) return 0.0f;
  return static_cast<float>(frames) / static_cast<float>(rate);
}

#endif  // KESTRUNE_PLAYBACK_FRAMES_H_
