// Writes the benchmark's wave files into a folder: ten minutes of 44.1 kHz
// audio as 16-bit stereo, 24-bit stereo, 16-bit mono and 24-bit mono, one
// second, one minute, one hour and a gibibyte of 16-bit stereo, twenty
// minutes of 48 kHz stereo at both widths for the view, ten seconds at
// 48 kHz and at 192 kHz for the seam search, and the header that costs the
// reader most.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kRate = 44100;

std::string Le16(uint32_t v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string Format(uint16_t channels, uint16_t bits, uint32_t rate = kRate) {
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  return "fmt " + Le32(16) + Le16(1) + Le16(channels) + Le32(rate) + Le32(rate * align) +
         Le16(align) + Le16(bits);
}

// A header, then `seconds` of a 440 Hz tone at a moderate level.
bool Write(const std::string& path, const std::string& beforeData, uint16_t channels,
           uint16_t bits, uint32_t seconds, uint32_t rate = kRate) {
  const uint32_t frames = seconds * rate, sample = bits / 8u;
  const uint32_t dataBytes = frames * channels * sample;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::string header = "RIFF" + Le32(static_cast<uint32_t>(beforeData.size()) + 12 + dataBytes) +
                       "WAVE" + beforeData + "data" + Le32(dataBytes);
  std::fwrite(header.data(), 1, header.size(), f);
  std::vector<char> second(size_t{rate} * channels * sample);
  for (uint32_t i = 0; i < rate; ++i) {
    const int32_t value = static_cast<int32_t>(std::lround(
        std::sin(2 * 3.14159265358979 * 440.0 * i / rate) * (bits == 16 ? 8000 : 2048000)));
    for (uint32_t c = 0; c < channels; ++c)
      for (uint32_t b = 0; b < sample; ++b)
        second[(size_t{i} * channels + c) * sample + b] = static_cast<char>(value >> (8 * b));
  }
  for (uint32_t s = 0; s < seconds; ++s) std::fwrite(second.data(), 1, second.size(), f);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_bench_files FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  // Worst case: a chain of JUNK chunks of 4096 bytes, so that the chunk walk
  // reads a block at every one of them until it gives up, and then the scan
  // reads the rest of its window to find a format and a data tag written
  // inside a JUNK body, near the end of the window.
  std::string junk = "RIFF" + Le32(0) + "WAVE";
  for (int k = 0; k < 34; ++k) junk += "JUNK" + Le32(4096) + std::string(4096, '\0');
  junk.replace(131040, 24, Format(2, 16));
  junk.replace(131064, 8, "data" + Le32(0));
  std::FILE* worst = std::fopen((dir + "/worst-case.wav").c_str(), "wb");
  bool ok = worst != nullptr && std::fwrite(junk.data(), 1, junk.size(), worst) == junk.size() &&
            std::fclose(worst) == 0;
  ok = ok && Write(dir + "/stereo16.wav", Format(2, 16), 2, 16, 600) &&
       Write(dir + "/stereo24.wav", Format(2, 24), 2, 24, 600) &&
       Write(dir + "/mono16.wav", Format(1, 16), 1, 16, 600) &&
       Write(dir + "/mono24.wav", Format(1, 24), 1, 24, 600) &&
       Write(dir + "/stereo16-1min.wav", Format(2, 16), 2, 16, 60) &&
       Write(dir + "/canonical.wav", Format(2, 16), 2, 16, 1) &&
       Write(dir + "/stereo16-1hour.wav", Format(2, 16), 2, 16, 3600) &&
       Write(dir + "/stereo16-1gib.wav", Format(2, 16), 2, 16, 6087) &&
       Write(dir + "/stereo16-20min-48k.wav", Format(2, 16, 48000), 2, 16, 1200, 48000) &&
       Write(dir + "/stereo24-20min-48k.wav", Format(2, 24, 48000), 2, 24, 1200, 48000) &&
       Write(dir + "/stereo16-48k.wav", Format(2, 16, 48000), 2, 16, 10, 48000) &&
       Write(dir + "/stereo24-192k.wav", Format(2, 24, 192000), 2, 24, 10, 192000);
  return ok ? 0 : 1;
}
