#include "console/prompt_interrupt.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

bool sessionKept = false;
// The terminal as the run found it: the line editor keeps it raw while it
// waits for a key, and a Ctrl-C that ends the program there must not leave
// the shell without echo.
termios cooked;
bool cookedKnown = false;
volatile sig_atomic_t atPrompt = 0;  // came at a prompt, not yet taken
volatile sig_atomic_t armed = 0;     // came at a prompt, nothing typed since

// At the prompts Ctrl-C is held back but while the console is waited for:
// one that came just before the wait would otherwise leave it waiting.
void HoldBack(bool held) {
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(held ? SIG_BLOCK : SIG_UNBLOCK, &interrupt, nullptr);
}

// The second Ctrl-C in a row ends the program as Ctrl-C does, at once: not
// held back as the prompts hold it.
void OnInterruptAtPrompt(int) {
  if (armed) {
    if (cookedKnown) tcsetattr(STDIN_FILENO, TCSANOW, &cooked);
    signal(SIGINT, SIG_DFL);
    HoldBack(false);
    raise(SIGINT);
  }
  armed = 1;
  atPrompt = 1;
}

void Handle(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

void AnswerInterruptsAtPrompts() {
  if (sessionKept) {
    Handle(OnInterruptAtPrompt);
    HoldBack(true);
  } else {
    Handle(SIG_DFL);
  }
}

void KeepSessionOnInterrupt() {
  sessionKept = isatty(STDIN_FILENO) == 1;
  cookedKnown = sessionKept && tcgetattr(STDIN_FILENO, &cooked) == 0;
  AnswerInterruptsAtPrompts();
}

bool SessionKept() { return sessionKept; }

bool WaitForInput() {
  if (!sessionKept) return true;
  sigset_t waiting;
  sigprocmask(SIG_BLOCK, nullptr, &waiting);
  sigdelset(&waiting, SIGINT);
  pollfd input{STDIN_FILENO, POLLIN, 0};
  while (ppoll(&input, 1, nullptr, &waiting) < 0) {
    if (errno != EINTR || atPrompt) return false;
  }
  // A Ctrl-C that came with the input stays held back when the wait ends
  // on the input: it is let in before the input is read.
  HoldBack(false);
  HoldBack(true);
  return !atPrompt;
}

bool TakeInterruptAtPrompt() {
  if (!atPrompt) return false;
  atPrompt = 0;
  return true;
}

void WordTyped() { armed = 0; }
