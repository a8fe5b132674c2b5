#include "playback/interrupt.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

volatile sig_atomic_t interrupted = 0;
snd_pcm_t* volatile playing = nullptr;

bool sessionKept = false;
volatile sig_atomic_t atPrompt = 0;  // came at a prompt, not yet taken
volatile sig_atomic_t armed = 0;     // came at a prompt, nothing typed since

// A write to a device is not cut short by the signal alone: the library
// goes back to waiting for room. Aborting the device makes it return.
void OnInterrupt(int) {
  interrupted = 1;
  if (playing != nullptr) AbortDevice(playing);
}

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
    signal(SIGINT, SIG_DFL);
    HoldBack(false);
    raise(SIGINT);
  }
  armed = 1;
  atPrompt = 1;
}

void Handle(void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

void CatchInterrupt(snd_pcm_t* device) {
  interrupted = 0;
  playing = device;
  Handle(OnInterrupt, SA_RESTART);
  HoldBack(false);
}

bool ReleaseInterrupt() {
  if (sessionKept) {
    Handle(OnInterruptAtPrompt, 0);
    HoldBack(true);
  } else {
    Handle(SIG_DFL, 0);
  }
  playing = nullptr;
  return interrupted != 0;
}

bool Interrupted() { return interrupted != 0; }

void KeepSessionOnInterrupt() {
  sessionKept = isatty(STDIN_FILENO) == 1;
  ReleaseInterrupt();
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
