// Arbitrary bytes as the start of a wave file. The scan must never read
// outside them, and what it reports must hold together: no more frames
// than lie between the data offset and the end of the file, and no format
// fields from a file without a format tag. A missing data tag is the only
// case in which the player ends the process, and it shows here as
// dataFound = false.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "wave/wave_header.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

void CheckScan(const char* bytes, size_t size, uint64_t fileSize) {
  const HeaderScan scan = ScanHeader(bytes, size, fileSize);
  const WaveAttributes& a = scan.attributes;
  if (!scan.formatFound) Check(a.rate == 0 && a.bytesPerSample == 0 && a.channels == 0);
  if (!scan.dataFound) return;
  Check(a.dataOffset >= 10 && a.dataOffset <= 131080 && a.dataOffset % 2 == 0);
  Check(memcmp(bytes + a.dataOffset - 8, "data", 4) == 0);
  const uint64_t frameSize = uint64_t{a.bytesPerSample} * a.channels;
  const uint64_t available = fileSize > a.dataOffset ? fileSize - a.dataOffset : 0;
  Check(a.frames * frameSize <= available);
  if (frameSize == 0) Check(a.frames == 0);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  // The file as it is, and the same first bytes of a file that goes on
  // beyond them (a long recording, of which only the header is read).
  CheckScan(bytes, size, size);
  CheckScan(bytes, size, uint64_t{size} + 0xFFFFFFFFull);
  if (size >= 8) CheckScan(bytes, size, uint64_t{size} + Assem4(bytes + size - 4));
  CheckFirstReadSettles(bytes, size);
  return 0;
}
