// Underrun recovery at the library boundary. No device here reports an
// underrun on demand, so this test links stand-ins for the two library
// calls involved: they pass through to ALSA, except that a write can be
// made to fail once with -EPIPE, as it does when a sound card ran dry.
#include <dlfcn.h>

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "output/pcm_output.h"
#include "tests/support/wave_files.h"

namespace {

int failNextWrites = 0;
// What reached the library, in order: W a write passed through, F a write
// failed with -EPIPE, P a prepare.
std::string calls;

}  // namespace

extern "C" snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t* pcm, const void* buffer,
                                            snd_pcm_uframes_t size) {
  using Write = snd_pcm_sframes_t (*)(snd_pcm_t*, const void*, snd_pcm_uframes_t);
  static Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "snd_pcm_writei"));
  if (failNextWrites > 0) {
    --failNextWrites;
    calls += 'F';
    return -EPIPE;
  }
  calls += 'W';
  return real(pcm, buffer, size);
}

extern "C" int snd_pcm_prepare(snd_pcm_t* pcm) {
  using Prepare = int (*)(snd_pcm_t*);
  static Prepare real = reinterpret_cast<Prepare>(dlsym(RTLD_NEXT, "snd_pcm_prepare"));
  // The library's plugins prepare their slaves through this same call; only
  // the outermost call is the player's.
  static int depth = 0;
  if (depth == 0) calls += 'P';
  ++depth;
  int rc = real(pcm);
  --depth;
  return rc;
}

namespace {

struct Capture {
  TempDir dir;
  std::string path = dir.Path("out.raw");
  unsigned long period = 0;
  snd_pcm_t* pcm = OpenDevice("file:'" + path + "',raw", 8000, 2, period);
};

TEST(Underrun, DevicePreparedAndTheSameFramesWrittenAgain) {
  Capture c;
  std::string a = PatternFrames(0, 100, 4), b = PatternFrames(100, 100, 4);
  WritePeriod(c.pcm, a.data(), 100);
  calls.clear();
  failNextWrites = 1;
  WritePeriod(c.pcm, b.data(), 100);
  EXPECT_EQ(calls.substr(0, 3), "FPW");
  CloseDevice(c.pcm);
  EXPECT_EQ(ReadFile(c.path), a + b);
}

TEST(Underrun, SecondFailureIsLetPass) {
  Capture c;
  std::string a = PatternFrames(0, 100, 4), b = PatternFrames(100, 100, 4);
  calls.clear();
  failNextWrites = 2;
  WritePeriod(c.pcm, a.data(), 100);  // lost: it failed twice
  EXPECT_EQ(calls, "FPF");
  WritePeriod(c.pcm, b.data(), 100);
  CloseDevice(c.pcm);
  EXPECT_EQ(ReadFile(c.path), b);
}

}  // namespace
