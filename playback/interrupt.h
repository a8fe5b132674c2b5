// Ctrl-C while a selection plays stops that play, not the program; at the
// prompts it does what the console makes of it.
#ifndef KESTRUNE_PLAYBACK_INTERRUPT_H_
#define KESTRUNE_PLAYBACK_INTERRUPT_H_

#include "output/pcm_output.h"

// From here on, SIGINT is noted and makes a write blocked on `device`
// return at once.
void CatchInterrupt(snd_pcm_t* device);

// SIGINT is back to what it does at the prompts. Returns whether one came
// during the play.
bool ReleaseInterrupt();

// Whether SIGINT came since CatchInterrupt.
bool Interrupted();

#endif  // KESTRUNE_PLAYBACK_INTERRUPT_H_
