// The clock's own formatting must print exactly what "%.2f" prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "playback/clock.h"

namespace {

std::string Mine(float value) {
  char out[64];
  return std::string(out, FormatTwoDecimals(value, out));
}

std::string Printf(float value) {
  char out[64];
  snprintf(out, sizeof out, "%.2f", value);
  return out;
}

TEST(Clock, TiesAndSignsRoundAsPrintfDoes) {
  for (float v : {0.0f, -0.0f, 0.125f, 0.375f, 2.675f, 0.005f, -0.004f, -0.005f, -1.125f,
                  99.995f, 1e9f, -2147483648.0f / 8000, 3.4e38f, -3.4e38f})
    EXPECT_EQ(Mine(v), Printf(v)) << v;
}

TEST(Clock, EveryPeriodPositionAtCommonRates) {
  for (float rate : {8000.0f, 11025.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f}) {
    for (int64_t position = -(1 << 20); position < INT32_MAX; position += 4096 * 7) {
      const float clock = static_cast<float>(position) / rate;
      ASSERT_EQ(Mine(clock), Printf(clock)) << position << " at " << rate;
    }
  }
}

TEST(Clock, RandomFloats) {
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> bits;
  for (int i = 0; i < 200000; ++i) {
    uint32_t b = bits(random);
    float v;
    memcpy(&v, &b, sizeof v);
    ASSERT_EQ(Mine(v), Printf(v)) << b;
  }
}

}  // namespace

namespace {

TEST(Clock, HeardPositionLagsByWhatTheDeviceHolds) {
  // A loop of 0 to 5000 in writes of 4096 and 904 frames, then the next pass,
  // on a device playing 1000 frames a second from time 100.
  HeardTrack track;
  StartTrack(track, 1000, 100);
  NoteWrite(track, 0, 4096);
  EXPECT_EQ(HeardPosition(track, 4096, 200), 0);  // nothing heard yet
  NoteWrite(track, 4096, 904);
  EXPECT_EQ(HeardPosition(track, 3000, 200), 2000);
  EXPECT_EQ(HeardPosition(track, 4000, 200), 2000);  // never back
  NoteWrite(track, 0, 4096);
  EXPECT_EQ(HeardPosition(track, 5000, 200), 4096);  // still the first pass
  EXPECT_EQ(HeardPosition(track, 0, 200), 0);        // nothing held: the last write's first frame
}

TEST(Clock, NoFrameIsHeardBeforeItsTime) {
  // A device that plays in real time, and says it holds nothing right after
  // a prepare: what it has played is what its rate allows since the play
  // began.
  HeardTrack track;
  StartTrack(track, 1000, 0);
  NoteWrite(track, 0, 4096);
  EXPECT_EQ(HeardPosition(track, 0, 0), 0);
  NoteWrite(track, 4096, 4096);
  EXPECT_EQ(HeardPosition(track, 0, 0), 4096);   // taken at once: a file
  EXPECT_EQ(HeardPosition(track, 8000, 0), 4096);  // holds frames: plays in real time
  StartTrack(track, 1000, 100);
  NoteWrite(track, 50, 4096);
  NoteWrite(track, 4146, 4096);
  EXPECT_EQ(HeardPosition(track, 0, 100), 50);
  EXPECT_EQ(HeardPosition(track, 0, 101.5), 1550);
  EXPECT_EQ(HeardPosition(track, 0, 99), 1550);       // never back, even so
  EXPECT_EQ(HeardPosition(track, 8000, 110), 1550);   // a device that holds more is believed
  EXPECT_EQ(HeardPosition(track, 4100, 110), 4142);
}

}  // namespace
