#include "wave/wave_writer.h"

namespace {

constexpr uint64_t kSamplerBody = 36 + 24;  // the chunk's fields, one loop

std::string Le32(uint64_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string Le16(uint64_t value) { return Le32(value).substr(0, 2); }

std::string Le64(uint64_t value) { return Le32(value) + Le32(value >> 32); }

uint64_t DataBytes(const WaveAttributes& a, uint64_t frames) {
  return frames * a.bytesPerSample * a.channels;
}

}  // namespace

std::string HeaderBeforeData(const WaveAttributes& a, uint64_t frames) {
  const uint64_t data = DataBytes(a, frames), frameBytes = uint64_t{a.bytesPerSample} * a.channels;
  const std::string format = "fmt " + Le32(16) + Le16(1) + Le16(a.channels) + Le32(a.rate) +
                             Le32(a.rate * frameBytes) + Le16(frameBytes) +
                             Le16(a.bytesPerSample * 8);
  const uint64_t after = (data & 1) + 8 + kSamplerBody;
  const uint64_t riff = 4 + format.size() + 8 + data + after;
  if (riff <= UINT32_MAX) return "RIFF" + Le32(riff) + "WAVE" + format + "data" + Le32(data);
  // RF64: the real sizes in ds64, first after "WAVE"; the 32-bit ones all set.
  const std::string ds64 = "ds64" + Le32(28) + Le64(riff + 36) + Le64(data) + Le64(frames) + Le32(0);
  return "RF64" + Le32(UINT32_MAX) + "WAVE" + ds64 + format + "data" + Le32(UINT32_MAX);
}

std::string ChunksAfterData(const WaveAttributes& a, uint64_t frames) {
  const std::string pad(DataBytes(a, frames) & 1, '\0');
  // The sample period in nanoseconds; MIDI note 60 plays the file as it is.
  const uint64_t period = a.rate != 0 ? (1000000000ull + a.rate / 2) / a.rate : 0;
  const std::string loop = Le32(0) + Le32(0) + Le32(0) + Le32(frames != 0 ? frames - 1 : 0) +
                           Le32(0) + Le32(0);
  return pad + "smpl" + Le32(kSamplerBody) + Le32(0) + Le32(0) + Le32(period) + Le32(60) +
         Le32(0) + Le32(0) + Le32(0) + Le32(1) + Le32(0) + loop;
}
