// "v": the selection's levels drawn on the console, to see whether a cut
// falls in a gap or in the middle of a sound.
#ifndef KESTRUNE_CUT_VIEW_SELECTION_H_
#define KESTRUNE_CUT_VIEW_SELECTION_H_

#include "cut/selection.h"

// One strip as wide as the terminal for the whole selection, with a row
// under it marking the columns where the file's markers begin, one for the
// 50 ms on either side of the in-point and one for the out-point, each
// column the peak of every sample of its frames on a scale of decibels;
// then the selection's peak and where it is.
void ViewSelection(const Selection& s);

#endif  // KESTRUNE_CUT_VIEW_SELECTION_H_
