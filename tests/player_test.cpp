// The player run end to end: the binary on a console pipe, its output
// compared whole, and what it played captured by ALSA's file device and
// compared byte for byte with the frames selected.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>

#include "tests/support/player.h"

namespace {

constexpr uint32_t kRate = 8000;

TEST_F(PlayerTest, ExitShowsTheMenuOnceAndPlaysNothing) {
  MakeWave(2, kRate, 16, 40000);
  Result r = Play("x\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 5) + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Captured().empty());
}

TEST_F(PlayerTest, InTimeThenPlayPlaysFromThereToTheEnd) {
  MakeWave(2, kRate, 16, 40000);
  Result r = Play("i\n2\np\nx\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 5) + "Enter in-time in seconds.\n" + Menu(1, 2, 5) +
                       PlayOutput(16000, 40000, kRate) + Menu(1, 2, 5) + "\n");
  EXPECT_TRUE(SameBytes(Captured(), Frames(16000, 40000)));
}

TEST_F(PlayerTest, LoopsPlayTheExactSelectionBackToBack) {
  // 1.0 s to 1.7 s is 5600 frames: a whole period and a part of one.
  MakeWave(2, kRate, 16, 40000);
  Result r = Play("", {"1", "1.7", "px", "3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, PlayOutput(8000, 13600, kRate, 3));
  EXPECT_NE(r.out.find("\nLoops remaining: 2\n"), std::string::npos);
  std::string pass = Frames(8000, 13600);
  EXPECT_TRUE(SameBytes(Captured(), pass + pass + pass));
}

TEST_F(PlayerTest, LoopCountFromTheMenu) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play("l\n2\no\n0.5\np\nl\n0\np\nx\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 1) + "Enter number of loops.\n" + Menu(2, 0, 1) +
                       "Enter out-time in seconds.\n" + Menu(2, 0, 0.5) +
                       PlayOutput(0, 4000, kRate, 2) + Menu(2, 0, 0.5) +
                       "Enter number of loops.\n" + Menu(0, 0, 0.5) +
                       PlayOutput(0, 4000, kRate, 0) + Menu(0, 0, 0.5) + "\n");
  EXPECT_TRUE(SameBytes(Captured(), Frames(0, 4000) + Frames(0, 4000)));
}

TEST_F(PlayerTest, TimesOutsideTheFileAreBounded) {
  MakeWave(2, kRate, 16, 40000);
  // In-point: at or past the end, or negative, gives the start.
  // Out-point: past the end gives the end; a negative time is kept.
  Result r = Play("i\n3\ni\n5\ni\n3\ni\n-1\no\n9\no\n-1\np\nx\n");
  EXPECT_EQ(r.status, 0);
  const std::string in = "Enter in-time in seconds.\n", out = "Enter out-time in seconds.\n";
  EXPECT_EQ(r.out, Menu(1, 0, 5) + in + Menu(1, 3, 5) + in + Menu(1, 0, 5) + in +
                       Menu(1, 3, 5) + in + Menu(1, 0, 5) + out + Menu(1, 0, 5) + out +
                       Menu(1, 0, -1) + "Start time is set later than stop time!\n" +
                       PlayOutput(0, -8000, kRate) + Menu(1, 0, -1) + "\n");
  EXPECT_TRUE(Captured().empty());
}

TEST_F(PlayerTest, EqualTimesAreRefusedWithoutAPlay) {
  MakeWave(2, kRate, 16, 40000);
  Result r = Play("i\n1\no\n1\np\nx\n");
  EXPECT_EQ(r.out, Menu(1, 0, 5) + "Enter in-time in seconds.\n" + Menu(1, 1, 5) +
                       "Enter out-time in seconds.\n" + Menu(1, 1, 1) +
                       "Start time and stop time are the same!\n" + Menu(1, 1, 1) + "\n");
}

TEST_F(PlayerTest, RefusedPlayAndExitStillEndsAfterTheNextPlay) {
  MakeWave(2, kRate, 16, 40000);
  Result r = Play("px\ni\n4\np\nx\n", {"1", "1"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 1, 1) + "Start time and stop time are the same!\n" + Menu(1, 1, 1) +
                       "Enter in-time in seconds.\n" + Menu(1, 4, 1) +
                       "Start time is set later than stop time!\n" +
                       PlayOutput(32000, 8000, kRate));
  EXPECT_TRUE(Captured().empty());
}

TEST_F(PlayerTest, WholeFileReplacesTheSelection) {
  MakeWave(2, kRate, 16, 9000);
  Result r = Play("w\nwx\n", {"0.5", "0.6"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0.5, 0.6) + PlayOutput(0, 9000, kRate) + Menu(1, 0, 1.125) +
                       PlayOutput(0, 9000, kRate));
  EXPECT_TRUE(SameBytes(Captured(), Frames(0, 9000) + Frames(0, 9000)));
}

TEST_F(PlayerTest, MonoIsHeardOnBothChannels) {
  for (uint16_t bits : {16, 24}) {
    MakeWave(1, kRate, bits, 5000);
    Result r = Play("", {"0", "0", "wx"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(SameBytes(Captured(), MonoToStereo(Frames(0, 5000), bits / 8))) << bits << "-bit";
  }
}

TEST_F(PlayerTest, TwentyFourBitStereoArrivesUnchanged) {
  MakeWave(2, 48000, 24, 50000);
  Result r = Play("", {"0.125", "0.875", "px"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(SameBytes(Captured(), Frames(6000, 42000)));
}

TEST_F(PlayerTest, LayoutsTheDeviceWouldMisreadPlayNothingAndSayWhy) {
  // Four channels, 8-bit and 32-bit samples: the play goes through its
  // messages but sends no byte, and standard error says why once.
  for (auto [channels, bits] : {std::pair{4, 16}, {2, 8}, {2, 32}, {1, 8}}) {
    MakeWave(static_cast<uint16_t>(channels), kRate, static_cast<uint16_t>(bits), 9000);
    Result r = Play("w\nx\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Menu(1, 0, 1.125) + PlayOutput(0, 9000, kRate, 1, 0) + Menu(1, 0, 1.125) +
                         "\n");
    EXPECT_EQ(r.err, "kestrune: " + wave_ + " holds " + std::to_string(bits) + "-bit samples in " +
                         std::to_string(channels) + (channels == 1 ? " channel" : " channels") +
                         "; only 16- or 24-bit samples in 1 or 2 channels can be played, so it "
                         "will play silence\n");
    EXPECT_TRUE(Captured().empty()) << channels << " channels, " << bits << " bits";
  }
}

TEST_F(PlayerTest, LayoutsOtherProgramsWritePlayExactlyTheirAudio) {
  const std::string audio = PatternFrames(0, 5000, 6), fmt = Chunk("fmt ", FormatBody(2, kRate, 24));
  const std::string title = Chunk("LIST", "INFOINAM" + Le32(10) + "Field data");
  for (const std::string& file :
       {Riff(fmt + title + Chunk("data", audio)),
        Riff(Chunk("bext", "a data take") + fmt + Chunk("data", audio)),
        Rf64(audio.size(), fmt + "data" + Le32(0xFFFFFFFFu) + audio + title),
        Riff(Chunk("JUNK", std::string(200 << 10, '\0')) + Chunk("odd ", "abc") +
             Chunk("fmt ", ExtensibleFormatBody(2, kRate, 24)) + Chunk("fact", Le32(5000)) +
             title + Chunk("data", audio))}) {
    WriteFile(wave_, file);
    Result r = Play("", {"0", "0", "wx"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(SameBytes(Captured(), audio));
  }
}

TEST_F(PlayerTest, NothingPastTheEndOfTheDataIsPlayed) {
  // A trailing chunk after the data, and an out-point far past the end.
  std::string file = CanonicalWave(2, kRate, 16, PatternFrames(0, 5000, 4)) +
                     Chunk("LIST", std::string(100000, '\x7f'));
  WriteFile(wave_, file);
  Result r = Play("", {"0.25", "100", "px"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, PlayOutput(2000, 800000, kRate, 1, 5000));
  EXPECT_EQ(r.err, "kestrune: stop 100 sec is past the end (0:00.63): plays as far as the file "
                   "reaches\n");
  EXPECT_TRUE(SameBytes(Captured(), Frames(2000, 5000)));
}

TEST_F(PlayerTest, FramesBeforeTheStartAreSilenceInEveryPass) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play("", {"-0.6", "0.5", "px", "2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, PlayOutput(-4800, 4000, kRate, 2));
  EXPECT_EQ(r.err, "kestrune: start -0.6 sec is before the file: 0.6 sec of silence play first\n");
  const std::string pass = std::string(4800 * 4, '\0') + Frames(0, 4000);
  EXPECT_TRUE(SameBytes(Captured(), pass + pass));
}

TEST_F(PlayerTest, NotANumberAtATimePromptIsTheNextCommand) {
  MakeWave(2, kRate, 16, 8000);
  // "i p": the in-point stays, and "p" is the next word read at the menu.
  // "o 0.5x": 0.5, then "x" exits.
  Result r = Play("i\np\no\n0.5x\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 1) + "Enter in-time in seconds.\n" + Menu(1, 0, 1) +
                       PlayOutput(0, 8000, kRate) + Menu(1, 0, 1) +
                       "Enter out-time in seconds.\n" + Menu(1, 0, 0.5) + "\n");
  EXPECT_TRUE(SameBytes(Captured(), Frames(0, 8000)));
}

TEST_F(PlayerTest, ClockTimesReachPastAnHour) {
  // 4000 s, sparse: the header promises more than the file holds.
  std::string header = CanonicalWave(2, kRate, 16, "");
  header.replace(40, 4, Le32(0xFFFFFFFFu));
  WriteFile(wave_, header);
  ASSERT_EQ(truncate(wave_.c_str(), 44 + 4000 * kRate * 4), 0);
  Result r = Play("i\n1:02:03.5\nx\n", {"0", "1:06:30"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 3990) + "Enter in-time in seconds.\n" + Menu(1, 3723.5, 3990) + "\n");
}

TEST_F(PlayerTest, EveryFrameCanBeTypedAndWhatFShowsTypesBack) {
  // 0.7 s at 48 kHz is frame 33600, and 0.125125 s at 8000 Hz frame 1001;
  // past 4:16 at 44.1 kHz a float would reach one frame in a few, at an hour
  // one in eleven. Each time typed is what f shows for the frame.
  struct Case {
    uint32_t rate;
    int64_t first, last;
  } cases[] = {{48000, 33600, 33600}, {8000, 1001, 1001}, {44100, 10000000, 10000100}};
  for (const Case& c : cases) {
    WriteRecordingWave(wave_, 2, c.rate, 16, 44 + (c.last + 1) * 4);
    std::string input, shown;
    for (int64_t frame = c.first; frame <= c.last; ++frame) {
      const int64_t micro = (frame * 1000000 + c.rate - 1) / c.rate;
      char seconds[32];
      snprintf(seconds, sizeof seconds, "%lld.%06lld", static_cast<long long>(micro / 1000000),
               static_cast<long long>(micro % 1000000));
      input += std::string("i\n") + seconds + "\nf\n";
      shown += "\nin-point  = " + std::to_string(frame) + " frames = " + seconds + " sec\n";
    }
    if (c.rate == 48000) input = "i\n0.7\nf\n";
    Result r = Play(input + "x\n");
    std::string found;
    for (size_t at = r.out.find("\nin-point"); at != std::string::npos;
         at = r.out.find("\nin-point", at + 1))
      found += r.out.substr(at, r.out.find('\n', at + 1) - at + 1);
    EXPECT_EQ(found, shown) << c.rate;
  }
}

TEST_F(PlayerTest, LongWordsMatchNothing) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play(std::string(300, 'p') + "\nx" + std::string(5000, 'x') + "\nx\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 1) + Menu(1, 0, 1) + Menu(1, 0, 1) + "\n");
}

TEST_F(PlayerTest, EndOfInputActsAsExit) {
  MakeWave(2, kRate, 16, 8000);
  Result atMenu = Play("");
  EXPECT_EQ(atMenu.status, 0);
  EXPECT_EQ(atMenu.out, Menu(1, 0, 1) + "\n");

  for (auto [word, prompt] : {std::pair{"i", "Enter in-time in seconds.\n"},
                              {"o", "Enter out-time in seconds.\n"},
                              {"l", "Enter number of loops.\n"}}) {
    Result r = Play(std::string(word) + "\n");
    EXPECT_EQ(r.status, 0) << word;
    EXPECT_EQ(r.out, Menu(1, 0, 1) + prompt + Menu(1, 0, 1) + "\n") << word;
  }
}

TEST_F(PlayerTest, OutOfRangeNumbersSaturate) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play("l\n99999999999\no\n-1e30\ni\nnan\nx\n", {"1e30"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, MenuFrames(1, INT32_MAX, 8000, kRate) + "Enter number of loops.\n" +
                       MenuFrames(INT_MAX, INT32_MAX, 8000, kRate) +
                       "Enter out-time in seconds.\n" +
                       MenuFrames(INT_MAX, INT32_MAX, INT32_MIN, kRate) +
                       "Enter in-time in seconds.\n" +
                       MenuFrames(INT_MAX, 0, INT32_MIN, kRate) + "\n");
}

TEST_F(PlayerTest, ZeroRateShowsZeroSeconds) {
  MakeWave(2, 0, 16, 9000);
  Result r = Play("w\nx\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 0) + PlayOutput(0, 9000, 0) + Menu(1, 0, 0) + "\n");
  EXPECT_TRUE(SameBytes(Captured(), Frames(0, 9000)));
}

TEST_F(PlayerTest, CtrlCAtAPromptOfATerminalKeepsTheSession) {
  // The first Ctrl-C drops what was typed and shows the menu again; after a
  // word typed the next one is a first again; the second in a row ends the
  // program. In a pipe the first ends it (the real-time tests).
  MakeWave(2, kRate, 16, 8000);
  Session s(kBinary, Args({"0.5", "1"}), {}, true);
  ASSERT_TRUE(s.WaitFor("commands\n"));
  s.Send("l\n3\ni\n");
  ASSERT_TRUE(s.WaitFor("Enter in-time in seconds.\n"));
  for (int menus = 3; menus <= 4; ++menus) {
    kill(s.pid(), SIGINT);
    ASSERT_TRUE(s.WaitFor("commands\n", menus));
    if (menus == 3) s.Send("f\n");
    ASSERT_TRUE(s.WaitFor("commands\n", menus + 1));
    if (menus == 4) kill(s.pid(), SIGINT);
  }
  EXPECT_EQ(s.Finish(), 130);
  const std::string frames = "\nin-point  = 4000 frames = 0.500000 sec\nout-point = 8000 frames = "
                             "1.000000 sec\nlength    = 4000 frames = 0.500000 sec\n";
  EXPECT_EQ(s.out(), Menu(1, 0.5, 1) + "Enter number of loops.\n" + Menu(3, 0.5, 1) +
                         "Enter in-time in seconds.\n" + Menu(3, 0.5, 1) + frames +
                         Menu(3, 0.5, 1) + Menu(3, 0.5, 1));
  EXPECT_EQ(s.err(), "\nCtrl-C again or 'x' to exit\n\nCtrl-C again or 'x' to exit\n");
}

TEST_F(PlayerTest, CtrlCStopsAPlayOnATerminalToo) {
  // At the prompts of a terminal Ctrl-C is held back; during a play it must
  // still stop the sound at once. The tests' card plays in real time.
  MakeWave(2, kRate, 16, 10 * kRate);
  Session s(kBinary, {"card", wave_}, {UsePacedCard()}, true);
  ASSERT_TRUE(s.WaitFor("commands\n"));
  s.Send("p\n");
  ASSERT_TRUE(s.WaitFor("clock = 0.5"));
  kill(s.pid(), SIGINT);
  const auto sent = std::chrono::steady_clock::now();
  ASSERT_TRUE(s.WaitFor("commands\n", 2, 5));
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(500));
  s.Send("x\n");
  EXPECT_EQ(s.Finish(), 0);
  EXPECT_LT(ReadFile(capture_).size(), 5u * kRate * 4);  // not the 10 s of the file
}

TEST_F(PlayerTest, OnASoundServerTheClockWaitsForTheSoundAndCtrlCForNothing) {
  // As a sound server's plugin does: for 0.3 s after each start but the
  // first the card says it holds nothing, and a drain cut short returns
  // 0.15 s late.
  MakeWave(2, 44100, 16, 44100);
  Session s(kBinary, {"card", wave_}, {UsePacedCard("unknown \"300\" linger \"150\"")});
  ASSERT_TRUE(s.WaitFor("commands\n"));
  for (int play = 1; play <= 3; ++play) {
    const size_t from = s.out().size();
    s.Send("p\n");
    const auto sent = std::chrono::steady_clock::now();
    const int menus = Count(s.out(), "commands\n");
    while (Count(s.out(), "commands\n") == menus) {
      s.WaitFor("\rclock", Count(s.out(), "\rclock") + 1, 0.02);
      const double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
      const std::vector<float> clocks = ClockValues(s.out(), from);
      ASSERT_LT(since, 5);
      if (clocks.empty()) continue;
      ASSERT_LE(clocks.back(), since + 0.01) << "play " << play;
      if (play == 3 && clocks.back() >= 0.75) break;
    }
  }
  // The third play is in its drain: the menu comes at once.
  kill(s.pid(), SIGINT);
  const auto interrupted = std::chrono::steady_clock::now();
  ASSERT_TRUE(s.WaitFor("commands\n", 4, 5));
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::milliseconds(100));
  s.Send("p\n");
  ASSERT_TRUE(s.WaitFor("commands\n", 5, 5));
  s.Send("x\n");
  EXPECT_EQ(s.Finish(), 0);
  EXPECT_EQ(s.err(), "");
}

TEST_F(PlayerTest, WhatIsTypedDuringAPlayIsNotShownInTheClockLine) {
  // It is read when the dialogue resumes, as the start of the next line.
  MakeWave(2, kRate, 16, kRate);
  Session s(kBinary, {"card", wave_, "0", "0", "p"}, {UsePacedCard()}, true, true, true);
  ASSERT_TRUE(s.WaitFor("clock = 0.5"));
  s.Send("zz");
  ASSERT_TRUE(s.WaitFor("commands\r\n"));
  s.Send("\n");
  ASSERT_TRUE(s.WaitFor("commands\r\n", 2));
  s.Send("x\n");
  EXPECT_EQ(s.Finish(), 0);
  const std::string& out = s.out();
  EXPECT_EQ(out.find("zz"), out.find("zz", out.find("commands\r\n"))) << out;
  EXPECT_NE(out.find("zz"), std::string::npos) << out;
}

TEST_F(PlayerTest, PlaysAndSavesLeaveNoDescriptorOpen) {
  MakeWave(2, kRate, 16, 4000);
  Session s(kBinary, Args());
  auto open = [&] {
    int n = 0;
    for (int fd = 0; fd < 1024; ++fd)
      n += access(("/proc/" + std::to_string(s.pid()) + "/fd/" + std::to_string(fd)).c_str(), F_OK) == 0;
    return n;
  };
  ASSERT_TRUE(s.WaitFor("commands\n"));
  s.Send("p\n");
  ASSERT_TRUE(s.WaitFor("commands\n", 2));
  const int first = open();
  for (int play = 0; play < 20; ++play)
    s.Send("p\ns " + dir_.Path("cut" + std::to_string(play) + ".wav") + "\n");
  ASSERT_TRUE(s.WaitFor("commands\n", 42));
  EXPECT_EQ(open(), first);
  s.Send("x\n");
  EXPECT_EQ(s.Finish(), 0);
}

// Changes between plays: the test waits for the menu before it changes the
// file, as a user would.
class RevalidationTest : public PlayerTest {
 protected:
  void SetUp() override {
    // A recording still being written: its data size is not filled in.
    std::string file = CanonicalWave(2, kRate, 16, PatternFrames(0, 8000, 4));
    file.replace(40, 4, Le32(0xFFFFFFFFu));
    WriteFile(wave_, file);
  }
  void Rewrite(uint16_t channels, uint32_t rate, uint16_t bits) {
    WriteFile(wave_, CanonicalWave(channels, rate, bits, PatternFrames(0, 8000, 4)));
  }
};

TEST_F(RevalidationTest, GrownFileIsFollowedWithAWarningAtEveryPlay) {
  // "p" keeps its out-point; "w" plays the file as long as it is at that play.
  Session s(kBinary, Args());
  ASSERT_TRUE(s.WaitFor("commands\n"));
  AppendFile(wave_, PatternFrames(8000, 4000, 4));
  s.Send("p\n");
  ASSERT_TRUE(s.WaitFor("commands\n", 2));
  AppendFile(wave_, PatternFrames(12000, 4000, 4));
  s.Send("w\n");
  ASSERT_TRUE(s.WaitFor("commands\n", 3));
  // A time in what was written since the last play is taken.
  AppendFile(wave_, PatternFrames(16000, 8000, 4));
  s.Send("i\n2.5\nx\n");
  EXPECT_EQ(s.Finish(), 0);
  const std::string warning = "WARNING: Wavefile length has changed!\n";
  EXPECT_EQ(s.out(), Menu(1, 0, 1) + warning + PlayOutput(0, 8000, kRate) + Menu(1, 0, 1) +
                         warning + PlayOutput(0, 16000, kRate) + Menu(1, 0, 2) +
                         "Enter in-time in seconds.\n" + Menu(1, 2.5, 2) + warning + "\n");
  EXPECT_EQ(s.err(), "");
  EXPECT_TRUE(SameBytes(ReadFile(capture_), PatternFrames(0, 8000, 4) + PatternFrames(0, 16000, 4)));
}

TEST_F(RevalidationTest, OutPointsPastTheEndOfAGrowingFile) {
  // A negative stop is pulled back to the new length as any stop past the
  // end is; an out-time past the end of a file that grew since the last
  // reading is kept, as the file is still being written.
  Session s(kBinary, Args({"0", "-1"}));
  ASSERT_TRUE(s.WaitFor("commands\n"));
  AppendFile(wave_, PatternFrames(8000, 4000, 4));
  s.Send("p\n");
  ASSERT_TRUE(s.WaitFor("commands\n", 2));
  AppendFile(wave_, PatternFrames(12000, 4000, 4));
  s.Send("o\n5\n");
  ASSERT_TRUE(s.WaitFor("commands\n", 3));
  s.Send("o\n5\nx\n");
  EXPECT_EQ(s.Finish(), 0);
  const std::string warning = "WARNING: Wavefile length has changed!\n";
  const std::string out = "Enter out-time in seconds.\n";
  EXPECT_EQ(s.out(), MenuFrames(1, 0, -8000, kRate) + "Start time is set later than stop time!\n" +
                         warning + PlayOutput(0, 12000, kRate) +
                         Menu(1, 0, 1.5) + out + Menu(1, 0, 5) + out + Menu(1, 0, 2) + warning +
                         "\n");
  EXPECT_EQ(s.err(), "kestrune: 5 is past the end (0:02.00): kept, as the file is still being "
                     "written\nkestrune: 5 is past the end (0:02.00): the out-point is the end\n");
  EXPECT_TRUE(SameBytes(ReadFile(capture_), PatternFrames(0, 12000, 4)));
}

TEST_F(RevalidationTest, ShrunkFilePullsTheOutPointBack) {
  Session s(kBinary, Args());
  ASSERT_TRUE(s.WaitFor("commands\n"));
  ASSERT_EQ(truncate(wave_.c_str(), 44 + 5000 * 4 + 2), 0);
  s.Send("p\n");
  ASSERT_TRUE(s.WaitFor("commands\n", 2));
  s.Send("x\n");
  EXPECT_EQ(s.Finish(), 0);
  const std::string warning = "WARNING: Wavefile length has changed!\n";
  EXPECT_EQ(s.out(), Menu(1, 0, 1) + warning + PlayOutput(0, 5000, kRate) + Menu(1, 0, 0.625) +
                         warning + "\n");
  EXPECT_TRUE(SameBytes(ReadFile(capture_), PatternFrames(0, 5000, 4)));
}

TEST_F(RevalidationTest, ChangedFormatEndsTheRun) {
  struct Change {
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    const char* warning;
  };
  for (const Change& c :
       {Change{2, 16000, 16, "WARNING: Wavefile samplerate has changed!  Restart the program.\n"},
        Change{2, kRate, 24, "WARNING: Wavefile bit depth has changed!  Restart the program.\n"},
        Change{1, kRate, 16,
               "WARNING: Wavefile channel number has changed!  Restart the program.\n"}}) {
    SetUp();
    Session s(kBinary, Args());
    ASSERT_TRUE(s.WaitFor("commands\n"));
    Rewrite(c.channels, c.rate, c.bits);
    s.Send("p\n");
    EXPECT_EQ(s.Finish(), 1);
    EXPECT_EQ(s.out(), Menu(1, 0, 1) + c.warning);
  }
}

TEST_F(RevalidationTest, RemovedFileEndsTheRunAtExit) {
  Session s(kBinary, Args());
  ASSERT_TRUE(s.WaitFor("commands\n"));
  ASSERT_EQ(unlink(wave_.c_str()), 0);
  s.Send("x\n");
  EXPECT_EQ(s.Finish(), 2);
  EXPECT_EQ(s.out(), Menu(1, 0, 1) + "The file called " + wave_ + " cannot be found!\n");
}

}  // namespace
