#include "output/interleave.h"

#include <cstdint>
#include <cstring>

namespace {

void Interleave24(long frames, const char* left, const char* right, char* out) {
  for (long k = 0; k < frames; ++k) {
    memcpy(out + 6 * k, left + 3 * k, 3);
    memcpy(out + 6 * k + 3, right + 3 * k, 3);
  }
}

// Two-byte samples: each frame is one 32-bit store, a loop the compiler
// can vectorise, as a mono file passes through here for every frame.
void Interleave16(long frames, const char* left, const char* right, char* out) {
  for (long k = 0; k < frames; ++k) {
    uint16_t l, r;
    memcpy(&l, left + 2 * k, 2);
    memcpy(&r, right + 2 * k, 2);
    const uint32_t frame = static_cast<uint32_t>(l) | static_cast<uint32_t>(r) << 16;
    memcpy(out + 4 * k, &frame, 4);
  }
}

}  // namespace

void Interleave(long frames, unsigned bytesPerSample, const char* left,
                const char* right, char* out) {
  if (bytesPerSample == 2) Interleave16(frames, left, right, out);
  if (bytesPerSample == 3) Interleave24(frames, left, right, out);
}
