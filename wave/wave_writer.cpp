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

// A chunk: its id, size and body, and the pad byte after an odd size.
std::string Chunk(const char* id, const std::string& body) {
  return id + Le32(body.size()) + body + std::string(body.size() & 1, '\0');
}

// The cue points numbered from 1, their frames in both the play-order
// position and the sample offset; the texts with their NUL.
std::string MarkerChunks(const std::vector<Marker>& marks) {
  if (marks.empty()) return "";
  std::string cue = Le32(marks.size()), list = "adtl";
  for (size_t i = 0; i < marks.size(); ++i) {
    const Marker& m = marks[i];
    const std::string id = Le32(i + 1);
    cue += id + Le32(m.start) + "data" + Le32(0) + Le32(0) + Le32(m.start);
    if (!m.label.empty()) list += Chunk("labl", id + m.label + '\0');
    if (!m.note.empty()) list += Chunk("note", id + m.note + '\0');
    if (m.kind == Marker::Kind::kRegion)
      list += Chunk("ltxt", id + Le32(m.end - m.start) + "rgn " + Le32(0) + Le32(0));
  }
  return Chunk("cue ", cue) + (list.size() > 4 ? Chunk("LIST", list) : "");
}

}  // namespace

std::string HeaderBeforeData(const WaveAttributes& a, uint64_t frames,
                             const std::vector<Marker>& marks) {
  const uint64_t data = DataBytes(a, frames), frameBytes = uint64_t{a.bytesPerSample} * a.channels;
  const std::string format = "fmt " + Le32(16) + Le16(1) + Le16(a.channels) + Le32(a.rate) +
                             Le32(a.rate * frameBytes) + Le16(frameBytes) +
                             Le16(a.bytesPerSample * 8);
  const uint64_t after = ChunksAfterData(a, frames, marks).size();
  const uint64_t riff = 4 + format.size() + 8 + data + after;
  if (riff <= UINT32_MAX) return "RIFF" + Le32(riff) + "WAVE" + format + "data" + Le32(data);
  // RF64: the real sizes in ds64, first after "WAVE"; the 32-bit ones all set.
  const std::string ds64 = "ds64" + Le32(28) + Le64(riff + 36) + Le64(data) + Le64(frames) + Le32(0);
  return "RF64" + Le32(UINT32_MAX) + "WAVE" + ds64 + format + "data" + Le32(UINT32_MAX);
}

std::string ChunksAfterData(const WaveAttributes& a, uint64_t frames,
                            const std::vector<Marker>& marks) {
  const std::string pad(DataBytes(a, frames) & 1, '\0');
  // The sample period in nanoseconds; MIDI note 60 plays the file as it is.
  const uint64_t period = a.rate != 0 ? (1000000000ull + a.rate / 2) / a.rate : 0;
  const std::string loop = Le32(0) + Le32(0) + Le32(0) + Le32(frames != 0 ? frames - 1 : 0) +
                           Le32(0) + Le32(0);
  return pad + "smpl" + Le32(kSamplerBody) + Le32(0) + Le32(0) + Le32(period) + Le32(60) +
         Le32(0) + Le32(0) + Le32(0) + Le32(1) + Le32(0) + loop + MarkerChunks(marks);
}
