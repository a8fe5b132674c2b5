// The header reader on files built byte by byte.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/wave_files.h"
#include "wave/markers.h"
#include "wave/wave_header.h"
#include "wave/wave_writer.h"

namespace {

class WaveHeaderTest : public testing::Test {
 protected:
  WaveAttributes Read(const std::string& bytes) {
    WriteFile(path_, bytes);
    WaveAttributes a;
    GetAttributes(path_, a);
    return a;
  }

  TempDir dir_;
  const std::string path_ = dir_.Path("t.wav");
};

// The reader prints its messages on standard output; death tests match the
// dying process's standard error, so it is sent there.
void GetAttributesPrintingToStderr(const std::string& path) {
  dup2(2, 1);
  WaveAttributes a;
  GetAttributes(path, a);
}

TEST(Assemble, BytesCountByTheirUnsignedValue) {
  EXPECT_EQ(Assem2("\x34\x12"), 0x1234u);
  EXPECT_EQ(Assem2("\xFF\x80"), 0x80FFu);
  EXPECT_EQ(Assem4("\x98\xBA\xDC\xFE"), 0xFEDCBA98u);
  EXPECT_EQ(Assem4("\x80\x00\x00\x00"), 0x80u);
}

TEST_F(WaveHeaderTest, CanonicalHeaderGivesTheFieldsAndWholeFrames) {
  WaveAttributes a = Read(CanonicalWave(2, 44100, 16, PatternFrames(0, 250, 4)));
  EXPECT_EQ(a.rate, 44100u);
  EXPECT_EQ(a.bytesPerSample, 2u);
  EXPECT_EQ(a.channels, 2u);
  EXPECT_EQ(a.dataOffset, 44u);
  EXPECT_EQ(a.frames, 250u);

  a = Read(CanonicalWave(1, 96000, 24, PatternFrames(0, 7, 3)));
  EXPECT_EQ(a.rate, 96000u);
  EXPECT_EQ(a.bytesPerSample, 3u);
  EXPECT_EQ(a.channels, 1u);
  EXPECT_EQ(a.frames, 7u);
}

TEST_F(WaveHeaderTest, RateWithTheTopBitSetIsNotSignExtended) {
  EXPECT_EQ(Read(CanonicalWave(2, 0xFFFFFFF0u, 16, "")).rate, 0xFFFFFFF0u);
}

// The header as other programs write it, read from memory, counting reads.
struct Layout {
  const char* name;
  std::string bytes;
  uint32_t dataOffset, frames;
  int mostReads = 2;  // a large chunk costs one read
};

size_t ReadMemory(void* context, char* into, size_t size, uint64_t offset) {
  auto* layout = static_cast<Layout*>(context);
  --layout->mostReads;
  if (offset >= layout->bytes.size()) return 0;
  size = std::min<size_t>(size, layout->bytes.size() - offset);
  memcpy(into, layout->bytes.data() + offset, size);
  return size;
}

TEST(ReadHeader, WalksTheChunksAndScansWhereTheWalkFails) {
  const std::string audio = PatternFrames(0, 100, 4), fmt = Chunk("fmt ", FormatBody(2, 8000, 16));
  const std::string title = Chunk("LIST", "INFOINAM" + Le32(10) + "Field data");
  std::string recording = Riff(fmt + Chunk("data", audio));
  recording.replace(40, 4, Le32(0x80000000u));
  std::string broken = Riff(Chunk("JUNK", "") + fmt + Chunk("data", audio));
  broken.replace(16, 4, Le32(1 << 20));
  std::string growing = Riff(fmt + title + Chunk("data", audio));
  growing.replace(70, 4, Le32(0xFFFFFFFFu));
  // "fmt" and "data" at odd offsets in a comment, in a file the walk refuses.
  const std::string oddTags = Chunk("LIST", "INFOICMT" + Le32(11) + "xfmt data__");
  Layout layouts[] = {
      {"title holding data", Riff(fmt + title + Chunk("data", audio)), 74, 100},
      {"bext holding data", Riff(Chunk("bext", "a data take") + fmt + Chunk("data", audio)),
       64, 100},
      {"RF64, LIST after the audio",
       Rf64(400, fmt + "data" + Le32(0xFFFFFFFFu) + audio + title), 80, 100},
      {"odd chunk before fmt",
       Riff(Chunk("odd ", "abc") + fmt + title + Chunk("data", audio)), 86, 100},
      {"200 KiB chunk before fmt",
       Riff(Chunk("iXML", std::string(200 << 10, ' ')) + fmt + Chunk("data", audio)), 204852,
       100},
      {"extensible with fact",
       Riff(Chunk("fmt ", ExtensibleFormatBody(2, 8000, 16)) + Chunk("fact", Le32(100)) +
            Chunk("data", audio)), 80, 100},
      {"recording in progress", recording, 44, 100},
      {"recording in progress, titled", growing, 74, 100},
      // Where the walk fails, the scan answers: it takes the first "data"
      // letters at an even offset, the title's among them.
      {"no RIFF header", "RIFX" + Riff(fmt + title + Chunk("data", audio)).substr(4), 70, 101},
      {"size past the end", broken, 52, 100},
      {"odd tags, no RIFF header", "RIFX" + Riff(oddTags + fmt + Chunk("data", audio)).substr(4),
       76, 100},
      {"data before fmt, still growing",
       Riff(Chunk("data", audio).replace(4, 4, Le32(0xFFFFFFFFu)) + fmt), 20, 106},
  };
  // Read again and again, as before every play: each reading has its own
  // budget of reads.
  for (int reading = 0; reading < 40; ++reading) {
    for (Layout& layout : layouts) {
      const int mostReads = layout.mostReads;
      const HeaderScan scan = ReadHeader({ReadMemory, &layout, layout.bytes.size()});
      EXPECT_TRUE(scan.dataFound) << layout.name;
      EXPECT_EQ(scan.attributes.dataOffset, layout.dataOffset) << layout.name;
      EXPECT_EQ(scan.attributes.frames, layout.frames) << layout.name;
      EXPECT_GE(layout.mostReads, 0) << layout.name;
      layout.mostReads = mostReads;
    }
  }
}

// Markers as text: "point 40 intro", "region 20-50 chorus (loud)", "loop 10-20".
std::string Described(const std::vector<Marker>& markers) {
  std::string text;
  for (const Marker& m : markers) {
    static const char* const kinds[] = {"point", "region", "loop"};
    text += text.empty() ? "" : "; ";
    text += kinds[static_cast<int>(m.kind)] + (" " + std::to_string(m.start));
    if (m.kind != Marker::Kind::kPoint) text += "-" + std::to_string(m.end);
    if (!m.label.empty()) text += " " + m.label;
    if (!m.note.empty()) text += " (" + m.note + ")";
  }
  return text;
}

TEST(ReadMarkers, AsWritersLayThemOutAndAsHostileFilesClaim) {
  const std::string fmt = Chunk("fmt ", FormatBody(1, 8000, 16)), data = Chunk("data", std::string(200, '\1'));
  auto adtl = [](const std::string& subchunks) { return Chunk("LIST", "adtl" + subchunks); };
  std::string thousands;
  for (uint32_t i = 0; i < 5000; ++i) thousands += Le32(i) + Le32(0) + "data" + Le32(0) + Le32(0) + Le32(i);
  std::string overclaimed = CueChunk({{1, 0, 30}});
  overclaimed.replace(8, 4, Le32(1000000));  // the count, past what the chunk holds
  std::string cutShort = Riff(fmt + data + CueChunk({{1, 0, 7}, {2, 0, 9}}));
  cutShort.resize(cutShort.size() - 10);  // the second point cut off by the end of the file
  struct Row {
    const char* name;
    std::string bytes;
    std::string markers;
  } rows[] = {
      {"cue and labels before the data",
       Riff(fmt + CueChunk({{1, 0, 100}, {2, 0, 40}}) +
            adtl(CueText("labl", 1, "take 3") + CueText("labl", 2, "intro")) + data),
       "point 40 intro; point 100 take 3"},
      {"labels, a note and a region before their cue, after the data",
       Riff(fmt + data + adtl(CueText("labl", 7, "chorus") + RegionText(7, 30) + CueText("note", 7, "loud")) +
            CueChunk({{7, 0, 20}})),
       "region 20-50 chorus (loud)"},
      {"a loop as a save writes it, and a point at the same frame",
       Riff(fmt + data + SamplerLoop(10, 19) + CueChunk({{1, 0, 10}})), "point 10; loop 10-20"},
      {"no list", Riff(fmt + CueChunk({{1, 0, 5}, {2, 0, 3}}) + data), "point 3; point 5"},
      {"the frame in the play-order position only", Riff(fmt + data + CueChunk({{1, 70, 0}})), "point 70"},
      {"RF64, markers after the data",
       Rf64(200, fmt + "data" + Le32(0xFFFFFFFFu) + std::string(200, '\1') + CueChunk({{1, 0, 60}}) +
                     adtl(CueText("labl", 1, "take"))),
       "point 60 take"},
      {"a count past what its chunk holds", Riff(fmt + data + overclaimed), "point 30"},
      {"a cue chunk cut short by the end of the file", cutShort, "point 7"},
      {"texts without a NUL, ids that match nothing, an empty region",
       Riff(fmt + data + CueChunk({{1, 0, 8}, {2, 0, 9}}) +
            adtl(Chunk("labl", Le32(1) + "abc") + CueText("labl", 9, "nobody") + RegionText(9, 5) +
                 RegionText(2, 0) + Chunk("labl", "ab"))),
       "point 8 abc; point 9"},
      {"a title list, a loop ending before it starts, a sampler chunk too short",
       Riff(fmt + data + Chunk("LIST", "INFOINAM" + Le32(4) + "cue ") + SamplerLoop(50, 40) +
            Chunk("smpl", std::string(30, '\0'))),
       ""},
      {"not a RIFF file", "RIFX" + Riff(fmt + data + CueChunk({{1, 0, 8}})).substr(4), ""},
  };
  for (Row& row : rows) {
    Layout layout{row.name, row.bytes, 0, 0};
    EXPECT_EQ(Described(ReadMarkers({ReadMemory, &layout, row.bytes.size()})), row.markers) << row.name;
  }
  const std::string many = Riff(fmt + data + Chunk("cue ", Le32(5000) + thousands));
  Layout layout{"thousands", many, 0, 0};
  const std::vector<Marker> markers = ReadMarkers({ReadMemory, &layout, many.size()});
  ASSERT_EQ(markers.size(), 5000u);
  EXPECT_EQ(markers.back().start, 4999u);
}

TEST_F(WaveHeaderTest, TagsAtOddOffsetsAreNotFound) {
  // "fmt" and "data" at odd offsets inside a LIST text, the real chunks after.
  std::string list = Chunk("LIST", "INFOICMT" + Le32(11) + "xfmt data__");
  std::string file = Riff(list + Chunk("fmt ", FormatBody(1, 22050, 16)) +
                          Chunk("data", PatternFrames(0, 10, 2)));
  size_t realData = file.rfind("data");
  WaveAttributes a = Read(file);
  EXPECT_EQ(a.rate, 22050u);
  EXPECT_EQ(a.dataOffset, realData + 8);
  EXPECT_EQ(a.frames, 10u);
}

TEST_F(WaveHeaderTest, FramesComeFromTheDataSizeCappedByTheFile) {
  // A trailing chunk does not count as data.
  std::string data = PatternFrames(0, 100, 4);
  EXPECT_EQ(Read(CanonicalWave(2, 8000, 16, data) + Chunk("LIST", std::string(1000, 'x'))).frames,
            100u);

  // A size with all bits set: the whole frames between data and the end.
  std::string huge = CanonicalWave(2, 8000, 16, data);
  huge.replace(40, 4, Le32(0xFFFFFFFFu));
  EXPECT_EQ(Read(huge + "ab").frames, 100u);

  // A file short of its data size by part of a frame.
  std::string cut = CanonicalWave(2, 8000, 16, data);
  cut.resize(cut.size() - 2);
  EXPECT_EQ(Read(cut).frames, 99u);

  // A size that is not a whole number of frames.
  std::string odd = CanonicalWave(2, 8000, 24, PatternFrames(0, 10, 6));
  odd.replace(40, 4, Le32(59));
  EXPECT_EQ(Read(odd).frames, 9u);
}

TEST_F(WaveHeaderTest, ZeroFrameSizeGivesNoFrames) {
  EXPECT_EQ(Read(CanonicalWave(2, 8000, 4, std::string(100, 'x'))).frames, 0u);
  WaveAttributes a = Read(CanonicalWave(0, 8000, 16, std::string(100, 'x')));
  EXPECT_EQ(a.channels, 0u);
  EXPECT_EQ(a.frames, 0u);
}

TEST_F(WaveHeaderTest, MissingFormatTagReportsNoFormatAndGoesOn) {
  testing::internal::CaptureStdout();
  WaveAttributes a = Read(Riff(Chunk("data", PatternFrames(0, 10, 4))));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't find format chunk in wave file!\n");
  EXPECT_EQ(a.rate, 0u);
  EXPECT_EQ(a.bytesPerSample, 0u);
  EXPECT_EQ(a.channels, 0u);
  EXPECT_EQ(a.dataOffset, 20u);
  EXPECT_EQ(a.frames, 0u);
}

TEST_F(WaveHeaderTest, FileEndingInsideTheDataHeaderHasNoFrames) {
  std::string file = CanonicalWave(2, 8000, 16, "");
  file.resize(file.size() - 2);  // "data" and half its size field
  WaveAttributes a = Read(file);
  EXPECT_EQ(a.dataOffset, 44u);
  EXPECT_EQ(a.frames, 0u);

  file.resize(file.size() - 2);  // "data" is the last thing in the file
  EXPECT_EQ(Read(file).frames, 0u);
}

// The files below have no RIFF header, so the scan reads them.
const std::string kNotRiff = "FORM" + Le32(0) + "WAVE";

TEST_F(WaveHeaderTest, ScanLimitIsTheEvenOffset131072) {
  // The format chunk after a JUNK chunk of zeros, at the last offset tried.
  std::string head = kNotRiff + Chunk("data", PatternFrames(0, 2, 4));
  auto withFormatAt = [&](size_t offset) {
    std::string junk = Chunk("JUNK", std::string(offset - head.size() - 8, '\0'));
    return head + junk + Chunk("fmt ", FormatBody(2, 48000, 16));
  };
  EXPECT_EQ(Read(withFormatAt(131072)).rate, 48000u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Read(withFormatAt(131074)).rate, 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't find format chunk in wave file!\n");

  auto withDataAt = [](size_t offset) {
    std::string head = kNotRiff + Chunk("fmt ", FormatBody(2, 48000, 16));
    std::string junk = Chunk("JUNK", std::string(offset - head.size() - 8, '\0'));
    return head + junk + Chunk("data", PatternFrames(0, 3, 4));
  };
  WaveAttributes a = Read(withDataAt(131072));
  EXPECT_EQ(a.dataOffset, 131080u);
  EXPECT_EQ(a.frames, 3u);
  WriteFile(path_, withDataAt(131074));
  EXPECT_EXIT(GetAttributesPrintingToStderr(path_), testing::ExitedWithCode(2),
              "^Can't find data block in wave file!\nkestrune: .*: no WAVE data chunk found\n$");
}

TEST_F(WaveHeaderTest, TagsAndFieldsAcrossTheFirst4KiBAreRead) {
  // The scan looks at the first 4096 bytes before the rest of the window:
  // a format chunk whose fields straddle that boundary, and a data tag
  // that does, must read as anywhere else, whichever tag comes first.
  const std::string data = Chunk("data", PatternFrames(0, 10, 6));
  auto withFormatAt = [](size_t offset, const std::string& head) {
    std::string junk = Chunk("JUNK", std::string(offset - head.size() - 8, '\0'));
    return head + junk + Chunk("fmt ", FormatBody(2, 48000, 24));
  };
  for (size_t offset : {4066, 4070, 4072, 4080, 4084, 4090, 4094, 4096}) {
    for (bool dataFirst : {false, true}) {
      WaveAttributes a = Read(dataFirst ? withFormatAt(offset, kNotRiff + data)
                                        : withFormatAt(offset, kNotRiff) + data);
      EXPECT_EQ(a.rate, 48000u) << offset;
      EXPECT_EQ(a.bytesPerSample, 3u) << offset;
      EXPECT_EQ(a.dataOffset, dataFirst ? 20 : offset + 32) << offset;
      EXPECT_EQ(a.frames, 10u) << offset;
    }
  }
}

TEST_F(WaveHeaderTest, MissingFileOrDataTagEndsWithStatus2) {
  EXPECT_EXIT(GetAttributesPrintingToStderr(dir_.Path("none.wav")), testing::ExitedWithCode(2),
              "^The file called .*/none.wav cannot be found!\n"
              "kestrune: .*/none.wav: No such file or directory\n$");
  WriteFile(path_, Riff(Chunk("fmt ", FormatBody(2, 8000, 16)) + Chunk("dat ", "12345678")));
  EXPECT_EXIT(GetAttributesPrintingToStderr(path_), testing::ExitedWithCode(2),
              "^Can't find data block in wave file!\n"
              "kestrune: .*/t.wav: no WAVE data chunk found\n$");
}

TEST_F(WaveHeaderTest, FilesBeyond2GiBKeepTheirLength) {
  std::string header = CanonicalWave(2, 44100, 16, "");
  header.replace(40, 4, Le32(0xFFFFFFFFu));
  WriteFile(path_, header);
  const off_t size = off_t{3} << 30;  // sparse: no disk space is used
  ASSERT_EQ(truncate(path_.c_str(), size), 0);
  WaveAttributes a;
  GetAttributes(path_, a);
  EXPECT_EQ(a.frames, (size - 44) / 4);

  // RF64 states its size in 64 bits: all of 5 GiB, not what fits in 32.
  const uint64_t five = uint64_t{5} << 30;
  WriteFile(path_, Rf64(five, Chunk("fmt ", FormatBody(2, 44100, 16)) + "data" +
                                  Le32(0xFFFFFFFFu)));
  ASSERT_EQ(truncate(path_.c_str(), static_cast<off_t>(80 + five)), 0);
  GetAttributes(path_, a);
  EXPECT_EQ(a.frames, five / 4);

  // What a save writes reads back so, as RIFF and past 4 GiB as RF64.
  for (uint64_t frames : {uint64_t{1000}, five / 6 + 1}) {
    const WaveAttributes layout{48000, 3, 2, 0, 0};
    const std::string head = HeaderBeforeData(layout, frames);
    WriteFile(path_, head);
    ASSERT_EQ(truncate(path_.c_str(), static_cast<off_t>(head.size() + frames * 6)), 0);
    AppendFile(path_, ChunksAfterData(layout, frames));
    GetAttributes(path_, a);
    const uint64_t size = head.size() + frames * 6 + 68;
    EXPECT_EQ(head.substr(0, 4), size <= UINT32_MAX ? "RIFF" : "RF64");
    EXPECT_EQ(Assem4(&head[4]), size <= UINT32_MAX ? size - 8 : UINT32_MAX);
    EXPECT_EQ(a.frames, frames);
    EXPECT_EQ(a.rate * a.channels * a.bytesPerSample, 48000u * 6);
  }
}

}  // namespace
