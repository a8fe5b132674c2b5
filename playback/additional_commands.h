// The jump and nudge commands: moving the selection by its own width or by
// the nudge amount, listing these commands, setting that amount, and
// showing the selection's exact frames.
#ifndef KESTRUNE_PLAYBACK_ADDITIONAL_COMMANDS_H_
#define KESTRUNE_PLAYBACK_ADDITIONAL_COMMANDS_H_

#include <string>

#include "playback/playback_state.h"

// Applies `word` when it is one of these commands; leaves any other alone.
void ApplyAdditionalCommand(const std::string& word, PlaybackState& state);

#endif  // KESTRUNE_PLAYBACK_ADDITIONAL_COMMANDS_H_
