// Ctrl-C while a selection plays stops that play, not the program. At the
// prompts, on a terminal, it drops what was typed and the menu comes again;
// a second Ctrl-C with nothing typed between, or one in a pipe, ends the
// program as usual.
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

// From here on, SIGINT at a prompt keeps the session when standard input is
// a terminal.
void KeepSessionOnInterrupt();

// Whether Ctrl-C at a prompt keeps the session: standard input is a
// terminal.
bool SessionKept();

// Before a read from standard input that may wait: on a terminal, waits for
// input and returns false when SIGINT came first, also just before the wait
// (SIGINT is held back at the prompts but for this wait).
bool WaitForInput();

// Whether SIGINT came at a prompt since the last call (a word read in
// between counts as typed: the next one is a first again).
bool TakeInterruptAtPrompt();
void WordTyped();

#endif  // KESTRUNE_PLAYBACK_INTERRUPT_H_
