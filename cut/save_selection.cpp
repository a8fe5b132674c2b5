#include "cut/save_selection.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "console/console.h"
#include "console/prompt_interrupt.h"
#include "cut/markers.h"
#include "wave/wave_writer.h"

namespace {

// Bytes copied between two looks at Ctrl-C and at the progress line: small
// enough that Ctrl-C is answered within a few hundredths of a second.
constexpr uint64_t kCopyStep = 16u << 20;
// A save that takes longer than this shows how far it has got.
constexpr double kQuietSeconds = 1.0;

// --- The ends a save may meet -----------------------------------------

// The hidden name the file is written under where its file system has no
// unnamed files; a signal that ends the process removes it first. Empty
// while there is none.
char temporaryName[PATH_MAX];
volatile sig_atomic_t cancelled = 0;

void RemoveAndEnd(int signal) {
  if (temporaryName[0] != '\0') unlink(temporaryName);
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigaction(signal, &fallback, nullptr);
  sigset_t let;
  sigemptyset(&let);
  sigaddset(&let, signal);
  sigprocmask(SIG_UNBLOCK, &let, nullptr);
  raise(signal);
}

void Cancel(int) { cancelled = 1; }

// What the three signals did before the save, to be put back after it.
struct SignalsBefore {
  struct sigaction interrupt, terminate, hangup;
  sigset_t mask;
};

// SIGTERM and SIGHUP (a closed terminal) end the process as they would,
// after removing the hidden name; so does Ctrl-C in a pipe. On a terminal
// Ctrl-C cancels the save and the session goes on. Ctrl-C, held back at the
// prompts, is let in while the save runs.
SignalsBefore CatchEnds() {
  SignalsBefore before;
  cancelled = 0;
  temporaryName[0] = '\0';
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = RemoveAndEnd;
  sigaction(SIGTERM, &action, &before.terminate);
  sigaction(SIGHUP, &action, &before.hangup);
  action.sa_handler = SessionKept() ? Cancel : RemoveAndEnd;
  sigaction(SIGINT, &action, &before.interrupt);
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_UNBLOCK, &interrupt, &before.mask);
  return before;
}

void ReleaseEnds(const SignalsBefore& before) {
  sigprocmask(SIG_SETMASK, &before.mask, nullptr);
  sigaction(SIGINT, &before.interrupt, nullptr);
  sigaction(SIGTERM, &before.terminate, nullptr);
  sigaction(SIGHUP, &before.hangup, nullptr);
  temporaryName[0] = '\0';
}

// --- How far it has got -----------------------------------------------

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// One line on standard error, overwritten in place, for a person waiting
// at a terminal; nothing where standard error goes to a file or a pipe.
struct Progress {
  uint64_t total;
  double start = Now();
  bool shown = false;
  bool terminal = isatty(STDERR_FILENO) == 1;
};

void ShowProgress(Progress& p, uint64_t done) {
  const double seconds = Now() - p.start;
  if (!p.terminal || seconds < kQuietSeconds || p.total == 0) return;
  fprintf(stderr, "\rsaving: %3d %% at %.0f MB/s ", static_cast<int>(100 * done / p.total),
          done / seconds / 1e6);
  p.shown = true;
}

void ClearProgress(const Progress& p) {
  if (p.shown) fprintf(stderr, "\r%40s\r", "");
}

// --- Writing ----------------------------------------------------------

// Writes all `size` bytes at `offset`; false with errno set otherwise.
bool WriteAll(int fd, const char* bytes, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = pwrite(fd, bytes, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

// The next piece of the copy: inside the kernel where the file systems
// allow it (`inKernel` is cleared where they do not), else through `block`.
// Returns how many bytes went over; 0 with errno set on a failure. A file
// that ends early is an I/O error: a recording shrank meanwhile.
uint64_t CopyStep(int in, uint64_t from, int out, uint64_t to, uint64_t size, bool& inKernel,
                  std::vector<char>& block) {
  while (inKernel) {
    loff_t inAt = static_cast<loff_t>(from), outAt = static_cast<loff_t>(to);
    const ssize_t n = copy_file_range(in, &inAt, out, &outAt, size, 0);
    if (n > 0) return static_cast<uint64_t>(n);
    if (n == 0) {
      errno = EIO;
      return 0;
    }
    if (errno == EINTR) {
      if (cancelled) return 0;
      continue;
    }
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return 0;
    inKernel = false;
  }
  if (block.empty()) block.resize(4u << 20);
  int error = 0;
  const size_t got = ReadAt(in, block.data(), std::min<uint64_t>(size, block.size()), from, error);
  if (got == 0) {
    errno = error != 0 ? error : EIO;
    return 0;
  }
  return WriteAll(out, block.data(), got, to) ? got : 0;
}

// Copies `size` bytes at `from` in `in` to `to` in `out`, showing the
// progress; Ctrl-C stops it with ECANCELED.
bool CopyBytes(int in, uint64_t from, int out, uint64_t to, uint64_t size, Progress& progress) {
  bool inKernel = true;
  std::vector<char> block;
  for (uint64_t done = 0; done < size;) {
    if (cancelled) {
      errno = ECANCELED;
      return false;
    }
    const uint64_t n = CopyStep(in, from + done, out, to + done,
                                std::min(size - done, kCopyStep), inKernel, block);
    if (n == 0) {
      if (cancelled) errno = ECANCELED;
      return false;
    }
    done += n;
    ShowProgress(progress, done);
  }
  return true;
}

// The folder a new file of that name goes into.
std::string FolderOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

// A file being written, not yet under its name: unnamed where the file
// system allows it, so that no end of the process, kill -9 included, leaves
// it behind; else under a hidden name in `temporaryName`.
struct NewFile {
  int fd = -1;
  bool named = false;
};

NewFile OpenNewFile(const std::string& folder) {
  NewFile file;
  file.fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (file.fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return file;
  // The hidden name is known to the signal handlers before the file exists.
  sigset_t ends, before;
  sigemptyset(&ends);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ends, signal);
  sigprocmask(SIG_BLOCK, &ends, &before);
  const std::string pattern = folder + "/.kestrune-save-XXXXXX";
  if (pattern.size() < sizeof temporaryName) {
    memcpy(temporaryName, pattern.c_str(), pattern.size() + 1);
    file.fd = mkostemp(temporaryName, O_CLOEXEC);
    if (file.fd < 0) temporaryName[0] = '\0';
  } else {
    errno = ENAMETOOLONG;
  }
  const int error = errno;
  sigprocmask(SIG_SETMASK, &before, nullptr);
  errno = error;
  file.named = file.fd >= 0;
  return file;
}

// Gives the finished file its name, unless something of that name appeared
// meanwhile.
bool PutInPlace(const NewFile& file, const std::string& name) {
  if (!file.named) {
    if (linkat(file.fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT && errno != EPERM) return false;
    // Without the right to link a descriptor, its name in /proc does.
    const std::string self = "/proc/self/fd/" + std::to_string(file.fd);
    return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
  if (renameat2(AT_FDCWD, temporaryName, AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system that cannot rename without replacing: a hard link.
  if (link(temporaryName, name.c_str()) != 0) return false;
  unlink(temporaryName);
  return true;
}

// Writes the file aside, flushed to the disk, and then gives it its name: a
// failure on the way, a full disk or Ctrl-C among them, leaves nothing.
bool WriteWaveFile(const Selection& s, int64_t first, int64_t frames,
                   const std::string& name) {
  const WaveAttributes& a = s.wave;
  const std::string folder = FolderOf(name);
  const NewFile file = OpenNewFile(folder);
  if (file.fd < 0) return false;
  // The cue points and regions of the part saved go with it.
  const std::vector<Marker> marks = MarkersWithin(ReadMarkers(s.fd), first, first + frames);
  const std::string head = HeaderBeforeData(a, static_cast<uint64_t>(frames), marks);
  const std::string tail = ChunksAfterData(a, static_cast<uint64_t>(frames), marks);
  const uint64_t frameBytes = uint64_t{a.bytesPerSample} * a.channels;
  const uint64_t data = static_cast<uint64_t>(frames) * frameBytes;
  Progress progress{data};
  const mode_t mask = umask(0);
  umask(mask);
  bool written =
      fchmod(file.fd, 0666 & ~mask) == 0 && WriteAll(file.fd, head.data(), head.size(), 0) &&
      CopyBytes(s.fd, a.dataOffset + static_cast<uint64_t>(first) * frameBytes, file.fd,
                head.size(), data, progress) &&
      WriteAll(file.fd, tail.data(), tail.size(), head.size() + data) && fsync(file.fd) == 0;
  int error = errno;
  ClearProgress(progress);
  if (written && cancelled) written = false, error = ECANCELED;
  if (written && !PutInPlace(file, name)) written = false, error = errno;
  if (close(file.fd) != 0 && written) written = false, error = errno;
  if (file.named && !written) unlink(temporaryName);
  temporaryName[0] = '\0';
  if (!written) {
    errno = error;
    return false;
  }
  // The new name itself reaches the disk with its folder.
  const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    fsync(directory);
    close(directory);
  }
  return true;
}

// A name the file system would refuse for its length is refused before a
// byte is copied, not after the whole selection has been.
bool NameFits(const std::string& name) {
  const size_t slash = name.rfind('/');
  const size_t last = slash == std::string::npos ? name.size() : name.size() - slash - 1;
  return last <= NAME_MAX && name.size() < PATH_MAX;
}

// The name as typed: the rest of the line, blanks and all, "~/" for the
// home folder. "x" alone ends the program, as at every prompt.
bool ReadSaveName(std::string& name) {
  puts("Enter the name of the file to save the selection to: ");
  if (!ReadRestOfLine(name) || name.empty()) {
    SaySlip("nothing saved");
    return false;
  }
  if (name == "x") {
    PutBack(name);
    return false;
  }
  const char* home = getenv("HOME");
  if (name.rfind("~/", 0) == 0 && home != nullptr && *home != '\0')
    name = home + name.substr(1);
  return true;
}

}  // namespace

bool AskForSaveName(std::string& name) {
  if (!ReadSaveName(name)) return false;
  struct stat info;
  if (!NameFits(name)) {
    SaySlip("cannot save to %s: %s", name.c_str(), strerror(ENAMETOOLONG));
    return false;
  }
  if (lstat(name.c_str(), &info) == 0) {
    SaySlip("%s exists: nothing saved (a save never replaces a file)", name.c_str());
    return false;
  }
  return true;
}

void SaveSelection(const Selection& s, const std::string& name) {
  if (!Playable(s.wave)) {
    SaySlip("%s holds %u-bit samples in %u channels: only 16- or 24-bit samples in 1 or 2 "
            "channels are saved",
            s.fileName.c_str(), s.wave.bytesPerSample * 8, s.wave.channels);
    return;
  }
  // What plays of the selection from the file: no silence before its start,
  // nothing past its end.
  const int64_t first = std::max<int64_t>(s.inPoint, 0);
  const int64_t end = std::min<int64_t>(s.outPoint, s.length);
  if (end <= first) {
    SaySlip("the selection holds no frame of the file (in-point %ld, out-point %ld, length %u): "
            "nothing saved",
            static_cast<long>(s.inPoint), static_cast<long>(s.outPoint), s.length);
    return;
  }
  if (first != s.inPoint || end != s.outPoint)
    SaySlip("the selection reaches outside the file: frames %ld to %ld are saved",
            static_cast<long>(first), static_cast<long>(end));
  const SignalsBefore before = CatchEnds();
  const bool saved = WriteWaveFile(s, first, end - first, name);
  const int error = errno;
  ReleaseEnds(before);
  if (!saved && error == ECANCELED) {
    SaySlip("save cancelled: nothing saved");
    return;
  }
  if (!saved) {
    SaySlip("cannot save to %s: %s", name.c_str(), strerror(error));
    return;
  }
  const double seconds = s.wave.rate != 0 ? double(end - first) / s.wave.rate : 0;
  printf("Saved %ld frames (%.2f sec) to %s\n", static_cast<long>(end - first), seconds,
         name.c_str());
}
