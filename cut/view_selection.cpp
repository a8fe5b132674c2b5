#include "cut/view_selection.h"

#include <langinfo.h>
#ifdef __x86_64__
#include <immintrin.h>
#endif
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "wave/markers.h"

namespace {

// Frames read at a time: the view reads every byte of the selection once,
// through a buffer that does not grow with it.
constexpr size_t kBlockBytes = 256 << 10;

// Eight heights from -48 dBFS to 0 dBFS, 6 dB each; quieter is blank.
constexpr double kFloorDecibels = -48;
const char* const kBlocks[8] = {"\u2581", "\u2582", "\u2583", "\u2584",
                                "\u2585", "\u2586", "\u2587", "\u2588"};
const char* const kAscii[8] = {" ", ".", ":", "-", "=", "+", "*", "#"};

int Columns() {
  winsize size;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const char* columns = getenv("COLUMNS");
  const int n = columns != nullptr ? atoi(columns) : 0;
  return n > 0 ? std::min(n, 1000) : 80;
}

// The locale's character set, as the user's environment sets it.
bool Utf8Console() {
  const std::string before = setlocale(LC_CTYPE, nullptr);
  setlocale(LC_CTYPE, "");
  const bool utf8 = strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  setlocale(LC_CTYPE, before.c_str());
  return utf8;
}

#ifdef __x86_64__
// Sixteen 16-bit samples at a time, where the processor has AVX2: the view
// then costs little more than reading the bytes, at either width.
__attribute__((target("avx2"))) size_t Extremes16Avx2(const char* bytes, size_t samples,
                                                       int32_t& high, int32_t& low) {
  __m256i high16 = _mm256_setzero_si256(), low16 = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 16 <= samples; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 2 * i));
    high16 = _mm256_max_epi16(high16, v);
    low16 = _mm256_min_epi16(low16, v);
  }
  int16_t lanes[32];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), high16);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes + 16), low16);
  high = *std::max_element(lanes, lanes + 16);
  low = *std::min_element(lanes + 16, lanes + 32);
  return i;
}

// Eight 24-bit samples at a time: two loads of 16 bytes, 12 bytes apart,
// put four samples in each half of the register, and a shuffle gives each
// the high three bytes of its own 32-bit lane. Those are the sample times
// 256, whose order is the sample's: the extremes are shifted back once, at
// the end. Each step reads 4 bytes past its eight samples, so the last
// samples are left to the loop that follows.
__attribute__((target("avx2"))) inline __m256i Eight24(const char* p, __m256i spread) {
  const __m256i packed = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
  return _mm256_shuffle_epi8(packed, spread);
}

__attribute__((target("avx2"))) size_t Extremes24Avx2(const char* bytes, size_t samples,
                                                       int32_t& high, int32_t& low) {
  const __m256i spread = _mm256_setr_epi8(
      -128, 0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11,
      -128, 0, 1, 2, -128, 3, 4, 5, -128, 6, 7, 8, -128, 9, 10, 11);
  __m256i high32 = _mm256_setzero_si256(), low32 = _mm256_setzero_si256();
  size_t i = 0;
  for (; 3 * i + 52 <= 3 * samples; i += 16) {
    const __m256i a = Eight24(bytes + 3 * i, spread), b = Eight24(bytes + 3 * i + 24, spread);
    high32 = _mm256_max_epi32(high32, _mm256_max_epi32(a, b));
    low32 = _mm256_min_epi32(low32, _mm256_min_epi32(a, b));
  }
  for (; 3 * i + 28 <= 3 * samples; i += 8) {
    const __m256i v = Eight24(bytes + 3 * i, spread);
    high32 = _mm256_max_epi32(high32, v);
    low32 = _mm256_min_epi32(low32, v);
  }
  int32_t lanes[16];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), _mm256_srai_epi32(high32, 8));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes + 8), _mm256_srai_epi32(low32, 8));
  high = *std::max_element(lanes, lanes + 8);
  low = *std::min_element(lanes + 8, lanes + 16);
  return i;
}

const bool kAvx2 = __builtin_cpu_supports("avx2");
#endif

// The largest magnitude among the samples of `frames` frames at `bytes`.
int32_t Loudest(const char* bytes, size_t frames, const WaveAttributes& a) {
  const size_t samples = frames * a.channels;
  int32_t high = 0, low = 0;
  size_t i = 0;
#ifdef __x86_64__
  if (kAvx2 && a.bytesPerSample == 2) i = Extremes16Avx2(bytes, samples, high, low);
  if (kAvx2 && a.bytesPerSample == 3) i = Extremes24Avx2(bytes, samples, high, low);
#endif
  for (; i < samples; ++i) {
    const int32_t v = SignedSample(bytes + i * a.bytesPerSample, a.bytesPerSample);
    high = std::max(high, v);
    low = std::min(low, v);
  }
  return std::max(high, -low);
}

struct Peak {
  int32_t level = 0;    // the largest magnitude of a sample in the column
  int64_t block = 0;    // the frames read where it was found first
  size_t frames = 0;
};

size_t ReadBlock(const Selection& s, int64_t at, size_t frames, std::vector<char>& block) {
  int error = 0;
  return ReadFrames(s, at, frames, block.data(), error);
}

// The peak of every column: column c holds the frames from first + c *
// count / columns on; frames outside the file count as silence.
std::vector<Peak> ColumnPeaks(const Selection& s, int64_t first, int64_t count, int columns,
                              std::vector<char>& block) {
  const size_t blockFrames =
      block.size() / (size_t{s.wave.bytesPerSample} * s.wave.channels);
  std::vector<Peak> peaks(static_cast<size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    const int64_t from = std::max<int64_t>(first + count * c / columns, 0);
    const int64_t to = std::min<int64_t>(first + count * (c + 1) / columns, s.length);
    for (int64_t at = from; at < to;) {
      const size_t got = ReadBlock(s, at, static_cast<size_t>(std::min<int64_t>(to - at, blockFrames)), block);
      if (got == 0) break;
      const int32_t level = Loudest(block.data(), got, s.wave);
      if (level > peaks[c].level) peaks[c] = {level, at, got};
      at += static_cast<int64_t>(got);
    }
  }
  return peaks;
}

// The first frame of the peak's block that reaches its level.
int64_t PeakFrame(const Selection& s, const Peak& peak, std::vector<char>& block) {
  const WaveAttributes& a = s.wave;
  const size_t got = ReadBlock(s, peak.block, peak.frames, block);
  for (size_t i = 0; i < got * a.channels; ++i) {
    const int32_t v = SignedSample(block.data() + i * a.bytesPerSample, a.bytesPerSample);
    if (v == peak.level || v == -peak.level) return peak.block + static_cast<int64_t>(i / a.channels);
  }
  return peak.block;
}

double Decibels(int32_t level, const WaveAttributes& a) {
  const double full = a.bytesPerSample == 2 ? 32768.0 : 8388608.0;
  return 20 * std::log10(level / full);
}

void DrawStrip(const std::vector<Peak>& peaks, const WaveAttributes& a, bool utf8) {
  std::string line;
  for (const Peak& p : peaks) {
    const double db = p.level > 0 ? Decibels(p.level, a) : -INFINITY;
    if (db < kFloorDecibels) {
      line += ' ';
      continue;
    }
    const int height = std::min(7, static_cast<int>((db - kFloorDecibels) / 6));
    line += (utf8 ? kBlocks : kAscii)[height];
  }
  puts(line.c_str());
}

// Under the selection's strip, the columns where a marker begins: a cue
// point, a region or a loop the file holds.
void MarkMarkers(const Selection& s, int64_t first, int64_t count, int columns, bool utf8) {
  if (count <= 0) return;
  std::string row(static_cast<size_t>(columns), ' ');
  bool any = false;
  for (const Marker& m : ReadMarkers(s.fd)) {
    const auto at = static_cast<int64_t>(m.start);
    if (at < first || at >= first + count || at >= s.length) continue;
    row[static_cast<size_t>((at - first) * columns / count)] = '^';
    any = true;
  }
  if (!any) return;
  std::string shown;
  for (char c : row) shown += c == '^' && utf8 ? "\u25B2" : std::string(1, c);
  shown.erase(shown.find_last_not_of(' ') + 1);
  puts(shown.c_str());
}

double Seconds(int64_t frames, uint32_t rate) { return rate != 0 ? double(frames) / rate : 0; }

}  // namespace

void ViewSelection(const Selection& s) {
  const WaveAttributes& a = s.wave;
  if (!Playable(a)) return;
  const int columns = Columns();
  const bool utf8 = Utf8Console();
  std::vector<char> block(kBlockBytes);
  const int64_t in = s.inPoint, out = s.outPoint;
  printf("\nselection %.6f to %.6f sec:\n", Seconds(in, a.rate), Seconds(out, a.rate));
  const std::vector<Peak> peaks = ColumnPeaks(s, in, std::max<int64_t>(out - in, 0), columns, block);
  DrawStrip(peaks, a, utf8);
  MarkMarkers(s, in, out - in, columns, utf8);

  // 50 ms each side of a cut, the column where it falls marked below.
  const int64_t side = std::max<int64_t>(a.rate / 20, 1);
  for (const auto& [name, point] : {std::pair{"in-point", in}, {"out-point", out}}) {
    printf("%s at %.6f sec, 50 ms each side:\n", name, Seconds(point, a.rate));
    DrawStrip(ColumnPeaks(s, point - side, 2 * side, columns, block), a, utf8);
    puts((std::string(static_cast<size_t>(columns / 2), ' ') + "^").c_str());
  }

  const Peak loudest = *std::max_element(
      peaks.begin(), peaks.end(), [](const Peak& x, const Peak& y) { return x.level < y.level; });
  if (loudest.level == 0) {
    puts("the selection is silent");
  } else {
    const int64_t frame = PeakFrame(s, loudest, block);
    printf("peak %.1f dBFS at %.6f sec (frame %ld)\n", Decibels(loudest.level, a),
           Seconds(frame, a.rate), static_cast<long>(frame));
  }
}
