// Arbitrary bytes as the start of a wave file. Neither the chunk walk nor
// the scan may read outside them, and what they report must hold together:
// no more frames than lie between the data offset and the end of the file,
// a data offset just behind real "data" letters, and no format fields from
// a file without a format tag. A missing data tag is the only case in which
// the player ends the process, and it shows here as dataFound = false.
// The marker reader walks every chunk of the same bytes: each marker it
// reports must come from bytes the file holds.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "wave/markers.h"
#include "wave/wave_header.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

void CheckResult(const HeaderScan& scan, const char* bytes, size_t size, uint64_t fileSize) {
  const WaveAttributes& a = scan.attributes;
  if (!scan.formatFound) Check(a.rate == 0 && a.bytesPerSample == 0 && a.channels == 0);
  if (!scan.dataFound) return;
  Check(a.dataOffset >= 10 && a.dataOffset % 2 == 0 && a.dataOffset - 4 <= size);
  Check(memcmp(bytes + a.dataOffset - 8, "data", 4) == 0);
  const uint64_t frameSize = uint64_t{a.bytesPerSample} * a.channels;
  const uint64_t available = fileSize > a.dataOffset ? fileSize - a.dataOffset : 0;
  Check(a.frames * frameSize <= available);
  if (frameSize == 0) Check(a.frames == 0);
}

void CheckScan(const char* bytes, size_t size, uint64_t fileSize) {
  const HeaderScan scan = ScanHeader(bytes, size, fileSize);
  CheckResult(scan, bytes, size, fileSize);
  if (scan.dataFound) Check(scan.attributes.dataOffset <= 131080);
}

// The bytes as a file: a read past them gets nothing.
struct Input {
  const char* bytes;
  size_t size;
};

size_t ReadInput(void* context, char* into, size_t size, uint64_t offset) {
  const auto* input = static_cast<const Input*>(context);
  if (offset >= input->size) return 0;
  size = std::min<uint64_t>(size, input->size - offset);
  memcpy(into, input->bytes + offset, size);
  return size;
}

void CheckReading(const char* bytes, size_t size, uint64_t fileSize) {
  Input input{bytes, size};
  CheckResult(ReadHeader({ReadInput, &input, fileSize}), bytes, size, fileSize);
}

// The reader looks at the first 4 KiB before reading the rest of the
// window; a result settled by those bytes must be the whole window's.
void CheckFirstReadSettles(const char* bytes, size_t size) {
  constexpr size_t kFirstRead = 4096;
  if (size < kFirstRead) return;
  const HeaderScan first = ScanHeader(bytes, kFirstRead, size);
  if (!first.formatFound || !first.dataFound || first.extent > kFirstRead) return;
  const HeaderScan whole = ScanHeader(bytes, size, size);
  Check(memcmp(&first.attributes, &whole.attributes, sizeof(WaveAttributes)) == 0);
}

// No more markers than the bytes could hold (24 bytes a cue point or loop),
// a point ending where it starts, a region or loop after it, and texts up
// to their NUL.
void CheckMarkers(const char* bytes, size_t size, uint64_t fileSize) {
  Input input{bytes, size};
  const std::vector<Marker> markers = ReadMarkers({ReadInput, &input, fileSize});
  Check(markers.size() <= size / 24);
  for (size_t i = 0; i < markers.size(); ++i) {
    const Marker& m = markers[i];
    Check(m.kind == Marker::Kind::kPoint ? m.end == m.start : m.end > m.start);
    Check(m.label.find('\0') == std::string::npos && m.note.find('\0') == std::string::npos);
    Check(m.label.size() + m.note.size() <= size);
    if (i > 0) Check(markers[i - 1].start <= m.start);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  // The file as it is, and the same first bytes of a file that goes on
  // beyond them (a long recording, of which only the header is read).
  CheckScan(bytes, size, size);
  CheckScan(bytes, size, uint64_t{size} + 0xFFFFFFFFull);
  if (size >= 8) CheckScan(bytes, size, uint64_t{size} + Assem4(bytes + size - 4));
  CheckReading(bytes, size, size);
  CheckReading(bytes, size, uint64_t{size} + 0xFFFFFFFFull);
  CheckFirstReadSettles(bytes, size);
  CheckMarkers(bytes, size, size);
  CheckMarkers(bytes, size, uint64_t{size} + 0xFFFFFFFFull);
  return 0;
}
