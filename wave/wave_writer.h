// Writing a RIFF WAVE file around PCM bytes taken as they are: the chunks
// before the data, and after it the sampler chunk that marks the whole as
// one loop, and the cue points and regions of the part saved.
#ifndef KESTRUNE_WAVE_WAVE_WRITER_H_
#define KESTRUNE_WAVE_WAVE_WRITER_H_

#include <cstdint>
#include <string>

#include <vector>

#include "wave/markers.h"
#include "wave/wave_header.h"

// What comes before `frames` frames of the layout's rate, sample width and
// channel count: "RIFF" (or "RF64" with its "ds64" chunk, where the file
// passes 4 GiB), a plain PCM "fmt " chunk and the "data" chunk's header.
// The sizes count the pad byte after odd data and the chunks after it.
std::string HeaderBeforeData(const WaveAttributes& layout, uint64_t frames,
                             const std::vector<Marker>& marks = {});

// What follows the data: a pad byte where the data's size is odd, then a
// "smpl" chunk holding one forward loop over all `frames`, so that a sampler
// loops the file as it was looped here; then, where there are `marks`
// (points and regions, their frames counted from the first saved), a "cue "
// chunk and a "LIST" of "adtl" with their labels, notes and lengths.
std::string ChunksAfterData(const WaveAttributes& layout, uint64_t frames,
                            const std::vector<Marker>& marks = {});

#endif  // KESTRUNE_WAVE_WAVE_WRITER_H_
