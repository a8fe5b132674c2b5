#include "playback/interrupt.h"

#include <csignal>

namespace {

volatile sig_atomic_t interrupted = 0;
snd_pcm_t* volatile playing = nullptr;

// A write to a device is not cut short by the signal alone: the library
// goes back to waiting for room. Aborting the device makes it return.
void OnInterrupt(int) {
  interrupted = 1;
  if (playing != nullptr) AbortDevice(playing);
}

void Handle(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

void CatchInterrupt(snd_pcm_t* device) {
  interrupted = 0;
  playing = device;
  Handle(OnInterrupt);
}

bool ReleaseInterrupt() {
  Handle(SIG_DFL);
  playing = nullptr;
  return interrupted != 0;
}

bool Interrupted() { return interrupted != 0; }
