// "s": the selection saved as a new wave file, its frames exactly as the
// file holds them.
#ifndef KESTRUNE_CUT_SAVE_SELECTION_H_
#define KESTRUNE_CUT_SAVE_SELECTION_H_

#include "cut/selection.h"

#include <string>

// Asks for the name of the new file; false, and the reason on standard
// error, when there is none, or it is too long, or names a file already.
bool AskForSaveName(std::string& name);

// Writes the frames from the in-point to the out-point, with a loop over
// them all and the cue points and regions among them, to a new file of
// that name. Never overwrites; whatever fails
// leaves no file behind and is said on standard error.
void SaveSelection(const Selection& s, const std::string& name);

#endif  // KESTRUNE_CUT_SAVE_SELECTION_H_
