#include "playback/interrupt.h"

#include <csignal>

#include "console/prompt_interrupt.h"

namespace {

volatile sig_atomic_t interrupted = 0;
snd_pcm_t* volatile playing = nullptr;

// A write to a device is not cut short by the signal alone: the library
// goes back to waiting for room. Aborting the device makes it return.
void OnInterrupt(int) {
  interrupted = 1;
  if (playing != nullptr) AbortDevice(playing);
}

}  // namespace

void CatchInterrupt(snd_pcm_t* device) {
  interrupted = 0;
  playing = device;
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_UNBLOCK, &interrupt, nullptr);
}

bool ReleaseInterrupt() {
  AnswerInterruptsAtPrompts();
  playing = nullptr;
  return interrupted != 0;
}

bool Interrupted() { return interrupted != 0; }
