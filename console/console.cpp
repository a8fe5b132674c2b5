#include "console/console.h"

#include <stdio_ext.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "console/line_editor.h"
#include "console/prompt_interrupt.h"

namespace {

// The unread rest of a word whose leading number was taken; read before
// anything further from standard input.
std::string unread;

// The rest of the line being read, after the words taken from it: the
// dialogue reads words, and a name that may hold blanks takes the rest.
std::string pending;

// "0x" (or "-0x") is the start of a hexadecimal number with no digit: a
// matching failure, not zero followed by the word "x" (which would exit).
bool IsBareHexPrefix(const std::string& word, size_t taken) {
  size_t sign = (word[0] == '+' || word[0] == '-') ? 1 : 0;
  return taken == sign + 1 && word[sign] == '0' && taken < word.size() &&
         (word[taken] == 'x' || word[taken] == 'X');
}

// Takes `taken` leading characters of `word` as the number; a number it
// cannot take leaves the whole word unread.
NumberRead Settle(const std::string& word, size_t taken) {
  if (taken == 0 || IsBareHexPrefix(word, taken)) {
    unread = word;
    return NumberRead::kNotNumber;
  }
  unread.assign(word, taken, std::string::npos);
  return unread.empty() ? NumberRead::kNumber : NumberRead::kLeadingNumber;
}

// The digits at `at`, at least one and at most `most`, as a number; moves
// `at` past them.
bool Digits(const std::string& word, size_t& at, size_t most, uint64_t& value) {
  const size_t first = at;
  value = 0;
  while (at < word.size() && isdigit(static_cast<unsigned char>(word[at])) && at - first < most)
    value = value * 10 + static_cast<uint64_t>(word[at++] - '0');
  return at > first;
}

// Minutes or seconds after a colon: two digits, below 60.
bool Sexagesimal(const std::string& word, size_t& at, uint64_t& value) {
  const size_t first = at;
  return at < word.size() && word[at++] == ':' && Digits(word, at, 2, value) &&
         at - first == 3 && value < 60;
}

// Ctrl-C at a prompt: what was typed and not yet taken is dropped, the
// terminal's line included, and the user is told how to leave.
bool DropWhatWasTyped(std::string& word) {
  if (!TakeInterruptAtPrompt()) return false;
  word.clear();
  unread.clear();
  pending.clear();
  clearerr(stdin);
  __fpurge(stdin);
  tcflush(STDIN_FILENO, TCIFLUSH);
  fflush(stdout);
  fputs("\nCtrl-C again or 'x' to exit\n", stderr);
  return true;
}

}  // namespace

bool ReadClockTime(const std::string& word, double& seconds) {
  size_t at = 0;
  uint64_t total = 0, minutes = 0, secondsPart = 0;
  // Nine digits of hours or minutes at most: the sum stays exact.
  if (!Digits(word, at, 9, total) || !Sexagesimal(word, at, minutes)) return false;
  total = total * 60 + minutes;
  if (at < word.size() && word[at] == ':') {
    if (!Sexagesimal(word, at, secondsPart)) return false;
    total = total * 60 + secondsPart;
  }
  const size_t fraction = at;
  if (at < word.size() && word[at] == '.')
    while (++at < word.size() && isdigit(static_cast<unsigned char>(word[at]))) {
    }
  if (at < word.size()) return false;
  // Whole seconds and the fraction as typed, read as one plain number:
  // "1:02:03.5" gives the number that "3723.5" gives.
  seconds = strtod((std::to_string(total) + word.substr(fraction)).c_str(), nullptr);
  return true;
}

namespace {

// The next character typed; EOF at the end of input, or when Ctrl-C cut the
// wait for it short.
int ReadChar() {
  // What the stream already holds is taken without a wait; stdio has no
  // call that tells, so its buffer's ends are looked at.
  const bool buffered = stdin->_IO_read_ptr < stdin->_IO_read_end;
  if (!buffered && !WaitForInput()) return EOF;
  return getchar();
}

}  // namespace

namespace {

// Reads the next line into `pending`, through the line editor where a
// person types; false at the end of input, or where Ctrl-C cut the wait for
// it short (DropWhatWasTyped tells which).
bool ReadLine(bool names = false) {
  fflush(stdout);
  pending.clear();
  if (PersonTyping()) return EditLine(pending, names);
  int c = ReadChar();
  if (c == EOF) return false;
  while (c != EOF && c != '\n') {
    pending.push_back(static_cast<char>(c));
    c = ReadChar();
  }
  return true;
}

bool Blank(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

// Takes the next word of `pending`; false when only blanks are left.
bool TakeWord(std::string& word) {
  size_t start = 0;
  while (start < pending.size() && Blank(pending[start])) ++start;
  size_t end = start;
  while (end < pending.size() && !Blank(pending[end])) ++end;
  word.assign(pending, start, end - start);
  pending.erase(0, end);
  return !word.empty();
}

std::string Trimmed(const std::string& text) {
  size_t start = 0, end = text.size();
  while (start < end && Blank(text[start])) ++start;
  while (end > start && Blank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

}  // namespace

bool ReadWord(std::string& word) {
  word.clear();
  if (DropWhatWasTyped(word)) return true;
  if (!unread.empty()) {
    word.swap(unread);
    return true;
  }
  while (!TakeWord(word)) {
    const bool line = ReadLine();
    if (DropWhatWasTyped(word)) return true;
    if (!line) return false;
  }
  WordTyped();
  return true;
}

bool ReadRestOfLine(std::string& text) {
  text.clear();
  if (DropWhatWasTyped(text)) return true;
  text = Trimmed(unread + pending);
  unread.clear();
  pending.clear();
  if (text.empty()) {
    const bool line = ReadLine(true);
    if (DropWhatWasTyped(text)) return true;
    if (!line) return false;
    text = Trimmed(pending);
    pending.clear();
  }
  if (!text.empty()) WordTyped();
  return true;
}

bool PersonTyping() {
  static const bool typing = isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1;
  return typing;
}

void DropRestOfWord() { unread.clear(); }

void PutBack(const std::string& words) { pending = words + " " + pending; }

std::string ClockTimeText(double seconds) {
  const long long hundredths = std::llround(seconds * 100);
  const long long whole = hundredths / 100, minutes = whole / 60, hours = minutes / 60;
  char text[64];
  if (hours > 0)
    snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", hours, minutes % 60, whole % 60,
             hundredths % 100);
  else
    snprintf(text, sizeof text, "%lld:%02lld.%02lld", minutes, whole % 60, hundredths % 100);
  return text;
}

NumberRead ReadSeconds(double& seconds, std::string& word) {
  if (!ReadWord(word)) return NumberRead::kEndOfInput;
  if (ReadClockTime(word, seconds)) return NumberRead::kNumber;
  char* end = nullptr;
  double value = strtod(word.c_str(), &end);
  NumberRead result = Settle(word, static_cast<size_t>(end - word.c_str()));
  if (result != NumberRead::kNotNumber) seconds = value;
  return result;
}

NumberRead ReadInteger(long& value, std::string& word) {
  if (!ReadWord(word)) return NumberRead::kEndOfInput;
  char* end = nullptr;
  long number = strtol(word.c_str(), &end, 0);
  NumberRead result = Settle(word, static_cast<size_t>(end - word.c_str()));
  if (result != NumberRead::kNotNumber) value = number;
  return result;
}

void SaySlip(const char* format, ...) {
  fflush(stdout);
  fputs("kestrune: ", stderr);
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stderr, format, arguments);
  va_end(arguments);
  fputc('\n', stderr);
}

std::string PrintableText(const std::string& text, size_t most) {
  std::string shown;
  size_t characters = 0;
  for (size_t at = 0; at < text.size() && characters < most; ++characters) {
    const auto lead = static_cast<unsigned char>(text[at]);
    // A sequence's length, and the bounds of its second byte that keep out
    // overlong forms, surrogates and what lies past U+10FFFF.
    size_t length = 1;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    bool whole = length > 1 && at + length <= text.size();
    for (size_t i = 1; whole && i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      whole = i == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
    }
    // The C1 controls, U+0080 to U+009F, are control characters too.
    if (whole && !(lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0)) {
      shown.append(text, at, length);
      at += length;
    } else {
      shown += lead >= 0x20 && lead < 0x7F ? static_cast<char>(lead) : '?';
      ++at;
    }
  }
  return shown;
}

void SayLoopsPlayNothing(long loops) {
  if (loops <= 0) SaySlip("%ld loops: every play will play nothing (1 plays once)", loops);
}

std::string WhyNoTime(const std::string& word) {
  for (size_t colon = word.find(':'); colon != std::string::npos;
       colon = word.find(':', colon + 1)) {
    size_t at = colon + 1;
    uint64_t value = 0;
    if (!Digits(word, at, 9, value)) continue;
    if (at - colon == 2) return " (seconds take two digits, as in 1:05)";
    if (value >= 60) return " (minutes and seconds go up to 59)";
  }
  return "";
}

void NameIntegerAnswer(NumberRead read, const std::string& word, long value, const char* what,
                       long now, bool kept) {
  const char* verb = kept ? "kept" : "took";
  const size_t sign = !word.empty() && (word[0] == '-' || word[0] == '+') ? 1 : 0;
  const bool octal = word.size() > sign + 1 && word[sign] == '0' &&
                     isdigit(static_cast<unsigned char>(word[sign + 1]));
  if (read == NumberRead::kNotNumber && !word.empty() && word != "x")
    SaySlip("%s is not a number of %s: kept %ld", word.c_str(), what, now);
  else if (read != NumberRead::kNotNumber && octal)
    SaySlip("%s reads as octal (a leading 0): %s %ld", word.c_str(), verb, now);
  else if (read == NumberRead::kLeadingNumber)
    SaySlip("%s is not a whole number of %s: %s %ld", word.c_str(), what, verb, now);
  else if (read == NumberRead::kNumber && !kept && value != now)
    SaySlip("%s is out of range: took %ld", word.c_str(), now);
}
