// Console input no user should type, and files that change under the
// player between plays: every run ends as decided, without a crash, a hang
// or a byte played from outside the selection.
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "tests/support/player.h"

namespace {

constexpr uint32_t kRate = 8000;

using HostileInputTest = PlayerTest;

const std::string kFirstPrompt = "\nEnter the name of .wav file, 'h' for help, or 'x' to exit: \n";

TEST_F(HostileInputTest, EndOfInputAtEveryPromptEndsPromptly) {
  MakeWave(2, kRate, 16, 8000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProgram(kBinary, {}, "").status, 1);
  EXPECT_EQ(RunProgram(kBinary, {}, "h\n").status, 1);
  EXPECT_EQ(RunProgram(kBinary, {device_}, "").status, 1);
  for (const char* input : {"", "i\n", "o\n", "l\n", "nn\n", "i\n1\no", "p\n"}) {
    Result r = Play(input);
    EXPECT_EQ(r.status, 0) << input;
    EXPECT_EQ(r.out.back(), '\n') << input;
  }
  // None of these waits on anything: a busy loop would show as time.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  rusage children;
  getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_utime.tv_sec, 10);
}

TEST_F(HostileInputTest, MegabyteWordsAreJustWords) {
  MakeWave(2, kRate, 16, 8000);
  const std::string huge(1 << 20, 'p');
  Result r = Play(huge + "\n" + huge + "x\nx\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 1) + Menu(1, 0, 1) + Menu(1, 0, 1) + "\n");

  Result name = RunProgram(kBinary, {"d"}, huge + "\n");
  EXPECT_EQ(name.status, 2);
  EXPECT_EQ(name.out, kFirstPrompt + "The file called " + huge + " cannot be found!\n");
}

TEST_F(HostileInputTest, BinaryBytesMatchNoCommand) {
  MakeWave(2, kRate, 16, 8000);
  const char bytes[] = "p\0x \x01\xff\xfe i\x7f \x1b[2J o\0\x80";
  std::string noise = std::string(bytes, sizeof bytes - 1) + "\n";
  Result r = Play(noise + "x\n");
  EXPECT_EQ(r.status, 0);
  std::string menus;
  for (int words = 0; words < 6; ++words) menus += Menu(1, 0, 1);
  EXPECT_EQ(r.out, menus + "\n");
  EXPECT_TRUE(Captured().empty());
}

TEST_F(HostileInputTest, NameWithANulByteOpensNoOtherFile) {
  // "song.wav" exists; "song.wav<NUL>.bak" must not open it.
  MakeWave(2, kRate, 16, 8000);
  Result r = RunProgram(kBinary, {device_}, wave_ + std::string("\0.bak", 5) + "\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, kFirstPrompt + "The file called " + wave_ + " cannot be found!\n");
}

TEST_F(HostileInputTest, StrangeNumbers) {
  MakeWave(2, kRate, 16, 80000);  // 10 s
  const std::string in = "Enter in-time in seconds.\n", out = "Enter out-time in seconds.\n",
                    loops = "Enter number of loops.\n";
  // Each line: the answers, the menu they leave behind, and the line that
  // names an answer not taken as typed.
  const std::string end = " is past the end (0:10.00): the in-point is the start\n";
  struct Case {
    const char* input;
    std::string output;
    std::string err;
  } cases[] = {
      {"i\nnan\n", in + Menu(1, 0, 10), "nan is not a time: the in-point is the start\n"},
      {"i\n4\ni\ninf\n", in + Menu(1, 4, 10) + in + Menu(1, 0, 10), "inf" + end},
      {"i\n-0\n", in + Menu(1, 0, 10), ""},
      {"i\n08\n", in + Menu(1, 8, 10), ""},
      {"i\n1e999\n", in + Menu(1, 0, 10), "1e999" + end},
      {"i\n-5\n", in + Menu(1, 0, 10), "-5 is before the start: the in-point is the start\n"},
      // "0x" has no hexadecimal digit: it is no number, and stays a word.
      {"i\n0x\n", in + Menu(1, 0, 10) + Menu(1, 0, 10),
       "0x is not a time: the in-point stays where it was\n"},
      {"o\n-inf\n", out + MenuFrames(1, 0, INT32_MIN, kRate),
       "-inf is before the start: the out-point is there, so a play plays nothing\n"},
      {"o\nnan\n", out + Menu(1, 0, 10), "nan is not a time: the out-point is the end\n"},
      {"o\n5:00\n", out + Menu(1, 0, 10),
       "5:00 is past the end (0:10.00): the out-point is the end\n"},
      {"o\n-0\n", out + Menu(1, 0, 0), ""},
      {"l\n-0\n", loops + Menu(0, 0, 10), "0 loops: every play will play nothing (1 plays once)\n"},
      {"l\n0x\n", loops + Menu(1, 0, 10) + Menu(1, 0, 10), "0x is not a number of loops: kept 1\n"},
      {"l\n0x1F\n", loops + Menu(31, 0, 10), ""},
      {"l\n08\n", loops + Menu(0, 0, 10) + Menu(0, 0, 10),
       "08 reads as octal (a leading 0): took 0\n" + std::string("kestrune: ") +
           "0 loops: every play will play nothing (1 plays once)\n"},
      {"l\nabc\n", loops + Menu(1, 0, 10) + Menu(1, 0, 10), "abc is not a number of loops: kept 1\n"},
      {"l\n-99999999999999999999\n", loops + Menu(INT32_MIN, 0, 10),
       "-99999999999999999999 is out of range: took -2147483648\nkestrune: -2147483648 loops: every "
       "play will play nothing (1 plays once)\n"},
      // Clock times are read whole; other words with a colon as before.
      {"i\n0:05\n", in + Menu(1, 5, 10), ""},
      {"o\n0:00:07.25\n", out + Menu(1, 0, 7.25), ""},
      {"i\n1:30\n", in + Menu(1, 0, 10), "1:30" + end},
      {"i\n0:5\n", in + Menu(1, 0, 10) + Menu(1, 0, 10),
       "0:5 is not a time (seconds take two digits, as in 1:05): took 0\n"},
      {"i\n9:99\n", in + Menu(1, 9, 10) + Menu(1, 9, 10),
       "9:99 is not a time (minutes and seconds go up to 59): took 9\n"},
      {"o\n0:60\n", out + Menu(1, 0, 0) + Menu(1, 0, 0),
       "0:60 is not a time (minutes and seconds go up to 59): took 0\n"},
      {"o\n0:08x\n", out + Menu(1, 0, 0) + Menu(1, 0, 0), "0:08x is not a time: took 0\n"},
  };
  for (const Case& c : cases) {
    Result r = Play(std::string(c.input) + "x\n");
    EXPECT_EQ(r.status, 0) << c.input;
    EXPECT_EQ(r.out, Menu(1, 0, 10) + c.output + "\n") << c.input;
    EXPECT_EQ(r.err, c.err.empty() ? "" : "kestrune: " + c.err) << c.input;
  }
}

TEST_F(HostileInputTest, SlipsOnATerminalKeepTheValue) {
  // A person can type the answer again: an answer that is no well-formed
  // time, or no whole number in range, leaves the value as it was, and is
  // not read on as a command. Bounds are as in a pipe.
  MakeWave(2, kRate, 16, 80000);  // 10 s
  const std::string in = "Enter in-time in seconds.\n", out = "Enter out-time in seconds.\n",
                    loops = "Enter number of loops.\n";
  struct Case {
    const char* input;
    std::string output;
    std::string err;
  } cases[] = {
      {"i\n1:5\n", in + Menu(1, 0.5, 10),
       "1:5 is not a time (seconds take two digits, as in 1:05): the in-point stays 0:00.50\n"},
      {"i\n99:99\n", in + Menu(1, 0.5, 10),
       "99:99 is not a time (minutes and seconds go up to 59): the in-point stays 0:00.50\n"},
      {"o\n6,5\n", out + Menu(1, 0.5, 10), "6,5 is not a time: the out-point stays 0:10.00\n"},
      {"o\n0.5x\n", out + Menu(1, 0.5, 10), "0.5x is not a time: the out-point stays 0:10.00\n"},
      {"i\n2\n", in + Menu(1, 2, 10), ""},
      {"i\n12\n", in + Menu(1, 0, 10), "12 is past the end (0:10.00): the in-point is the start\n"},
      {"l\n2.5\n", loops + Menu(1, 0.5, 10), "2.5 is not a whole number of loops: kept 1\n"},
      {"l\n99999999999\n", loops + Menu(1, 0.5, 10), "99999999999 is out of range: kept 1\n"},
      {"o\n-5\n", out + Menu(1, 0.5, -5),
       "-5 is before the start: the out-point is there, so a play plays nothing\n"},
  };
  for (const Case& c : cases) {
    Session session(kBinary, Args({"0.5"}), {}, true, true);
    session.Send(std::string(c.input) + "x\n");
    EXPECT_EQ(session.Finish(), 0) << c.input;
    EXPECT_EQ(AsPrinted(session.out()), Menu(1, 0.5, 10) + c.output + "\n") << c.input;
    EXPECT_EQ(session.err(), c.err.empty() ? "" : "kestrune: " + c.err) << c.input;
  }
}

TEST_F(HostileInputTest, ALineEditorWhereAPersonTypes) {
  // On a terminal that echoes: arrows edit, Up recalls, Ctrl-A and Ctrl-K
  // edit, Tab completes a name at the save prompt (a lone folder with its
  // "/"), Ctrl-D on an empty line ends the input; no escape byte reaches a
  // message.
  MakeWave(2, kRate, 16, 8000);  // 1 s
  ASSERT_EQ(mkdir(dir_.Path("takes").c_str(), 0700), 0);
  const std::string menu = "commands\r\n", in = "Enter in-time", out = "Enter out-time";
  struct Case {
    std::vector<std::pair<std::string, std::string>> steps;  // keys, then what comes
    std::string err;
    std::string shown;  // in what the terminal shows
  } cases[] = {
      {{{"i\n", in}, {"170\e[D\e[D9\n", menu}},
       "kestrune: 1970 is past the end (0:01.00): the in-point is the start\n", ""},
      {{{"o\n", out}, {"0.5\n", menu}, {"i\n", in}, {"\e[A\e[A\n", menu}}, "", "0.50 to 0.50 sec"},
      {{{"i 0.25\n", menu}, {"\e[A\x01\x0bi 0.75\n", menu}}, "", "0.75 to 1.00 sec"},
      {{{"i 0.3\n", menu}, {"\e[A\e[H\e[3~o\e[F5\n", menu}}, "", "0.30 to 0.35 sec"},
      {{{"s\n", "selection to: "}, {dir_.Path("tak") + "\tcut.wav\n", menu}}, "",
       "Saved 8000 frames (1.00 sec) to " + dir_.Path("takes/cut.wav")},
      {{{"\x04", ""}}, "", ""},
  };
  for (const Case& c : cases) {
    Session s(kBinary, Args(), {}, true, true, true);
    ASSERT_TRUE(s.WaitFor(menu));
    for (const auto& [keys, comes] : c.steps) {
      const int seen = comes.empty() ? 0 : Count(s.out(), comes);
      // A key that ends the input is sent once the editor waits for keys, as
      // a person's would be: the terminal would take it for itself before.
      if (comes.empty()) usleep(300000);
      s.Send(keys);
      if (!comes.empty()) {
        ASSERT_TRUE(s.WaitFor(comes, seen + 1)) << s.out() << s.err();
      }
    }
    if (c.steps[0].first != "\x04") s.Send("x\n");
    EXPECT_EQ(s.Finish(), 0) << c.steps[0].first;
    EXPECT_EQ(s.err(), c.err) << c.steps[0].first;
    EXPECT_NE(s.out().find(c.shown), std::string::npos) << s.out();
  }
}

TEST_F(HostileInputTest, HeaderClaimingHugeFramesNeedsNoHugeBuffers) {
  // 65535 channels of 8191-byte samples: buffers sized by the header would
  // take terabytes. Such a file plays nothing, and needs no buffer at all.
  WriteFile(wave_, CanonicalWave(65535, kRate, 65528, std::string(100, '\x11')));
  Result r = Play("w\nx\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Menu(1, 0, 0) + PlayOutput(0, 0, kRate) + Menu(1, 0, 0) + "\n");
  EXPECT_TRUE(Captured().empty());
}

// Changes between plays, made while the player waits at the menu.
class ChangingFileTest : public PlayerTest {
 protected:
  // Starts the player, waits for its menu, changes the file, then plays.
  Result ChangeThenPlay(void (*change)(const std::string& path)) {
    MakeWave(2, kRate, 16, 8000);
    Session s(kBinary, Args());
    EXPECT_TRUE(s.WaitFor("commands\n"));
    change(wave_);
    s.Send("p\n");
    int status = s.Finish();
    return {status, s.out(), s.err()};
  }
};

const std::string kNoTags =
    "Can't find format chunk in wave file!\nCan't find data block in wave file!\n";

TEST_F(ChangingFileTest, TruncatedToNothing) {
  Result r = ChangeThenPlay([](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 0), 0); });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, Menu(1, 0, 1) + kNoTags);
  EXPECT_TRUE(Captured().empty());
}

TEST_F(ChangingFileTest, ReplacedByText) {
  Result r = ChangeThenPlay([](const std::string& path) {
    WriteFile(path + ".new", "just some text, nothing to hear\n");
    rename((path + ".new").c_str(), path.c_str());
  });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, Menu(1, 0, 1) + kNoTags);
  EXPECT_EQ(r.err, "kestrune: " + wave_ + ": no WAVE data chunk found\n");
}

TEST_F(ChangingFileTest, ReplacedByAFolder) {
  Result r = ChangeThenPlay([](const std::string& path) {
    unlink(path.c_str());
    mkdir(path.c_str(), 0700);
  });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, Menu(1, 0, 1) + "The file called " + wave_ + " cannot be found!\n");
  EXPECT_EQ(r.err, "kestrune: " + wave_ + ": not a regular file\n");
}

TEST_F(ChangingFileTest, Removed) {
  Result r = ChangeThenPlay([](const std::string& path) { unlink(path.c_str()); });
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, Menu(1, 0, 1) + "The file called " + wave_ + " cannot be found!\n");
}

TEST_F(ChangingFileTest, SavedOverByRenameIsPlayedFromTheNewFile) {
  // Editors save this way. The new file has another layout: its samples lie
  // behind a LIST chunk, and they are its own, not the old file's.
  Result r = ChangeThenPlay([](const std::string& path) {
    WriteFile(path + ".new", Riff(Chunk("fmt ", FormatBody(2, kRate, 16)) +
                                  Chunk("LIST", std::string(100, 'x')) +
                                  Chunk("data", PatternFrames(9000, 4000, 4))));
    rename((path + ".new").c_str(), path.c_str());
  });
  EXPECT_EQ(r.status, 0);
  const std::string warning = "WARNING: Wavefile length has changed!\n";
  EXPECT_EQ(r.out, Menu(1, 0, 1) + warning + PlayOutput(0, 4000, kRate) + Menu(1, 0, 0.5) +
                       warning + "\n");
  EXPECT_TRUE(SameBytes(Captured(), PatternFrames(9000, 4000, 4)));
}

TEST_F(HostileInputTest, WhatIsNotARegularFileIsRefusedWithTheReason) {
  // A FIFO without a writer must not hang the open.
  const std::string fifo = dir_.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir_.path()}) {
    Result r = RunProgram(kBinary, {device_, path});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "The file called " + path + " cannot be found!\n");
    EXPECT_EQ(r.err, "kestrune: " + path + ": not a regular file\n");
  }
}

// One long session under valgrind's memcheck: every command, every prompt.
TEST_F(HostileInputTest, LongSessionIsCleanUnderMemcheck) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "memcheck runs on the plain build";
#else
  if (system("valgrind --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no valgrind";
  MakeWave(1, kRate, 24, 30000);
  std::string script =
      "h\n+\ni\n0.5\no\n2\nl\n2\np\nj\nJ\nn\nb\nN\nB\nno\nbo\nnn\n4000\nn\nN\nbo\nl\n1\n"
      "p\nw\ni\nnan\no\n0x\nl\n08\nnn\nzz\nz\nv\ns\n" + dir_.Path("cut.wav") + "\n" +
      std::string(70000, 'q') + "\npx\n";
  std::vector<std::string> args = {"--error-exitcode=99", "--leak-check=no", "-q", kBinary};
  for (const std::string& a : Args()) args.push_back(a);
  Result r = RunProgram("/usr/bin/valgrind", args, script);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("=="), std::string::npos) << r.err;
#endif
}

}  // namespace
