// Reading the facts playback needs from a RIFF WAVE file's header.
#ifndef KESTRUNE_WAVE_WAVE_HEADER_H_
#define KESTRUNE_WAVE_WAVE_HEADER_H_

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

// What one reading of a wave file's header reports.
struct WaveAttributes {
  uint32_t rate = 0;            // frames per second
  uint32_t bytesPerSample = 0;  // bits per sample / 8
  uint32_t channels = 0;
  uint32_t dataOffset = 0;      // file offset of the first sample byte
  uint32_t frames = 0;          // whole frames present in the file
};

// Only these layouts are ever sent to the device: it is opened for two
// channels of 16- or 24-bit samples, and any other layout would be misread.
inline bool Playable(const WaveAttributes& a) {
  return (a.channels == 1 || a.channels == 2) &&
         (a.bytesPerSample == 2 || a.bytesPerSample == 3);
}

// Little-endian byte assemblers; each byte counts by its unsigned value.
uint16_t Assem2(const char* bytes);
uint32_t Assem4(const char* bytes);

// The value of a signed little-endian sample of 2 or 3 bytes.
inline int32_t SignedSample(const char* bytes, unsigned bytesPerSample) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  if (bytesPerSample == 2) return static_cast<int16_t>(b[0] | b[1] << 8);
  return static_cast<int32_t>(static_cast<uint32_t>(b[0] << 8 | b[1] << 16 | b[2] << 24)) >> 8;
}

// Walks the RIFF chunk list to the first "fmt " and "data" chunks; where
// that fails, finds the "fmt" and "data" tags at even offsets from 2. Reads
// the fields behind them. Ends the process with status 2 when the file
// cannot be opened or holds no data tag.
void GetAttributes(const std::string& path, uint32_t& rate,
                   uint32_t& bytesPerSample, uint32_t& channels,
                   uint32_t& dataOffset, uint32_t& frames);

// The same, into one record.
void GetAttributes(const std::string& path, WaveAttributes& attributes);

// A wave file open for reading, with what identifies it on its file system
// and its size when it was opened.
struct WaveFile {
  int fd = -1;
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
};

// Opens `path` for reading, without waiting on a FIFO. When it cannot be
// opened or is not a regular file, prints that it cannot be found, and the
// reason on standard error, and ends the process with status 2.
WaveFile OpenWaveFile(const std::string& path);

// GetAttributes on a file already open; `path` names it in messages.
void ReadAttributes(const WaveFile& file, const std::string& path, WaveAttributes& attributes);

// The same without a word and without ending the process, on the file as it
// is now, for a recording still being written: false when its header
// cannot be read or holds no format and data chunk.
bool ReadAttributesQuietly(const WaveFile& file, WaveAttributes& attributes);

// Reads up to `size` bytes at `offset` into `into`; fewer only where the
// file ends or a read fails, and then `error` holds the failure's errno
// (0 at the end of the file). Returns how many arrived. Defined here, as
// every period of a play makes one such read.
inline size_t ReadAt(int fd, char* into, size_t size, uint64_t offset, int& error) {
  error = 0;
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, into + got, size - got, static_cast<off_t>(offset + got));
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      error = errno;
      break;
    }
  }
  return got;
}

// What a header reading found. Without a format tag the rate, width and
// channel count are 0; without a data tag the attributes are not to be used.
struct HeaderScan {
  bool formatFound = false;
  bool dataFound = false;
  size_t extent = 0;  // how many leading bytes the result depends on
  WaveAttributes attributes;
};

// The even-offset scan, on the first `size` bytes of a file of `fileSize`
// bytes (bytes beyond `size` count as zero).
HeaderScan ScanHeader(const char* head, size_t size, uint64_t fileSize);

// Where a header reading takes a file's bytes from: `read` copies up to
// `size` bytes at `offset` into `into` and returns how many it had.
struct ByteSource {
  size_t (*read)(void* context, char* into, size_t size, uint64_t offset);
  void* context;
  uint64_t fileSize;
};

// The whole reading behind GetAttributes: the chunk walk, and the scan
// where the walk does not find both chunks.
HeaderScan ReadHeader(const ByteSource& source);

#endif  // KESTRUNE_WAVE_WAVE_HEADER_H_
