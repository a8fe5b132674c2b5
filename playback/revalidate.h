// Reading the file's header again, before a play and before anything else
// that takes the file as it is now.
#ifndef KESTRUNE_PLAYBACK_REVALIDATE_H_
#define KESTRUNE_PLAYBACK_REVALIDATE_H_

#include "playback/playback_state.h"

// Reads the header again: a changed rate, width or channel count would be
// misplayed on the device as configured, so the run ends; a changed length
// is followed, with a warning. A file saved over is opened anew.
void Revalidate(PlaybackState& s);

#endif  // KESTRUNE_PLAYBACK_REVALIDATE_H_
