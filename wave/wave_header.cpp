#include "wave/wave_header.h"

#include <fcntl.h>
#include <sys/stat.h>
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
// Most files have both chunks near the start: these first bytes serve the
// walk, and the rest of the scan window is read only when they don't
// settle the scan.
constexpr size_t kFirstRead = 4096;

// The walk reads a block at a chunk beyond what it holds, so that a large
// chunk (iXML, JUNK, a bext with a long history) costs one read, not one per
// byte skipped. A file that needs more reads or chunks than these is no
// header a recorder writes: the scan answers for it.
constexpr size_t kBlockBytes = 4096;
constexpr int kMostBlockReads = 32;
constexpr int kMostChunks = 1024;

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

// Whole frames of `frameSize` bytes in a data chunk of `dataSize` bytes at
// `dataOffset`: a header may promise more than the file holds (a recording
// still being written, a size of 0xFFFFFFFF), and only frames present count.
uint32_t WholeFrames(uint64_t dataSize, uint64_t dataOffset, uint64_t frameSize,
                     uint64_t fileSize) {
  if (frameSize == 0) return 0;
  const uint64_t available = fileSize > dataOffset ? fileSize - dataOffset : 0;
  return static_cast<uint32_t>(std::min<uint64_t>(std::min(dataSize, available) / frameSize,
                                                  UINT32_MAX));
}

void ReadFormatFields(const char* fields, WaveAttributes& a) {
  a.channels = Assem2(fields + 10);
  a.bytesPerSample = Assem2(fields + 22) / 8u;
  a.rate = Assem4(fields + 12);
}

// The scan window and the walk's block of the latest call. There is one
// thread, and keeping them here spares every re-validation an allocation of
// 128 KiB.
char window[kWindowBytes];
char block[kBlockBytes];

// The bytes the walk asks for: from the first read where they lie in it,
// otherwise from the block read last.
struct WalkBytes {
  const ByteSource& source;
  const char* head;
  size_t headSize;
  uint64_t blockOffset = 0;
  size_t blockSize = 0;
  int reads = 0;
};

// Copies the `size` bytes at `offset` to `out`; false when the file (or
// the walk's budget of reads) ends before them.
bool Fetch(WalkBytes& w, uint64_t offset, size_t size, char* out) {
  if (offset + size <= w.headSize) {
    memcpy(out, w.head + offset, size);
    return true;
  }
  if (offset < w.blockOffset || offset + size > w.blockOffset + w.blockSize) {
    if (offset + size > w.source.fileSize || ++w.reads > kMostBlockReads) return false;
    w.blockOffset = offset;
    w.blockSize = w.source.read(w.source.context, block, kBlockBytes, offset);
    if (offset + size > w.blockOffset + w.blockSize) return false;
  }
  memcpy(out, block + (offset - w.blockOffset), size);
  return true;
}

// Walks the chunks from offset 12 (id, little-endian size, body, a pad
// byte after an odd size) to the first "fmt " and "data" chunks. RF64 puts
// the real data size in its ds64 chunk, first after "WAVE". The walk ends
// when both are found, so a data chunk that runs past the end of the file
// (a recording still being written) is no obstacle once the format is known.
HeaderScan WalkChunks(WalkBytes& w) {
  HeaderScan found;
  char riff[12];
  if (!Fetch(w, 0, sizeof riff, riff)) return found;
  const bool rf64 = memcmp(riff, "RF64", 4) == 0;
  if ((!rf64 && memcmp(riff, "RIFF", 4) != 0) || memcmp(riff + 8, "WAVE", 4) != 0) return found;

  uint64_t at = 12, data = 0, dataSize = 0, ds64DataSize = UINT32_MAX;
  char format[24];
  for (int chunk = 0; chunk < kMostChunks; ++chunk) {
    char header[8];
    if (!Fetch(w, at, sizeof header, header)) return {};
    uint64_t size = Assem4(header + 4);
    if (rf64 && chunk == 0 && memcmp(header, "ds64", 4) == 0) {
      char sizes[8];
      if (size >= 16 && Fetch(w, at + 16, sizeof sizes, sizes))
        ds64DataSize = Assem4(sizes) | uint64_t{Assem4(sizes + 4)} << 32;
    } else if (!found.dataFound && memcmp(header, "data", 4) == 0) {
      if (rf64 && size == UINT32_MAX) size = ds64DataSize;
      found.dataFound = true;
      data = at;
      dataSize = size;
    } else if (!found.formatFound && memcmp(header, "fmt ", 4) == 0) {
      if (!Fetch(w, at, sizeof format, format)) return {};
      found.formatFound = true;
    }
    if (found.formatFound && found.dataFound) break;
    if (size > w.source.fileSize) return {};
    at += 8 + size + (size & 1);
    if (at > w.source.fileSize) return {};
  }
  if (!found.formatFound || !found.dataFound || data + 8 > UINT32_MAX) return {};

  WaveAttributes& a = found.attributes;
  ReadFormatFields(format, a);
  a.dataOffset = static_cast<uint32_t>(data + 8);
  a.frames = WholeFrames(dataSize, a.dataOffset, uint64_t{a.bytesPerSample} * a.channels,
                         w.source.fileSize);
  return found;
}

struct FileSource {
  int fd;
  int error;
};

size_t ReadFromDescriptor(void* context, char* into, size_t size, uint64_t offset) {
  auto* file = static_cast<FileSource*>(context);
  int error = 0;
  const size_t got = ReadAt(file->fd, into, size, offset, error);
  if (error != 0) file->error = error;
  return got;
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

HeaderScan ScanHeader(const char* head, size_t size, uint64_t fileSize) {
  HeaderScan scan;
  WaveAttributes& a = scan.attributes;
  const long format = FindTag(head, size, "fmt", 3);
  // Without a format tag nothing is read at made-up offsets: the fields
  // stay 0 and so does the frame count.
  if (format >= 0) {
    scan.formatFound = true;
    scan.extent = static_cast<size_t>(format) + 24;
    char fields[24];
    for (size_t i = 0; i < sizeof fields; i += 4)
      memcpy(fields + i, Field(head, size, format + i).bytes, 4);
    ReadFormatFields(fields, a);
  }

  const long data = FindTag(head, size, "data", 4);
  if (data < 0) return scan;
  scan.dataFound = true;
  scan.extent = std::max(scan.extent, static_cast<size_t>(data) + 8);
  a.dataOffset = static_cast<uint32_t>(data + 8);
  const uint32_t dataSize = Assem4(Field(head, size, data + 4).bytes);
  a.frames = WholeFrames(dataSize, a.dataOffset, uint64_t{a.bytesPerSample} * a.channels,
                         fileSize);
  return scan;
}

HeaderScan ReadHeader(const ByteSource& source) {
  size_t got = source.read(source.context, window, kFirstRead, 0);
  WalkBytes walk{source, window, got};
  HeaderScan scan = WalkChunks(walk);
  if (scan.formatFound && scan.dataFound) return scan;

  // At most one more read covers every offset the scans may try.
  scan = ScanHeader(window, got, source.fileSize);
  const bool settled = scan.formatFound && scan.dataFound && scan.extent <= got;
  if (!settled && got == kFirstRead) {
    got += source.read(source.context, window + got, kWindowBytes - got, got);
    scan = ScanHeader(window, got, source.fileSize);
  }
  return scan;
}

namespace {

[[noreturn]] void CannotBeFound(const std::string& path, const char* reason) {
  printf("The file called %s cannot be found!\n", path.c_str());
  fflush(stdout);
  fprintf(stderr, "kestrune: %s: %s\n", path.c_str(), reason);
  exit(2);
}

}  // namespace

WaveFile OpenWaveFile(const std::string& path) {
  // A name holding a NUL byte names no file: it must not open the file
  // named by its first part.
  if (path.find('\0') != std::string::npos) CannotBeFound(path, "the name holds a NUL byte");
  // A FIFO would block the open until a writer came; a FIFO, a device or
  // a folder is refused once open.
  WaveFile file;
  file.fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (file.fd < 0 || fstat(file.fd, &info) != 0) CannotBeFound(path, strerror(errno));
  if (!S_ISREG(info.st_mode)) CannotBeFound(path, "not a regular file");
  file.device = info.st_dev;
  file.inode = info.st_ino;
  file.size = static_cast<uint64_t>(info.st_size);
  return file;
}

void ReadAttributes(const WaveFile& wave, const std::string& path, WaveAttributes& attributes) {
  FileSource file{wave.fd, 0};
  const HeaderScan scan = ReadHeader({ReadFromDescriptor, &file, wave.size});
  if (!scan.formatFound) puts("Can't find format chunk in wave file!");
  if (!scan.dataFound) puts("Can't find data block in wave file!");
  if (file.error != 0 || !scan.dataFound) fflush(stdout);
  if (file.error != 0) {
    fprintf(stderr, "kestrune: reading %s failed: %s\n", path.c_str(), strerror(file.error));
  } else if (!scan.dataFound) {
    // The messages above go to standard output: a script that keeps only
    // standard error would learn nothing of a file that is no WAVE file.
    fprintf(stderr, "kestrune: %s: no WAVE data chunk found\n", path.c_str());
  }
  if (!scan.dataFound) exit(2);
  attributes = scan.attributes;
}

bool ReadAttributesQuietly(const WaveFile& wave, WaveAttributes& attributes) {
  struct stat info;
  if (fstat(wave.fd, &info) != 0) return false;
  FileSource file{wave.fd, 0};
  const HeaderScan scan =
      ReadHeader({ReadFromDescriptor, &file, static_cast<uint64_t>(info.st_size)});
  if (file.error != 0 || !scan.formatFound || !scan.dataFound) return false;
  attributes = scan.attributes;
  return true;
}

void GetAttributes(const std::string& path, WaveAttributes& attributes) {
  const WaveFile file = OpenWaveFile(path);
  ReadAttributes(file, path, attributes);
  close(file.fd);
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
