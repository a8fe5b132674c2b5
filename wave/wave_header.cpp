#include "wave/wave_header.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Tags are looked for at even offsets from 2 up to and including this one.
constexpr size_t kLastTagOffset = 131072;
// The fields read behind a tag reach 24 bytes past the format tag.
constexpr size_t kWindowBytes = kLastTagOffset + 24;
// Most files have both tags near the start: the rest of the window is read
// only when these first bytes do not settle the scan.
constexpr size_t kFirstRead = 4096;

// First even offset k in [2, kLastTagOffset] at which `tag` begins within
// the `size` bytes at `head`, or -1.
long FindTag(const char* head, size_t size, const char* tag, size_t tagLength) {
  if (size < tagLength) return -1;
  const char* end = head + std::min(kLastTagOffset, size - tagLength) + 1;
  for (const char* p = head + 2; p < end; ++p) {
    p = static_cast<const char*>(memchr(p, tag[0], static_cast<size_t>(end - p)));
    if (p == nullptr) return -1;
    if ((p - head) % 2 == 0 && memcmp(p, tag, tagLength) == 0) return p - head;
  }
  return -1;
}

// The bytes at `offset`; those past the end of what was read count as 0,
// as a header cut short by the end of the file has no more to give.
struct Field {
  char bytes[4];
  Field(const char* head, size_t size, size_t offset) {
    for (size_t i = 0; i < 4; ++i) bytes[i] = offset + i < size ? head[offset + i] : 0;
  }
};

// The scan window of the latest call. There is one thread, and keeping the
// window here spares every re-validation an allocation of 128 KiB.
char window[kWindowBytes];

}  // namespace

size_t ReadAt(int fd, char* into, size_t size, uint64_t offset) {
  size_t got = 0;
  while (got < size) {
    ssize_t n = pread(fd, into + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

uint16_t Assem2(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t Assem4(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

HeaderScan ScanHeader(const char* head, size_t size, uint64_t fileSize) {
  HeaderScan scan;
  WaveAttributes& a = scan.attributes;
  const long format = FindTag(head, size, "fmt", 3);
  // Without a format tag nothing is read at made-up offsets: the fields
  // stay 0 and so does the frame count.
  if (format >= 0) {
    scan.formatFound = true;
    scan.extent = static_cast<size_t>(format) + 24;
    a.channels = Assem2(Field(head, size, format + 10).bytes);
    a.bytesPerSample = Assem2(Field(head, size, format + 22).bytes) / 8u;
    a.rate = Assem4(Field(head, size, format + 12).bytes);
  }

  const long data = FindTag(head, size, "data", 4);
  if (data < 0) return scan;
  scan.dataFound = true;
  scan.extent = std::max(scan.extent, static_cast<size_t>(data) + 8);
  a.dataOffset = static_cast<uint32_t>(data + 8);
  const uint32_t dataSize = Assem4(Field(head, size, data + 4).bytes);

  // A header may promise more than the file holds (a recording still being
  // written, a size of 0xFFFFFFFF); only whole frames present count.
  const uint64_t frameSize = uint64_t{a.bytesPerSample} * a.channels;
  const uint64_t available = fileSize > a.dataOffset ? fileSize - a.dataOffset : 0;
  uint64_t frames = 0;
  if (frameSize != 0) {
    frames = dataSize / frameSize;
    if (frames * frameSize > available) frames = available / frameSize;
  }
  a.frames = static_cast<uint32_t>(frames);
  return scan;
}

int OpenWaveFile(const std::string& path) {
  // A name holding a NUL byte names no file: it must not open the file
  // named by its first part.
  int fd = path.find('\0') == std::string::npos ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) {
    printf("The file called %s cannot be found!\n", path.c_str());
    exit(2);
  }
  return fd;
}

void GetAttributes(const std::string& path, WaveAttributes& attributes) {
  int fd = OpenWaveFile(path);
  // At most two reads cover every offset the scans may try; a folder or
  // an unreadable file yields no bytes.
  const off_t end = lseek(fd, 0, SEEK_END);
  const uint64_t fileSize = end < 0 ? 0 : static_cast<uint64_t>(end);
  size_t got = ReadAt(fd, window, kFirstRead, 0);
  HeaderScan scan = ScanHeader(window, got, fileSize);
  const bool settled = scan.formatFound && scan.dataFound && scan.extent <= got;
  if (!settled && got == kFirstRead) {
    got += ReadAt(fd, window + got, kWindowBytes - got, got);
    scan = ScanHeader(window, got, fileSize);
  }
  close(fd);

  if (!scan.formatFound) puts("Can't find format chunk in wave file!");
  if (!scan.dataFound) {
    puts("Can't find data block in wave file!");
    exit(2);
  }
  attributes = scan.attributes;
}

void GetAttributes(const std::string& path, uint32_t& rate, uint32_t& bytesPerSample,
                   uint32_t& channels, uint32_t& dataOffset, uint32_t& frames) {
  WaveAttributes a;
  GetAttributes(path, a);
  rate = a.rate;
  bytesPerSample = a.bytesPerSample;
  channels = a.channels;
  dataOffset = a.dataOffset;
  frames = a.frames;
}
