// The marks a wave file holds beside its audio: cue points, with the labels,
// notes and region lengths of its associated data list, and a sampler's
// loops.
#ifndef KESTRUNE_WAVE_MARKERS_H_
#define KESTRUNE_WAVE_MARKERS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "wave/wave_header.h"

struct Marker {
  enum class Kind { kPoint, kRegion, kLoop };
  Kind kind = Kind::kPoint;
  uint32_t id = 0;     // the cue point's, or the loop's
  uint64_t start = 0;  // its first frame
  uint64_t end = 0;    // the frame after a region or loop; a point's start
  std::string label;   // the bytes the file holds, up to their NUL
  std::string note;
};

// Every marker of the file, in the order of their starts (a point before a
// region before a loop at the same frame). Reads every chunk before and
// after the data, and of each only what the chunk and the file really hold.
std::vector<Marker> ReadMarkers(const ByteSource& source);

// The same from an open file, as it is now.
std::vector<Marker> ReadMarkers(int fd);

#endif  // KESTRUNE_WAVE_MARKERS_H_
