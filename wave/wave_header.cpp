#include "wave/wave_header.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Tags are looked for at even offsets from 2 up to and including this one.
constexpr uint32_t kLastTagOffset = 131072;
// The fields read behind a tag reach 24 bytes past the format tag.
constexpr size_t kWindowBytes = kLastTagOffset + 24;

// The scan window of the latest call. There is one thread, and keeping the
// window here spares every re-validation an allocation of 128 KiB.
char window[kWindowBytes];

// Reads up to `size` bytes from offset 0; returns how many arrived.
size_t ReadWindow(int fd, char* buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    ssize_t n = pread(fd, buffer + got, size - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

// First even offset k in [2, kLastTagOffset] at which `tag` begins, or -1.
// Bytes past the end of the file were zeroed and so never match a letter.
long FindTag(const char* tag, size_t tagLength) {
  const char* end = window + kLastTagOffset + 1;
  const char* p = window + 2;
  while (p < end) {
    p = static_cast<const char*>(memchr(p, tag[0], end - p));
    if (p == nullptr) return -1;
    long k = p - window;
    if (k % 2 == 0 && memcmp(p, tag, tagLength) == 0) return k;
    ++p;
  }
  return -1;
}

}  // namespace

uint16_t Assem2(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t Assem4(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void GetAttributes(const std::string& path, uint32_t& rate,
                   uint32_t& bytesPerSample, uint32_t& channels,
                   uint32_t& dataOffset, uint32_t& frames) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    printf("The file called %s cannot be found!\n", path.c_str());
    exit(2);
  }
  // One read covers every offset the scans may try. A directory or an
  // unreadable file yields no bytes, and whatever lies past the end of the
  // file reads as zero, so a short file never shows stale window contents.
  size_t got = ReadWindow(fd, window, kWindowBytes);
  memset(window + got, 0, kWindowBytes - got);

  long format = FindTag("fmt", 3);
  if (format < 0) {
    // Nothing at made-up offsets is read: the file has no format to tell.
    puts("Can't find format chunk in wave file!");
    channels = 0;
    bytesPerSample = 0;
    rate = 0;
  } else {
    channels = Assem2(window + format + 10);
    bytesPerSample = Assem2(window + format + 22) / 8u;
    rate = Assem4(window + format + 12);
  }

  long data = FindTag("data", 4);
  if (data < 0) {
    puts("Can't find data block in wave file!");
    exit(2);
  }
  dataOffset = static_cast<uint32_t>(data + 8);
  uint32_t dataSize = Assem4(window + data + 4);

  // A header may promise more than the file holds (a recording still being
  // written, a size of 0xFFFFFFFF); only whole frames present are reported.
  uint64_t frameSize = uint64_t{bytesPerSample} * channels;
  off_t end = lseek(fd, 0, SEEK_END);
  uint64_t fileSize = end < 0 ? 0 : static_cast<uint64_t>(end);
  uint64_t available = fileSize > dataOffset ? fileSize - dataOffset : 0;
  uint64_t whole = 0;
  if (frameSize != 0) {
    whole = dataSize / frameSize;
    if (whole * frameSize > available) whole = available / frameSize;
  }
  frames = static_cast<uint32_t>(whole);
  close(fd);
}

void GetAttributes(const std::string& path, WaveAttributes& attributes) {
  GetAttributes(path, attributes.rate, attributes.bytesPerSample,
                attributes.channels, attributes.dataOffset, attributes.frames);
}
