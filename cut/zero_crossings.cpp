#include "cut/zero_crossings.h"

#include <algorithm>
#include <vector>

#include "console/console.h"

namespace {

// The first channel's sample of frame `i` of `bytes`.
int32_t FirstChannel(const std::vector<char>& bytes, size_t i, const WaveAttributes& a) {
  return SignedSample(bytes.data() + i * a.bytesPerSample * a.channels, a.bytesPerSample);
}

// The frame k nearest `point`, within `reach`, whose first sample is at
// least 0 while the one before is below 0: the frame before an out-point
// there is negative and the frame at an in-point is not, so a loop's seam
// rises through zero as the sound does. -1 where there is none.
int64_t NearestRisingCrossing(const Selection& s, int64_t point, int64_t reach) {
  const WaveAttributes& a = s.wave;
  const int64_t first = std::max<int64_t>(point - reach - 1, 0);
  const int64_t end = std::min<int64_t>(point + reach + 1, s.length);
  if (end - first < 2) return -1;
  const size_t frameBytes = size_t{a.bytesPerSample} * a.channels;
  std::vector<char> bytes(static_cast<size_t>(end - first) * frameBytes);
  int error = 0;
  const size_t got = ReadFrames(s, first, static_cast<size_t>(end - first), bytes.data(), error);
  int64_t best = -1;
  for (size_t i = 1; i < got; ++i) {
    const int64_t k = first + static_cast<int64_t>(i);
    if (k < point - reach || k > point + reach) continue;
    if (FirstChannel(bytes, i, a) < 0 || FirstChannel(bytes, i - 1, a) >= 0) continue;
    if (best < 0 || std::llabs(k - point) < std::llabs(best - point)) best = k;
  }
  return best;
}

// The search reaches 10 ms either way, and never further than 10 ms at
// 768 kHz: a header may claim any rate, and the window is read whole.
constexpr int64_t kMostReach = 768000 / 100;

int64_t Reach(uint32_t rate) { return std::min<int64_t>(rate / 100, kMostReach); }

// Moves `point` to `crossing` unless there is none, or it would meet or
// cross the other point (`before` true for the in-point, which stays below
// `other`): a snap never leaves the selection empty or inverted.
void Snap(int32_t& point, int64_t crossing, int64_t other, bool before, const char* name) {
  if (crossing < 0) {
    SaySlip("no rising zero crossing within 10 ms of the %s (frame %ld): it stays", name,
            static_cast<long>(point));
  } else if (before ? crossing >= other : crossing <= other) {
    SaySlip("the nearest rising zero crossing to the %s (frame %ld) is at or past the %s: it "
            "stays",
            name, static_cast<long>(crossing), before ? "out-point" : "in-point");
  } else {
    point = static_cast<int32_t>(crossing);
  }
}

}  // namespace

void SnapToZeroCrossings(Selection& s) {
  if (!Playable(s.wave)) return;
  const int64_t reach = Reach(s.wave.rate);
  const int64_t in = NearestRisingCrossing(s, s.inPoint, reach);
  const int64_t out = NearestRisingCrossing(s, s.outPoint, reach);
  // The in-point keeps below where the out-point goes, or stays.
  Snap(s.inPoint, in, out >= 0 && out > s.inPoint ? out : s.outPoint, true, "in-point");
  Snap(s.outPoint, out, s.inPoint, false, "out-point");
}
