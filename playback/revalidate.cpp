#include "playback/revalidate.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "playback/frames.h"

namespace {

// An editor saves by writing a new file and renaming it over the old one:
// the name then leads to another file than the one held open, and the new
// file's samples are the ones to play.
void FollowTheName(PlaybackState& s, const WaveFile& named) {
  if (named.device == s.file.device && named.inode == s.file.inode) {
    close(named.fd);
  } else {
    close(s.file.fd);
    s.file = named;
  }
}

}  // namespace

void Revalidate(PlaybackState& s) {
  const WaveFile named = OpenWaveFile(s.fileName);
  ReadAttributes(named, s.fileName, s.current);
  FollowTheName(s, named);
  const WaveAttributes& now = s.current;
  if (now.rate != s.snapshot.rate) {
    puts("WARNING: Wavefile samplerate has changed!  Restart the program.");
    exit(1);
  }
  if (now.bytesPerSample != s.snapshot.bytesPerSample) {
    puts("WARNING: Wavefile bit depth has changed!  Restart the program.");
    exit(1);
  }
  if (now.channels != s.snapshot.channels) {
    puts("WARNING: Wavefile channel number has changed!  Restart the program.");
    exit(1);
  }
  const uint32_t before = s.length;
  s.length = now.frames;
  s.headerBytes.size = 0;
  if (now.frames != s.snapshot.frames) {
    puts("WARNING: Wavefile length has changed!");
    // An out-point past the end is pulled back to it, a negative one too
    // (compared unsigned); but a recording that grew since the last reading
    // keeps an out-point ahead of it, and a play follows it there.
    const bool followed = s.outPoint >= 0 && now.frames > before;
    if (now.frames < static_cast<uint32_t>(s.outPoint) && !followed)
      s.outPoint = ClampToFrame(int64_t{now.frames});
  }
}

