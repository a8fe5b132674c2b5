#include "wave/markers.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// A file with more chunks than this is no file a recorder or an editor
// writes; and no marker chunk needs more bytes than this (43,690 cue points).
constexpr int kMostChunks = 1024;
constexpr uint64_t kMostChunkBytes = 1 << 20;

// The body of the chunk at `at` of `size` bytes, as far as the file holds it
// and at most kMostChunkBytes: read in growing steps, so that a size no
// file backs costs no more than the bytes there are.
std::string Body(const ByteSource& source, uint64_t at, uint64_t size) {
  const uint64_t begin = at + 8;
  if (begin >= source.fileSize) return "";
  const uint64_t wanted = std::min({size, source.fileSize - begin, kMostChunkBytes});
  std::string body;
  while (body.size() < wanted) {
    const size_t had = body.size();
    const size_t step = static_cast<size_t>(std::min<uint64_t>(wanted - had, std::max<size_t>(had, 4096)));
    body.resize(had + step);
    const size_t got = source.read(source.context, &body[had], step, begin + had);
    body.resize(had + got);
    if (got < step) break;
  }
  return body;
}

// Text up to its NUL, or to the end of the bytes given: a label without one
// ends with its chunk.
std::string Text(const std::string& bytes, size_t from) {
  if (from >= bytes.size()) return "";
  const size_t end = bytes.find('\0', from);
  return bytes.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

struct Labels {
  std::map<uint32_t, std::string> label, note;
  std::map<uint32_t, uint32_t> length;  // a region's, in frames
};

// A cue point holds its frame in its sample offset, and writers that use
// only the play-order position leave the offset 0 and put the frame there.
void ReadCuePoints(const std::string& body, std::vector<Marker>& markers) {
  if (body.size() < 4) return;
  const uint64_t count = std::min<uint64_t>(Assem4(body.data()), (body.size() - 4) / 24);
  for (uint64_t i = 0; i < count; ++i) {
    const char* point = body.data() + 4 + 24 * i;
    Marker m;
    m.id = Assem4(point);
    m.start = Assem4(point + 20) != 0 ? Assem4(point + 20) : Assem4(point + 4);
    m.end = m.start;
    markers.push_back(m);
  }
}

// "labl" and "note": a cue id, then text; "ltxt": a cue id, a length in
// frames, a purpose, country, language, dialect and code page, then text.
void ReadAssociatedData(const std::string& body, Labels& labels) {
  for (size_t at = 4; at + 8 <= body.size();) {
    const uint64_t size = Assem4(body.data() + at + 4);
    const std::string sub = body.substr(at + 8, std::min<uint64_t>(size, body.size() - at - 8));
    if (sub.size() >= 4) {
      const uint32_t id = Assem4(sub.data());
      if (memcmp(body.data() + at, "labl", 4) == 0) labels.label.emplace(id, Text(sub, 4));
      if (memcmp(body.data() + at, "note", 4) == 0) labels.note.emplace(id, Text(sub, 4));
      if (memcmp(body.data() + at, "ltxt", 4) == 0 && sub.size() >= 8)
        labels.length.emplace(id, Assem4(sub.data() + 4));
    }
    at += 8 + size + (size & 1);
  }
}

// 36 bytes of the sampler's fields, the loop count at 28; then 24 bytes a
// loop: id, type, start, end, fraction, play count. The end is the loop's
// last frame.
void ReadLoops(const std::string& body, std::vector<Marker>& markers) {
  if (body.size() < 36) return;
  const uint64_t count = std::min<uint64_t>(Assem4(body.data() + 28), (body.size() - 36) / 24);
  for (uint64_t i = 0; i < count; ++i) {
    const char* loop = body.data() + 36 + 24 * i;
    Marker m;
    m.kind = Marker::Kind::kLoop;
    m.id = Assem4(loop);
    m.start = Assem4(loop + 8);
    m.end = uint64_t{Assem4(loop + 12)} + 1;
    if (m.end > m.start) markers.push_back(m);
  }
}

}  // namespace

std::vector<Marker> ReadMarkers(const ByteSource& source) {
  std::vector<Marker> markers;
  Labels labels;
  char riff[12];
  if (source.read(source.context, riff, sizeof riff, 0) != sizeof riff) return markers;
  const bool rf64 = memcmp(riff, "RF64", 4) == 0;
  if ((!rf64 && memcmp(riff, "RIFF", 4) != 0) || memcmp(riff + 8, "WAVE", 4) != 0) return markers;
  // Labels, notes and lengths may come before or after the cue points they
  // name: they are matched once every chunk is read. A second cue chunk
  // would number its points anew, and is not read.
  bool cueRead = false;
  uint64_t at = 12, ds64DataSize = UINT32_MAX;
  for (int chunk = 0; chunk < kMostChunks && at + 8 <= source.fileSize; ++chunk) {
    char header[8];
    if (source.read(source.context, header, sizeof header, at) != sizeof header) break;
    uint64_t size = Assem4(header + 4);
    if (rf64 && chunk == 0 && memcmp(header, "ds64", 4) == 0) {
      const std::string ds64 = Body(source, at, size);
      if (ds64.size() >= 16) ds64DataSize = Assem4(ds64.data() + 8) | uint64_t{Assem4(ds64.data() + 12)} << 32;
    } else if (memcmp(header, "data", 4) == 0) {
      if (rf64 && size == UINT32_MAX) size = ds64DataSize;
    } else if (memcmp(header, "cue ", 4) == 0 && !cueRead) {
      ReadCuePoints(Body(source, at, size), markers);
      cueRead = true;
    } else if (memcmp(header, "LIST", 4) == 0) {
      const std::string list = Body(source, at, size);
      if (list.compare(0, 4, "adtl") == 0) ReadAssociatedData(list, labels);
    } else if (memcmp(header, "smpl", 4) == 0) {
      ReadLoops(Body(source, at, size), markers);
    }
    at += 8 + size + (size & 1);
  }
  for (Marker& m : markers) {
    if (m.kind == Marker::Kind::kLoop) continue;
    if (auto l = labels.label.find(m.id); l != labels.label.end()) m.label = l->second;
    if (auto n = labels.note.find(m.id); n != labels.note.end()) m.note = n->second;
    if (auto r = labels.length.find(m.id); r != labels.length.end() && r->second > 0) {
      m.kind = Marker::Kind::kRegion;
      m.end = m.start + r->second;
    }
  }
  std::stable_sort(markers.begin(), markers.end(), [](const Marker& a, const Marker& b) {
    return a.start != b.start ? a.start < b.start : a.kind < b.kind;
  });
  return markers;
}

namespace {

struct Descriptor {
  int fd;
};

size_t ReadDescriptor(void* context, char* into, size_t size, uint64_t offset) {
  int error = 0;
  return ReadAt(static_cast<Descriptor*>(context)->fd, into, size, offset, error);
}

}  // namespace

std::vector<Marker> ReadMarkers(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0) return {};
  Descriptor file{fd};
  return ReadMarkers({ReadDescriptor, &file, static_cast<uint64_t>(info.st_size)});
}
