// "k": the cue points, regions and loops the file holds, to choose the
// selection from.
#ifndef KESTRUNE_CUT_MARKERS_H_
#define KESTRUNE_CUT_MARKERS_H_

#include <cstdint>
#include <vector>

#include "cut/selection.h"
#include "wave/markers.h"

// Reads the markers from the file as it is now and lists them, numbered
// from 1, then asks for one: a point selects up to the next marker's start
// (or the end of the file), a region its span, a loop its frames. True when
// a marker set the selection; a file without markers says so and asks
// nothing.
bool ChooseMarker(Selection& s);

// The points and regions that begin in the frames from `first` up to `end`,
// counted from `first`, a region cut back to `end`: what a save of those
// frames keeps.
std::vector<Marker> MarkersWithin(const std::vector<Marker>& markers, int64_t first, int64_t end);

#endif  // KESTRUNE_CUT_MARKERS_H_
