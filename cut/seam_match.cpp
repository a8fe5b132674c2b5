#include "cut/seam_match.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "console/console.h"

namespace {

// The windows' reach in frames is that of 192 kHz at most, whatever rate a
// header claims: sums of 24-bit squares over them then fit 64 bits exactly.
constexpr int64_t kMostHalfWindow = 192000 / 100;  // 10 ms
constexpr int64_t kMostReach = 192000 / 40;        // 25 ms

// The samples of `frames` frames from `first`, interleaved; frames outside
// the file are silence.
std::vector<int32_t> Samples(const Selection& s, int64_t first, int64_t frames) {
  const WaveAttributes& a = s.wave;
  std::vector<int32_t> samples(static_cast<size_t>(frames) * a.channels, 0);
  const int64_t from = std::max<int64_t>(first, 0), to = std::min<int64_t>(first + frames, s.length);
  if (to <= from) return samples;
  std::vector<char> bytes(static_cast<size_t>(to - from) * a.channels * a.bytesPerSample);
  int error = 0;
  const size_t got = ReadFrames(s, from, static_cast<size_t>(to - from), bytes.data(), error);
  int32_t* out = samples.data() + static_cast<size_t>(from - first) * a.channels;
  for (size_t i = 0; i < got * a.channels; ++i)
    out[i] = SignedSample(bytes.data() + i * a.bytesPerSample, a.bytesPerSample);
  return samples;
}

int64_t Energy(const int32_t* x, size_t n) {
  int64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += int64_t{x[i]} * x[i];
  return sum;
}

int64_t Correlation(const int32_t* x, const int32_t* y, size_t n) {
  int64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += int64_t{x[i]} * y[i];
  return sum;
}

// A mismatch as the fraction it is; two silent windows are identical.
struct Mismatch {
  uint64_t over, under;
  bool operator<(const Mismatch& o) const {
    return static_cast<unsigned __int128>(over) * o.under <
           static_cast<unsigned __int128>(o.over) * under;
  }
  double Match() const { return 1 - static_cast<double>(over) / static_cast<double>(under); }
};

Mismatch Score(int64_t reference, int64_t candidate, int64_t correlation) {
  const int64_t both = reference + candidate;
  if (both == 0) return {0, 1};
  return {static_cast<uint64_t>(both - 2 * correlation), static_cast<uint64_t>(both)};
}

}  // namespace

bool MatchSeam(Selection& s) {
  const WaveAttributes& a = s.wave;
  if (!Playable(a) || a.rate == 0) {
    SaySlip("%s holds %u-bit samples in %u channels at %u Hz: m matches only 16- or 24-bit "
            "samples in 1 or 2 channels",
            s.fileName.c_str(), a.bytesPerSample * 8, a.channels, a.rate);
    return false;
  }
  const int64_t half = std::min<int64_t>(a.rate / 100, kMostHalfWindow);
  const int64_t reach = std::min<int64_t>(a.rate / 40, kMostReach);
  const int64_t in = s.inPoint, out = s.outPoint;
  if (half == 0 || out - in < 2 * half) {
    SaySlip("the selection is shorter than the two 20 ms windows: the out-point stays");
    return false;
  }
  // The window at the in-point, and every window around the out-point,
  // read once: the span from the first candidate's window to the last's.
  const size_t channels = a.channels, window = static_cast<size_t>(2 * half) * channels;
  const std::vector<int32_t> reference = Samples(s, in - half, 2 * half);
  const std::vector<int32_t> span = Samples(s, out - reach - half, 2 * (reach + half));
  const int64_t referenceEnergy = Energy(reference.data(), window);
  auto windowAt = [&](int64_t c) {
    return span.data() + static_cast<size_t>(c - (out - reach)) * channels;
  };

  // Each candidate's energy slides along; the correlation is summed whole.
  const int64_t first = std::max(out - reach, in + 1), last = std::min<int64_t>(out + reach, s.length);
  int64_t energy = Energy(windowAt(out - reach), window);
  Mismatch before{0, 1}, best{0, 1};
  int64_t bestAt = -1;
  bool anySound = referenceEnergy != 0;
  for (int64_t c = out - reach; c <= out + reach; ++c) {
    if (c > out - reach) {
      const int32_t* leaving = windowAt(c - 1);
      const int32_t* coming = windowAt(c) + window - channels;
      for (size_t k = 0; k < channels; ++k)
        energy += int64_t{coming[k]} * coming[k] - int64_t{leaving[k]} * leaving[k];
    }
    const bool candidate = c >= first && c <= last;
    if (!candidate && c != out) continue;
    const Mismatch score =
        Score(referenceEnergy, energy, Correlation(reference.data(), windowAt(c), window));
    if (c == out) before = score;
    if (!candidate) continue;
    anySound = anySound || energy != 0;
    // A later candidate wins only by a smaller mismatch, or the same one
    // nearer the out-point: of two as near, the earlier.
    if (bestAt < 0 || score < best ||
        (!(best < score) && std::llabs(c - out) < std::llabs(bestAt - out))) {
      best = score;
      bestAt = c;
    }
  }
  if (!anySound || bestAt < 0) {
    SaySlip("the windows at the in-point and around the out-point are silent: the out-point "
            "stays");
    return false;
  }
  const int64_t moved = bestAt - out;
  printf("\nseam match %.3f before, %.3f after: the out-point moved %+lld frames (%+.3f ms)\n",
         before.Match(), best.Match(), static_cast<long long>(moved), 1000.0 * moved / a.rate);
  s.outPoint = static_cast<int32_t>(bestAt);
  return true;
}
