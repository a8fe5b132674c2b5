#include "output/pcm_output.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr snd_pcm_uframes_t kPeriodFrames = 4096;
constexpr snd_pcm_uframes_t kBufferFrames = 16384;

[[noreturn]] void Fail(const char* what, int code) {
  fprintf(stderr, "%s: %s\n", what, snd_strerror(code));
  exit(1);
}

}  // namespace

snd_pcm_t* OpenDevice(const std::string& deviceName, uint32_t rate,
                      uint32_t bytesPerSample, unsigned long& period) {
  snd_pcm_t* handle = nullptr;
  int rc = snd_pcm_open(&handle, deviceName.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (rc < 0) Fail("unable to open pcm device", rc);

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
    if (rc < 0) Fail("Unable to set playback format", rc);
  }
  snd_pcm_hw_params_set_channels(handle, params, 2);
  unsigned int grantedRate = rate;
  snd_pcm_hw_params_set_rate_near(handle, params, &grantedRate, nullptr);
  snd_pcm_uframes_t periodFrames = kPeriodFrames;
  snd_pcm_hw_params_set_period_size_near(handle, params, &periodFrames, nullptr);
  snd_pcm_uframes_t bufferFrames = kBufferFrames;
  snd_pcm_hw_params_set_buffer_size_near(handle, params, &bufferFrames);
  rc = snd_pcm_hw_params(handle, params);
  if (rc < 0) Fail("Unable to set hardware parameters", rc);

  // A period of zero frames would never advance playback.
  periodFrames = 0;
  snd_pcm_hw_params_get_period_size(params, &periodFrames, nullptr);
  period = periodFrames != 0 ? periodFrames : kPeriodFrames;
  snd_pcm_hw_params_free(params);
  return handle;
}

void WritePeriod(snd_pcm_t* handle, const char* stereoFrames,
                 unsigned long frames) {
  // An underrun (the device ran dry, as it does while the menu waits on a
  // sound card) leaves the stream stopped: prepare it and hand over the same
  // frames again, so the selection loses no audio. A second failure, a
  // short count or any other error is let pass.
  if (snd_pcm_writei(handle, stereoFrames, frames) == -EPIPE) {
    snd_pcm_prepare(handle);
    snd_pcm_writei(handle, stereoFrames, frames);
  }
}

void CloseDevice(snd_pcm_t* handle) {
  snd_pcm_drain(handle);
  snd_pcm_close(handle);
}
