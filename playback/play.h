// The player's run: the dialogue that edits the selection and the plays it
// starts, until the user asks to exit.
#ifndef KESTRUNE_PLAYBACK_PLAY_H_
#define KESTRUNE_PLAYBACK_PLAY_H_

#include <cstdint>
#include <string>

// Plays `fileName` on `deviceName`. A start or stop of exactly 0 seconds
// stands for the start or the end of the file. When `commandGiven` is
// non-zero, `command` holds the word used instead of the first menu.
// Returns at the normal end; every fatal condition ends the process.
void PLAY(const std::string& fileName, const std::string& deviceName,
          double startSeconds, double stopSeconds, std::string& command,
          int commandGiven, int loops);

// Ask for a time in seconds and store it as the new in- or out-point.
// An answer that is not a number leaves the point as it was. An out-time
// past the end of a file still `growing` is kept.
void SetInTime(uint32_t rate, long length, int32_t* inPoint);
void SetOutTime(uint32_t rate, long length, int32_t* outPoint, bool growing = false);

#endif  // KESTRUNE_PLAYBACK_PLAY_H_
