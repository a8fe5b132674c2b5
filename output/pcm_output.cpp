#include "output/pcm_output.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr snd_pcm_uframes_t kPeriodFrames = 4096;
constexpr snd_pcm_uframes_t kBufferFrames = 16384;

// A blocking write that takes no frame has no reason to: after this many
// such writes, each after a wait for room of up to kWaitMillis, the device
// counts as failed rather than being asked again and again.
constexpr int kMostIdleWrites = 8;
constexpr int kWaitMillis = 100;

// How often a drain shows what is still to be heard.
constexpr int kDrainStepMillis = 20;
// How long a drain that a drop and a prepare end takes to return.
constexpr int kDroppedDrainMillis = 2;

volatile sig_atomic_t aborted = 0;

// Prints why the device cannot be used, and lets it go.
snd_pcm_t* Refuse(const char* what, int code, snd_pcm_t* handle, snd_pcm_hw_params_t* params) {
  fprintf(stderr, "%s: %s\n", what, snd_strerror(code));
  snd_pcm_hw_params_free(params);
  if (handle != nullptr) snd_pcm_close(handle);
  return nullptr;
}

// Tells the user which device plays what `deviceName` cannot; returns null
// to be the result of a refused OpenDevice. Only a refusal ("Invalid
// argument") is converted away: a device that is gone or broken fails the
// same way through the converting device.
snd_pcm_t* SayWhatConverts(const std::string& deviceName, const char* cannot, const char* what,
                           int code = -EINVAL) {
  const std::string converter = ConvertingDevice(deviceName);
  if (!converter.empty() && code == -EINVAL)
    fprintf(stderr, "kestrune: %s cannot %s; %s converts %s\n", deviceName.c_str(), cannot,
            converter.c_str(), what);
  return nullptr;
}

// "8.8 %" off, or from twice the speed on "5.5 times".
std::string HowMuch(double speed) {
  char text[32];
  if (speed >= 2 || speed <= 0.5)
    snprintf(text, sizeof text, "%.1f times", speed > 1 ? speed : 1 / speed);
  else
    snprintf(text, sizeof text, "%.1f %%", 100 * (speed > 1 ? speed - 1 : 1 - speed));
  return text;
}

void WarnOfTheRate(const std::string& deviceName, uint32_t rate, uint32_t granted) {
  const double speed = static_cast<double>(granted) / rate;
  fflush(stdout);
  fprintf(stderr,
          "kestrune: %s plays at %u Hz, not at the file's %u Hz: the sound will be %s %s\n",
          deviceName.c_str(), granted, rate, HowMuch(speed).c_str(),
          speed > 1 ? "too fast and too high" : "too slow and too low");
  const std::string cannot = "play " + std::to_string(rate) + " Hz";
  SayWhatConverts(deviceName, cannot.c_str(), "the rate");
}

// Runs `work` on a thread of its own, which Ctrl-C does not interrupt: the
// signal comes to the thread that plays.
template <typename Work>
std::thread Unsignalled(Work work) {
  sigset_t interrupt, before;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interrupt, &before);
  std::thread thread(std::move(work));
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return thread;
}

// A device whose drain Ctrl-C cut short, closed on a thread of its own once
// the library lets go of it.
std::thread closing;
snd_pcm_t* closingHandle = nullptr;

void WaitForClosing() {
  if (closing.joinable()) closing.join();
  closingHandle = nullptr;
}

}  // namespace

snd_pcm_t* OpenDevice(const std::string& deviceName, uint32_t rate,
                      uint32_t bytesPerSample, unsigned long& period) {
  // A card is opened by one at a time: the device of the last play is
  // closed first.
  WaitForClosing();
  aborted = 0;
  snd_pcm_t* handle = nullptr;
  int rc = snd_pcm_open(&handle, deviceName.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (rc < 0) return Refuse("unable to open pcm device", rc, nullptr, nullptr);

  snd_pcm_hw_params_t* params = nullptr;
  snd_pcm_hw_params_malloc(&params);  // zero-filled
  snd_pcm_hw_params_any(handle, params);
  // The output buffer holds two interleaved channels of the file's width:
  // a card that takes its frames another way (non-interleaved or mmap only,
  // four outputs) would be handed the wrong bytes, or read past the buffer.
  rc = snd_pcm_hw_params_set_access(handle, params, SND_PCM_ACCESS_RW_INTERLEAVED);
  if (rc < 0) {
    Refuse("Unable to set interleaved access", rc, handle, params);
    return SayWhatConverts(deviceName, "take samples written interleaved", "them", rc);
  }
  // Other widths get no format request: the device keeps its own, and the
  // player sends such files no samples.
  if (bytesPerSample == 2 || bytesPerSample == 3) {
    rc = snd_pcm_hw_params_set_format(
        handle, params,
        bytesPerSample == 2 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_S24_3LE);
    if (rc < 0) {
      Refuse("Unable to set playback format", rc, handle, params);
      return SayWhatConverts(deviceName,
                             bytesPerSample == 2 ? "play 16-bit samples"
                                                 : "play 24-bit samples packed in 3 bytes",
                             "them", rc);
    }
  }
  rc = snd_pcm_hw_params_set_channels(handle, params, 2);
  if (rc < 0) {
    Refuse("Unable to set two channels", rc, handle, params);
    return SayWhatConverts(deviceName, "play two channels", "them", rc);
  }
  unsigned int grantedRate = rate;
  snd_pcm_hw_params_set_rate_near(handle, params, &grantedRate, nullptr);
  snd_pcm_uframes_t periodFrames = kPeriodFrames;
  snd_pcm_hw_params_set_period_size_near(handle, params, &periodFrames, nullptr);
  snd_pcm_uframes_t bufferFrames = kBufferFrames;
  snd_pcm_hw_params_set_buffer_size_near(handle, params, &bufferFrames);
  rc = snd_pcm_hw_params(handle, params);
  if (rc < 0) {
    Refuse("Unable to set hardware parameters", rc, handle, params);
    return SayWhatConverts(deviceName, "play the file as it is", "it", rc);
  }

  // A card with a fixed clock (a USB headset, HDMI at 48 kHz) grants its
  // own rate: the file then plays at the wrong speed and pitch.
  grantedRate = rate;
  snd_pcm_hw_params_get_rate(params, &grantedRate, nullptr);
  if (grantedRate != rate && rate != 0) WarnOfTheRate(deviceName, rate, grantedRate);

  // A period of zero frames would never advance playback.
  periodFrames = 0;
  snd_pcm_hw_params_get_period_size(params, &periodFrames, nullptr);
  period = periodFrames != 0 ? periodFrames : kPeriodFrames;
  snd_pcm_hw_params_free(params);
  return handle;
}

uint32_t DeviceRate(snd_pcm_t* handle, uint32_t fallback) {
  snd_pcm_hw_params_t* params = nullptr;
  snd_pcm_hw_params_alloca(&params);
  unsigned int rate = 0;
  if (snd_pcm_hw_params_current(handle, params) < 0 ||
      snd_pcm_hw_params_get_rate(params, &rate, nullptr) < 0 || rate == 0)
    return fallback;
  return rate;
}

namespace {

// What the first write of a period did not settle: an underrun (the device
// ran dry, as it does while the menu waits on a sound card) or a suspend
// leaves the stream stopped, and the library's recovery prepares or resumes
// it before the same frames are handed over again, so the selection loses no
// audio; a short count hands over the rest. What fails again right after a
// recovery cannot be mended here: a sound server that died, a card that was
// unplugged.
[[gnu::noinline]] int WriteTheRest(snd_pcm_t* handle, const char* stereoFrames,
                                   unsigned long frames, snd_pcm_sframes_t n) {
  bool justRecovered = false;
  int idleWrites = 0;
  for (;;) {
    if (aborted) return -EINTR;
    if (n == static_cast<snd_pcm_sframes_t>(frames)) return 0;
    if (n > 0) {
      stereoFrames += snd_pcm_frames_to_bytes(handle, n);
      frames -= static_cast<unsigned long>(n);
      justRecovered = false;
      idleWrites = 0;
    } else if (n == 0 || n == -EAGAIN) {
      if (++idleWrites > kMostIdleWrites) return -EIO;
      snd_pcm_wait(handle, kWaitMillis);
    } else if (justRecovered || snd_pcm_recover(handle, static_cast<int>(n), 1) < 0) {
      return static_cast<int>(n);
    } else {
      justRecovered = true;
    }
    n = snd_pcm_writei(handle, stereoFrames, frames);
  }
}

}  // namespace

int WritePeriod(snd_pcm_t* handle, const char* stereoFrames, unsigned long frames) {
  const snd_pcm_sframes_t n = snd_pcm_writei(handle, stereoFrames, frames);
  if (n == static_cast<snd_pcm_sframes_t>(frames) && !aborted) return 0;
  return WriteTheRest(handle, stereoFrames, frames, n);
}

long QueuedFrames(snd_pcm_t* handle) {
  snd_pcm_sframes_t delay = 0;
  return snd_pcm_delay(handle, &delay) == 0 && delay > 0 ? static_cast<long>(delay) : 0;
}

// A sound server may hold back the last frames of a stream until it is told
// that no more come (PipeWire's pulse server keeps what does not fill its
// graph period): the drain is asked for as soon as the last frame is
// written, or they are heard after a gap. The library's drain cannot be cut
// short on every device (the pulse plugin waits for its server whatever
// comes, a card's drain is restarted after a signal), so it runs on a thread
// of its own, and Ctrl-C drops the device from this one. A card's drain
// ends with the drop; the pulse plugin's waits on until its stream is made
// anew, which the prepare after the drop does; the pipewire plugin's waits
// until its stream reports that it has drained, which a second drain of the
// stream, now empty, brings about, but only after two or three graph
// periods (90 to 130 ms at a quantum of 2048): the menu does not wait for
// it, and the device is closed in the background.
int DrainDevice(snd_pcm_t* handle, void (*queued)(long frames, void* context), void* context) {
  const int done = eventfd(0, EFD_CLOEXEC);
  if (done < 0) return -errno;
  static int result;
  result = 0;
  std::thread drainer = Unsignalled([handle, done] {
    result = snd_pcm_drain(handle);
    const uint64_t one = 1;
    if (write(done, &one, sizeof one) < 0) abort();
  });
  for (pollfd finished{done, POLLIN, 0}; !aborted;) {
    queued(QueuedFrames(handle), context);
    if (poll(&finished, 1, kDrainStepMillis) > 0) break;
  }
  if (aborted) {
    snd_pcm_drop(handle);
    snd_pcm_prepare(handle);
    static bool waitsAtExit = false;
    if (!waitsAtExit) waitsAtExit = atexit(WaitForClosing) == 0;
    closingHandle = handle;
    closing = Unsignalled([handle, done, drainer = std::move(drainer)]() mutable {
      pollfd finished{done, POLLIN, 0};
      if (poll(&finished, 1, kDroppedDrainMillis) <= 0) snd_pcm_drain(handle);
      drainer.join();
      close(done);
      snd_pcm_close(handle);
    });
    return -EINTR;
  }
  drainer.join();
  close(done);
  if (result < 0) return result;
  return snd_pcm_prepare(handle);
}

void CloseDevice(snd_pcm_t* handle) {
  snd_pcm_drain(handle);
  snd_pcm_close(handle);
}

void DropDevice(snd_pcm_t* handle) {
  if (handle == closingHandle) return;
  snd_pcm_drop(handle);
  snd_pcm_close(handle);
}

void AbortDevice(snd_pcm_t* handle) {
  aborted = 1;
  snd_pcm_abort(handle);
}

const char* DeviceErrorText(int code) { return snd_strerror(code); }

std::string ConvertingDevice(const std::string& name) {
  if (name.rfind("plug", 0) == 0) return "";
  if (name == "hw" || name.rfind("hw:", 0) == 0) return "plug" + name;
  // The plug device takes its slave as one argument: a name with arguments
  // of its own is quoted, with the quote it does not hold itself.
  if (name.find_first_of(":,") == std::string::npos) return "plug:" + name;
  const char quote = name.find('\'') == std::string::npos ? '\'' : '"';
  return "plug:" + (quote + name + quote);
}
