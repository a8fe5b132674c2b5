// The PCM output against ALSA's own file device, which stores every byte it
// is handed, and Interleave on its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "output/interleave.h"
#include "output/pcm_output.h"
#include "tests/support/wave_files.h"

namespace {

std::string FileDevice(const std::string& path) { return "file:'" + path + "',raw"; }

void WriteAndCapture(uint32_t bytesPerSample, uint32_t rate) {
  TempDir dir;
  const std::string capture = dir.Path("out.raw");
  unsigned long period = 0;
  snd_pcm_t* pcm = OpenDevice(FileDevice(capture), rate, bytesPerSample, period);
  ASSERT_EQ(period, 4096u);
  const uint32_t frameSize = 2 * bytesPerSample;
  std::string first = PatternFrames(0, 4096, frameSize);
  std::string second = PatternFrames(4096, 1000, frameSize);
  WritePeriod(pcm, first.data(), 4096);
  WritePeriod(pcm, second.data(), 1000);
  CloseDevice(pcm);
  EXPECT_EQ(ReadFile(capture), first + second);
}

TEST(PcmOutput, BytesArriveUnchanged) {
  WriteAndCapture(2, 44100);  // S16_LE
  WriteAndCapture(3, 48000);  // S24_3LE
  WriteAndCapture(2, 8000);
}

TEST(PcmOutput, UnknownDeviceIsRefusedWithTheLibrarysReason) {
  unsigned long period = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenDevice("nosuchdev", 44100, 2, period), nullptr);
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              testing::MatchesRegex("(.|\n)*unable to open pcm device: [^\n]+\n$"));
}

TEST(PcmOutput, ConvertingDevicesAreNamedAsALSATakesThem) {
  EXPECT_EQ(ConvertingDevice("hw:0,0"), "plughw:0,0");
  EXPECT_EQ(ConvertingDevice("hw:CARD=PCH,DEV=3"), "plughw:CARD=PCH,DEV=3");
  EXPECT_EQ(ConvertingDevice("hw"), "plughw");
  EXPECT_EQ(ConvertingDevice("usbcard"), "plug:usbcard");
  EXPECT_EQ(ConvertingDevice("dmix:1,0"), "plug:'dmix:1,0'");
  EXPECT_EQ(ConvertingDevice("file:'/tmp/a.raw',raw"), "plug:\"file:'/tmp/a.raw',raw\"");
  EXPECT_EQ(ConvertingDevice("plughw:0,0"), "");
  EXPECT_EQ(ConvertingDevice("plug:usbcard"), "");
}

TEST(Interleave, MonoSamplesAreHeardOnBothChannels) {
  std::string out(8, '?');
  Interleave(2, 2, "\x01\x02\x03\x04", "\x01\x02\x03\x04", out.data());
  EXPECT_EQ(out, std::string("\x01\x02\x01\x02\x03\x04\x03\x04", 8));

  std::string out24(12, '?');
  Interleave(2, 3, "\xA1\xA2\xA3\xB1\xB2\xB3", "\xC1\xC2\xC3\xD1\xD2\xD3", out24.data());
  EXPECT_EQ(out24, "\xA1\xA2\xA3\xC1\xC2\xC3\xB1\xB2\xB3\xD1\xD2\xD3");
}

TEST(Interleave, WideningMatchesThePlainLoopAtAnyLengthAndAlignment) {
  // Lengths around the vector blocks of 16 and 32 frames; the input ends
  // exactly where its samples do, so a read past them shows under the
  // sanitizer, and the output is compared with its surroundings.
  const std::string samples = PatternFrames(0, 200, 3);
  for (unsigned width : {2u, 3u}) {
    for (long frames : {1, 15, 16, 17, 31, 32, 33, 48, 63, 64, 65, 100, 199}) {
      for (size_t shift : {0, 1, 3}) {
        std::vector<char> in(shift + frames * width);
        std::copy_n(samples.begin(), frames * width, in.begin() + shift);
        std::string vector(2 * width * frames + 16, '?'), plain = vector;
        Interleave(frames, width, in.data() + shift, in.data() + shift, vector.data() + shift);
        InterleavePortable(frames, width, in.data() + shift, in.data() + shift,
                           plain.data() + shift);
        EXPECT_EQ(vector, plain) << width << " bytes, " << frames << " frames, shift " << shift;
      }
    }
  }
}

TEST(Interleave, OtherWidthsAndEmptyRunsLeaveTheOutputAlone) {
  std::string out(16, '?');
  Interleave(2, 4, "abcdefgh", "abcdefgh", out.data());
  Interleave(2, 1, "ab", "ab", out.data());
  Interleave(0, 2, "ab", "ab", out.data());
  Interleave(-3, 2, "ab", "ab", out.data());
  EXPECT_EQ(out, std::string(16, '?'));
}

}  // namespace
