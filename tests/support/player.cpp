#include "tests/support/player.h"

#include <algorithm>
#include <cstdio>

const std::string kBinary = KESTRUNE_BINARY;

namespace {

std::string Format(const char* format, double value) {
  char text[128];
  snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

float Seconds(int64_t frames, uint32_t rate) {
  return rate == 0 ? 0.0f : static_cast<float>(frames) / static_cast<float>(rate);
}

std::string Menu(int loops, float start, float stop) {
  char play[160];
  snprintf(play, sizeof play, "\n'p' to play with current settings: %.2f to %.2f sec", start,
           stop);
  return "\n'i' to set in\n'o' to set out\n'l' to change number of loops (" +
         std::to_string(loops) + ")" + play +
         "\n'w' to play whole file\n'x' to exit\n'+' to show additional commands\n";
}

std::string MenuFrames(int loops, int64_t in, int64_t out, uint32_t rate) {
  return Menu(loops, Seconds(in, rate), Seconds(out, rate));
}

std::string PlayOutput(int64_t in, int64_t out, uint32_t rate, int loops, int64_t length) {
  std::string text = "Playing...\n" + Format("start = %.2f sec\n", Seconds(in, rate)) +
                     Format("stop  = %.2f sec\n", Seconds(out, rate));
  for (int pass = 0; pass < loops; ++pass) {
    if (loops != 1) text += "\nLoops remaining: " + std::to_string(loops - pass - 1) + "\n";
    for (int64_t at = in; at < std::min(out, length); at += kPeriod)
      text += Format("\rclock = %.2f sec", Seconds(at, rate));
  }
  return text + "\n";
}

std::vector<float> ClockValues(const std::string& out, size_t from) {
  std::vector<float> values;
  const std::string mark = "\rclock = ";
  for (size_t at = out.find(mark, from); at != std::string::npos; at = out.find(mark, at + 1))
    values.push_back(std::stof(out.substr(at + mark.size())));
  return values;
}

testing::AssertionResult HeardPlay(const std::string& text, int64_t in, int64_t out,
                                   uint32_t rate) {
  const std::string unheld = PlayOutput(in, out, rate);
  const size_t clock = unheld.find('\r'), at = text.find(unheld.substr(0, clock));
  if (at == std::string::npos) return testing::AssertionFailure() << "no play in " << text;
  const size_t end = text.find("\n", at + clock);
  const std::vector<float> shown = ClockValues(text.substr(0, end), at);
  const std::vector<float> expected = ClockValues(unheld);
  const float period = Seconds(kPeriod, rate);
  if (shown.empty() || shown.front() < expected.front() ||
      shown.front() > expected.front() + period || shown.back() != expected.back() ||
      !std::is_sorted(shown.begin(), shown.end()))
    return testing::AssertionFailure() << "clock " << text.substr(at + clock, end - at - clock);
  return testing::AssertionSuccess();
}

std::string MonoToStereo(const std::string& mono, size_t sampleBytes) {
  std::string stereo;
  for (size_t at = 0; at < mono.size(); at += sampleBytes)
    stereo += mono.substr(at, sampleBytes) + mono.substr(at, sampleBytes);
  return stereo;
}

testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return testing::AssertionFailure() << actual.size() << " bytes where " << expected.size()
                                     << " were expected; the first difference at byte " << at;
}

void PlayerTest::MakeWave(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t frames) {
  frameSize_ = channels * (bits / 8u);
  WriteFile(wave_, CanonicalWave(channels, rate, bits, PatternFrames(0, frames, frameSize_)));
}

std::string PlayerTest::Frames(int64_t first, int64_t end) const {
  return PatternFrames(static_cast<uint32_t>(first), static_cast<uint32_t>(end - first),
                       frameSize_);
}

std::string PlayerTest::UsePacedCard(const std::string& settings) const {
  WriteFile(dir_.Path(".asoundrc"), "pcm_type.standin { lib \"" STANDIN_CARD "\" }\n"
                                    "pcm.card { type standin paced \"1\" capture \"" +
                                        capture_ + "\" " + settings + " }\n");
  return "HOME=" + dir_.path();
}

std::vector<std::string> PlayerTest::Args(const std::vector<std::string>& extra) const {
  std::vector<std::string> args{device_, wave_};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

Result PlayerTest::Play(const std::string& input, const std::vector<std::string>& extra) {
  return RunProgram(kBinary, Args(extra), input);
}
