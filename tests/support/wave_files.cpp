#include "tests/support/wave_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

std::string Le16(uint16_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string Le32(uint32_t v) {
  return Le16(static_cast<uint16_t>(v & 0xFFFF)) + Le16(static_cast<uint16_t>(v >> 16));
}

std::string Chunk(const std::string& id, const std::string& body) {
  std::string chunk = id + Le32(static_cast<uint32_t>(body.size())) + body;
  if (body.size() % 2 != 0) chunk.push_back('\0');
  return chunk;
}

std::string FormatBody(uint16_t channels, uint32_t rate, uint16_t bits) {
  uint16_t align = static_cast<uint16_t>(channels * (bits / 8));
  return Le16(1) + Le16(channels) + Le32(rate) + Le32(rate * align) + Le16(align) + Le16(bits);
}

std::string ExtensibleFormatBody(uint16_t channels, uint32_t rate, uint16_t bits) {
  const std::string pcm("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 16);
  std::string body = FormatBody(channels, rate, bits);
  body.replace(0, 2, Le16(0xFFFE));
  return body + Le16(22) + Le16(bits) + Le32(channels == 1 ? 4 : 3) + pcm;
}

std::string Rf64(uint64_t dataSize, const std::string& chunks) {
  auto le64 = [](uint64_t v) { return Le32(static_cast<uint32_t>(v)) + Le32(static_cast<uint32_t>(v >> 32)); };
  return "RF64" + Le32(0xFFFFFFFFu) + "WAVE" +
         Chunk("ds64", le64(chunks.size() + 40) + le64(dataSize) + le64(0) + Le32(0)) + chunks;
}

std::string Riff(const std::string& chunks) {
  return "RIFF" + Le32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

std::string CueChunk(const std::vector<std::array<uint32_t, 3>>& points) {
  std::string body = Le32(static_cast<uint32_t>(points.size()));
  for (const auto& [id, position, offset] : points)
    body += Le32(id) + Le32(position) + "data" + Le32(0) + Le32(0) + Le32(offset);
  return Chunk("cue ", body);
}

std::string CueText(const std::string& kind, uint32_t id, const std::string& text) {
  return Chunk(kind, Le32(id) + text + '\0');
}

std::string RegionText(uint32_t id, uint32_t length) {
  return Chunk("ltxt", Le32(id) + Le32(length) + "rgn " + Le32(0) + Le32(0));
}

std::string SamplerLoop(uint32_t start, uint32_t last) {
  std::string fields;
  for (uint32_t field : {0u, 0u, 125000u, 60u, 0u, 0u, 0u, 1u, 0u}) fields += Le32(field);
  return Chunk("smpl", fields + Le32(0) + Le32(0) + Le32(start) + Le32(last) + Le32(0) + Le32(0));
}

std::string CanonicalWave(uint16_t channels, uint32_t rate, uint16_t bits,
                          const std::string& data) {
  return Riff(Chunk("fmt ", FormatBody(channels, rate, bits)) + Chunk("data", data));
}

void WriteRecordingWave(const std::string& path, uint16_t channels, uint32_t rate,
                        uint16_t bits, uint64_t fileSize) {
  std::string header = CanonicalWave(channels, rate, bits, "");
  header.replace(40, 4, Le32(0xFFFFFFFFu));
  WriteFile(path, header);
  if (truncate(path.c_str(), static_cast<off_t>(fileSize)) != 0) abort();
}

std::string PatternFrames(uint32_t firstFrame, uint32_t frames, uint32_t frameSize) {
  std::string bytes;
  bytes.reserve(size_t{frames} * frameSize);
  for (uint32_t i = firstFrame; i < firstFrame + frames; ++i) {
    for (uint32_t j = 0; j < frameSize; ++j) {
      uint32_t h = (i + 1) * 2654435761u ^ (j + 1) * 40503u;
      h ^= h >> 13;
      bytes.push_back(static_cast<char>((h & 0xFF) | 1));
    }
  }
  return bytes;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  owner_ = getpid();
}

TempDir::~TempDir() {
  if (getpid() != owner_) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::set<std::string> TempDir::Names() const {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_))
    names.insert(entry.path().filename());
  return names;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void AppendFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
