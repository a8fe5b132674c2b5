// Jumps and nudges: their bounds on the selection directly, and the
// listing and the nudge amount prompt through the binary.
#include <climits>

#include "playback/additional_commands.h"
#include "tests/support/player.h"

namespace {

constexpr uint32_t kRate = 8000;

struct Selection {
  int64_t in, out;
  bool operator==(const Selection& o) const { return in == o.in && out == o.out; }
};

std::ostream& operator<<(std::ostream& os, const Selection& s) {
  return os << "[" << s.in << ", " << s.out << ")";
}

// Applies `words` to a selection of a 30-second file, in seconds.
Selection After(double in, double out, std::initializer_list<const char*> words,
                int32_t amount = 12000) {
  PlaybackState s;
  s.snapshot.rate = kRate;
  s.length = 30 * kRate;
  s.inPoint = static_cast<int32_t>(in * kRate);
  s.outPoint = static_cast<int32_t>(out * kRate);
  s.nudgeAmount = amount;
  for (const char* word : words) ApplyAdditionalCommand(word, s);
  return {s.inPoint, s.outPoint};
}

Selection Seconds(double in, double out) {
  return {static_cast<int64_t>(in * kRate), static_cast<int64_t>(out * kRate)};
}

TEST(Jump, MovesTheSelectionByItsWidthWithinTheFile) {
  EXPECT_EQ(After(10, 15, {"j"}), Seconds(15, 20));
  EXPECT_EQ(After(10, 15, {"J"}), Seconds(5, 10));
  EXPECT_EQ(After(10, 15, {"j", "J"}), Seconds(10, 15));
  // Near the ends the selection narrows.
  EXPECT_EQ(After(20, 28, {"j"}), Seconds(28, 30));
  EXPECT_EQ(After(3, 8, {"J"}), Seconds(0, 3));
}

TEST(Nudge, StartAloneNeverPassesTheStop) {
  EXPECT_EQ(After(10, 15, {"n"}), Selection({80000 + 12000, 120000}));
  EXPECT_EQ(After(10, 11, {"n"}), Seconds(11, 11));
  EXPECT_EQ(After(10, 15, {"b"}), Selection({80000 - 12000, 120000}));
  EXPECT_EQ(After(1, 15, {"b"}), Selection({0, 120000}));
}

TEST(Nudge, StopAloneNeverPassesTheStart) {
  EXPECT_EQ(After(10, 15, {"no"}), Selection({80000, 120000 + 12000}));
  EXPECT_EQ(After(10, 29.5, {"no"}), Seconds(10, 30));
  EXPECT_EQ(After(10, 15, {"bo"}), Selection({80000, 120000 - 12000}));
  EXPECT_EQ(After(10, 11, {"bo"}), Seconds(10, 10));
}

TEST(Nudge, BothMoveTogetherEachWithItsOwnBound) {
  EXPECT_EQ(After(10, 15, {"N"}), Selection({92000, 132000}));
  EXPECT_EQ(After(10, 15, {"B"}), Selection({68000, 108000}));
  // At the end only the start moves on, past the stop; the start has no
  // bound of its own.
  EXPECT_EQ(After(29, 30, {"N", "N"}), Selection({232000 + 24000, 240000}));
  // Near the start each point stops at 0 by itself.
  EXPECT_EQ(After(0.5, 2, {"B"}), Selection({0, 4000}));
  EXPECT_EQ(After(0.5, 2, {"B", "B"}), Selection({0, 0}));
}

TEST(Nudge, HugeAmountsSaturateInsteadOfWrapping) {
  EXPECT_EQ(After(10, 15, {"N", "N", "N"}, INT32_MAX), Selection({INT32_MAX, 240000}));
  EXPECT_EQ(After(10, 15, {"bo", "b", "B"}, INT32_MAX), Selection({0, 0}));
  EXPECT_EQ(After(10, 15, {"n", "n"}, INT32_MAX), Seconds(15, 15));
  // The stop's bound compares as unsigned: a stop still negative after the
  // nudge counts as beyond the end.
  EXPECT_EQ(After(-20, -10, {"no"}), Selection({-160000, 240000}));
}

TEST(Nudge, OtherWordsLeaveTheSelectionAlone) {
  EXPECT_EQ(After(10, 15, {"x", "p", "jj", "nnn", "o", ""}), Seconds(10, 15));
}

using AdditionalCommandsTest = PlayerTest;

const std::string kListing =
    "\nAdditional Commands:\n"
    "\t'j' to jump time selection ahead\n"
    "\t'J' to jump time selection back\n"
    "\t'n' to nudge start forward\n"
    "\t'b' to nudge start backward\n"
    "\t'no' to nudge stop point forward\n"
    "\t'bo' to nudge stop point backward\n"
    "\t'N' to nudge both start and stop forward\n"
    "\t'B' to nudge both start and stop backward\n"
    "\t'nn' to set nudge amount\n"
    "\t'f' to show the selection in frames\n";

std::string NudgePrompt(const char* current) {
  return std::string("\nCurrent Nudge Amount = ") + current +
         "\nEnter new nudge amount (in samples) or '0' to keep settings\n";
}

TEST_F(AdditionalCommandsTest, PlusListsTheCommands) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play("+\nx\n");
  EXPECT_EQ(r.out, Menu(1, 0, 1) + kListing + Menu(1, 0, 1) + "\n");
}

TEST_F(AdditionalCommandsTest, NudgeAmountTakesOnlyPositiveNumbers) {
  MakeWave(2, kRate, 16, 240000);
  // 0 and -5 keep 12000; 800 is a tenth of a second; then hexadecimal and
  // octal; a word keeps the amount and is read as the next command.
  Result r = Play("nn\n0\nnn\n-5\nnn\n0.05\nnn\n800\nn\nnn\n0x10\nnn\n010\nnn\nbo\nnn\nx\n");
  EXPECT_EQ(r.status, 0);
  const std::string m0 = Menu(1, 0, 30);
  EXPECT_EQ(r.out, m0 + NudgePrompt("12000 samples or 1.500 sec") + m0 +
                       NudgePrompt("12000 samples or 1.500 sec") + m0 +
                       NudgePrompt("12000 samples or 1.500 sec") + m0 + m0 +
                       NudgePrompt("12000 samples or 1.500 sec") + m0 + Menu(1, 0.1f, 30) +
                       NudgePrompt("800 samples or 0.100 sec") + Menu(1, 0.1f, 30) +
                       NudgePrompt("16 samples or 0.002 sec") + Menu(1, 0.1f, 30) +
                       NudgePrompt("8 samples or 0.001 sec") + Menu(1, 0.1f, 30) +
                       Menu(1, 0.1f, 29.999f) + NudgePrompt("8 samples or 0.001 sec") +
                       MenuFrames(1, 800, 239992, kRate) + "\n");
  EXPECT_EQ(r.err,
            "kestrune: -5 is not a positive number of samples: kept 12000\n"
            "kestrune: 0.05 is not a whole number of samples: kept 12000\n"
            "kestrune: 010 reads as octal (a leading 0): took 8\n"
            "kestrune: bo is not a number of samples: kept 8\n");
}

TEST_F(AdditionalCommandsTest, NudgeAmountSaturatesAndSurvivesTheEndOfInput) {
  MakeWave(2, 0, 16, 8000);
  Result r = Play("nn\n99999999999\nf\nnn\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 0) + NudgePrompt("12000 samples or 0.000 sec") + Menu(1, 0, 0) +
                       "\nin-point  = 0 frames = 0.000000 sec\nout-point = 8000 frames = "
                       "0.000000 sec\nlength    = 8000 frames = 0.000000 sec\n" +
                       Menu(1, 0, 0) + NudgePrompt("2147483647 samples or 0.000 sec") +
                       Menu(1, 0, 0) + "\n");
}

TEST_F(AdditionalCommandsTest, FramesShowWhatTheMenuRounds) {
  MakeWave(2, kRate, 16, 240000);
  Result r = Play("nn\n100\nn\nf\nj\nf\nx\n", {"10", "15"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 10, 15) + NudgePrompt("12000 samples or 1.500 sec") + Menu(1, 10, 15) +
                       MenuFrames(1, 80100, 120000, kRate) +
                       "\nin-point  = 80100 frames = 10.012500 sec\nout-point = 120000 frames = "
                       "15.000000 sec\nlength    = 39900 frames = 4.987500 sec\n" +
                       MenuFrames(1, 80100, 120000, kRate) + MenuFrames(1, 120000, 159900, kRate) +
                       "\nin-point  = 120000 frames = 15.000000 sec\nout-point = 159900 frames = "
                       "19.987500 sec\nlength    = 39900 frames = 4.987500 sec\n" +
                       MenuFrames(1, 120000, 159900, kRate) + "\n");
}

}  // namespace
