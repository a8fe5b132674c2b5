#include "playback/console.h"

#include <cctype>
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

}  // namespace

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
