// "s": the selection saved as a new wave file, its frames exactly as the
// file holds them.
#ifndef KESTRUNE_PLAYBACK_SAVE_SELECTION_H_
#define KESTRUNE_PLAYBACK_SAVE_SELECTION_H_

#include "playback/playback_state.h"

// Asks for a name, reads the header again and writes the frames from the
// in-point to the out-point, with a loop over them all, to a new file of
// that name. Never overwrites; whatever fails leaves no file behind and is
// said on standard error.
void SaveSelection(PlaybackState& s);

#endif  // KESTRUNE_PLAYBACK_SAVE_SELECTION_H_
