#include "console/line_editor.h"

#include <dirent.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// libedit's readline interface: BSD-licensed, where GNU readline is GPL-3.
#include <editline/readline.h>

#include "console/prompt_interrupt.h"

namespace {

bool started = false;
bool completeNames = false;
// What was typed before the editor started: libedit flushes the terminal's
// input as it starts, and the keys are taken from here first.
std::string typedAhead;

// Every key goes through the wait that lets Ctrl-C in at the prompts:
// libedit is told not to catch signals itself, and a Ctrl-C ends the line
// as if the input had ended (the caller learns which from the prompts).
int ReadKey(FILE*) {
  if (!typedAhead.empty()) {
    const unsigned char first = static_cast<unsigned char>(typedAhead[0]);
    typedAhead.erase(0, 1);
    return first;
  }
  if (!WaitForInput()) return EOF;
  unsigned char c;
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n < 0 && errno == EINTR) continue;
    return EOF;
  }
}

// The names in a folder that begin as `text` does, for Tab at the name
// prompts. A folder is completed with its "/", so that its names follow; a
// leading "~/" stands for the home folder, as the save takes it.
char* NextName(const char* text, int state) {
  static DIR* folder = nullptr;
  static std::string shown, real, prefix;
  if (state == 0) {  // the first call of a completion
    if (folder != nullptr) closedir(folder);
    const std::string typed = text;
    const size_t slash = typed.rfind('/');
    shown = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
    prefix = typed.substr(shown.size());
    real = shown;
    const char* home = getenv("HOME");
    if (real.rfind("~/", 0) == 0 && home != nullptr) real = home + real.substr(1);
    folder = opendir(real.empty() ? "." : real.c_str());
  }
  while (folder != nullptr) {
    const dirent* entry = readdir(folder);
    if (entry == nullptr) {
      closedir(folder);
      folder = nullptr;
      break;
    }
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (name[0] == '.' && (prefix.empty() || prefix[0] != '.')) continue;
    struct stat info;
    const bool isFolder = stat((real + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    return strdup((shown + name + (isFolder ? "/" : "")).c_str());
  }
  return nullptr;
}

// Tab completes names at the file-name and save prompts only; elsewhere it
// does nothing. A name is the last thing on its line, so no blank is added
// after it: a folder's "/" is followed by its names.
char** Complete(const char* text, int, int) {
  rl_attempted_completion_over = 1;
  if (!completeNames) return nullptr;
  return rl_completion_matches(text, NextName);
}

// A name is the whole line, blanks and all: the completion takes all of it.
char noBreaks[] = "";
char wordBreaks[] = " \t\n";

// The lines recalled are the run's only: they go with it.
void ForgetLines() { clear_history(); }

}  // namespace

void StartLineEditor() {
  if (started) return;
  started = true;
  atexit(ForgetLines);
  rl_readline_name = "kestrune";
  rl_catch_signals = 0;
  rl_getc_function = ReadKey;
  rl_attempted_completion_function = Complete;
  rl_completion_append_character = '\0';
  rl_instream = stdin;
  rl_outstream = stdout;
  using_history();
  for (pollfd input{STDIN_FILENO, POLLIN, 0}; poll(&input, 1, 0) > 0;) {
    char bytes[256];
    const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
    if (n <= 0) break;
    typedAhead.append(bytes, static_cast<size_t>(n));
  }
  rl_initialize();
  // The keys a person expects of a console line, as other line editors have
  // them: Ctrl-U and Ctrl-W kill back to the start and by a word, Home, End
  // and Delete where the terminal sends them as escape sequences.
  rl_parse_and_bind("bind ^U vi-kill-line-prev");
  rl_parse_and_bind("bind ^W ed-delete-prev-word");
  for (const char* key : {"^[[H", "^[OH", "^[[1~", "^[[7~"})
    rl_parse_and_bind((std::string("bind ") + key + " ed-move-to-beg").c_str());
  for (const char* key : {"^[[F", "^[OF", "^[[4~", "^[[8~"})
    rl_parse_and_bind((std::string("bind ") + key + " ed-move-to-end").c_str());
  rl_parse_and_bind("bind ^[[3~ ed-delete-next-char");
}

bool EditLine(std::string& line, bool names) {
  StartLineEditor();
  completeNames = names;
  rl_completer_word_break_characters = names ? noBreaks : wordBreaks;
  fflush(stdout);
  char* text = readline("");
  if (text == nullptr) return false;
  line = text;
  free(text);
  // Recall is for this run only: nothing is written to a file.
  if (!line.empty()) add_history(line.c_str());
  return true;
}

namespace {

termios shown;
bool hidden = false;

void ShowTypingAtExit() { ShowTyping(); }

}  // namespace

void HideTyping() {
  if (hidden || tcgetattr(STDIN_FILENO, &shown) != 0) return;
  termios quiet = shown;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  if (tcsetattr(STDIN_FILENO, TCSANOW, &quiet) != 0) return;
  static const bool once = atexit(ShowTypingAtExit) == 0;
  (void)once;
  hidden = true;
}

void ShowTyping() {
  if (!hidden) return;
  tcsetattr(STDIN_FILENO, TCSANOW, &shown);
  hidden = false;
}
