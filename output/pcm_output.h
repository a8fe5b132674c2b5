// The ALSA playback device: opened for two interleaved channels at the
// file's rate and sample width, fed one period at a time, drained at the end.
#ifndef KESTRUNE_OUTPUT_PCM_OUTPUT_H_
#define KESTRUNE_OUTPUT_PCM_OUTPUT_H_

#include <cstdint>
#include <string>

typedef struct _snd_pcm snd_pcm_t;

// Opens and configures `deviceName`; stores the period the device granted,
// in frames, in `period`. When the device cannot be used, prints the
// library's reason to standard error, and the device that would convert
// what it refused, and returns null. A device that grants another rate
// than the file's is used, with a warning on standard error.
snd_pcm_t* OpenDevice(const std::string& deviceName, uint32_t rate,
                      uint32_t bytesPerSample, unsigned long& period);

// The rate `handle` plays at; `fallback` when it cannot tell.
uint32_t DeviceRate(snd_pcm_t* handle, uint32_t fallback);

// Hands `frames` interleaved stereo frames to the device and blocks until
// it has taken them all, recovering the device where it can. Returns 0, or
// the library's (negative) code of a failure it could not recover from,
// after which the device is of no more use and is to be closed with
// DropDevice; -EINTR after AbortDevice.
int WritePeriod(snd_pcm_t* handle, const char* stereoFrames,
                unsigned long frames);

// How many of the frames handed over the device still holds, not yet
// heard; 0 when it cannot tell.
long QueuedFrames(snd_pcm_t* handle);

// Lets the queued sound play out and makes the device ready for the next
// play; meanwhile calls `queued` with what the device still holds, every
// few hundredths of a second. Returns 0, or the library's code of a
// failure, after which the device is to be closed with DropDevice; -EINTR
// after AbortDevice.
int DrainDevice(snd_pcm_t* handle, void (*queued)(long frames, void* context), void* context);

// Lets the queued sound play out, then closes the device.
void CloseDevice(snd_pcm_t* handle);

// Throws the queued sound away and closes the device at once.
void DropDevice(snd_pcm_t* handle);

// Makes a write blocked on `handle` return at once, and every WritePeriod
// after it until the next OpenDevice. Safe to call in a signal handler.
void AbortDevice(snd_pcm_t* handle);

// The library's text for a code WritePeriod or DrainDevice returned.
const char* DeviceErrorText(int code);

// The ALSA device that plays through `deviceName` converting rate, format,
// channels and access as it needs: "plughw:0,0" for "hw:0,0", "plug:NAME"
// for another NAME; empty for a name that converts already.
std::string ConvertingDevice(const std::string& deviceName);

#endif  // KESTRUNE_OUTPUT_PCM_OUTPUT_H_
