// "z": the in- and out-point moved to where a loop's seam does not click.
#ifndef KESTRUNE_CUT_ZERO_CROSSINGS_H_
#define KESTRUNE_CUT_ZERO_CROSSINGS_H_

#include "cut/selection.h"

// Moves each point to the nearest rising zero crossing of the first channel
// within 10 ms (the earlier on a tie); a point with none stays, and is named
// on standard error.
void SnapToZeroCrossings(Selection& s);

#endif  // KESTRUNE_CUT_ZERO_CROSSINGS_H_
