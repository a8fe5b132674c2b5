// Everything one run of the player holds, from the snapshot of the file to
// the end.
#ifndef KESTRUNE_PLAYBACK_PLAYBACK_STATE_H_
#define KESTRUNE_PLAYBACK_PLAYBACK_STATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "output/pcm_output.h"
#include "playback/clock.h"
#include "wave/wave_header.h"

// The bytes of the header a play looks at again and again.
struct HeaderBytes {
  char bytes[512];
  size_t size = 0;  // none yet: the next look reads the header whole
};

enum class Request { kAskAgain, kPlay, kExit };

// Why a play ended before its last pass did.
enum class Stop { kNone, kInterrupted, kDeviceFailed, kReadFailed };

struct PlaybackState {
  std::string fileName;
  std::string deviceName;
  WaveFile file;  // held open for the sample reads, until renamed over

  // The snapshot taken at the start: its rate, sample width, channel count
  // and length are what every later reading of the header is checked
  // against. `current` is the latest reading.
  WaveAttributes snapshot;
  WaveAttributes current;
  uint32_t length = 0;  // frames in the file at the latest reading

  int32_t inPoint = 0;  // the selection plays from inPoint up to outPoint
  int32_t outPoint = 0;
  int loops = 1;
  int32_t nudgeAmount = 12000;

  Request request = Request::kAskAgain;
  bool exitAfterPlay = false;  // "px" and "wx": the next play ends the run
  bool wordPending = false;    // the command line's word replaces the menu
  bool wholeFile = false;      // "w" and "wx": the play takes the whole file

  float startSeconds = 0;  // the selection in seconds, for display
  float stopSeconds = 0;
  float clock = 0;  // the last clock value shown
  HeardTrack heard;  // what the device was handed in this play
  HeaderBytes headerBytes;

  snd_pcm_t* device = nullptr;   // none after a failure or Ctrl-C
  int deviceError = 0;           // the code a failed write left
  int readError = 0;             // the errno a failed sample read left
  unsigned long period = 0;       // frames per write, as the device granted
  std::vector<char> readBuffer;   // mono samples from the file
  std::vector<char> outputBuffer; // stereo frames for the device
};

// Reads up to `frames` whole frames of the file at frame `first`; returns
// how many came, and a failed read's errno in `error`.
inline size_t ReadFileFrames(const PlaybackState& s, int64_t first, size_t frames, char* into,
                             int& error) {
  const size_t frameSize = size_t{s.current.bytesPerSample} * s.current.channels;
  const uint64_t offset = s.current.dataOffset + static_cast<uint64_t>(first) * frameSize;
  return ReadAt(s.file.fd, into, frames * frameSize, offset, error) / frameSize;
}

#endif  // KESTRUNE_PLAYBACK_PLAYBACK_STATE_H_
