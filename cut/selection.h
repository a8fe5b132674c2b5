// The stretch of an open wave file that the tools on the selection work on:
// the file as its header reads now, and the frames from the in-point up to
// the out-point.
#ifndef KESTRUNE_CUT_SELECTION_H_
#define KESTRUNE_CUT_SELECTION_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "wave/wave_header.h"

struct Selection {
  std::string fileName;  // as the user named it, for messages
  int fd = -1;           // the file, open for reading
  WaveAttributes wave;   // its header as it reads now
  uint32_t length = 0;   // frames in the file now
  int32_t inPoint = 0;
  int32_t outPoint = 0;
};

// Reads up to `frames` whole frames of the file at frame `first`; returns
// how many came, and a failed read's errno in `error`.
inline size_t ReadFrames(const Selection& s, int64_t first, size_t frames, char* into,
                         int& error) {
  const size_t frameSize = size_t{s.wave.bytesPerSample} * s.wave.channels;
  const uint64_t offset = s.wave.dataOffset + static_cast<uint64_t>(first) * frameSize;
  return ReadAt(s.fd, into, frames * frameSize, offset, error) / frameSize;
}

#endif  // KESTRUNE_CUT_SELECTION_H_
