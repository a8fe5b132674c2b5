// "m": the out-point moved to where a loop goes on as the file would, the
// audio around it matching the audio around the in-point.
#ifndef KESTRUNE_CUT_SEAM_MATCH_H_
#define KESTRUNE_CUT_SEAM_MATCH_H_

#include "cut/selection.h"

// Scores every frame within 25 ms of the out-point (after the in-point, not
// past the length): the 20 ms centred on it against the 20 ms centred on
// the in-point, over every channel, as the sum of squared differences over
// the sum of both windows' energy. Moves the out-point to the least (the
// nearest on a tie) and prints the match before and after. True when it
// did; a selection shorter than the windows, a layout that cannot be played
// or silence everywhere is refused on standard error.
bool MatchSeam(Selection& s);

#endif  // KESTRUNE_CUT_SEAM_MATCH_H_
