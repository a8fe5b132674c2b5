#include "output/interleave.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KESTRUNE_AVX2 1
#endif

namespace {

void Interleave24(long frames, const char* left, const char* right, char* out) {
  for (long k = 0; k < frames; ++k) {
    memcpy(out + 6 * k, left + 3 * k, 3);
    memcpy(out + 6 * k + 3, right + 3 * k, 3);
  }
}

void Interleave16(long frames, const char* left, const char* right, char* out) {
  for (long k = 0; k < frames; ++k) {
    uint16_t l, r;
    memcpy(&l, left + 2 * k, 2);
    memcpy(&r, right + 2 * k, 2);
    const uint32_t frame = static_cast<uint32_t>(l) | static_cast<uint32_t>(r) << 16;
    memcpy(out + 4 * k, &frame, 4);
  }
}

using Widen = void (*)(long frames, const char* mono, char* stereo);

void Widen16Portable(long frames, const char* mono, char* stereo) {
  Interleave16(frames, mono, mono, stereo);
}

void Widen24Portable(long frames, const char* mono, char* stereo) {
  Interleave24(frames, mono, mono, stereo);
}

#ifdef KESTRUNE_AVX2

// Every frame of a mono file is widened here, the 24-bit ones that field
// recorders write by default among them: with byte shuffles on 32 bytes at a
// time this costs well under an instruction a frame, where the plain loop
// costs two (16-bit) or thirteen (24-bit).

// 16 samples of 16 bits: the quadwords are ordered 0 2 1 3 so that the
// in-lane unpacks, each sample with itself, give frames 0-7 and 8-15.
__attribute__((target("avx2"))) inline void Widen16Block(const char* mono, char* stereo) {
  const __m256i samples = _mm256_permute4x64_epi64(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mono)), 0xD8);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(stereo), _mm256_unpacklo_epi16(samples, samples));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(stereo + 32),
                      _mm256_unpackhi_epi16(samples, samples));
}

// Two blocks a turn: the loop's own count and jump are a third of a block.
__attribute__((target("avx2"))) void Widen16Avx2(long frames, const char* mono,
                                                  char* stereo) {
  long k = 0;
  for (; k + 32 <= frames; k += 32) {
    Widen16Block(mono + 2 * k, stereo + 4 * k);
    Widen16Block(mono + 2 * k + 32, stereo + 4 * k + 64);
  }
  for (; k + 16 <= frames; k += 16) Widen16Block(mono + 2 * k, stereo + 4 * k);
  Widen16Portable(frames - k, mono + 2 * k, stereo + 4 * k);
}

// 16 samples of 24 bits (48 bytes) become 96 bytes of frames, written as
// three vectors. Each half of a vector is shuffled from 16 bytes of input,
// which a dword permute brings into that half: a piece is the offset of
// its 32-byte load and, per half, the first of the four dwords it takes.
struct Piece {
  int load;
  int dword[2];
};
constexpr Piece kPieces[3] = {{0, {0, 1}}, {12, {0, 3}}, {16, {3, 4}}};

// The shuffle mask for output vector v: byte i of half h is byte
// (frame × 3 + byte of sample) of the input, counted from that half's start.
constexpr char MaskByte(int v, int i) {
  const int h = i / 16, out = 32 * v + i;
  const int in = 3 * (out / 6) + (out % 6) % 3;
  return static_cast<char>(in - kPieces[v].load - 4 * kPieces[v].dword[h]);
}

constexpr bool MasksStayInTheirHalf() {
  for (int v = 0; v < 3; ++v)
    for (int i = 0; i < 32; ++i)
      if (MaskByte(v, i) < 0 || MaskByte(v, i) > 15) return false;
  return true;
}
static_assert(MasksStayInTheirHalf(), "a piece's dwords must hold every byte its half takes");

template <int V>
__attribute__((target("avx2"))) inline __m256i Mask() {
  return _mm256_setr_epi8(
      MaskByte(V, 0), MaskByte(V, 1), MaskByte(V, 2), MaskByte(V, 3), MaskByte(V, 4),
      MaskByte(V, 5), MaskByte(V, 6), MaskByte(V, 7), MaskByte(V, 8), MaskByte(V, 9),
      MaskByte(V, 10), MaskByte(V, 11), MaskByte(V, 12), MaskByte(V, 13), MaskByte(V, 14),
      MaskByte(V, 15), MaskByte(V, 16), MaskByte(V, 17), MaskByte(V, 18), MaskByte(V, 19),
      MaskByte(V, 20), MaskByte(V, 21), MaskByte(V, 22), MaskByte(V, 23), MaskByte(V, 24),
      MaskByte(V, 25), MaskByte(V, 26), MaskByte(V, 27), MaskByte(V, 28), MaskByte(V, 29),
      MaskByte(V, 30), MaskByte(V, 31));
}

template <int V>
__attribute__((target("avx2"))) inline __m256i Order() {
  const int a = kPieces[V].dword[0], b = kPieces[V].dword[1];
  return _mm256_setr_epi32(a, a + 1, a + 2, a + 3, b, b + 1, b + 2, b + 3);
}

template <int V>
__attribute__((target("avx2"))) inline void WidenPiece(const char* mono, char* stereo,
                                                       __m256i order, __m256i mask) {
  const __m256i in = _mm256_permutevar8x32_epi32(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mono + kPieces[V].load)), order);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(stereo + 32 * V), _mm256_shuffle_epi8(in, mask));
}

__attribute__((target("avx2"))) void Widen24Avx2(long frames, const char* mono,
                                                  char* stereo) {
  const __m256i order0 = Order<0>(), order1 = Order<1>(), order2 = Order<2>();
  const __m256i mask0 = Mask<0>(), mask1 = Mask<1>(), mask2 = Mask<2>();
  long k = 0;
  for (; k + 16 <= frames; k += 16) {
    WidenPiece<0>(mono + 3 * k, stereo + 6 * k, order0, mask0);
    WidenPiece<1>(mono + 3 * k, stereo + 6 * k, order1, mask1);
    WidenPiece<2>(mono + 3 * k, stereo + 6 * k, order2, mask2);
  }
  Widen24Portable(frames - k, mono + 3 * k, stereo + 6 * k);
}

bool HasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

const Widen kWiden16 = HasAvx2() ? Widen16Avx2 : Widen16Portable;
const Widen kWiden24 = HasAvx2() ? Widen24Avx2 : Widen24Portable;

#else

const Widen kWiden16 = Widen16Portable;
const Widen kWiden24 = Widen24Portable;

#endif

}  // namespace

void Interleave(long frames, unsigned bytesPerSample, const char* left,
                const char* right, char* out) {
  if (frames <= 0) return;
  if (left == right) {
    if (bytesPerSample == 2) kWiden16(frames, left, out);
    if (bytesPerSample == 3) kWiden24(frames, left, out);
    return;
  }
  InterleavePortable(frames, bytesPerSample, left, right, out);
}

void InterleavePortable(long frames, unsigned bytesPerSample, const char* left,
                        const char* right, char* out) {
  if (bytesPerSample == 2) Interleave16(frames, left, right, out);
  if (bytesPerSample == 3) Interleave24(frames, left, right, out);
}
