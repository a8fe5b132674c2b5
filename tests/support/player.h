// What the player prints, built the way the player builds it, for tests
// that compare its whole output; and a fixture holding a wave file and a
// capture device that stores every byte the player plays.
#ifndef KESTRUNE_TESTS_SUPPORT_PLAYER_H_
#define KESTRUNE_TESTS_SUPPORT_PLAYER_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/wave_files.h"

extern const std::string kBinary;
constexpr int64_t kPeriod = 4096;  // what ALSA's file device grants

// The seconds the player shows for a frame position.
float Seconds(int64_t frames, uint32_t rate);

std::string Menu(int loops, float start, float stop);
std::string MenuFrames(int loops, int64_t in, int64_t out, uint32_t rate);

// "Playing...", the start and stop lines, and for each pass its loop line
// and one clock line per write (none past `length`), then a line break.
std::string PlayOutput(int64_t in, int64_t out, uint32_t rate, int loops = 1,
                       int64_t length = INT64_MAX);

// The clock values shown in `out`, in order, from `from` on.
std::vector<float> ClockValues(const std::string& out, size_t from = 0);

// A play from `in` to `out` on a device that holds frames back: its lines
// as PlayOutput's, but the clock shows what is heard, so it starts within a
// period of the start, never goes back and ends on the last value
// PlayOutput shows.
testing::AssertionResult HeardPlay(const std::string& text, int64_t in, int64_t out,
                                   uint32_t rate);

// Mono samples of `sampleBytes` bytes as the stereo frames the device is
// handed: each sample twice.
std::string MonoToStereo(const std::string& mono, size_t sampleBytes);

// Compares captured audio with what was expected, reporting the sizes and
// the first byte that differs instead of the bytes themselves.
testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);

class PlayerTest : public testing::Test {
 protected:
  // A canonical file of `frames` pattern frames.
  void MakeWave(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t frames);
  // The frames [first, end) of the file made by MakeWave.
  std::string Frames(int64_t first, int64_t end) const;
  // Runs the player on the capture device and the wave file, then `extra`.
  Result Play(const std::string& input, const std::vector<std::string>& extra = {});
  std::vector<std::string> Args(const std::vector<std::string>& extra = {}) const;
  std::string Captured() const { return ReadFile(capture_); }
  // The tests' own card, "card", playing in real time into the capture
  // file, with the `settings` given; the player finds it with the
  // environment entry returned.
  std::string UsePacedCard(const std::string& settings = "") const;

  TempDir dir_;
  std::string wave_ = dir_.Path("song.wav");
  std::string capture_ = dir_.Path("out.raw");
  std::string device_ = "file:'" + capture_ + "',raw";
  uint32_t frameSize_ = 4;
};

#endif  // KESTRUNE_TESTS_SUPPORT_PLAYER_H_
