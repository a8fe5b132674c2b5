// The file as it is now, read again while a play runs and at the time
// prompts: a recording grows as it is written, and a writer may cut its
// data short (rewriting the data size and putting a chunk after it), so
// that what lies past the new end is no longer audio.
#ifndef KESTRUNE_PLAYBACK_FOLLOW_H_
#define KESTRUNE_PLAYBACK_FOLLOW_H_

#include "playback/playback_state.h"

// Reads the header again, quietly, and takes its length: the frames written
// since the last reading, or fewer where the data was cut short. Returns
// false, and leaves the length alone, when the header no longer reads as
// the layout being played (the reading before the next play says so).
bool ReadLengthAgain(PlaybackState& s);

// The same, for a recording being followed: whether frames were written
// since the last reading.
bool MoreFramesWritten(PlaybackState& s);

// Whether the frames up to the length are still the file's audio: a few
// hundred bytes of the header, from the page cache, are compared with the
// last look, so that a play can look every quarter second of audio at a
// cost it does not feel; where they changed, the header is read again.
bool DataStillThere(PlaybackState& s);

#endif  // KESTRUNE_PLAYBACK_FOLLOW_H_
