// Writes the seed corpus for the header fuzzer: the layouts the tests
// build, one file each.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/wave_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 2;
  }
  const std::string data = PatternFrames(0, 64, 4);
  std::string huge = CanonicalWave(2, 44100, 16, data);
  huge.replace(40, 4, Le32(0xFFFFFFFFu));
  std::string truncated = CanonicalWave(2, 44100, 16, data);
  truncated.resize(truncated.size() - 3);
  std::string list = Riff(Chunk("fmt ", FormatBody(2, 8000, 16)) +
                          Chunk("LIST", "INFOICMT" + Le32(16) + "data" + Le32(8) + "12345678") +
                          Chunk("data", data));
  std::string odd = Riff(Chunk("LIST", "INFOICMT" + Le32(11) + "xfmt data__") +
                         Chunk("fmt ", FormatBody(1, 22050, 16)) + Chunk("data", data));
  // The format chunk's fields across the end of the first 4 KiB read.
  const std::string boundary = "RIFF" + Le32(0) + "WAVE" + Chunk("JUNK", std::string(4060, '\0')) +
                               Chunk("fmt ", FormatBody(2, 48000, 24)) + Chunk("data", data);
  const std::string fmt = Chunk("fmt ", FormatBody(2, 8000, 16));
  const std::string title = Chunk("LIST", "INFOINAM" + Le32(10) + "Field data");
  std::vector<std::pair<std::string, std::string>> seeds = {
      {"title-holding-data", Riff(fmt + title + Chunk("data", data))},
      {"bext-holding-data", Riff(Chunk("bext", "a data take") + fmt + Chunk("data", data))},
      {"rf64-list-after-audio", Rf64(data.size(), fmt + "data" + Le32(0xFFFFFFFFu) + data + title)},
      {"odd-chunk-before-fmt", Riff(Chunk("odd ", "abc") + fmt + Chunk("data", data))},
      {"large-chunk-before-fmt", Riff(Chunk("iXML", std::string(100000, ' ')) + fmt +
                                      Chunk("data", data))},
      {"extensible-with-fact", Riff(Chunk("fmt ", ExtensibleFormatBody(2, 8000, 24)) +
                                    Chunk("fact", Le32(64)) + Chunk("data", data))},
      {"data-before-fmt", Riff(Chunk("data", data) + fmt)},
      {"markers-before-data",
       Riff(fmt + CueChunk({{1, 0, 10}, {2, 0, 20}}) +
            Chunk("LIST", "adtl" + CueText("labl", 1, "take") + RegionText(2, 8)) + Chunk("data", data))},
      {"markers-after-data",
       Riff(fmt + Chunk("data", data) + SamplerLoop(4, 40) + CueChunk({{1, 5, 0}}) +
            Chunk("LIST", "adtl" + CueText("note", 1, "a note")))},
      {"first-read-boundary", boundary},
      {"canonical", CanonicalWave(2, 44100, 16, data)},
      {"mono24", CanonicalWave(1, 96000, 24, PatternFrames(0, 30, 3))},
      {"list-before-data", list},
      {"trailing-chunk", CanonicalWave(2, 8000, 16, data) + Chunk("LIST", std::string(64, 'x'))},
      {"truncated", truncated},
      {"huge-size", huge},
      {"odd-tags", odd},
      {"no-format", Riff(Chunk("data", data))},
      {"zero-frame-size", CanonicalWave(0, 8000, 4, data)},
      {"data-tag-at-end", CanonicalWave(2, 8000, 16, "").substr(0, 40)},
  };
  for (const auto& [name, bytes] : seeds) WriteFile(std::string(argv[1]) + "/" + name, bytes);
  return 0;
}
