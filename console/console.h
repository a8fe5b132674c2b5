// The user's side of the dialogue: words and numbers read from standard
// input one white-space-delimited word at a time. Standard output is
// flushed before every read, so a prompt is always on screen (or in the
// pipe) before the program waits for its answer.
#ifndef KESTRUNE_CONSOLE_CONSOLE_H_
#define KESTRUNE_CONSOLE_CONSOLE_H_

#include <string>

// How a number was read: the whole word, only its leading number (the rest
// is the next word), not at all (the word is), or nothing was left to read.
enum class NumberRead { kNumber, kLeadingNumber, kNotNumber, kEndOfInput };

// Reads the next word, of any length. Returns false at the end of input,
// and an empty word after Ctrl-C dropped what was typed.
bool ReadWord(std::string& word);

// Reads a name that may hold blanks: the rest of the line the last word
// came from, or where nothing but blanks follows it, the next line, whole;
// blanks at either end dropped. Returns false at the end of input, and an
// empty text for an empty line or after Ctrl-C dropped what was typed.
bool ReadRestOfLine(std::string& text);

// `words` are read next, as the start of the line being read.
void PutBack(const std::string& words);

// A time as a clock or an editor shows it, the whole word: "M:SS" or
// "H:MM:SS", with an optional fraction of a second (".f"). Stores that many
// seconds, converted as the plain number of seconds would be; false for
// any other word.
bool ReadClockTime(const std::string& word, double& seconds);

// "M:SS.cc", or "H:MM:SS.cc" from an hour on: a length as the user types it.
std::string ClockTimeText(double seconds);

// Read the leading number of the next word, as strtod (in double
// precision, so that every frame of a long file can be typed) and "%li"
// read it, and
// keep the whole word in `word`. The rest of the word stays unread and is
// the next word. A word that does not begin with a number stays unread as
// a whole, and nothing is stored. Integers beyond the range of long
// saturate. Seconds may also be given as a clock time (ReadClockTime).
NumberRead ReadSeconds(double& seconds, std::string& word);
NumberRead ReadInteger(long& value, std::string& word);

// Whether a person types the answers: standard input and standard output
// are both terminals. A slip then keeps the value it would have changed, as
// the person can type it again; in a pipe or a script the values stay what
// the dialogue has always made of such words.
bool PersonTyping();

// Drops the rest of the word whose leading number was taken: on a terminal a
// word that is no well-formed answer is not read on as a command.
void DropRestOfWord();

// One line on standard error naming a word that was not taken as typed,
// and what was taken instead; standard output, which scripts read, stays
// as it is. "kestrune: " comes first.
void SaySlip(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A loop count of 0 or below is taken, and named: every play plays nothing.
void SayLoopsPlayNothing(long loops);

// Why a word that begins with a number is no time, as " (...)", or "".
std::string WhyNoTime(const std::string& word);

// `text` as a terminal may show it whatever a file put in it: control
// characters and bytes that are no UTF-8 become '?'; at most `most`
// characters are kept.
std::string PrintableText(const std::string& text, size_t most);

// Names an answer to a prompt for a whole number of `what` that was not
// taken as typed: no number, more than a number, octal, or out of range.
// `read` and `value` are what ReadInteger gave; `now` is the value in force
// after the answer, `kept` whether it is the one from before.
void NameIntegerAnswer(NumberRead read, const std::string& word, long value, const char* what,
                       long now, bool kept);

#endif  // KESTRUNE_CONSOLE_CONSOLE_H_
