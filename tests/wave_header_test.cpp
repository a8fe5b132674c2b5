// The header reader on files built byte by byte.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/wave_files.h"
#include "wave/wave_header.h"

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

TEST_F(WaveHeaderTest, DataLettersInAListChunkAtAnEvenOffsetAreTheDataTag) {
  // LIST at 36, its text at 56: "data", a size of 8, then 8 bytes.
  std::string list = Chunk("LIST", "INFOICMT" + Le32(16) + "data" + Le32(8) + "12345678");
  std::string file = Riff(Chunk("fmt ", FormatBody(2, 8000, 16)) + list +
                          Chunk("data", PatternFrames(0, 100, 4)));
  WaveAttributes a = Read(file);
  EXPECT_EQ(a.dataOffset, 64u);
  EXPECT_EQ(a.frames, 2u);
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

TEST_F(WaveHeaderTest, ScanLimitIsTheEvenOffset131072) {
  // The format chunk after a JUNK chunk of zeros, at the last offset tried.
  std::string head = "RIFF" + Le32(0) + "WAVE" + Chunk("data", PatternFrames(0, 2, 4));
  auto withFormatAt = [&](size_t offset) {
    std::string junk = Chunk("JUNK", std::string(offset - head.size() - 8, '\0'));
    return head + junk + Chunk("fmt ", FormatBody(2, 48000, 16));
  };
  EXPECT_EQ(Read(withFormatAt(131072)).rate, 48000u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Read(withFormatAt(131074)).rate, 0u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't find format chunk in wave file!\n");

  auto withDataAt = [](size_t offset) {
    std::string head = Riff(Chunk("fmt ", FormatBody(2, 48000, 16)));
    std::string junk = Chunk("JUNK", std::string(offset - head.size() - 8, '\0'));
    return head + junk + Chunk("data", PatternFrames(0, 3, 4));
  };
  WaveAttributes a = Read(withDataAt(131072));
  EXPECT_EQ(a.dataOffset, 131080u);
  EXPECT_EQ(a.frames, 3u);
  WriteFile(path_, withDataAt(131074));
  EXPECT_EXIT(GetAttributesPrintingToStderr(path_), testing::ExitedWithCode(2),
              "^Can't find data block in wave file!\n$");
}

TEST_F(WaveHeaderTest, TagsAndFieldsAcrossTheFirst4KiBAreRead) {
  // The reader looks at the first 4096 bytes before the rest of the window:
  // a format chunk whose fields straddle that boundary, and a data tag
  // that does, must read as anywhere else.
  auto withFormatAt = [](size_t offset) {
    std::string head = "RIFF" + Le32(0) + "WAVE";
    std::string junk = Chunk("JUNK", std::string(offset - head.size() - 8, '\0'));
    return head + junk + Chunk("fmt ", FormatBody(2, 48000, 24));
  };
  for (size_t offset : {4066, 4070, 4072, 4080, 4084, 4090, 4094, 4096}) {
    std::string file = withFormatAt(offset) + Chunk("data", PatternFrames(0, 10, 6));
    WaveAttributes a = Read(file);
    EXPECT_EQ(a.rate, 48000u) << offset;
    EXPECT_EQ(a.bytesPerSample, 3u) << offset;
    EXPECT_EQ(a.dataOffset, offset + 32) << offset;
    EXPECT_EQ(a.frames, 10u) << offset;
  }
}

TEST_F(WaveHeaderTest, MissingFileOrDataTagEndsWithStatus2) {
  EXPECT_EXIT(GetAttributesPrintingToStderr(dir_.Path("none.wav")), testing::ExitedWithCode(2),
              "^The file called .*/none.wav cannot be found!\n$");
  WriteFile(path_, Riff(Chunk("fmt ", FormatBody(2, 8000, 16)) + Chunk("dat ", "12345678")));
  EXPECT_EXIT(GetAttributesPrintingToStderr(path_), testing::ExitedWithCode(2),
              "^Can't find data block in wave file!\n$");
  // A folder opens but holds no bytes: neither tag is there.
  EXPECT_EXIT(GetAttributesPrintingToStderr(dir_.path()), testing::ExitedWithCode(2),
              "^Can't find format chunk in wave file!\nCan't find data block in wave file!\n$");
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
}

}  // namespace
