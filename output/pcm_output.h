// The ALSA playback device: opened for two interleaved channels at the
// file's rate and sample width, fed one period at a time, drained at the end.
#ifndef KESTRUNE_OUTPUT_PCM_OUTPUT_H_
#define KESTRUNE_OUTPUT_PCM_OUTPUT_H_

#include <cstdint>
#include <string>

typedef struct _snd_pcm snd_pcm_t;

// Opens and configures `deviceName`; stores the period the device granted,
// in frames, in `period`. When the device cannot be used, prints the
// library's reason to standard error and returns null.
snd_pcm_t* OpenDevice(const std::string& deviceName, uint32_t rate,
                      uint32_t bytesPerSample, unsigned long& period);

// Hands `frames` interleaved stereo frames to the device and blocks until
// it has taken them all, recovering the device where it can. Returns 0, or
// the library's (negative) code of a failure it could not recover from,
// after which the device is of no more use and is to be closed with
// DropDevice; -EINTR after AbortDevice.
int WritePeriod(snd_pcm_t* handle, const char* stereoFrames,
                unsigned long frames);

// Lets the queued sound play out, then closes the device.
void CloseDevice(snd_pcm_t* handle);

// Throws the queued sound away and closes the device at once.
void DropDevice(snd_pcm_t* handle);

// Makes a write blocked on `handle` return at once, and every WritePeriod
// after it until the next OpenDevice. Safe to call in a signal handler.
void AbortDevice(snd_pcm_t* handle);

// The library's text for a code WritePeriod returned.
const char* DeviceErrorText(int code);

#endif  // KESTRUNE_OUTPUT_PCM_OUTPUT_H_
