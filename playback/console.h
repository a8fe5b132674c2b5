// The user's side of the dialogue: words and numbers read from standard
// input one white-space-delimited word at a time. Standard output is
// flushed before every read, so a prompt is always on screen (or in the
// pipe) before the program waits for its answer.
#ifndef KESTRUNE_PLAYBACK_CONSOLE_H_
#define KESTRUNE_PLAYBACK_CONSOLE_H_

#include <string>

enum class NumberRead { kNumber, kNotNumber, kEndOfInput };

// Reads the next word, of any length. Returns false at the end of input.
bool ReadWord(std::string& word);

// A time as a clock or an editor shows it, the whole word: "M:SS" or
// "H:MM:SS", with an optional fraction of a second (".f"). Stores that many
// seconds, converted as the plain number of seconds would be; false for
// any other word.
bool ReadClockTime(const std::string& word, float& seconds);

// Read the leading number of the next word, as "%f" and "%li" read it.
// The rest of the word stays unread and is the next word. A word that does
// not begin with a number stays unread as a whole, and nothing is stored.
// Integers beyond the range of long saturate. Seconds may also be given
// as a clock time (ReadClockTime).
NumberRead ReadSeconds(float& seconds);
NumberRead ReadInteger(long& value);

#endif  // KESTRUNE_PLAYBACK_CONSOLE_H_
