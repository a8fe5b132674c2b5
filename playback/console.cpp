#include "playback/console.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The unread rest of a word whose leading number was taken; read before
// anything further from standard input.
std::string unread;

// "0x" (or "-0x") is the start of a hexadecimal number with no digit: a
// matching failure, not zero followed by the word "x" (which would exit).
bool IsBareHexPrefix(const std::string& word, size_t taken) {
  size_t sign = (word[0] == '+' || word[0] == '-') ? 1 : 0;
  return taken == sign + 1 && word[sign] == '0' && taken < word.size() &&
         (word[taken] == 'x' || word[taken] == 'X');
}

// Takes `taken` leading characters of `word` as the number; a number it
// cannot take leaves the whole word unread.
NumberRead Settle(std::string& word, size_t taken) {
  if (taken == 0 || IsBareHexPrefix(word, taken)) {
    unread.swap(word);
    return NumberRead::kNotNumber;
  }
  unread.assign(word, taken, std::string::npos);
  return NumberRead::kNumber;
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

}  // namespace

bool ReadClockTime(const std::string& word, float& seconds) {
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
  // "1:02:03.5" gives the float that "3723.5" gives.
  seconds = strtof((std::to_string(total) + word.substr(fraction)).c_str(), nullptr);
  return true;
}

bool ReadWord(std::string& word) {
  word.clear();
  if (!unread.empty()) {
    word.swap(unread);
    return true;
  }
  fflush(stdout);
  int c;
  do {
    c = getchar();
  } while (c != EOF && isspace(c));
  while (c != EOF && !isspace(c)) {
    word.push_back(static_cast<char>(c));
    c = getchar();
  }
  return !word.empty();
}

NumberRead ReadSeconds(float& seconds) {
  std::string word;
  if (!ReadWord(word)) return NumberRead::kEndOfInput;
  if (ReadClockTime(word, seconds)) return NumberRead::kNumber;
  char* end = nullptr;
  float value = strtof(word.c_str(), &end);
  NumberRead result = Settle(word, static_cast<size_t>(end - word.c_str()));
  if (result == NumberRead::kNumber) seconds = value;
  return result;
}

NumberRead ReadInteger(long& value) {
  std::string word;
  if (!ReadWord(word)) return NumberRead::kEndOfInput;
  char* end = nullptr;
  long number = strtol(word.c_str(), &end, 0);
  NumberRead result = Settle(word, static_cast<size_t>(end - word.c_str()));
  if (result == NumberRead::kNumber) value = number;
  return result;
}
