#include "playback/play.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "console/line_editor.h"
#include "console/prompt_interrupt.h"
#include "output/interleave.h"
#include "output/pcm_output.h"
#include "playback/additional_commands.h"
#include "playback/clock.h"
#include "playback/follow.h"
#include "playback/frames.h"
#include "playback/interrupt.h"
#include "playback/playback_state.h"
#include "playback/revalidate.h"
#include "wave/wave_header.h"

namespace {

// --- The start of the run ---------------------------------------------

// Such a file shows its length and goes through every play without a
// sound: the user is told why once, at the start. Standard output is left
// as it is, as scripts read it.
void SayWhyNothingPlays(const PlaybackState& s) {
  const WaveAttributes& a = s.snapshot;
  if (Playable(a)) return;
  fflush(stdout);
  fprintf(stderr,
          "kestrune: %s holds %u-bit samples in %u channel%s; only 16- or 24-bit samples in 1 "
          "or 2 channels can be played, so it will play silence\n",
          s.fileName.c_str(), a.bytesPerSample * 8, a.channels, a.channels == 1 ? "" : "s");
}

// Other console players take a lone argument for the file; here the
// device comes first, so `kestrune music.wav` names the file as a device.
void SayTheDeviceComesFirst(const std::string& deviceName) {
  struct stat info;
  if (stat(deviceName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  fprintf(stderr,
          "kestrune: %s is a file, not a sound device: the device comes first, as in "
          "kestrune d %s\n",
          deviceName.c_str(), deviceName.c_str());
}

// Opens the device for the file's rate and width and sizes the buffers to
// the period it grants. A device that cannot be used ends the run.
void OpenOutput(PlaybackState& s) {
  s.device = OpenDevice(s.deviceName, s.snapshot.rate, s.snapshot.bytesPerSample, s.period);
  if (s.device == nullptr) {
    SayTheDeviceComesFirst(s.deviceName);
    exit(1);
  }
  if (Playable(s.snapshot)) {
    const size_t sample = s.snapshot.bytesPerSample;
    if (s.snapshot.channels == 1) s.readBuffer.resize(s.period * sample);
    s.outputBuffer.resize(s.period * 2 * sample);
  }
}

// A length of the file as the user types a time.
std::string LengthText(int64_t frames, uint32_t rate) {
  return ClockTimeText(rate != 0 ? static_cast<double>(frames) / rate : 0);
}

// Times from the command line are taken as they are, outside the file too:
// the user is told what that does.
void NameTimesOutsideTheFile(const PlaybackState& s, double startSeconds, double stopSeconds) {
  const uint32_t frames = s.snapshot.frames, rate = s.snapshot.rate;
  const std::string end = LengthText(frames, rate);
  if (s.inPoint < 0)
    SaySlip("start %g sec is before the file: %g sec of silence play first", startSeconds,
            -startSeconds);
  else if (s.inPoint > 0 && static_cast<uint32_t>(s.inPoint) >= frames)
    SaySlip("start %g sec is past the end (%s)", startSeconds, end.c_str());
  if (s.outPoint > 0 && static_cast<uint32_t>(s.outPoint) > frames)
    SaySlip("stop %g sec is past the end (%s): plays as far as the file reaches", stopSeconds,
            end.c_str());
}

void StartRun(PlaybackState& s, double startSeconds, double stopSeconds,
              int commandGiven, int loops) {
  s.file = OpenWaveFile(s.fileName);
  ReadAttributes(s.file, s.fileName, s.snapshot);
  s.current = s.snapshot;
  SayWhyNothingPlays(s);
  const uint32_t rate = s.snapshot.rate;

  s.inPoint = startSeconds != 0 ? ClampToFrame(SecondsTimesRate(startSeconds, rate)) : 0;
  s.outPoint = stopSeconds != 0 ? ClampToFrame(SecondsTimesRate(stopSeconds, rate))
                                : ClampToFrame(int64_t{s.snapshot.frames});
  NameTimesOutsideTheFile(s, startSeconds, stopSeconds);

  OpenOutput(s);

  s.length = s.snapshot.frames;
  s.nudgeAmount = 12000;
  s.loops = loops;
  s.exitAfterPlay = false;
  s.request = Request::kAskAgain;
  s.wordPending = commandGiven != 0;
  KeepSessionOnInterrupt();
}

// --- The dialogue -----------------------------------------------------

void ShowSelectionInSeconds(PlaybackState& s) {
  if (s.snapshot.rate == 0) return;
  s.startSeconds = FramesToSeconds(s.inPoint, s.snapshot.rate);
  s.stopSeconds = FramesToSeconds(s.outPoint, s.snapshot.rate);
}

void PrintMenu(const PlaybackState& s) {
  printf("\n'i' to set in");
  printf("\n'o' to set out");
  printf("\n'l' to change number of loops (%i)", s.loops);
  printf("\n'p' to play with current settings: %.2f to %.2f sec",
         s.startSeconds, s.stopSeconds);
  printf("\n'w' to play whole file");
  printf("\n'x' to exit");
  puts("\n'+' to show additional commands");
}

void AskForLoops(PlaybackState& s) {
  puts("Enter number of loops.");
  long loops = 0;
  std::string word;
  const NumberRead read = ReadInteger(loops, word);
  bool taken = read == NumberRead::kNumber || read == NumberRead::kLeadingNumber;
  const bool inRange = loops >= INT_MIN && loops <= INT_MAX;
  if (taken && PersonTyping() && (read == NumberRead::kLeadingNumber || !inRange)) {
    DropRestOfWord();
    taken = false;
    if (!inRange) SaySlip("%s is out of range: kept %d", word.c_str(), s.loops);
  }
  if (taken) s.loops = static_cast<int>(std::clamp<long>(loops, INT_MIN, INT_MAX));
  if (inRange || taken || read != NumberRead::kNumber)
    NameIntegerAnswer(read, word, loops, "loops", s.loops, !taken);
  if (taken) SayLoopsPlayNothing(s.loops);
}

void AskToPlaySelection(PlaybackState& s) {
  if (s.inPoint > s.outPoint) {
    // Goes on into the play phase, whose passes play nothing.
    puts("Start time is set later than stop time!");
    s.request = Request::kPlay;
  } else if (s.inPoint == s.outPoint) {
    puts("Start time and stop time are the same!");
  } else {
    s.request = Request::kPlay;
  }
}

void ApplyMainCommand(const std::string& word, PlaybackState& s) {
  s.request = word == "x" ? Request::kExit : Request::kAskAgain;
  if (word == "p" || word == "px") {
    if (word == "px") s.exitAfterPlay = true;
    AskToPlaySelection(s);
  } else if (word == "w" || word == "wx") {
    if (word == "wx") s.exitAfterPlay = true;
    s.wholeFile = true;
    s.inPoint = 0;
    s.outPoint = ClampToFrame(int64_t{s.length});
    s.request = Request::kPlay;
  } else if (word == "i") {
    MoreFramesWritten(s);  // a time in what was recorded since is taken
    SetInTime(s.snapshot.rate, s.length, &s.inPoint);
  } else if (word == "o") {
    const bool growing = MoreFramesWritten(s);
    SetOutTime(s.snapshot.rate, s.length, &s.outPoint, growing);
  } else if (word == "l") {
    AskForLoops(s);
  }
}

// One turn: words are read and applied until one asks to play or to exit.
// The end of console input counts as "x", so a closed console ends the run.
void DialogueTurn(PlaybackState& s, std::string& command) {
  do {
    ShowSelectionInSeconds(s);
    if (s.wordPending) {
      s.wordPending = false;
    } else {
      PrintMenu(s);
      if (!ReadWord(command)) command = "x";
    }
    ApplyMainCommand(command, s);
    ApplyAdditionalCommand(command, s);
  } while (s.request == Request::kAskAgain);
}

// --- The play phase ---------------------------------------------------

// Fills the output buffer with the frames from `position` up to `end`:
// silence for frames before the start of the data, then the file's frames.
// Returns how many frames are ready; fewer when the file ended early.
size_t PrepareFrames(PlaybackState& s, int64_t position, int64_t end) {
  const size_t sample = s.current.bytesPerSample;
  const size_t stereoFrame = 2 * sample;
  char* out = s.outputBuffer.data();
  size_t silent = 0;
  if (position < 0) {
    silent = static_cast<size_t>(std::min<int64_t>(end, 0) - position);
    memset(out, 0, silent * stereoFrame);
    out += silent * stereoFrame;
    position += static_cast<int64_t>(silent);
  }
  size_t wanted = static_cast<size_t>(end - position);
  if (wanted == 0) return silent;
  if (s.current.channels == 2) return silent + ReadFileFrames(s, position, wanted, out, s.readError);
  size_t got = ReadFileFrames(s, position, wanted, s.readBuffer.data(), s.readError);
  Interleave(static_cast<long>(got), s.current.bytesPerSample,
             s.readBuffer.data(), s.readBuffer.data(), out);
  return silent + got;
}

// One pass over the selection, up to `to`, a period at a time. Each write
// holds only frames of the selection: the last one stops at the out-point,
// so a loop goes on without a gap, and none reaches past the end of the
// file's data into whatever chunk follows it. The header is looked at
// before the first write and then at least once every quarter second of
// audio: a writer that cuts the data short ends the pass at its new end.
// When the known frames run out before `to`, a recording being written is
// `followed`: the header is read again, and the pass goes on over the
// frames written since, or ends when there are none. A failed read, a
// failed device or Ctrl-C end the whole play.
Stop PlayPass(PlaybackState& s, int64_t to, bool followed) {
  if (!Playable(s.current) || s.inPoint >= to) return Stop::kNone;
  const int64_t period = static_cast<int64_t>(s.period);
  const int64_t quarter = s.current.rate >= 4 ? s.current.rate / 4 : period;
  int64_t sinceLook = quarter;
  for (int64_t position = s.inPoint; position < to;) {
    if (position >= s.length && !(followed && MoreFramesWritten(s))) break;
    if (sinceLook + std::min(period, to - position) > quarter) {
      if (!DataStillThere(s) || position >= s.length) break;
      sinceLook = 0;
    }
    const int64_t end = std::min({position + period, to, int64_t{s.length}});
    const size_t frames = PrepareFrames(s, position, end);
    if (s.readError != 0) return Stop::kReadFailed;
    if (frames == 0) break;
    // After Ctrl-C every write fails: the device was aborted.
    s.deviceError = WritePeriod(s.device, s.outputBuffer.data(), frames);
    if (s.deviceError != 0) return Interrupted() ? Stop::kInterrupted : Stop::kDeviceFailed;
    NoteWrite(s.heard, position, static_cast<int64_t>(frames));
    if (s.snapshot.rate != 0) {
      const long queued = QueuedFrames(s.device);
      s.clock = FramesToSeconds(HeardPosition(s.heard, queued, TimeIfPaced(s.heard, queued)),
                                s.snapshot.rate);
    }
    ShowClock(s.clock);
    position += static_cast<int64_t>(frames);
    sinceLook += static_cast<int64_t>(frames);
  }
  return Stop::kNone;
}

// While the device plays what it holds, the clock goes on to the last write.
void ShowWhatIsHeard(long queued, void* state) {
  PlaybackState& s = *static_cast<PlaybackState*>(state);
  if (s.snapshot.rate == 0 || s.heard.count == 0) return;
  const float clock =
      FramesToSeconds(HeardPosition(s.heard, queued, TimeIfPaced(s.heard, queued)), s.snapshot.rate);
  if (clock == s.clock) return;
  s.clock = clock;
  ShowClock(clock);
}

// Waits for the queued sound to be heard; Ctrl-C stops the wait at once.
Stop LetThePlayEnd(PlaybackState& s) {
  s.deviceError = DrainDevice(s.device, ShowWhatIsHeard, &s);
  if (s.deviceError != 0) return Interrupted() ? Stop::kInterrupted : Stop::kDeviceFailed;
  ShowWhatIsHeard(0, &s);
  return Stop::kNone;
}

// The sound stops, the user learns why on standard error, and the menu
// comes back with the selection as it was; after "px" or "wx" the run ends.
// A device that failed or was stopped by Ctrl-C is closed without waiting
// for its queued sound, and the next play opens it again.
void StopPlay(PlaybackState& s, Stop stop) {
  fflush(stdout);
  if (stop == Stop::kReadFailed) {
    fprintf(stderr, "kestrune: reading %s failed: %s\n", s.fileName.c_str(),
            strerror(s.readError));
    s.readError = 0;
  } else {
    DropDevice(s.device);
    s.device = nullptr;
  }
  if (stop == Stop::kDeviceFailed)
    fprintf(stderr, "kestrune: playback stopped: %s\n", DeviceErrorText(s.deviceError));
  if (!s.exitAfterPlay) return;
  if (s.device != nullptr) CloseDevice(s.device);
  exit(stop == Stop::kInterrupted ? 130 : 1);
}

// Returns true when the dialogue goes on after the play.
bool PlayPhase(PlaybackState& s) {
  Revalidate(s);
  if (s.request == Request::kExit) {
    putchar('\n');
    return false;
  }
  // A recording still being written: "w" plays it as long as it is now,
  // and on as long as frames are written; the selection is then what was
  // heard. An out-point past the end is followed to as the file grows.
  const bool whole = s.wholeFile;
  s.wholeFile = false;
  if (whole) s.outPoint = ClampToFrame(int64_t{s.length});
  const int64_t to = whole ? INT32_MAX : s.outPoint;
  const bool followed = to > s.length;
  if (s.device == nullptr) OpenOutput(s);
  // What is typed meanwhile is read once the dialogue resumes, and not
  // shown in the clock line.
  if (PersonTyping()) HideTyping();
  puts("Playing...");
  ShowSelectionInSeconds(s);
  printf("start = %.2f sec\n", s.startSeconds);
  printf("stop  = %.2f sec\n", s.stopSeconds);
  CatchInterrupt(s.device);
  StartTrack(s.heard, DeviceRate(s.device, s.snapshot.rate), ClockNow());
  Stop stop = Stop::kNone;
  for (int pass = 0; pass < s.loops && stop == Stop::kNone; ++pass) {
    if (s.loops != 1) printf("\nLoops remaining: %i\n", s.loops - pass - 1);
    stop = PlayPass(s, to, followed);
  }
  if (whole) s.outPoint = ClampToFrame(int64_t{s.length});
  // The menu comes, or the run ends, when the sound has ended: a sound
  // server may hold back the last frames until it is told that no more
  // come, and play them after a gap or glued to the next play.
  if (stop == Stop::kNone) stop = LetThePlayEnd(s);
  // Ctrl-C after the last write still drops what the device holds.
  if (ReleaseInterrupt() && stop == Stop::kNone) stop = Stop::kInterrupted;
  ShowTyping();
  putchar('\n');
  if (stop != Stop::kNone) StopPlay(s, stop);
  if (s.exitAfterPlay) return false;
  s.request = Request::kAskAgain;
  return true;
}

void Finish(PlaybackState& s) {
  if (s.device != nullptr) CloseDevice(s.device);
  s.readBuffer = {};
  s.outputBuffer = {};
  close(s.file.fd);
}

// Reads the answer to a time prompt; one that was no time, or only began
// with one, is named. Returns whether seconds were read.
// On a terminal an answer that only begins with a time leaves the point as
// it was (`now`), and is dropped whole.
bool ReadTimeAnswer(double& seconds, std::string& word, const char* point, int32_t now,
                    uint32_t rate) {
  const NumberRead read = ReadSeconds(seconds, word);
  if (read == NumberRead::kLeadingNumber && PersonTyping()) {
    DropRestOfWord();
    SaySlip("%s is not a time%s: the %s stays %s", word.c_str(), WhyNoTime(word).c_str(), point,
            LengthText(now, rate).c_str());
    return false;
  }
  if (read == NumberRead::kLeadingNumber)
    SaySlip("%s is not a time%s: took %g", word.c_str(), WhyNoTime(word).c_str(), seconds);
  else if (read == NumberRead::kNotNumber && !word.empty() && word != "x")
    SaySlip("%s is not a time: the %s stays where it was", word.c_str(), point);
  return read == NumberRead::kNumber || read == NumberRead::kLeadingNumber;
}

// Names a time the bounds of the file changed: `where` says what was taken.
void NameTimeOutside(const std::string& word, double x, uint32_t rate, long length,
                     const char* where) {
  if (std::isnan(x))
    SaySlip("%s is not a time: %s", word.c_str(), where);
  else if (x < 0)
    SaySlip("%s is before the start: %s", word.c_str(), where);
  else
    SaySlip("%s is past the end (%s): %s", word.c_str(), LengthText(length, rate).c_str(),
            where);
}

}  // namespace

void SetInTime(uint32_t rate, long length, int32_t* inPoint) {
  puts("Enter in-time in seconds.");
  double seconds = 0;
  std::string word;
  if (!ReadTimeAnswer(seconds, word, "in-point", *inPoint, rate)) return;
  double x = SecondsTimesRate(seconds, rate);
  // A time at or past the end, or before the start, selects the start.
  const bool inside = length > x && x >= 0;
  *inPoint = inside ? ClampToFrame(x) : 0;
  if (!inside) NameTimeOutside(word, x, rate, length, "the in-point is the start");
}

void SetOutTime(uint32_t rate, long length, int32_t* outPoint, bool growing) {
  puts("Enter out-time in seconds.");
  double seconds = 0;
  std::string word;
  if (!ReadTimeAnswer(seconds, word, "out-point", *outPoint, rate)) return;
  double x = SecondsTimesRate(seconds, rate);
  // A time past the end selects the end; but a recording still being
  // written will get there, and a play follows it.
  const bool inside = length >= x;
  if (!inside && growing && x >= 0) {
    *outPoint = ClampToFrame(x);
    SaySlip("%s is past the end (%s): kept, as the file is still being written", word.c_str(),
            LengthText(length, rate).c_str());
    return;
  }
  *outPoint = inside ? ClampToFrame(x) : ClampToFrame(int64_t{length});
  if (!inside) NameTimeOutside(word, x, rate, length, "the out-point is the end");
  else if (*outPoint < 0)
    SaySlip("%s is before the start: the out-point is there, so a play plays nothing",
            word.c_str());
}

void PLAY(const std::string& fileName, const std::string& deviceName,
          double startSeconds, double stopSeconds, std::string& command,
          int commandGiven, int loops) {
  PlaybackState s;
  s.fileName = fileName;
  s.deviceName = deviceName;
  StartRun(s, startSeconds, stopSeconds, commandGiven, loops);
  do {
    DialogueTurn(s, command);
  } while (PlayPhase(s));
  Finish(s);
}
