// kestrune: plays a stretch of a RIFF WAVE file on an ALSA device.
//
//   kestrune [device [file [start [stop [command [loops]]]]]]
//   kestrune -D device | --device device | --device=device  file [...]
//   kestrune FILE.wav
//   kestrune --help | -h | --version

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/line_editor.h"
#include "playback/play.h"
#include "startup/help.h"

namespace {

// A clock time ("1:30"), or else the leading number of the text; text
// that begins with none gives 0, and is named as a slip.
double ArgumentSeconds(const char* name, const std::string& text) {
  double seconds = 0;
  if (ReadClockTime(text, seconds)) return seconds;
  char* end = nullptr;
  seconds = strtod(text.c_str(), &end);
  if (*end != '\0')
    SaySlip("%s %s is not a time%s: took %g", name, text.c_str(), WhyNoTime(text).c_str(),
            seconds);
  return seconds;
}

int ArgumentLoops(const std::string& text) {
  char* end = nullptr;
  const long loops = strtol(text.c_str(), &end, 10);
  const int taken = static_cast<int>(std::clamp<long>(loops, INT_MIN, INT_MAX));
  if (*end != '\0' || end == text.c_str() || taken != loops)
    SaySlip("loops %s is not a number of loops: took %d", text.c_str(), taken);
  SayLoopsPlayNothing(taken);
  return taken;
}

// Arguments past the sixth are ignored, and with them the loop count.
void NameIgnored(const std::vector<std::string>& args) {
  std::string extra;
  for (size_t i = 6; i < args.size(); ++i) extra += (i > 6 ? " " : "") + args[i];
  SaySlip("%s ignored: six arguments at most, and with more the loop count %s is ignored too",
          extra.c_str(), args[5].c_str());
}

// Other console players take a wave file first as the file to play.
bool IsWaveFile(const std::string& name) {
  struct stat info;
  return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".wav") == 0 &&
         stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

[[noreturn]] void RefuseOption(const std::string& why) {
  fprintf(stderr, "kestrune: %s\n", why.c_str());
  UsageLine(stderr);
  exit(1);
}

// The device named the way other sound tools take it, before the other
// arguments: -D NAME, -DNAME, --device NAME or --device=NAME, which are then
// put back as the first argument; "--" ends the options, so that a device
// or file whose name begins with "-" may follow. Any other word that begins
// with "-" in the device's place is refused. Returns whether the device was
// named so.
bool TakeDeviceOption(std::vector<std::string>& args) {
  if (args.empty() || args[0][0] != '-') return false;
  const std::string option = args[0];
  std::string deviceName;
  if (option == "--") {
    args.erase(args.begin());
    return false;
  } else if (option.rfind("--device=", 0) == 0) {
    deviceName = option.substr(9);
  } else if (option.rfind("-D", 0) == 0 && option.size() > 2) {
    deviceName = option.substr(2);
  } else if (option == "-D" || option == "--device") {
    if (args.size() < 2) RefuseOption(option + " needs a device name");
    deviceName = args[1];
    args.erase(args.begin());
  } else {
    RefuseOption("unknown option " + option);
  }
  if (deviceName.empty()) RefuseOption(option + " needs a device name");
  args[0] = deviceName;
  return true;
}

// Reads a file name at the prompt: a line that names a file as a whole,
// blanks and all, or else its first word. "x", or the end of input, ends
// the process with status 1.
void ReadFileName(std::string& fileName) {
  if (!ReadRestOfLine(fileName)) exit(1);
  struct stat info;
  if (stat(fileName.c_str(), &info) != 0) {
    PutBack(fileName);
    if (!ReadWord(fileName)) exit(1);
  }
  if (fileName == "x") exit(1);
}

// Whether the player can open the file; where it cannot, says so as the
// player would, and why.
bool Openable(const std::string& fileName) {
  const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  const char* reason = nullptr;
  if (fd < 0 || fstat(fd, &info) != 0) reason = strerror(errno);
  else if (!S_ISREG(info.st_mode)) reason = "not a regular file";
  if (fd >= 0) close(fd);
  if (reason == nullptr) return true;
  printf("The file called %s cannot be found!\n", fileName.c_str());
  fflush(stdout);
  fprintf(stderr, "kestrune: %s: %s\n", fileName.c_str(), reason);
  return false;
}

void AskForFileName(std::string& fileName) {
  puts("\nEnter the name of .wav file, 'h' for help, or 'x' to exit: ");
  ReadFileName(fileName);
  if (fileName == "h") {
    Help();
    puts("\nEnter the name of .wav file or 'x' to exit: ");
    ReadFileName(fileName);
  }
  // A person at a terminal types the name again; a script ends as before.
  while (PersonTyping() && !Openable(fileName)) {
    puts("\nEnter the name of .wav file or 'x' to exit: ");
    ReadFileName(fileName);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // The usual console-tool options, in the device's place.
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    CommandLineHelp();
    return 0;
  }
  if (!args.empty() && args[0] == "--version") {
    printf("kestrune %s\n", KESTRUNE_VERSION);
    return 0;
  }
  if (PersonTyping()) StartLineEditor();
  std::string deviceName = "default";
  std::string fileName;
  std::string command = " ";
  double startSeconds = 0;
  double stopSeconds = 0;
  int commandGiven = 0;
  int loops = 1;

  // A wave file first is the file, on the default device; the arguments
  // after it are the start, stop, command and loops.
  if (!TakeDeviceOption(args) && !args.empty() && IsWaveFile(args[0]))
    args.insert(args.begin(), "d");
  const size_t n = args.size();

  if (n >= 1 && args[0] != "d") deviceName = args[0];
  if (n >= 2) {
    fileName = args[1];
    if (n >= 3) startSeconds = ArgumentSeconds("start", args[2]);
    if (n >= 4) stopSeconds = ArgumentSeconds("stop", args[3]);
    if (n >= 5) {
      command = args[4];
      commandGiven = 1;
    }
    // With seven or more arguments, everything after the fifth is ignored.
    if (n == 6) loops = ArgumentLoops(args[5]);
    if (n >= 7) NameIgnored(args);
  } else {
    AskForFileName(fileName);
  }

  PLAY(fileName, deviceName, startSeconds, stopSeconds, command, commandGiven, loops);
  return 0;
}
