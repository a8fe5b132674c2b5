#include "playback/follow.h"

#include <algorithm>
#include <cstring>

bool ReadLengthAgain(PlaybackState& s) {
  WaveAttributes now;
  if (!ReadAttributesQuietly(s.file, now) || now.rate != s.current.rate ||
      now.bytesPerSample != s.current.bytesPerSample || now.channels != s.current.channels ||
      now.dataOffset != s.current.dataOffset)
    return false;
  s.length = now.frames;
  return true;
}

bool MoreFramesWritten(PlaybackState& s) {
  const uint32_t before = s.length;
  return ReadLengthAgain(s) && s.length > before;
}

namespace {

// The bytes at the start and the data chunk's own header, as at the last
// look; the first look after a new header reading only remembers them.
bool HeaderAsBefore(PlaybackState& s) {
  HeaderBytes& kept = s.headerBytes;
  // The sizes and the format are in the first bytes of every file a
  // recorder writes; a data chunk further on has its size in its own header.
  const size_t dataOffset = s.current.dataOffset;
  const size_t start = std::min(dataOffset, sizeof kept.bytes - 8);
  char now[sizeof kept.bytes];
  int error = 0;
  size_t size = ReadAt(s.file.fd, now, start, 0, error);
  if (size == start && dataOffset > start && dataOffset >= 8)
    size += ReadAt(s.file.fd, now + start, 8, dataOffset - 8, error);
  const bool same = kept.size == size && memcmp(kept.bytes, now, size) == 0;
  memcpy(kept.bytes, now, size);
  kept.size = size;
  return same;
}

}  // namespace

bool DataStillThere(PlaybackState& s) {
  if (HeaderAsBefore(s) || ReadLengthAgain(s)) return true;
  s.headerBytes.size = 0;  // looked at whole again next time
  return false;
}
