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

// The product is formed in double precision, as a float can't hold every
// frame position of a long file.
inline double SecondsTimesRate(float seconds, uint32_t rate) {
  return static_cast<double>(rate) * static_cast<double>(seconds);
}

// Seconds for display; 0 when the file states no rate.
inline float FramesToSeconds(int64_t frames, uint32_t rate) {
  if (rate == 0) return 0.0f;
  return static_cast<float>(frames) / static_cast<float>(rate);
}

#endif  // KESTRUNE_PLAYBACK_FRAMES_H_
