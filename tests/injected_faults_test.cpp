// Faults no real device or disk gives on demand, at the library boundary.
// The test links stand-ins for the calls involved: they pass through to
// ALSA and libc, except where a test scripts a fault, as a sound card that
// ran dry, a suspended laptop, an unplugged card or a failing disk gives.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <set>

#include "output/pcm_output.h"
#include "playback/play.h"
#include "tests/support/wave_files.h"

namespace {

// The coming writes, a letter each, the last one repeated: '.' passes,
// 'h' takes half the frames, 'P' fails with -EPIPE, 'N' with -ENODEV, '0'
// takes no frame, and 'S' suspends the device: it and every write after it
// fail with -ESTRPIPE until the device is resumed.
std::string script = ".";
size_t nextWrite = 0;
bool suspended = false;
// What reached the library, in order: W a write passed through, F a write
// that failed or took nothing, P a prepare, R a resume.
std::string calls;
// Whether the drain after a play fails, as an unplugged card's does.
bool drainFails = false;
// Saving a selection: the copy in the kernel fails with this errno (EXDEV
// sends it to the read and write loop), then every pwrite or fsync.
int copyFails = 0, pwriteFails = 0, fsyncFails = 0;
// A file system without unnamed files refuses O_TMPFILE; a signal may come
// while the selection is being copied.
bool noUnnamedFiles = false;
int signalDuringCopy = 0;
// Every pread from this one on (counting from 1) fails with EIO.
int failReadsFrom = INT_MAX;
int reads = 0;

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t* pcm, const void* buffer,
                                            snd_pcm_uframes_t size) {
  static auto real = Real<snd_pcm_sframes_t (*)(snd_pcm_t*, const void*, snd_pcm_uframes_t)>(
      "snd_pcm_writei");
  const char step = script[std::min(nextWrite++, script.size() - 1)];
  suspended = suspended || step == 'S';
  const snd_pcm_sframes_t fault = suspended ? -ESTRPIPE
                                  : step == 'P' ? -EPIPE
                                  : step == 'N' ? -ENODEV
                                  : step == '0' ? 0
                                                : 1;
  if (fault < 1) {
    calls += 'F';
    return fault;
  }
  calls += 'W';
  return real(pcm, buffer, step == 'h' ? (size + 1) / 2 : size);
}

extern "C" int snd_pcm_prepare(snd_pcm_t* pcm) {
  static auto real = Real<int (*)(snd_pcm_t*)>("snd_pcm_prepare");
  // The library's plugins prepare their slaves through this same call; only
  // the outermost call is the player's.
  static int depth = 0;
  if (depth == 0) calls += 'P';
  ++depth;
  int rc = real(pcm);
  --depth;
  return rc;
}

// The error a device's configuration fails with, or 0 to pass through.
int hwParamsFails = 0;

extern "C" int snd_pcm_hw_params(snd_pcm_t* pcm, snd_pcm_hw_params_t* params) {
  static auto real = Real<int (*)(snd_pcm_t*, snd_pcm_hw_params_t*)>("snd_pcm_hw_params");
  return hwParamsFails != 0 ? hwParamsFails : real(pcm, params);
}

extern "C" int snd_pcm_drain(snd_pcm_t* pcm) {
  static auto real = Real<int (*)(snd_pcm_t*)>("snd_pcm_drain");
  return drainFails ? -ENODEV : real(pcm);
}

// The file device cannot be suspended, so it has nothing to resume.
extern "C" int snd_pcm_resume(snd_pcm_t*) {
  calls += 'R';
  suspended = false;
  return 0;
}

extern "C" int open(const char* path, int flags, ...) {
  static auto real = Real<int (*)(const char*, int, ...)>("open");
  va_list rest;
  va_start(rest, flags);
  const mode_t mode = (flags & (O_CREAT | __O_TMPFILE)) != 0 ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  if (noUnnamedFiles && (flags & __O_TMPFILE) == __O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return real(path, flags, mode);
}

extern "C" ssize_t copy_file_range(int in, loff_t* inAt, int out, loff_t* outAt, size_t size,
                                   unsigned flags) {
  static auto real = Real<ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned)>(
      "copy_file_range");
  if (signalDuringCopy != 0) raise(signalDuringCopy);
  if (copyFails == 0) return real(in, inAt, out, outAt, size, flags);
  errno = copyFails;
  return -1;
}

extern "C" ssize_t pwrite(int fd, const void* bytes, size_t size, off_t offset) {
  static auto real = Real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
  if (pwriteFails == 0 || size < 1000) return real(fd, bytes, size, offset);
  errno = pwriteFails;
  return -1;
}

extern "C" int fsync(int fd) {
  static auto real = Real<int (*)(int)>("fsync");
  if (fsyncFails == 0) return real(fd);
  errno = fsyncFails;
  return -1;
}

extern "C" ssize_t pread(int fd, void* into, size_t size, off_t offset) {
  static auto real = Real<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  if (++reads >= failReadsFrom) {
    errno = EIO;
    return -1;
  }
  return real(fd, into, size, offset);
}

namespace {

void Reset(const std::string& writes, int failingRead = INT_MAX, bool failingDrain = false) {
  script = writes;
  drainFails = failingDrain;
  nextWrite = 0;
  suspended = false;
  calls.clear();
  failReadsFrom = failingRead;
  reads = 0;
}

struct Capture {
  TempDir dir;
  std::string path = dir.Path("out.raw");
  std::string device = "file:'" + path + "',raw";
};

TEST(InjectedFaults, WritesRecoverWhatCanBeRecoveredAndReportTheRest) {
  struct Case {
    const char* script;
    int result;         // of the second write
    const char* calls;  // from the second write on
  } cases[] = {
      {".P.", 0, "FPW"},           // an underrun: prepared, the same frames again
      {".PP", -EPIPE, "FPF"},      // failing again right after a recovery
      {".S.", 0, "FRW"},           // a suspend: resumed, the same frames again
      {".N", -ENODEV, "F"},        // an unplugged card: nothing to recover
      {".0", -EIO, "FFFFFFFFF"},   // nothing taken: a few waits for room, then failed
      {".hhhhhhh.", 0, "WWWWWWW"}, // short counts: the rest is handed over
  };
  for (const Case& c : cases) {
    Capture capture;
    unsigned long period = 0;
    snd_pcm_t* pcm = OpenDevice(capture.device, 8000, 2, period);
    const std::string a = PatternFrames(0, 100, 4), b = PatternFrames(100, 100, 4);
    Reset(c.script);
    ASSERT_EQ(WritePeriod(pcm, a.data(), 100), 0);
    calls.clear();
    EXPECT_EQ(WritePeriod(pcm, b.data(), 100), c.result) << c.script;
    EXPECT_EQ(calls, c.calls) << c.script;
    if (c.result == 0) {
      CloseDevice(pcm);
      EXPECT_EQ(ReadFile(capture.path), a + b) << c.script;
    } else {
      DropDevice(pcm);
    }
  }
}

TEST(InjectedFaults, OnlyARefusalIsSentToTheConvertingDevice) {
  // A device that is gone or broken fails the same way through plug.
  for (int code : {-EINVAL, -ENODEV}) {
    Capture capture;
    unsigned long period = 0;
    hwParamsFails = code;
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenDevice(capture.device, 8000, 2, period), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    hwParamsFails = 0;
    EXPECT_EQ(err.find("Unable to set hardware parameters: " + std::string(snd_strerror(code))), 0u);
    EXPECT_EQ(err.find("converts") != std::string::npos, code == -EINVAL) << err;
  }
}

// The player's run in a child process, as the binary runs it, its console
// on /dev/null; standard error ends with the device calls made.
void PlayQuietly(const std::string& file, const std::string& device, const char* command,
                 int loops, const std::string& input = "/dev/null") {
  if (freopen(input.c_str(), "r", stdin) == nullptr ||
      freopen("/dev/null", "w", stdout) == nullptr)
    abort();
  atexit([] { fprintf(stderr, "calls: %zu\n", calls.size()); });
  std::string word = command;
  PLAY(file, device, 0, 0, word, 1, loops);
  exit(0);
}

TEST(InjectedFaults, PlaysLoseNoFrameOrStopWithTheReason) {
  // 30 periods of 4096 frames; header reads are the first two preads, then
  // a play looks at the header's bytes before every write (a quarter second
  // at 8000 Hz is less than a period) and reads it whole the first time. The
  // calls counted include the prepare that opening the device makes.
  Capture capture;
  const std::string wave = capture.dir.Path("t.wav"), audio = PatternFrames(0, 30 * 4096, 4);
  WriteFile(wave, CanonicalWave(2, 8000, 16, audio));
  std::string everyFifthShort;
  for (int i = 0; i < 20; ++i) everyFifthShort += "....h";
  struct Case {
    std::string script;
    int failingRead;
    const char* command;
    int loops;
    int status;
    std::string err;
    bool drainFails = false;
  } cases[] = {
      {std::string(19, '.') + "S.", INT_MAX, "px", 2, 0, "calls: 64\n"},
      {everyFifthShort, INT_MAX, "wx", 1, 0, "calls: 39\n"},
      {std::string(20, '.') + "N", INT_MAX, "p", 1000, 0,
       "kestrune: playback stopped: No such device\ncalls: 22\n"},
      {std::string(20, '.') + "N", INT_MAX, "px", 1000, 1,
       "kestrune: playback stopped: No such device\ncalls: 22\n"},
      {".", 9, "px", 3, 1, "kestrune: reading " + wave + " failed: Input/output error\ncalls: 3\n"},
      {".", 1, "px", 1, 2, "kestrune: reading " + wave + " failed: Input/output error\ncalls: 0\n"},
      {".", INT_MAX, "p", 2, 0, "kestrune: playback stopped: No such device\ncalls: 61\n", true},
  };
  for (const Case& c : cases) {
    Reset(c.script, c.failingRead, c.drainFails);
    unlink(capture.path.c_str());
    EXPECT_EXIT(PlayQuietly(wave, capture.device, c.command, c.loops),
                testing::ExitedWithCode(c.status), "^" + c.err + "$")
        << c.script;
    if (c.status == 0 && c.err.find("stopped") == std::string::npos) {
      EXPECT_EQ(ReadFile(capture.path), c.loops == 2 ? audio + audio : audio) << c.script;
    }
  }
}

TEST(InjectedFaults, FailedSavesLeaveNothingBehind) {
  // A full disk in the kernel's copy, in the copy through a buffer, and an
  // I/O error when the file is flushed.
  Capture capture;
  const std::string wave = capture.dir.Path("t.wav"), input = capture.dir.Path("input");
  WriteFile(wave, CanonicalWave(2, 8000, 16, PatternFrames(0, 8000, 4)));
  WriteFile(input, capture.dir.Path("cut.wav") + "\nx\n");
  struct Case {
    int copy, pwrite, fsync;
    const char* reason;
    bool unnamed = true;  // whether the file system has unnamed files
  } cases[] = {
      {ENOSPC, 0, 0, "No space left on device"},
      {EXDEV, ENOSPC, 0, "No space left on device"},
      {0, 0, EIO, "Input/output error"},
      {0, 0, EIO, "Input/output error", false},
  };
  for (const Case& c : cases) {
    Reset(".");
    copyFails = c.copy, pwriteFails = c.pwrite, fsyncFails = c.fsync;
    noUnnamedFiles = !c.unnamed;
    EXPECT_EXIT(PlayQuietly(wave, capture.device, "s", 1, input), testing::ExitedWithCode(0),
                "^kestrune: cannot save to " + capture.dir.Path("cut.wav") + ": " + c.reason +
                    "\ncalls: 1\n$");
    copyFails = pwriteFails = fsyncFails = 0;
    noUnnamedFiles = false;
    EXPECT_EQ(capture.dir.Names(), (std::set<std::string>{"input", "out.raw", "t.wav"}))
        << c.reason;
  }
}

TEST(InjectedFaults, SignalsDuringASaveUnderAHiddenNameRemoveIt) {
  // Where the file system has no unnamed files, the file is written under a
  // hidden name, which SIGTERM, SIGHUP and Ctrl-C in a pipe remove before
  // they end the process; it ends as the signal ends it.
  Capture capture;
  const std::string wave = capture.dir.Path("t.wav"), input = capture.dir.Path("input");
  WriteFile(wave, CanonicalWave(2, 8000, 16, PatternFrames(0, 8000, 4)));
  WriteFile(input, capture.dir.Path("cut.wav") + "\nx\n");
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    Reset(".");
    noUnnamedFiles = true;
    signalDuringCopy = signal;
    EXPECT_EXIT(PlayQuietly(wave, capture.device, "s", 1, input), testing::KilledBySignal(signal),
                "");
    noUnnamedFiles = false;
    signalDuringCopy = 0;
    EXPECT_EQ(capture.dir.Names(), (std::set<std::string>{"input", "out.raw", "t.wav"})) << signal;
  }
}

}  // namespace
