// The command line and the file-name prompt.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "tests/support/player.h"
#include "wave/wave_header.h"

namespace {

constexpr uint32_t kRate = 8000;

const std::string kFirstPrompt = "\nEnter the name of .wav file, 'h' for help, or 'x' to exit: \n";
const std::string kSecondPrompt = "\nEnter the name of .wav file or 'x' to exit: \n";

const std::string kHelp =
    "\n"
    "\nThis program will play mono or stereo, 16 or 24 bit wave files.\n"
    "You will be able to play the entire file or set start and stop points.\n"
    "Press 'enter' after your choices.\n"
    "\nSound will be sent to the default alsa soundcard unless you enter a device name\n"
    "such as plughw:0,0 as the first argument when you first run the application.\n"
    "For example, kestrune plughw:0,0\n"
    "\nAdditional Command Line Arguments:\n\n"
    "These are optional, but if you need argument 3 for example,\n"
    "you need to enter arguments 1 and 2 as well.\n\n"
    "The name of the wavefile is the 2nd argument.\n"
    "In this case, you may wish to use the shortcut 'd' for the first argument\n"
    "to use the default soundcard. For example, kestrune d song1.wav\n\n"
    "The 3rd argument is the start time\n\n"
    "The 4th argument is the stop time\n\n"
    "Adding a 5th argument will skip the first interactive dialog and use the\n"
    "5th argument as the command.  So, entering 'p' will start playback immediately.\n\n"
    "'px' will play once or the set number of loops and exit.\n\n"
    "'w' will overwrite the in and out times and play the whole file.\n\n"
    "'wx' will play the whole file once or the set number of loops and exit.\n\n"
    "The 6th argument can set the number of loops, 1 = play once\n";

using StartupTest = PlayerTest;

TEST_F(StartupTest, PromptExitsWithStatus1) {
  for (const char* input : {"x\n", ""}) {
    Result r = RunProgram(kBinary, {}, input);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kFirstPrompt);
  }
  for (const char* input : {"h\nx\n", "h\n"}) {
    Result r = RunProgram(kBinary, {}, input);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kFirstPrompt + kHelp + kSecondPrompt);
  }
}

TEST_F(StartupTest, PromptedNameIsTheFileAfterHelpToo) {
  MakeWave(2, kRate, 16, 8000);
  Result r = RunProgram(kBinary, {device_}, "h\n" + wave_ + "\nx\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kFirstPrompt + kHelp + kSecondPrompt + Menu(1, 0, 1) + "\n");

  // A line that names a file as a whole is that file, blanks and all;
  // otherwise its first word is, and the rest is the dialogue's.
  const std::string spaced = dir_.Path("my loop.wav");
  WriteFile(spaced, ReadFile(wave_));
  Result whole = RunProgram(kBinary, {device_}, spaced + "\nx\n");
  EXPECT_EQ(whole.status, 0);
  EXPECT_EQ(whole.out, kFirstPrompt + Menu(1, 0, 1) + "\n");
  Result first = RunProgram(kBinary, {device_}, wave_ + " x\n");
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, kFirstPrompt + Menu(1, 0, 1) + "\n");

  // At the second prompt "h" is a file name like any other.
  Result h = RunProgram(kBinary, {device_}, "h\nh\n");
  EXPECT_EQ(h.status, 2);
  EXPECT_EQ(h.out, kFirstPrompt + kHelp + kSecondPrompt + "The file called h cannot be found!\n");
}

TEST_F(StartupTest, DevicesAsOtherToolsNameThem) {
  // "d" stands for the default device, here a capture; so does a lone file
  // name ending in .wav. -D, --device and --device= name the device first.
  MakeWave(2, kRate, 16, 5000);
  WriteFile(dir_.Path(".asoundrc"), "pcm.!default {\n type file\n slave.pcm \"null\"\n file \"" +
                                        capture_ + "\"\n format \"raw\"\n}\n");
  const std::string usage = "Usage: kestrune [device [file [start [stop [command [loops]]]]]]\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    bool played;
    std::string err;
  } cases[] = {
      {{"d", wave_, "0", "0", "wx"}, 0, true, ""},
      {{wave_}, 0, true, ""},
      {{"-D", device_, wave_, "0", "0", "wx"}, 0, true, ""},
      {{"--device", device_, wave_}, 0, true, ""},
      {{"--device=" + device_, wave_}, 0, true, ""},
      {{"-D" + device_, wave_, "0", "0", "wx"}, 0, true, ""},
      {{"--", device_, wave_, "0", "0", "wx"}, 0, true, ""},
      // A wave file first takes the rest as start, stop, command, loops.
      {{wave_, "0", "0.25", "px"}, 0, true, ""},
      {{wave_, "0", "0", "wx", "1", "more", "still"}, 0, true,
       "kestrune: more still ignored: six arguments at most, and with more the loop count 1 is "
       "ignored too\n"},
      {{"-q", "d", wave_}, 1, false, "kestrune: unknown option -q\n" + usage},
      {{"-D"}, 1, false, "kestrune: -D needs a device name\n" + usage},
      // A folder whose name ends in .wav is no file to play: it is the
      // device, and the file is asked for (the input's "w").
      {{dir_.Path("take.wav")}, 2, false, "kestrune: w: No such file or directory"},
  };
  ASSERT_EQ(mkdir(dir_.Path("take.wav").c_str(), 0700), 0);
  for (const Case& c : cases) {
    unlink(capture_.c_str());
    Result r = RunProgram(kBinary, c.args, "w\nx\n", {"HOME=" + dir_.path()});
    EXPECT_EQ(r.status, c.status) << c.args[0];
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.args[0];
    const int64_t end = c.args.size() > 2 && c.args[2] == "0.25" ? 2000 : 5000;
    EXPECT_TRUE(SameBytes(Captured(), c.played ? Frames(0, end) : "")) << c.args[0];
  }
}

TEST_F(StartupTest, AMistypedNameIsAskedForAgainOnATerminal) {
  MakeWave(2, kRate, 16, 8000);
  Session s(kBinary, {device_}, {}, true, true);
  s.Send(dir_.Path("sogn.wav") + "\n" + wave_ + "\nx\n");
  EXPECT_EQ(s.Finish(), 0);
  EXPECT_EQ(AsPrinted(s.out()), kFirstPrompt + "The file called " + dir_.Path("sogn.wav") + " cannot be found!\n" +
                       kSecondPrompt + Menu(1, 0, 1) + "\n");
  EXPECT_EQ(s.err(), "kestrune: " + dir_.Path("sogn.wav") + ": No such file or directory\n");
}

TEST_F(StartupTest, WordsMeanSomethingOnlyAtThePrompts) {
  // "d x": a file named x on the default device.
  Result r = RunProgram(kBinary, {"d", dir_.Path("x")});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "The file called " + dir_.Path("x") + " cannot be found!\n");
}

TEST_F(StartupTest, StartStopCommandAndLoopsFromTheCommandLine) {
  MakeWave(2, kRate, 16, 40000);
  // The leading number counts: "1s" is 1 second.
  Result r = Play("", {"1s", "1.5", "px", "2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, PlayOutput(8000, 12000, kRate, 2));
  EXPECT_EQ(r.err, "kestrune: start 1s is not a time: took 1\n");
  EXPECT_TRUE(SameBytes(Captured(), Frames(8000, 12000) + Frames(8000, 12000)));

  // Clock times, as other players take them.
  r = Play("", {"0:01", "0:01.5", "px"});
  EXPECT_EQ(r.out, PlayOutput(8000, 12000, kRate));
  EXPECT_TRUE(SameBytes(Captured(), Frames(8000, 12000)));

  // 0 and 0 select the whole file; a stop alone is given with start 0.
  r = Play("x\n", {"0", "0"});
  EXPECT_EQ(r.out, Menu(1, 0, 5) + "\n");
  r = Play("x\n", {"0", "2"});
  EXPECT_EQ(r.out, Menu(1, 0, 2) + "\n");
  r = Play("x\n", {"abc"});
  EXPECT_EQ(r.out, Menu(1, 0, 5) + "\n");
  EXPECT_EQ(r.err, "kestrune: start abc is not a time: took 0\n");
}

TEST_F(StartupTest, SeventhArgumentMakesTheSixthIgnoredToo) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play("", {"0", "0.5", "px", "3", "extra"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, PlayOutput(0, 4000, kRate));
  EXPECT_TRUE(SameBytes(Captured(), Frames(0, 4000)));
}

TEST_F(StartupTest, LoopCountThatIsNotANumberPlaysNothing) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play("", {"0", "0", "wx", "many"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "kestrune: loops many is not a number of loops: took 0\n" + std::string(
                       "kestrune: 0 loops: every play will play nothing (1 plays once)\n"));
  EXPECT_EQ(r.out, PlayOutput(0, 8000, kRate, 0));
  EXPECT_TRUE(Captured().empty());

  Result huge = Play("", {"0", "0", "x", "99999999999"});
  EXPECT_EQ(huge.err, "kestrune: loops 99999999999 is not a number of loops: took 2147483647\n");
}

TEST_F(StartupTest, ExitGivenAsTheCommandEndsWithoutPlaying) {
  MakeWave(2, kRate, 16, 8000);
  Result r = Play("", {"0", "0", "x"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n");
}

TEST_F(StartupTest, LongNamesAreKeptWhole) {
  // A file name and a device name far beyond any fixed buffer.
  std::string folder = dir_.Path(std::string(200, 'f'));
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  wave_ = folder + "/" + std::string(200, 's') + ".wav";
  capture_ = folder + "/" + std::string(200, 'c') + ".raw";
  device_ = "file:'" + capture_ + "',raw";
  MakeWave(2, kRate, 16, 5000);
  Result r = Play("", {"0", "0", "wx"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(SameBytes(Captured(), Frames(0, 5000)));

  Result missing = RunProgram(kBinary, {"d", wave_ + "x"});
  EXPECT_EQ(missing.out, "The file called " + wave_ + "x cannot be found!\n");
}

TEST_F(StartupTest, UnknownDeviceEndsWithStatus1AndAFileThereIsExplained) {
  MakeWave(2, kRate, 16, 8000);
  Result r = RunProgram(kBinary, {"nosuchdev", wave_}, "x\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("unable to open pcm device: "), std::string::npos);
  EXPECT_EQ(r.err.find("kestrune:"), std::string::npos);

  // A file in the device's place, before another file; a wave file there
  // is the file itself.
  const std::string notes = dir_.Path("notes.txt");
  WriteFile(notes, "notes");
  Result file = RunProgram(kBinary, {notes, wave_}, "x\n");
  EXPECT_EQ(file.status, 1);
  const std::string hint = "kestrune: " + notes + " is a file, not a sound device: the device " +
                           "comes first, as in kestrune d " + notes + "\n";
  EXPECT_EQ(file.err.substr(file.err.size() - std::min(file.err.size(), hint.size())), hint);

  // A folder is no file given in the device's place.
  Result folder = RunProgram(kBinary, {dir_.path(), wave_}, "x\n");
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err.find("kestrune:"), std::string::npos) << folder.err;
}

TEST_F(StartupTest, HelpAndVersionOptions) {
  for (const char* option : {"--help", "-h"}) {
    Result r = RunProgram(kBinary, {option});
    EXPECT_EQ(r.status, 0) << option;
    EXPECT_EQ(r.out.find("Usage: kestrune [device [file [start [stop [command [loops]]]]]]\n"), 0u)
        << option;
    EXPECT_NE(r.out.find(kHelp + "\nThe device may also be named with -D"), std::string::npos)
        << option;
  }
  Result version = RunProgram(kBinary, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "kestrune " KESTRUNE_VERSION "\n");

  // In the device's place with more arguments too.
  Result help = RunProgram(kBinary, {"--help", dir_.Path("none.wav")});
  EXPECT_EQ(help.status, 0);
}

// A newcomer's first command on a machine whose device `default` cannot be
// opened: the demo plays in real time through a private sound server, which
// records what it heard.
TEST(MakeRun, PlaysTheDemoWithoutASoundCard) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "make run builds and plays the plain build";
#else
  if (access("/usr/bin/pulseaudio", X_OK) != 0) GTEST_SKIP() << "no PulseAudio";
  TempDir home;
  WriteFile(home.Path(".asoundrc"), "pcm.!default { type hw card 99 }\n");
  const std::string heard = KESTRUNE_BUILD "/demo-heard.wav";
  unlink(heard.c_str());
  const auto start = std::chrono::steady_clock::now();
  Result r = RunProgram("/usr/bin/make",
                        {"--no-print-directory", "-C", KESTRUNE_SOURCE, "run",
                         "BUILD=" KESTRUNE_BUILD},
                        "", {"HOME=" + home.path(), "DEVICE=", "MAKEFLAGS=", "MAKELEVEL="});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(HeardPlay(r.out, 0, 238140, 44100));

  WaveAttributes a;
  GetAttributes(heard, a);
  ASSERT_EQ(a.rate, 44100u);
  EXPECT_NEAR(a.frames / 44100.0, 5.4, 0.4);
  const std::string samples = ReadFile(heard).substr(a.dataOffset);
  int peak = 0;
  for (size_t at = 0; at + 1 < samples.size(); at += 2)
    peak = std::max(peak, std::abs(static_cast<int16_t>(Assem2(&samples[at]))));
  EXPECT_GT(peak, 4000);  // the demo peaks near 18000
#endif
}

TEST(ManualPage, NamesTheVersion) {
  EXPECT_NE(ReadFile(KESTRUNE_SOURCE "/kestrune.1").find("\"kestrune " KESTRUNE_VERSION "\""),
            std::string::npos);
}

}  // namespace
