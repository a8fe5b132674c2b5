// Building wave files byte by byte, so that any layout can be tried, and
// the temporary folders the tests keep them in.
#ifndef KESTRUNE_TESTS_SUPPORT_WAVE_FILES_H_
#define KESTRUNE_TESTS_SUPPORT_WAVE_FILES_H_

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

std::string Le16(uint16_t value);
std::string Le32(uint32_t value);

// A chunk: four-letter id, little-endian size, body, and a pad byte when
// the body's length is odd.
std::string Chunk(const std::string& id, const std::string& body);

// The 16-byte body of a PCM format chunk.
std::string FormatBody(uint16_t channels, uint32_t rate, uint16_t bitsPerSample);

// The 40-byte body of an extensible format chunk for integer PCM.
std::string ExtensibleFormatBody(uint16_t channels, uint32_t rate, uint16_t bitsPerSample);

// "RIFF", size, "WAVE", then the chunks.
std::string Riff(const std::string& chunks);

// "RF64", "WAVE", a ds64 chunk holding the 64-bit data size, then the
// chunks (whose data chunk says 0xFFFFFFFF).
std::string Rf64(uint64_t dataSize, const std::string& chunks);

// Markers: a "cue " chunk of points {id, play-order position, sample
// offset}; a "labl" or "note" sub-chunk (`kind`) naming cue `id`, with its
// NUL; an "ltxt" sub-chunk making cue `id` a region of `length` frames; a
// "smpl" chunk with one forward loop from `start` to `last`, inclusive.
std::string CueChunk(const std::vector<std::array<uint32_t, 3>>& points);
std::string CueText(const std::string& kind, uint32_t id, const std::string& text);
std::string RegionText(uint32_t id, uint32_t length);
std::string SamplerLoop(uint32_t start, uint32_t last);

// A canonical 44-byte header followed by `data`.
std::string CanonicalWave(uint16_t channels, uint32_t rate,
                          uint16_t bitsPerSample, const std::string& data);

// A recording as a recorder leaves it until it ends: a canonical header
// whose data size is not filled in, and a sparse file of `fileSize` bytes.
void WriteRecordingWave(const std::string& path, uint16_t channels, uint32_t rate,
                        uint16_t bitsPerSample, uint64_t fileSize);

// Distinct bytes for every frame, so that a frame played from the wrong
// place shows: byte j of frame i is a hash of i and j (never all zero).
std::string PatternFrames(uint32_t firstFrame, uint32_t frames, uint32_t frameSize);

// A fresh folder under the system's temporary folder, removed with its
// files when the object goes (by the process that made it: a death test's
// child leaves it to its parent).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }
  // The names of the files and folders in it, at any depth.
  std::set<std::string> Names() const;

 private:
  std::string path_;
  int owner_;
};

void WriteFile(const std::string& path, const std::string& bytes);
void AppendFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

#endif  // KESTRUNE_TESTS_SUPPORT_WAVE_FILES_H_
