// The player against a device that keeps real time: a PulseAudio server
// with a null sink, started by each test in a private runtime folder, and
// recorded from the sink's monitor. Also files that change while they play,
// and devices that refuse the player's configuration.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/support/player.h"

namespace {

constexpr uint32_t kRate = 44100;

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class RealTimeTest : public PlayerTest {
 protected:
  void SetUp() override {
    if (access("/usr/bin/pulseaudio", X_OK) != 0) GTEST_SKIP() << "no PulseAudio";
    const std::string runtime = dir_.Path("runtime"), home = dir_.Path("home");
    mkdir(runtime.c_str(), 0700);
    mkdir(home.c_str(), 0700);
    env_ = {"XDG_RUNTIME_DIR=" + runtime, "HOME=" + home};
    // A device that plays through the server and keeps a copy of every
    // byte it is handed, so that paced plays can be checked exactly.
    // And the tests' card, playing in real time.
    WriteFile(home + "/.asoundrc", "pcm.tee {\n type file\n slave.pcm \"pulse\"\n file \"" +
                                       capture_ + "\"\n format \"raw\"\n}\n"
                                       "pcm_type.standin { lib \"" STANDIN_CARD "\" }\n"
                                       "pcm.card { type standin paced \"1\" capture \"" +
                                       capture_ + "\" }\n");
    StartServer();
  }
  // Starts a server, or a new one after the test killed the last. A killed
  // server may linger unreaped and keep its PID file, which would make the
  // new one believe it is still running.
  void StartServer() {
    unlink(ServerPidFile().c_str());
    Result started = RunProgram("/usr/bin/pulseaudio",
                                {"-n", "--daemonize=yes", "--exit-idle-time=-1", "-L",
                                 "module-null-sink sink_name=out", "-L",
                                 "module-native-protocol-unix", "-L", "module-always-sink"},
                                "", env_);
    ASSERT_EQ(started.status, 0) << started.err;
    for (int tries = 0; RunProgram("/usr/bin/pactl", {"info"}, "", env_).status != 0; ++tries) {
      ASSERT_LT(tries, 100) << "the server did not answer";
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  std::string ServerPidFile() const { return dir_.Path("runtime/pulse/pid"); }
  void TearDown() override {
    if (!env_.empty()) RunProgram("/usr/bin/pactl", {"exit"}, "", env_);
  }

  // A file of `seconds` of distinct 16-bit stereo frames at 44.1 kHz.
  void MakeNoise(double seconds) { MakeWave(2, kRate, 16, static_cast<uint32_t>(seconds * kRate)); }

  std::unique_ptr<Session> Player(const std::string& device,
                                  const std::vector<std::string>& extra) {
    std::vector<std::string> args{device, wave_};
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<Session>(kBinary, args, env_);
  }

  std::vector<std::string> env_;
};

TEST_F(RealTimeTest, PlayTakesItsTimeAndReachesTheSink) {
  MakeNoise(3);
  const std::string recording = dir_.Path("rec.raw");
  Session recorder("/usr/bin/parec",
                   {"-d", "out.monitor", "--raw", "--format=s16le", "--rate=44100",
                    "--channels=2", recording},
                   env_);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto start = std::chrono::steady_clock::now();
  Result r = RunProgram(kBinary, {"pulse", wave_, "0.5", "2.5", "px"}, "", env_);
  const double elapsed = Since(start);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(recorder.pid(), SIGINT);
  recorder.Finish();

  EXPECT_EQ(r.status, 0);
  EXPECT_GE(elapsed, 1.9);
  EXPECT_LE(elapsed, 5.0);
  // The monitor starts recording only once the stream runs, so the first
  // moments may be missing; the middle and the end must be there, in order.
  const std::string played = ReadFile(recording);
  const std::string selection = Frames(22050, 110250);
  const size_t middle = played.find(selection.substr(selection.size() / 2, 8192));
  const size_t end = played.find(selection.substr(selection.size() - 8192));
  ASSERT_NE(middle, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(end - middle, selection.size() - 8192 - selection.size() / 2);
}

TEST_F(RealTimeTest, MenuComesWhenTheSoundHasEnded) {
  MakeNoise(2);
  // The sink's monitor, read as it records.
  Session recorder("/usr/bin/parec",
                   {"-d", "out.monitor", "--raw", "--format=s16le", "--rate=44100",
                    "--channels=2", "--latency-msec=20"},
                   env_);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto player = Player("pulse", {"0", "1"});
  ASSERT_TRUE(player->WaitFor("commands\n"));
  player->Send("p\n");
  const auto start = std::chrono::steady_clock::now();
  const std::string lastFrames = Frames(kRate - 64, kRate), middle = Frames(kRate / 2, kRate / 2 + 64);
  double heard = -1, menu = -1, shownWhenMiddleHeard = -1;
  while (Since(start) < 10 && (heard < 0 || menu < 0)) {
    if (shownWhenMiddleHeard < 0 && recorder.WaitFor(middle, 1, 0.005))
      shownWhenMiddleHeard = ClockValues(player->out()).back();
    if (heard < 0 && recorder.WaitFor(lastFrames, 1, 0.005)) heard = Since(start);
    if (menu < 0 && player->WaitFor("commands\n", 2, 0.005)) menu = Since(start);
  }
  ASSERT_GT(heard, 0);
  ASSERT_GT(menu, 0);
  // The clock shows what is being heard, to within a period.
  EXPECT_NEAR(shownWhenMiddleHeard, 0.5, 4096.0 / kRate);
  // The recorder hears the last frame a little after the sink played it.
  EXPECT_GT(menu, heard - 0.1);
  EXPECT_LT(menu, heard + 0.2);

  // Ctrl-C while the last writes play out: the menu at once.
  const size_t second = player->out().size();
  player->Send("p\n");
  for (int n = Count(player->out(), "\rclock") + 1;
       ClockValues(player->out(), second).empty() || ClockValues(player->out(), second).back() < 0.75;
       ++n)
    ASSERT_TRUE(player->WaitFor("\rclock", n));
  const auto interrupted = std::chrono::steady_clock::now();
  kill(player->pid(), SIGINT);
  ASSERT_TRUE(player->WaitFor("commands\n", 3, 2));
  EXPECT_LT(Since(interrupted), 0.15);
  player->Send("x\n");
  EXPECT_EQ(player->Finish(), 0);
  EXPECT_EQ(player->err(), "");

  // "px": the device is drained as the run ends.
  auto once = Player("pulse", {"0", "1", "px"});
  ASSERT_TRUE(once->WaitFor("clock = 0.5"));
  const auto half = std::chrono::steady_clock::now();
  EXPECT_EQ(once->Finish(), 0);
  EXPECT_GE(Since(half), 0.35);
  EXPECT_TRUE(HeardPlay(once->out(), 0, kRate, kRate));
}

TEST_F(RealTimeTest, StoppedProcessResumesAndPlaysToTheEnd) {
  MakeNoise(3);
  const auto start = std::chrono::steady_clock::now();
  auto player = Player("tee", {"0", "0", "px"});
  ASSERT_TRUE(player->WaitFor("clock = 1."));
  kill(player->pid(), SIGSTOP);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  kill(player->pid(), SIGCONT);
  EXPECT_EQ(player->Finish(), 0);
  EXPECT_GE(Since(start), 3.8);
  EXPECT_TRUE(HeardPlay(player->out(), 0, 3 * kRate, kRate));
  EXPECT_TRUE(SameBytes(Captured(), Frames(0, 3 * kRate)));
}

TEST_F(RealTimeTest, FileTruncatedDuringAPlayEndsThePassAtTheCut) {
  MakeNoise(6);
  const auto start = std::chrono::steady_clock::now();
  auto player = Player("tee", {"0", "0", "px"});
  ASSERT_TRUE(player->WaitFor("clock = 1."));
  ASSERT_EQ(truncate(wave_.c_str(), 44 + 2 * kRate * 4), 0);
  EXPECT_EQ(player->Finish(), 0);
  EXPECT_LT(Since(start), 5.0);
  EXPECT_TRUE(SameBytes(Captured(), Frames(0, 2 * kRate)));
}

TEST_F(RealTimeTest, DataSizeCutShortDuringAPlayEndsThePassAtTheNewEnd) {
  // Half a second into a play of 3 s, a writer rewrites the data size to
  // 1 s and puts a text chunk after it: the play ends there, at most a
  // quarter second and a period later, not after 2 s of the text as noise.
  MakeNoise(3);
  auto player = Player("card", {"0", "0", "wx"});
  ASSERT_TRUE(player->WaitFor("clock = 0.5"));
  std::fstream file(wave_, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(40);
  file << Le32(kRate * 4);
  file.seekp(44 + kRate * 4);
  std::string text;
  while (text.size() < kRate) text += "this is no audio, but a note about the take. ";
  file << Chunk("LIST", "INFOICMT" + Le32(static_cast<uint32_t>(text.size())) + text);
  file.close();
  EXPECT_EQ(player->Finish(), 0);
  const std::string played = ReadFile(capture_);
  EXPECT_TRUE(SameBytes(played.substr(0, kRate * 4), Frames(0, kRate)));
  EXPECT_LE(played.size(), (kRate + kRate / 4 + 4096) * 4);
}

TEST_F(RealTimeTest, RecordingBeingWrittenIsFollowed) {
  // A writer appends 10 ms of frames at a time, in real time, as a recorder
  // does (the header's sizes say more than there is, until the end) or as a
  // plain writer does (the sizes rewritten as it goes). A play goes on as
  // the file grows, up to the out-point or to where the writer stopped.
  struct Case {
    const char* device;
    uint32_t from, to;  // seconds written before the play, and at the end
    bool rewritesSizes;
    std::vector<std::string> args;
    int64_t first, end;  // the frames to be heard
  } cases[] = {
      {"tee", 3, 5, false, {"0.5", "2.5", "px"}, kRate / 2, 5 * kRate / 2},
      {"card", 1, 4, false, {"0", "0", "wx"}, 0, 4 * kRate},
      {"card", 1, 4, true, {"0", "0:03", "px"}, 0, 3 * kRate},
  };
  for (const Case& c : cases) {
    unlink(capture_.c_str());
    auto header = [&](uint32_t frames) {
      std::string head = CanonicalWave(2, kRate, 16, "");
      head.replace(40, 4, Le32(frames * 4));
      head.replace(4, 4, Le32(36 + frames * 4));
      std::fstream(wave_, std::ios::in | std::ios::out | std::ios::binary) << head;
    };
    WriteFile(wave_, CanonicalWave(2, kRate, 16, PatternFrames(0, c.from * kRate, 4)));
    header(c.rewritesSizes ? c.from * kRate : 0x80000000u / 4);
    const auto start = std::chrono::steady_clock::now();
    std::thread writer([&] {
      for (uint32_t at = c.from * kRate; at < c.to * kRate; at += kRate / 100) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(
                                                  (at - c.from * kRate) * 1000000ull / kRate));
        AppendFile(wave_, PatternFrames(at, kRate / 100, 4));
        if (c.rewritesSizes) header(at + kRate / 100);
      }
      header(c.to * kRate);
    });
    auto player = Player(c.device, c.args);
    const int status = player->Finish();
    writer.join();
    EXPECT_EQ(status, 0) << c.device << " " << c.args[2];
    EXPECT_TRUE(SameBytes(Captured(), Frames(c.first, c.end))) << c.device << " " << c.args[2];
  }
}

TEST_F(RealTimeTest, KilledServerStopsThePlayAndTheNextPlayOpensTheDeviceAgain) {
  MakeNoise(10);
  auto player = Player("pulse", {});
  ASSERT_TRUE(player->WaitFor("commands\n"));
  player->Send("p\n");
  ASSERT_TRUE(player->WaitFor("clock = 1."));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(std::stoi(ReadFile(ServerPidFile())), SIGKILL), 0);
  ASSERT_TRUE(player->WaitFor("commands\n", 2, 2));
  EXPECT_LT(Since(start), 1.0);
  EXPECT_EQ(player->err().rfind("kestrune: playback stopped: ", 0), 0u) << player->err();
  EXPECT_EQ(Count(player->err(), "\n"), 1) << player->err();

  StartServer();
  player->Send("i\n9.5\np\n");
  ASSERT_TRUE(player->WaitFor("commands\n", 4));
  player->Send("x\n");
  EXPECT_EQ(player->Finish(), 0);
  EXPECT_TRUE(HeardPlay(player->out(), 9.5 * kRate, 10 * kRate, kRate));
  EXPECT_EQ(Count(player->err(), "\n"), 1) << player->err();
}

TEST_F(RealTimeTest, CtrlCStopsThePlayAtOnceAndKeepsTheSettings) {
  MakeNoise(10);
  const std::string recording = dir_.Path("rec.raw");
  // A short latency: the recorder loses what it holds when it is stopped.
  Session recorder("/usr/bin/parec",
                   {"-d", "out.monitor", "--raw", "--format=s16le", "--rate=44100",
                    "--channels=2", "--latency-msec=20", recording},
                   env_);
  auto player = Player("pulse", {"1", "9", "p", "3"});
  ASSERT_TRUE(player->WaitFor("clock = 3."));
  const auto start = std::chrono::steady_clock::now();
  kill(player->pid(), SIGINT);
  ASSERT_TRUE(player->WaitFor("commands\n", 1, 2));
  EXPECT_LT(Since(start), 0.2);
  EXPECT_EQ(player->out().substr(player->out().size() - Menu(3, 1, 9).size() - 1),
            "\n" + Menu(3, 1, 9));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  kill(recorder.pid(), SIGINT);
  recorder.Finish();
  // Nothing was heard from 0.2 s after the signal on.
  const std::string heard = ReadFile(recording);
  const size_t quiet = static_cast<size_t>(0.5 * kRate) * 4;
  ASSERT_GT(heard.size(), quiet);
  EXPECT_EQ(heard.find_first_not_of('\0', heard.size() - quiet), std::string::npos);
  // The next play plays whole, and Ctrl-C at the menu ends the program.
  player->Send("l\n1\ni\n8.75\np\n");
  ASSERT_TRUE(player->WaitFor("commands\n", 4));
  EXPECT_TRUE(HeardPlay(player->out(), 8.75 * kRate, 9 * kRate, kRate));
  kill(player->pid(), SIGINT);
  EXPECT_EQ(player->Finish(), 130);
  EXPECT_EQ(player->err(), "");

  // After "px", Ctrl-C ends the run, as it ends a console program.
  auto once = Player("pulse", {"0", "0", "px"});
  ASSERT_TRUE(once->WaitFor("clock = 1."));
  kill(once->pid(), SIGINT);
  EXPECT_EQ(once->Finish(5), 130);
}

// Cards that grant less than the player asks for, played through the tests'
// own card (an ALSA plugin): each plays right, or warns of the rate and
// plays, or is refused with the reason and the device that converts.
TEST(DeviceConfiguration, CardsThatGrantLessPlayRightOrSayWhy) {
  auto rate = [](const char* granted, const char* file, const char* change) {
    return std::string("kestrune: card plays at ") + granted + " Hz, not at the file's " + file +
           " Hz: the sound will be " + change + "\nkestrune: card cannot play " + file +
           " Hz; plug:card converts the rate\n";
  };
  auto refused = [](const char* request, const char* cannot) {
    return std::string("Unable to set ") + request + ": Invalid argument\nkestrune: card cannot " +
           cannot + "; plug:card converts them\n";
  };
  const char* fourOutputs = "channels \"4\" formats \"S24_3LE\"";
  const char* nonInterleaved = "access \"RW_NONINTERLEAVED\"";
  struct Case {
    const char* limits;  // of the card
    uint16_t channels;   // the file's
    uint32_t rate;
    uint16_t bits;
    const char* device;  // the card, or the device that converts for it
    int status;
    std::string err;
    const char* granted;  // what the card was set to, or "" when it never was
  } cases[] = {
      {"", 2, 44100, 24, "card", 0, "", "RW_INTERLEAVED S24_3LE 2 44100"},
      {"", 2, 0, 16, "card", 0, "", "RW_INTERLEAVED S16_LE 2 44100"},  // no rate stated
      {"rates \"48000\"", 2, 44100, 16, "card", 0,
       rate("48000", "44100", "8.8 % too fast and too high"), "RW_INTERLEAVED S16_LE 2 48000"},
      {"rates \"44100 48000 96000 192000\" formats \"S16_LE S32_LE\"", 1, 22050, 16, "card", 0,
       rate("44100", "22050", "2.0 times too fast and too high"), "RW_INTERLEAVED S16_LE 2 44100"},
      {"rates \"44100 48000\" formats \"S24_3LE\"", 1, 96000, 24, "card", 0,
       rate("48000", "96000", "2.0 times too slow and too low"), "RW_INTERLEAVED S24_3LE 2 48000"},
      {fourOutputs, 2, 44100, 24, "card", 1, refused("two channels", "play two channels"), ""},
      {nonInterleaved, 1, 44100, 16, "card", 1,
       refused("interleaved access", "take samples written interleaved"), ""},
      {"access \"MMAP_INTERLEAVED MMAP_NONINTERLEAVED\"", 2, 44100, 16, "card", 1,
       refused("interleaved access", "take samples written interleaved"), ""},
      {"formats \"S16_LE S32_LE\"", 2, 48000, 24, "card", 1,
       refused("playback format", "play 24-bit samples packed in 3 bytes"), ""},
      // What the converting devices named above make of the same cards.
      {"rates \"48000\"", 2, 44100, 16, "plug:card", 0, "", "MMAP_INTERLEAVED S16_LE 2 48000"},
      {fourOutputs, 2, 44100, 24, "plug:card", 0, "", "MMAP_INTERLEAVED S24_3LE 4 44100"},
      {nonInterleaved, 1, 44100, 16, "plug:card", 0, "", "RW_NONINTERLEAVED S16_LE 2 44100"},
      // Cards that play in real time: the clock shows what has been played,
      // and the last frames come without a gap, also from a card that holds
      // them back until it is told that no more come, as a sound server
      // may, and from one that reports its position once a period.
      {"paced \"1\"", 2, 44100, 16, "card", 0, "", "RW_INTERLEAVED S16_LE 2 44100"},
      {"paced \"1\" holdback \"3072\"", 1, 48000, 24, "card", 0, "",
       "RW_INTERLEAVED S24_3LE 2 48000"},
      {"paced \"1\" position \"period\"", 2, 48000, 16, "card", 0, "",
       "RW_INTERLEAVED S16_LE 2 48000"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string capture = dir.Path("card.raw");
    WriteFile(dir.Path(".asoundrc"), "pcm_type.standin { lib \"" STANDIN_CARD "\" }\n"
                                     "pcm.card { type standin " + std::string(c.limits) +
                                         " capture \"" + capture + "\" }\n");
    const uint32_t frames = c.rate / 4, sample = c.bits / 8u;
    const std::string audio = PatternFrames(0, frames, c.channels * sample);
    WriteFile(dir.Path("t.wav"), CanonicalWave(c.channels, c.rate, c.bits, audio));
    Session player(kBinary, {c.device, dir.Path("t.wav"), "0", "0", "wx"}, {"HOME=" + dir.path()});
    std::vector<std::pair<double, float>> shown;  // when a clock line came, and what it said
    for (int n = 1; player.WaitFor("\rclock", n); ++n)
      shown.push_back({Since({}), ClockValues(player.out()).back()});
    const Result r{player.Finish(), player.out(), player.err()};
    const std::string what = std::string(c.limits) + " with " + c.device;
    EXPECT_EQ(r.status, c.status) << what;
    EXPECT_EQ(r.err, c.err) << what;
    EXPECT_EQ(ReadFile(capture + ".params"), *c.granted ? c.granted + std::string("\n") : "")
        << what;
    // The card takes the file's own bytes unless a converter stands between.
    if (c.status == 0 && std::string(c.device) == "card") {
      const std::string stereo = c.channels == 1 ? MonoToStereo(audio, sample) : audio;
      EXPECT_TRUE(SameBytes(ReadFile(capture), stereo)) << what;
    }
    EXPECT_EQ(r.out.empty(), c.status != 0) << what;
    if (std::string(c.limits).find("paced") == std::string::npos) continue;
    double started = 0, gap = -1;
    sscanf(ReadFile(capture + ".timing").c_str(), "started %lf longest gap %lf", &started, &gap);
    EXPECT_LT(gap, 20) << what;
    const float last = ClockValues(PlayOutput(0, frames, c.rate)).back();
    for (auto [when, clock] : shown)
      EXPECT_NEAR(clock, std::min<double>(when - started, last), 4096.0 / c.rate) << what;
  }
}

}  // namespace
