#include "playback/additional_commands.h"

#include <cstdio>

#include "console/console.h"
#include "cut/markers.h"
#include "cut/save_selection.h"
#include "cut/seam_match.h"
#include "cut/view_selection.h"
#include "cut/zero_crossings.h"
#include "playback/frames.h"
#include "playback/revalidate.h"

namespace {

// Sums are formed in 64 bits and saturate to the position range before the
// bounds below apply, so that no repeated nudge can wrap a point around.
int32_t AtLeastZero(int64_t frames) {
  int32_t point = ClampToFrame(frames);
  return point < 0 ? 0 : point;
}

// Compared as unsigned values: a negative point counts as beyond the end.
int32_t AtMostLength(int64_t frames, uint32_t length) {
  int32_t point = ClampToFrame(frames);
  return static_cast<uint32_t>(point) > length ? ClampToFrame(int64_t{length}) : point;
}

void ListAdditionalCommands() {
  puts("\nAdditional Commands:");
  puts("\t'j' to jump time selection ahead");
  puts("\t'J' to jump time selection back");
  puts("\t'n' to nudge start forward");
  puts("\t'b' to nudge start backward");
  puts("\t'no' to nudge stop point forward");
  puts("\t'bo' to nudge stop point backward");
  puts("\t'N' to nudge both start and stop forward");
  puts("\t'B' to nudge both start and stop backward");
  puts("\t'nn' to set nudge amount");
  puts("\t'f' to show the selection in frames");
  puts("\t'z' to snap in and out to rising zero crossings");
  puts("\t'v' to view the selection's levels");
  puts("\t's' to save the selection as a new wave file");
  puts("\t'k' to choose the selection from the file's markers");
  puts("\t'm' to move the out-point to where the loop's seam matches best");
}

void AskForNudgeAmount(PlaybackState& s) {
  const float seconds = FramesToSeconds(s.nudgeAmount, s.snapshot.rate);
  printf("\nCurrent Nudge Amount = %li samples or %.3f sec\n", static_cast<long>(s.nudgeAmount),
         seconds);
  puts("Enter new nudge amount (in samples) or '0' to keep settings");
  long amount = 0;
  std::string word;
  const NumberRead read = ReadInteger(amount, word);
  bool taken =
      (read == NumberRead::kNumber || read == NumberRead::kLeadingNumber) && amount > 0;
  // On a terminal an amount that is no whole number in range keeps the one
  // in force.
  const bool inRange = amount <= INT32_MAX;
  if (taken && PersonTyping() && (read == NumberRead::kLeadingNumber || !inRange)) {
    DropRestOfWord();
    taken = false;
    if (!inRange) {
      SaySlip("%s is out of range: kept %ld", word.c_str(), static_cast<long>(s.nudgeAmount));
      return;
    }
  }
  if (taken) s.nudgeAmount = ClampToFrame(int64_t{amount});
  if (read == NumberRead::kNumber && amount < 0)
    SaySlip("%s is not a positive number of samples: kept %ld", word.c_str(),
            static_cast<long>(s.nudgeAmount));
  else
    NameIntegerAnswer(read, word, amount, "samples", s.nudgeAmount, !taken);
}

// A frame position's seconds to the microsecond, rounded away from zero:
// typed back as a time, they give the same frame at any rate up to 1 MHz,
// where rounding to the nearest would give the frame before as often as not.
std::string ExactSeconds(int64_t frames, uint32_t rate) {
  if (rate == 0) return "0.000000";
  const int64_t magnitude = frames < 0 ? -frames : frames;
  const int64_t micro = (magnitude * 1000000 + rate - 1) / rate;
  char text[48];
  snprintf(text, sizeof text, "%s%lld.%06lld", frames < 0 ? "-" : "",
           static_cast<long long>(micro / 1000000), static_cast<long long>(micro % 1000000));
  return text;
}

// The selection as an editor or sampler takes it: the frames the nudges
// and jumps reached, which the menu's hundredths of a second round.
void ShowFrames(const PlaybackState& s) {
  const uint32_t rate = s.snapshot.rate;
  const int64_t length = int64_t{s.outPoint} - s.inPoint;
  printf("\nin-point  = %li frames = %s sec\n", static_cast<long>(s.inPoint),
         ExactSeconds(s.inPoint, rate).c_str());
  printf("out-point = %li frames = %s sec\n", static_cast<long>(s.outPoint),
         ExactSeconds(s.outPoint, rate).c_str());
  printf("length    = %li frames = %s sec\n", static_cast<long>(length),
         ExactSeconds(length, rate).c_str());
}

// What the tools on the selection work on: the file as it reads now.
Selection SelectionOf(const PlaybackState& s) {
  return {s.fileName, s.file.fd, s.current, s.length, s.inPoint, s.outPoint};
}

// A tool that may move the points, on the file as it is now (a shrunk file
// is named and pulls the out-point back before anything is read); after a
// move, what "f" shows.
void MovePoints(PlaybackState& s, bool (*tool)(Selection&)) {
  Revalidate(s);
  Selection selection = SelectionOf(s);
  if (!tool(selection)) return;
  s.inPoint = selection.inPoint;
  s.outPoint = selection.outPoint;
  ShowFrames(s);
}

}  // namespace

void ApplyAdditionalCommand(const std::string& word, PlaybackState& s) {
  const int64_t in = s.inPoint;
  const int64_t out = s.outPoint;
  const int64_t width = out - in;
  const int64_t amount = s.nudgeAmount;

  if (word == "j") {
    s.inPoint = s.outPoint;
    s.outPoint = AtMostLength(out + width, s.length);
  } else if (word == "J") {
    s.inPoint = AtLeastZero(in - width);
    s.outPoint = static_cast<int32_t>(in);
  } else if (word == "n") {
    s.inPoint = ClampToFrame(in + amount);
    if (s.inPoint > s.outPoint) s.inPoint = s.outPoint;
  } else if (word == "b") {
    s.inPoint = AtLeastZero(in - amount);
  } else if (word == "N") {
    s.inPoint = ClampToFrame(in + amount);
    s.outPoint = AtMostLength(out + amount, s.length);
  } else if (word == "B") {
    s.inPoint = AtLeastZero(in - amount);
    s.outPoint = AtLeastZero(out - amount);
  } else if (word == "no") {
    s.outPoint = AtMostLength(out + amount, s.length);
  } else if (word == "bo") {
    s.outPoint = ClampToFrame(out - amount);
    if (s.outPoint < s.inPoint) s.outPoint = s.inPoint;
  } else if (word == "+") {
    ListAdditionalCommands();
  } else if (word == "nn") {
    AskForNudgeAmount(s);
  } else if (word == "f") {
    ShowFrames(s);
  } else if (word == "z") {
    MovePoints(s, [](Selection& selection) {
      SnapToZeroCrossings(selection);
      return true;
    });
  } else if (word == "v") {
    Revalidate(s);
    ViewSelection(SelectionOf(s));
  } else if (word == "m") {
    MovePoints(s, MatchSeam);
  } else if (word == "k") {
    MovePoints(s, ChooseMarker);
  } else if (word == "s") {
    std::string name;
    if (!AskForSaveName(name)) return;
    Revalidate(s);
    SaveSelection(SelectionOf(s), name);
  }
}
