// kestrune: plays a stretch of a RIFF WAVE file on an ALSA device.
//
//   kestrune [device [file [start [stop [command [loops]]]]]]
//   kestrune --help | -h | --version

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "playback/console.h"
#include "playback/play.h"
#include "startup/help.h"

namespace {

// A clock time ("1:30"), or else the leading number of the text; text
// that begins with none gives 0.
float ArgumentSeconds(const char* text) {
  float seconds = 0;
  if (ReadClockTime(text, seconds)) return seconds;
  return static_cast<float>(strtod(text, nullptr));
}

int ArgumentLoops(const char* text) {
  return static_cast<int>(std::clamp<long>(strtol(text, nullptr, 10), INT_MIN, INT_MAX));
}

// Reads a file name at the prompt; "x", or the end of input, ends the
// process with status 1.
void ReadFileName(std::string& fileName) {
  if (!ReadWord(fileName) || fileName == "x") exit(1);
}

void AskForFileName(std::string& fileName) {
  puts("\nEnter the name of .wav file, 'h' for help, or 'x' to exit: ");
  ReadFileName(fileName);
  if (fileName == "h") {
    Help();
    puts("\nEnter the name of .wav file or 'x' to exit: ");
    ReadFileName(fileName);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc - 1;
  // The usual console-tool options, understood only as the one argument:
  // anywhere else every word keeps its positional meaning.
  if (n == 1 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    CommandLineHelp();
    return 0;
  }
  if (n == 1 && std::string(argv[1]) == "--version") {
    printf("kestrune %s\n", KESTRUNE_VERSION);
    return 0;
  }
  std::string deviceName = "default";
  std::string fileName;
  std::string command = " ";
  float startSeconds = 0;
  float stopSeconds = 0;
  int commandGiven = 0;
  int loops = 1;

  if (n >= 1 && std::string(argv[1]) != "d") deviceName = argv[1];
  if (n >= 2) {
    fileName = argv[2];
    if (n >= 3) startSeconds = ArgumentSeconds(argv[3]);
    if (n >= 4) stopSeconds = ArgumentSeconds(argv[4]);
    if (n >= 5) {
      command = argv[5];
      commandGiven = 1;
    }
    // With seven or more arguments, everything after the fifth is ignored.
    if (n == 6) loops = ArgumentLoops(argv[6]);
  } else {
    AskForFileName(fileName);
  }

  PLAY(fileName, deviceName, startSeconds, stopSeconds, command, commandGiven, loops);
  return 0;
}
