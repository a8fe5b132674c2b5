#include "output/pcm_output.h"

#include <alsa/asoundlib.h>

#include <csignal>
#include <cerrno>
#include <cstdio>

namespace {

constexpr snd_pcm_uframes_t kPeriodFrames = 4096;
constexpr snd_pcm_uframes_t kBufferFrames = 16384;

// A blocking write that takes no frame has no reason to: after this many
// such writes, each after a wait for room of up to kWaitMillis, the device
// counts as failed rather than being asked again and again.
constexpr int kMostIdleWrites = 8;
constexpr int kWaitMillis = 100;

volatile sig_atomic_t aborted = 0;

// Prints why the device cannot be used, and lets it go.
snd_pcm_t* Refuse(const char* what, int code, snd_pcm_t* handle, snd_pcm_hw_params_t* params) {
  fprintf(stderr, "%s: %s\n", what, snd_strerror(code));
  snd_pcm_hw_params_free(params);
  if (handle != nullptr) snd_pcm_close(handle);
  return nullptr;
}

}  // namespace

snd_pcm_t* OpenDevice(const std::string& deviceName, uint32_t rate,
                      uint32_t bytesPerSample, unsigned long& period) {
  aborted = 0;
  snd_pcm_t* handle = nullptr;
  int rc = snd_pcm_open(&handle, deviceName.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (rc < 0) return Refuse("unable to open pcm device", rc, nullptr, nullptr);

  snd_pcm_hw_params_t* params = nullptr;
  snd_pcm_hw_params_malloc(&params);  // zero-filled
  snd_pcm_hw_params_any(handle, params);
  snd_pcm_hw_params_set_access(handle, params, SND_PCM_ACCESS_RW_INTERLEAVED);
  // Other widths get no format request: the device keeps its own, and the
  // player sends such files no samples.
  if (bytesPerSample == 2 || bytesPerSample == 3) {
    rc = snd_pcm_hw_params_set_format(
        handle, params,
        bytesPerSample == 2 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_S24_3LE);
    if (rc < 0) return Refuse("Unable to set playback format", rc, handle, params);
  }
  snd_pcm_hw_params_set_channels(handle, params, 2);
  unsigned int grantedRate = rate;
  snd_pcm_hw_params_set_rate_near(handle, params, &grantedRate, nullptr);
  snd_pcm_uframes_t periodFrames = kPeriodFrames;
  snd_pcm_hw_params_set_period_size_near(handle, params, &periodFrames, nullptr);
  snd_pcm_uframes_t bufferFrames = kBufferFrames;
  snd_pcm_hw_params_set_buffer_size_near(handle, params, &bufferFrames);
  rc = snd_pcm_hw_params(handle, params);
  if (rc < 0) return Refuse("Unable to set hardware parameters", rc, handle, params);

  // A period of zero frames would never advance playback.
  periodFrames = 0;
  snd_pcm_hw_params_get_period_size(params, &periodFrames, nullptr);
  period = periodFrames != 0 ? periodFrames : kPeriodFrames;
  snd_pcm_hw_params_free(params);
  return handle;
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

void CloseDevice(snd_pcm_t* handle) {
  snd_pcm_drain(handle);
  snd_pcm_close(handle);
}

void DropDevice(snd_pcm_t* handle) {
  snd_pcm_drop(handle);
  snd_pcm_close(handle);
}

void AbortDevice(snd_pcm_t* handle) {
  aborted = 1;
  snd_pcm_abort(handle);
}

const char* DeviceErrorText(int code) { return snd_strerror(code); }
