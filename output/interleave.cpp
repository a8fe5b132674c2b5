#include "output/interleave.h"

#include <cstring>

namespace {

template <unsigned kBytes>
void InterleaveWidth(long frames, const char* left, const char* right,
                     char* out) {
  for (long k = 0; k < frames; ++k) {
    memcpy(out, left, kBytes);
    memcpy(out + kBytes, right, kBytes);
    left += kBytes;
    right += kBytes;
    out += 2 * kBytes;
  }
}

}  // namespace

void Interleave(long frames, unsigned bytesPerSample, const char* left,
                const char* right, char* out) {
  if (bytesPerSample == 2) InterleaveWidth<2>(frames, left, right, out);
  if (bytesPerSample == 3) InterleaveWidth<3>(frames, left, right, out);
}
