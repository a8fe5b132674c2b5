#include "playback/save_selection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "playback/console.h"
#include "playback/revalidate.h"
#include "wave/wave_writer.h"

namespace {

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

// Copies `size` bytes at `from` in `in` to `to` in `out`: inside the kernel
// where the file systems allow, else through a buffer of large blocks. A
// file that ends early is an I/O error: a recording shrank meanwhile.
bool CopyBytes(int in, uint64_t from, int out, uint64_t to, uint64_t size) {
  loff_t inAt = static_cast<loff_t>(from), outAt = static_cast<loff_t>(to);
  while (size > 0) {
    const ssize_t n = copy_file_range(in, &inAt, out, &outAt, std::min<uint64_t>(size, 1u << 30), 0);
    if (n > 0) {
      size -= static_cast<uint64_t>(n);
    } else if (n == 0) {
      errno = EIO;
      return false;
    } else if (errno != EINTR) {
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
      break;
    }
  }
  std::vector<char> block(std::min<uint64_t>(size, 4u << 20));
  while (size > 0) {
    int error = 0;
    const size_t got = ReadAt(in, block.data(), std::min<uint64_t>(size, block.size()),
                              static_cast<uint64_t>(inAt), error);
    if (got == 0) {
      errno = error != 0 ? error : EIO;
      return false;
    }
    if (!WriteAll(out, block.data(), got, static_cast<uint64_t>(outAt))) return false;
    inAt += static_cast<loff_t>(got);
    outAt += static_cast<loff_t>(got);
    size -= got;
  }
  return true;
}

// The folder a new file of that name goes into, for its temporary name.
std::string FolderOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

// Puts the finished file in place under `name`, unless something of that
// name appeared meanwhile; where the file system cannot rename without
// replacing, a hard link does the same.
bool PutInPlace(const std::string& temporary, const std::string& name) {
  if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (link(temporary.c_str(), name.c_str()) != 0) return false;
  unlink(temporary.c_str());
  return true;
}

// Writes the file under a temporary name in the target's folder, flushed to
// the disk, and then gives it its name: a failure on the way, a full disk
// among them, leaves nothing behind.
bool WriteWaveFile(const PlaybackState& s, int64_t first, int64_t frames,
                   const std::string& name) {
  const WaveAttributes& a = s.current;
  const std::string folder = FolderOf(name);
  std::string temporary = folder + "/.kestrune-save-XXXXXX";
  const int out = mkostemp(temporary.data(), O_CLOEXEC);
  if (out < 0) return false;
  const std::string head = HeaderBeforeData(a, static_cast<uint64_t>(frames));
  const std::string tail = ChunksAfterData(a, static_cast<uint64_t>(frames));
  const uint64_t frameBytes = uint64_t{a.bytesPerSample} * a.channels;
  const uint64_t data = static_cast<uint64_t>(frames) * frameBytes;
  const mode_t mask = umask(0);
  umask(mask);
  bool written = fchmod(out, 0666 & ~mask) == 0 && WriteAll(out, head.data(), head.size(), 0) &&
                 CopyBytes(s.file.fd, a.dataOffset + static_cast<uint64_t>(first) * frameBytes,
                           out, head.size(), data) &&
                 WriteAll(out, tail.data(), tail.size(), head.size() + data) && fsync(out) == 0;
  int error = errno;
  if (close(out) != 0 && written) written = false, error = errno;
  if (written && !PutInPlace(temporary, name)) written = false, error = errno;
  if (!written) {
    unlink(temporary.c_str());
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

}  // namespace

void SaveSelection(PlaybackState& s) {
  puts("Enter the name of the file to save the selection to: ");
  std::string name;
  if (!ReadWord(name) || name.empty()) return;
  struct stat info;
  if (lstat(name.c_str(), &info) == 0) {
    SaySlip("%s exists: nothing saved (a save never replaces a file)", name.c_str());
    return;
  }
  Revalidate(s);
  if (!Playable(s.current)) {
    SaySlip("%s holds %u-bit samples in %u channels: only 16- or 24-bit samples in 1 or 2 "
            "channels are saved",
            s.fileName.c_str(), s.current.bytesPerSample * 8, s.current.channels);
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
  if (!WriteWaveFile(s, first, end - first, name)) {
    SaySlip("cannot save to %s: %s", name.c_str(), strerror(errno));
    return;
  }
  const double seconds = s.current.rate != 0 ? double(end - first) / s.current.rate : 0;
  printf("Saved %ld frames (%.2f sec) to %s\n", static_cast<long>(end - first), seconds,
         name.c_str());
}
