// Jumps and nudges: their bounds on the selection directly, and the
// listing and the nudge amount prompt through the binary.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <functional>
#include <random>

#include "playback/additional_commands.h"
#include "tests/support/player.h"
#include "wave/wave_header.h"

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
    "\t'f' to show the selection in frames\n"
    "\t'z' to snap in and out to rising zero crossings\n"
    "\t'v' to view the selection's levels\n"
    "\t's' to save the selection as a new wave file\n"
    "\t'k' to choose the selection from the file's markers\n"
    "\t'm' to move the out-point to where the loop's seam matches best\n";

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

TEST_F(AdditionalCommandsTest, SaveWritesExactlyTheSelectedFrames) {
  // 16-bit stereo, and 24-bit mono whose odd size takes a pad byte before
  // the loop chunk; the selection is the second second less its first frame.
  // The file's mode is what the umask leaves of 0666.
  const mode_t mask = umask(022);
  struct Case {
    uint16_t channels, bits;
    uint32_t rate, period;  // the sample period in nanoseconds, rounded
  } cases[] = {{2, 16, kRate, 125000}, {1, 24, 44100, 22676}};
  for (const Case& c : cases) {
    MakeWave(c.channels, c.rate, c.bits, 5 * c.rate);
    const std::string cut = dir_.Path(std::to_string(c.bits) + ".wav");
    const uint32_t frames = c.rate - 1;
    Result r = Play("nn\n1\nn\ns\n" + cut + "\nx\n", {"1", "2"});
    EXPECT_NE(r.out.find("Saved " + std::to_string(frames) + " frames (1.00 sec) to " + cut + "\n"),
              std::string::npos);
    EXPECT_EQ(r.err, "");
    WaveAttributes a;
    GetAttributes(cut, a);
    EXPECT_EQ(a.rate, c.rate);
    EXPECT_EQ(a.channels * a.bytesPerSample, frameSize_);
    EXPECT_EQ(a.frames, frames);
    const std::string file = ReadFile(cut);
    EXPECT_EQ(Assem4(&file[4]), file.size() - 8) << c.bits;
    EXPECT_TRUE(SameBytes(file.substr(a.dataOffset, frames * frameSize_), Frames(c.rate + 1, 2 * c.rate)));
    const size_t smpl = file.find("smpl", a.dataOffset + frames * frameSize_);
    ASSERT_EQ(smpl, file.size() - 68) << c.bits;
    EXPECT_EQ(Assem4(&file[smpl + 16]), c.period);
    EXPECT_EQ(Assem4(&file[smpl + 8 + 36 + 12]), frames - 1);  // the loop's last frame
    struct stat info;
    ASSERT_EQ(stat(cut.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    if (access("/usr/bin/python3", X_OK) == 0) {
      Result python = RunProgram("/usr/bin/python3",
                                 {"-c", "import sys, wave; print(wave.open(sys.argv[1]).getnframes())", cut});
      EXPECT_EQ(python.out, std::to_string(frames) + "\n") << python.err;
    }
  }
  umask(mask);
}

TEST_F(AdditionalCommandsTest, SaveRefusesAndLeavesNoFileBehind) {
  MakeWave(2, kRate, 16, 8000);
  WriteFile(dir_.Path("kept.wav"), "kept");
  const std::string readOnly = "/sys/cut.wav";  // a folder root cannot write in either
  const std::string exists = " exists: nothing saved (a save never replaces a file)";
  struct Case {
    std::string name;
    std::vector<std::string> times;
    std::string err;
  } cases[] = {
      {dir_.Path("kept.wav"), {}, dir_.Path("kept.wav") + exists},
      {dir_.path() + "/./song.wav", {}, dir_.path() + "/./song.wav" + exists},
      {dir_.Path("none/cut.wav"), {}, "cannot save to " + dir_.Path("none/cut.wav") + ": No such file or directory"},
      {readOnly, {}, "cannot save to " + readOnly + ": Permission denied"},
      {dir_.Path("cut.wav"), {"0.5", "0.25"},
       "the selection holds no frame of the file (in-point 4000, out-point 2000, length 8000): nothing saved"},
      {dir_.Path(std::string(256, 'n')), {}, "cannot save to " + dir_.Path(std::string(256, 'n')) +
                                                 ": File name too long"},
  };
  for (const Case& c : cases) {
    Result r = Play("s\n" + c.name + "\nx\n", c.times);
    EXPECT_EQ(r.status, 0) << c.name;
    EXPECT_EQ(r.err, "kestrune: " + c.err + "\n");
    EXPECT_EQ(dir_.Names(), (std::set<std::string>{"kept.wav", "out.raw", "song.wav"})) << c.name;
  }
  EXPECT_EQ(ReadFile(dir_.Path("kept.wav")), "kept");
  EXPECT_TRUE(SameBytes(ReadFile(wave_).substr(44), Frames(0, 8000)));
}

TEST_F(AdditionalCommandsTest, SaveNamesAsPeopleTypeThem) {
  // The rest of the line after s, or the next line, whole; ~/ is the home
  // folder; an empty line saves nothing; x alone ends the program.
  MakeWave(2, kRate, 16, 8000);
  struct Case {
    std::string input;
    std::string saved;  // the file written, or ""
    std::string err;
    std::string out;    // what standard output holds after the prompt
  } cases[] = {
      {"s " + dir_.Path("my cut.wav") + "\nx\n", "my cut.wav", "", "Saved 4000 frames"},
      {"s\n  " + dir_.Path("my cut.wav") + " \nx\n", "my cut.wav", "", "Saved 4000 frames"},
      {"s\n~/take 2.wav\nx\n", "take 2.wav", "", "Saved 4000 frames"},
      {"s\n\nx\n", "", "kestrune: nothing saved\n", Menu(1, 0.5, 1)},
      {"s\nx\nf\n", "", "", "\n"},
      {"s\n", "", "kestrune: nothing saved\n", Menu(1, 0.5, 1)},
  };
  for (const Case& c : cases) {
    Session session(kBinary, Args({"0.5", "1"}), {"HOME=" + dir_.path()});
    session.Send(c.input);
    EXPECT_EQ(session.Finish(), 0) << c.input;
    const std::string& out = session.out();
    const std::string prompt = "Enter the name of the file to save the selection to: \n";
    ASSERT_NE(out.find(prompt), std::string::npos) << c.input;
    EXPECT_EQ(out.substr(out.find(prompt) + prompt.size(), c.out.size()), c.out) << c.input;
    EXPECT_EQ(session.err(), c.err) << c.input;
    std::set<std::string> names{"out.raw", "song.wav"};
    if (!c.saved.empty()) names.insert(c.saved);
    EXPECT_EQ(dir_.Names(), names) << c.input;
    if (!c.saved.empty()) unlink(dir_.Path(c.saved).c_str());
  }
}

// Whether `pid` holds a file open in `folder`: a save's file, named or not.
bool WritingIn(pid_t pid, const std::string& folder) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
  for (int fd = 3; fd < 64; ++fd) {
    char target[4096];
    const ssize_t n = readlink((fds + std::to_string(fd)).c_str(), target, sizeof target - 1);
    const std::string name = n > 0 ? std::string(target, n) : "";
    if (name.rfind(folder + "/", 0) == 0 && name.find("/song.wav") == std::string::npos &&
        name.find("/out.raw") == std::string::npos)
      return true;
  }
  return false;
}

TEST_F(AdditionalCommandsTest, SaveEndedAnyWayLeavesNothingBehind) {
  // A 2 GiB selection of a sparse file, ended by a signal while it is being
  // copied: kill -9, Ctrl-C in a pipe, SIGTERM, a closed terminal; and
  // Ctrl-C on a terminal, which cancels the save and keeps the session.
  WriteRecordingWave(wave_, 2, kRate, 16, uint64_t{2} << 30);
  const std::string cut = dir_.Path("cut.wav");
  struct Case {
    int signal;
    bool terminal;
    int status;
  } cases[] = {{SIGKILL, false, 128 + SIGKILL}, {SIGINT, false, 128 + SIGINT},
               {SIGTERM, false, 128 + SIGTERM}, {SIGHUP, false, 128 + SIGHUP},
               {SIGINT, true, 0}};
  for (const Case& c : cases) {
    Session s(kBinary, Args(), {}, c.terminal);
    s.Send("s\n" + cut + "\n");
    for (int tries = 0; !WritingIn(s.pid(), dir_.path()); ++tries) {
      ASSERT_LT(tries, 2000) << c.signal;
      usleep(1000);
    }
    kill(s.pid(), c.signal);
    const auto sent = std::chrono::steady_clock::now();
    if (c.terminal) {
      ASSERT_TRUE(s.WaitFor("commands\n", 2, 5));
      EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(500));
      s.Send("x\n");
    }
    EXPECT_EQ(s.Finish(), c.status) << c.signal;
    EXPECT_EQ(s.err(), c.terminal ? "kestrune: save cancelled: nothing saved\n" : "");
    EXPECT_EQ(dir_.Names(), (std::set<std::string>{"out.raw", "song.wav"})) << c.signal;
  }
}

TEST_F(AdditionalCommandsTest, SaveOfASelectionReachingOutsideTheFileSaysWhatItSaves) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play("s\n" + dir_.Path("cut.wav") + "\nx\n", {"-0.5", "0.5"});
  EXPECT_EQ(r.err, "kestrune: start -0.5 sec is before the file: 0.5 sec of silence play first\n"
                   "kestrune: the selection reaches outside the file: frames 0 to 4000 are saved\n");
  EXPECT_TRUE(SameBytes(ReadFile(dir_.Path("cut.wav")).substr(44, 4000 * 4), Frames(0, 4000)));
}

TEST_F(AdditionalCommandsTest, ZeroCrossingsAreTheNearestRisingOnesWithinTenMilliseconds) {
  // At 8192 Hz every frame's time is exact and 10 ms are 81 frames. The
  // first channel is -100 but at frames 478 and 522, +100 there: rising
  // crossings at both (the other channel the other way round).
  constexpr uint32_t kExactRate = 8192;
  const std::string none = "no rising zero crossing within 10 ms of the ";
  struct Case {
    uint16_t channels, bits;
    int64_t in, out, snappedIn, snappedOut;
    std::string err;
  } cases[] = {
      // As near to one crossing as to the other: the earlier.
      {1, 16, 500, 750, 478, 750, none + "out-point (frame 750): it stays"},
      // A crossing exactly 10 ms away is within reach.
      {2, 24, 397, 603, 478, 522, ""},
      // Both points would meet at 478: the in-point stays.
      {1, 16, 470, 474, 470, 478,
       "the nearest rising zero crossing to the in-point (frame 478) is at or past the "
       "out-point: it stays"},
  };
  for (const Case& c : cases) {
    std::string data;
    for (int k = 0; k < 1000; ++k)
      for (int channel = 0; channel < c.channels; ++channel) {
        const int32_t v = ((k == 478 || k == 522) == (channel == 0)) ? 100 : -100;
        data += Le32(static_cast<uint32_t>(v)).substr(0, c.bits / 8);
      }
    WriteFile(wave_, CanonicalWave(c.channels, kExactRate, c.bits, data));
    char in[32], out[32];
    snprintf(in, sizeof in, "%.17g", c.in / 8192.0);
    snprintf(out, sizeof out, "%.17g", c.out / 8192.0);
    Result r = Play("z\nx\n", {in, out});
    EXPECT_NE(r.out.find("\nin-point  = " + std::to_string(c.snappedIn) + " frames = "),
              std::string::npos) << c.in;
    EXPECT_NE(r.out.find("\nout-point = " + std::to_string(c.snappedOut) + " frames = "),
              std::string::npos) << c.out;
    EXPECT_EQ(r.err, c.err.empty() ? "" : "kestrune: " + c.err + "\n");
  }
}

TEST_F(AdditionalCommandsTest, ZeroCrossingsOfAHeaderClaimingAHugeRateNeedLittleMemory) {
  // 10 ms at that rate would be 43 million frames of the sparse 256 MiB.
  WriteRecordingWave(wave_, 2, 0xFFFFFFFFu, 16, uint64_t{256} << 20);
  Result r = Play("z\nv\nx\n", {"0", "1e-9"});
  EXPECT_EQ(r.status, 0);
  rusage children;
  getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss, 20 << 10);  // KiB
}

TEST_F(AdditionalCommandsTest, MarkersChooseTheSelectionAndTravelWithASave) {
  // Ten seconds at 8000 Hz: a labelled cue point at 1 s and a region from
  // 2 s to 3 s, listed before the data; a loop from 0.5 s to 0.75 s after it.
  const std::string list = Chunk("LIST", "adtl" + CueText("labl", 1, "take 3 caf\xc3\xa9\xc2\x9b") +
                                             CueText("labl", 2, "chorus\x1b[2J") + RegionText(2, 8000));
  WriteFile(wave_, Riff(Chunk("fmt ", FormatBody(1, kRate, 16)) + CueChunk({{1, 0, 8000}, {2, 0, 16000}}) +
                        list + Chunk("data", PatternFrames(0, 80000, 2)) + SamplerLoop(4000, 5999)));
  const std::string listing =
      "\nMarkers in " + wave_ + ":\n"
      "  1  loop 0:00.500 - 0:00.750  frames 4000 - 6000\n"
      "  2  0:01.000  frame 8000  take 3 caf\xc3\xa9??\n"
      "  3  0:02.000 - 0:03.000  frames 16000 - 24000  chorus?[2J  (a region)\n"
      "Enter a marker's number to select it, or 0 to keep the selection:\n";
  auto frames = [](const char* in, const char* out, const char* length) {
    return std::string("\nin-point  = ") + in + "\nout-point = " + out + "\nlength    = " + length + "\n";
  };
  const std::string cut = dir_.Path("chorus.wav");
  Result r = Play("k\n2\nk\n4\nk\n0\nk\n1\nk\n3\ns\n" + cut + "\nk\nfoo\nx\n");
  EXPECT_EQ(r.out.substr(0, r.out.find("Enter the name")),
            Menu(1, 0, 10) + listing + frames("8000 frames = 1.000000 sec", "16000 frames = 2.000000 sec",
                                              "8000 frames = 1.000000 sec") +
                Menu(1, 1, 2) + listing + Menu(1, 1, 2) + listing + Menu(1, 1, 2) + listing +
                frames("4000 frames = 0.500000 sec", "6000 frames = 0.750000 sec", "2000 frames = 0.250000 sec") +
                Menu(1, 0.5, 0.75) + listing +
                frames("16000 frames = 2.000000 sec", "24000 frames = 3.000000 sec", "8000 frames = 1.000000 sec") +
                Menu(1, 2, 3));
  EXPECT_EQ(r.err, "kestrune: 4 is not a marker's number (1 to 3): the selection stays\n"
                   "kestrune: foo is not a marker's number: the selection stays\n");

  // The saved region keeps its marker, moved to the cut, with the loop.
  const std::string saved = ReadFile(cut);
  EXPECT_EQ(Assem4(&saved[4]), saved.size() - 8);
  Result again = RunProgram(kBinary, {device_, cut}, "k\n1\nx\n");
  EXPECT_NE(again.out.find("\nMarkers in " + cut + ":\n"
                           "  1  0:00.000 - 0:01.000  frames 0 - 8000  chorus?[2J  (a region)\n"
                           "  2  loop 0:00.000 - 0:01.000  frames 0 - 8000\n"),
            std::string::npos)
      << again.out;
  EXPECT_EQ(again.err, "");

  // "v" marks the columns where they begin; a file without markers says so.
  Result view = RunProgram(kBinary, Args(), "v\nx\n", {"COLUMNS=50", "LC_ALL=C"});
  EXPECT_NE(view.out.find("\n  ^  ^    ^\nin-point at"), std::string::npos) << view.out;
  MakeWave(1, kRate, 16, 8000);
  EXPECT_EQ(Play("k\nx\n").out, Menu(1, 0, 1) + "\n" + wave_ + " holds no markers\n" + Menu(1, 0, 1) + "\n");
  // A point at the end of the data is left out, a region past it cut back.
  WriteFile(wave_, Riff(Chunk("fmt ", FormatBody(1, kRate, 16)) + Chunk("data", PatternFrames(0, 8000, 2)) +
                        CueChunk({{1, 0, 8000}, {2, 0, 4000}}) + Chunk("LIST", "adtl" + RegionText(2, 9000))));
  Result past = Play("k\n1\nx\n");
  EXPECT_NE(past.out.find("  1  0:00.500 - 0:01.000  frames 4000 - 8000  (a region)\n"), std::string::npos);
  EXPECT_EQ(past.err, "kestrune: 1 marker of " + wave_ + " begins past the end of its data (frame 8000): left out\n");
}

// `frames` frames of `channels` samples of `bits` bits, sample(frame, channel).
std::string Tone(uint32_t frames, uint16_t channels, uint16_t bits,
                 const std::function<double(uint32_t, uint16_t)>& sample) {
  std::string data;
  for (uint32_t i = 0; i < frames; ++i)
    for (uint16_t c = 0; c < channels; ++c) {
      const auto v = static_cast<int32_t>(std::lround(sample(i, c)));
      data += Le32(static_cast<uint32_t>(v)).substr(0, bits / 8);
    }
  return data;
}

// A fundamental of 100 frames with two harmonics, the channels apart in phase.
double Periodic(uint32_t i, uint16_t c) {
  const double t = 2 * M_PI * i / 100;
  return 8000 * std::sin(t + c) + 4000 * std::sin(2 * t + 0.5) + 2000 * std::sin(3 * t + 1);
}

// The best out-point as the definition gives it, worked out in doubles.
int64_t BruteForceSeam(const std::vector<double>& x, int64_t in, int64_t out, int64_t half, int64_t reach) {
  auto at = [&](int64_t i) { return i >= 0 && i < static_cast<int64_t>(x.size()) ? x[i] : 0.0; };
  int64_t best = -1;
  double least = 0;
  for (int64_t c = std::max(out - reach, in + 1); c <= out + reach; ++c) {
    double differences = 0, energy = 0;
    for (int64_t k = -half; k < half; ++k) {
      differences += (at(in + k) - at(c + k)) * (at(in + k) - at(c + k));
      energy += at(in + k) * at(in + k) + at(c + k) * at(c + k);
    }
    if (best < 0 || differences / energy < least) best = c, least = differences / energy;
  }
  return best;
}

TEST_F(AdditionalCommandsTest, SeamMatchFindsWhereTheLoopGoesOnAsTheFileWould) {
  const std::string fmt2 = Chunk("fmt ", FormatBody(2, 44100, 16));
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0, 200);
  std::vector<double> sine;
  for (uint32_t i = 0; i < 88200; ++i) sine.push_back(10000 * std::sin(2 * M_PI * 437 * i / 44100.0));
  const int64_t sineBest = BruteForceSeam(sine, 1000, 5037, 441, 1102);
  const int64_t nearInBest = BruteForceSeam(sine, 1000, 1890, 441, 1102);
  struct Row {
    const char* name;
    std::string wave;
    std::string in, out;  // as typed: exact frames
    std::string line;     // the match line, from " before"
    int64_t outPoint;     // -1: a whole number of periods from the in-point
  } rows[] = {
      {"periodic stereo", Riff(fmt2 + Chunk("data", Tone(88200, 2, 16, Periodic))), "0.022675737", "0.1142176871",
       " before, 1.000 after: the out-point moved -37 frames (-0.839 ms)\n", 5000},
      {"the best window ends with the file's last frame",
       Riff(fmt2 + Chunk("data", Tone(5441, 2, 16, Periodic))), "0.022675737", "0.1142176871",
       " before, 1.000 after: the out-point moved -37 frames (-0.839 ms)\n", 5000},
      {"periodic with noise, 24-bit mono",
       Riff(Chunk("fmt ", FormatBody(1, 44100, 24)) +
            Chunk("data", Tone(88200, 1, 24, [&](uint32_t i, uint16_t) { return 256 * Periodic(i, 0) + 256 * noise(random); }))),
       "0.022675737", "0.1142176871", "", -1},
      {"a sine of no whole period",
       Riff(Chunk("fmt ", FormatBody(1, 44100, 16)) +
            Chunk("data", Tone(88200, 1, 16, [&](uint32_t i, uint16_t) { return sine[i]; }))),
       "0.022675737", "0.1142176871", "", sineBest},
      // The in-point's own window would match exactly: it is no candidate.
      {"an out-point within reach of the in-point",
       Riff(Chunk("fmt ", FormatBody(1, 44100, 16)) +
            Chunk("data", Tone(88200, 1, 16, [&](uint32_t i, uint16_t) { return sine[i]; }))),
       "0.022675737", "0.0428571429", "", nearInBest},
  };
  for (const Row& row : rows) {
    WriteFile(wave_, row.wave);
    Result r = Play("m\nx\n", {row.in, row.out});
    EXPECT_EQ(r.err, "") << row.name;
    const size_t line = r.out.find("\nseam match ");
    ASSERT_NE(line, std::string::npos) << row.name << r.out;
    const std::string match = r.out.substr(line, r.out.find('\n', line + 1) - line + 1);
    if (!row.line.empty()) {
      EXPECT_EQ(match.substr(match.find(" before")), row.line) << row.name;
    }
    const size_t at = r.out.find("out-point = ", line);
    const int64_t outPoint = std::stoll(r.out.substr(at + 12));
    if (row.outPoint >= 0) {
      EXPECT_EQ(outPoint, row.outPoint) << row.name;
    } else {
      EXPECT_EQ((outPoint - 1000) % 100, 0) << row.name << " " << outPoint;
      EXPECT_EQ(match.find(" 1.000 after"), std::string::npos) << match;
    }
  }

  // The loop found, saved and played three times: no step at its seams
  // larger than the largest inside it.
  WriteFile(wave_, Riff(fmt2 + Chunk("data", Tone(88200, 2, 16, [](uint32_t i, uint16_t c) { return 2 * Periodic(i, c); }))));
  const std::string cut = dir_.Path("loop.wav");
  Result looped = Play("m\nl\n3\np\ns\n" + cut + "\nx\n", {"0.022675737", "0.1142176871"});
  const std::string played = Captured();
  ASSERT_EQ(played.size(), 3u * 4000 * 4);
  int largestInside = 0, largestSeam = 0;
  for (size_t i = 1; i < played.size() / 4; ++i) {
    const int step = std::abs(static_cast<int16_t>(Assem2(&played[4 * i])) - static_cast<int16_t>(Assem2(&played[4 * i - 4])));
    (i % 4000 == 0 ? largestSeam : largestInside) = std::max(i % 4000 == 0 ? largestSeam : largestInside, step);
  }
  EXPECT_LE(largestSeam, largestInside);
  const std::string saved = ReadFile(cut);
  EXPECT_EQ(Assem4(&saved[saved.find("smpl") + 8 + 36 + 12]), 3999u);  // the loop's last frame

  // Refusals leave the out-point where it was.
  struct Refusal {
    const char* name;
    std::string wave, in, out, err;
  } refusals[] = {
      {"shorter than the windows", Riff(fmt2 + Chunk("data", Tone(88200, 2, 16, Periodic))), "0.1", "0.119",
       "kestrune: the selection is shorter than the two 20 ms windows: the out-point stays\n"},
      {"silence", Riff(fmt2 + Chunk("data", std::string(88200 * 4, '\0'))), "0.1", "0.5",
       "kestrune: the windows at the in-point and around the out-point are silent: the out-point stays\n"},
      {"32-bit samples", Riff(Chunk("fmt ", FormatBody(1, 44100, 32)) + Chunk("data", std::string(88200 * 4, '\1'))),
       "0.1", "0.5", "kestrune: " + wave_ + " holds 32-bit samples in 1 channels at 44100 Hz: m matches only 16- or 24-bit samples in 1 or 2 channels\n"},
  };
  for (const Refusal& refusal : refusals) {
    WriteFile(wave_, refusal.wave);
    Result r = Play("m\nf\nx\n", {refusal.in, refusal.out});
    EXPECT_NE(r.err.find(refusal.err), std::string::npos) << refusal.name << r.err;
    EXPECT_EQ(r.out.find("seam match"), std::string::npos) << refusal.name;
  }
}

TEST_F(AdditionalCommandsTest, ViewShowsAOneSampleClickInAMinuteOfSilence) {
  // Two equal clicks: the peak is the earlier. Loud bytes in a chunk after
  // the data are no part of the out-point's strip.
  // At 24 bits the second is negative, and the clicks fall where a step of
  // the vector path splits its sixteen samples (the 4th and the 16th).
  for (const uint16_t bits : {16, 24}) {
    const size_t width = bits / 8;
    std::string data(480000 * width, '\0');
    data.replace(200003 * width, width, Le32(bits == 16 ? 0x7FFF : 0x7FFFFF).substr(0, width));
    data.replace(300015 * width, width, Le32(bits == 16 ? 0x7FFF : 0xFF800001).substr(0, width));
    WriteFile(wave_, CanonicalWave(1, kRate, bits, data) + Chunk("LIST", std::string(4000, '\x7f')));
    for (auto [locale, mark] : {std::pair{"C", "#"}, {"C.UTF-8", "\u2588"}}) {
      Result r = RunProgram(kBinary, Args(), "v\nx\n", {"COLUMNS=50", std::string("LC_ALL=") + locale});
      const std::string strip = std::string(20, ' ') + mark + std::string(10, ' ') + mark +
                                std::string(18, ' ') + "\n";
      const std::string quiet = std::string(50, ' ') + "\n" + std::string(25, ' ') + "^\n";
      EXPECT_NE(r.out.find("\nselection 0.000000 to 60.000000 sec:\n" + strip +
                           "in-point at 0.000000 sec, 50 ms each side:\n" + quiet +
                           "out-point at 60.000000 sec, 50 ms each side:\n" + quiet),
                std::string::npos)
          << r.out;
      EXPECT_NE(r.out.find("peak -0.0 dBFS at 25.000375 sec (frame 200003)\n"), std::string::npos)
          << bits << r.out;
    }
  }
}

}  // namespace
