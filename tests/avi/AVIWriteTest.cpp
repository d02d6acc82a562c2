// Byte layout written by the AVI writer.
#include "avi/AVIWrite.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "AviTestFiles.h"
#include "avi/AVIRead.h"
#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::GetLE32;
using test::ReadFileBytes;
using test::TempDir;

struct Written {
  std::vector<uint8_t> bytes;
  std::string path;
};

// One video (40-byte format) and one audio (18-byte format) stream, a few chunks.
Written WriteTwoStreams(TempDir& dir, TAVIIndexMode mode, int chunks = 3) {
  Written w;
  w.path = dir.File("two.avi");
  TAVIFileWriter wr;
  wr.IndexMode = mode;
  wr.Open(w.path, AVIF_HASINDEX);
  auto vf = test::VideoFormat();
  auto af = test::AudioFormat();
  wr.AddStream(0, test::VideoHeader(), 40, vf.data());
  wr.AddStream(1, test::AudioHeader(), 18, af.data());
  for (int i = 0; i < chunks; ++i) {
    std::vector<uint8_t> v(100, 1), a(64, 2);
    wr.WriteChunk(0, v.data(), i == 0, 100);
    wr.WriteChunk(1, a.data(), true, 64);
  }
  wr.Close();
  w.bytes = ReadFileBytes(w.path);
  return w;
}

std::string Id(const std::vector<uint8_t>& b, size_t pos) { return std::string(b.begin() + pos, b.begin() + pos + 4); }

TEST(AVIWriter, HeaderPositionsWithBothIndexes) {
  TempDir dir;
  auto w = WriteTwoStreams(dir, TAVIIndexMode::imBoth);
  const auto& b = w.bytes;
  // The second stream list ends where the odml list begins.
  EXPECT_EQ(Id(b, 65786), "LIST");
  EXPECT_EQ(Id(b, 65786 + 8), "odml");
  // The header list (and with it odml) ends at 66054, then the filler.
  EXPECT_EQ(GetLE32(b, 12 + 4) + 12 + 8, 66054u);
  EXPECT_EQ(Id(b, 66054), "JUNK");
  EXPECT_EQ(GetLE32(b, 66054 + 4), 1510u);
  EXPECT_EQ(Id(b, 67572), "LIST");
  EXPECT_EQ(Id(b, 67580), "movi");
  EXPECT_EQ(Id(b, 67584), "00dc");
  EXPECT_EQ(67584 % 2048, 0);
}

TEST(AVIWriter, HeaderPositionsWithLegacyIndexOnly) {
  TempDir dir;
  auto w = WriteTwoStreams(dir, TAVIIndexMode::imLegacy);
  const auto& b = w.bytes;
  EXPECT_EQ(Id(b, 314), "JUNK");
  EXPECT_EQ(GetLE32(b, 314 + 4), 2036u - 314 - 8);
  EXPECT_EQ(Id(b, 2036), "LIST");
  EXPECT_EQ(Id(b, 2048), "00dc");
  EXPECT_EQ(test::FindFourCC(b, "indx"), std::string::npos);
  EXPECT_EQ(test::FindFourCC(b, "odml"), std::string::npos);
  EXPECT_EQ(test::FindFourCC(b, "ix00"), std::string::npos);
  // idx1 starts on a 2048 boundary after its filler.
  size_t idx1 = test::FindFourCC(b, "idx1");
  ASSERT_NE(idx1, std::string::npos);
  EXPECT_EQ(idx1 % 2048, 0u);
  EXPECT_EQ(GetLE32(b, idx1 + 4), 6u * 16);
  // Absolute offsets: the first entry points at the chunk header at 2048.
  EXPECT_EQ(Id(b, idx1 + 8), "00dc");
  EXPECT_EQ(GetLE32(b, idx1 + 8 + 4), 0x10u);
  EXPECT_EQ(GetLE32(b, idx1 + 8 + 8), 2048u);
  EXPECT_EQ(GetLE32(b, idx1 + 8 + 12), 100u);
  EXPECT_EQ(Id(b, idx1 + 24), "01wb");
  EXPECT_EQ(GetLE32(b, idx1 + 24 + 8), 2048u + 108);
  EXPECT_EQ(GetLE32(b, idx1 + 40 + 4), 0u);  // second video chunk: not a key frame
  // RIFF size covers the whole file.
  EXPECT_EQ(GetLE32(b, 4) + 8, b.size());
}

TEST(AVIWriter, HeadersPatchedAtClose) {
  TempDir dir;
  auto w = WriteTwoStreams(dir, TAVIIndexMode::imBoth, 5);
  const auto& b = w.bytes;
  // avih at 24: dwMicroSecPerFrame, dwFlags, dwTotalFrames, dwStreams, buffer, size.
  EXPECT_EQ(GetLE32(b, 32), 40000u);
  EXPECT_EQ(GetLE32(b, 32 + 12), AVIF_HASINDEX);
  EXPECT_EQ(GetLE32(b, 32 + 16), 5u);
  EXPECT_EQ(GetLE32(b, 32 + 24), 2u);
  EXPECT_EQ(GetLE32(b, 32 + 28), 100u + 1024);
  EXPECT_EQ(GetLE32(b, 32 + 32), 320u);
  EXPECT_EQ(GetLE32(b, 32 + 36), 240u);
  // dmlh dwTotalFrames equals avih's in a one-part file.
  size_t dmlh = test::FindFourCC(b, "dmlh");
  EXPECT_EQ(GetLE32(b, dmlh + 8), 5u);
  // First strh at 88 + 12 + 8: dwLength and dwSuggestedBufferSize and rcFrame.
  size_t strh = 88 + 12 + 8;
  EXPECT_EQ(Id(b, strh - 8), "strh");
  EXPECT_EQ(GetLE32(b, strh + 32), 5u);
  EXPECT_EQ(GetLE32(b, strh + 36), 1124u);
  EXPECT_EQ(test::GetLE16(b, strh + 52), 320u);
  EXPECT_EQ(test::GetLE16(b, strh + 54), 240u);
  // Audio: 5 chunks of 64 bytes at 4 bytes per sample.
  size_t strh2 = test::FindFourCC(b, "strh", strh + 4) + 8;
  EXPECT_EQ(GetLE32(b, strh2 + 32), 5u * 64 / 4);
  // Super index of the video stream: one standard index of 5 entries.
  size_t indx = test::FindFourCC(b, "indx");
  EXPECT_EQ(GetLE32(b, indx + 4), 32728u);
  EXPECT_EQ(test::GetLE16(b, indx + 8), 4u);
  EXPECT_EQ(b[indx + 11], 0);
  EXPECT_EQ(GetLE32(b, indx + 12), 1u);
  EXPECT_EQ(Id(b, indx + 16), "00dc");
  uint32_t ixPos = GetLE32(b, indx + 32);
  EXPECT_EQ(Id(b, ixPos), "ix00");
  EXPECT_EQ(GetLE32(b, indx + 40), 8u * 5 + 32);
  EXPECT_EQ(GetLE32(b, indx + 44), 5u);
  // Standard index: base 0, offsets to the data, bit 31 on non-key chunks.
  EXPECT_EQ(GetLE32(b, ixPos + 4), 24u + 8 * 5);
  EXPECT_EQ(b[ixPos + 11], 1);
  EXPECT_EQ(GetLE32(b, ixPos + 12), 5u);
  EXPECT_EQ(GetLE32(b, ixPos + 20), 0u);
  EXPECT_EQ(GetLE32(b, ixPos + 32), 67584u + 8);
  EXPECT_EQ(GetLE32(b, ixPos + 36), 100u);
  EXPECT_EQ(GetLE32(b, ixPos + 44), 0x80000000u | 100);
  // The audio super index has a duration in samples.
  size_t indx2 = test::FindFourCC(b, "indx", indx + 4);
  EXPECT_EQ(GetLE32(b, indx2 + 44), 5u * 64 / 4);
}

TEST(AVIWriter, OddChunkIsPaddedAndNonKeyEntryHasBit31) {
  TempDir dir;
  std::string f = dir.File("odd.avi");
  TAVIFileWriter w;
  w.IndexMode = TAVIIndexMode::imOpenDML;
  w.Open(f, 0);
  auto vf = test::VideoFormat();
  w.AddStream(0, test::VideoHeader(), 40, vf.data());
  std::vector<uint8_t> d(5000, 9);
  w.WriteChunk(0, d.data(), true, 13);
  w.WriteChunk(0, d.data(), false, 5000);
  w.Close();
  auto b = ReadFileBytes(f);
  size_t first = test::FindFourCC(b, "00dc", 16);
  first = test::FindFourCC(b, "00dc", first + 4);  // skip the super index's dwChunkId
  EXPECT_EQ(first % 2048, 0u);
  EXPECT_EQ(GetLE32(b, first + 4), 13u);
  EXPECT_EQ(b[first + 8 + 13], 0);
  EXPECT_EQ(Id(b, first + 22), "00dc");
  size_t ix = test::FindFourCC(b, "ix00");
  EXPECT_EQ(GetLE32(b, ix + 32 + 4), 13u);
  EXPECT_EQ(GetLE32(b, ix + 40 + 4), 0x80001388u);
}

TEST(AVIWriter, ChunkIdsCountRegistrationsNotIds) {
  TempDir dir;
  std::string f = dir.File("ids.avi");
  TAVIFileWriter w;
  w.IndexMode = TAVIIndexMode::imLegacy;
  w.Open(f, 0);
  auto af = test::AudioFormat();
  w.AddStream(1, test::AudioHeader(), 18, af.data());
  w.AddStream(0, test::AudioHeader(), 18, af.data());
  uint8_t d[4] = {};
  w.WriteChunk(1, d, true, 4);
  w.WriteChunk(0, d, true, 4);
  w.Close();
  auto b = ReadFileBytes(f);
  EXPECT_EQ(Id(b, 2048), "00wb");
  EXPECT_EQ(Id(b, 2048 + 12), "01wb");
  // No video stream: no frame time, no frames.
  EXPECT_EQ(GetLE32(b, 32), 0u);
  EXPECT_EQ(GetLE32(b, 32 + 16), 0u);
}

TEST(AVIWriter, SecondVideoStreamDoesNotChangeTheMainHeader) {
  TempDir dir;
  std::string f = dir.File("v2.avi");
  TAVIFileWriter w;
  w.IndexMode = TAVIIndexMode::imLegacy;
  w.Open(f, 0);
  auto vf = test::VideoFormat(320, 240);
  auto vf2 = test::VideoFormat(640, 480);
  w.AddStream(5, test::VideoHeader(1, 25), 40, vf.data());
  w.AddStream(3, test::VideoHeader(1001, 30000), 40, vf2.data());
  uint8_t d[4] = {};
  w.WriteChunk(5, d, true, 4);
  w.WriteChunk(3, d, true, 4);
  w.WriteChunk(3, d, true, 4);
  w.Close();
  auto b = ReadFileBytes(f);
  EXPECT_EQ(GetLE32(b, 32), 40000u);
  EXPECT_EQ(GetLE32(b, 32 + 16), 1u);  // frames of stream 5 only
  EXPECT_EQ(GetLE32(b, 32 + 32), 320u);
  EXPECT_EQ(Id(b, 2048 + 12), "01dc");
}

TEST(AVIWriter, StandardIndexFlushedAfterThe8000thChunk) {
  TempDir dir;
  std::string f = dir.File("8000.avi");
  TAVIFileWriter w;
  w.IndexMode = TAVIIndexMode::imOpenDML;
  w.Open(f, 0);
  auto vf = test::VideoFormat();
  w.AddStream(0, test::VideoHeader(), 40, vf.data());
  uint8_t d[2] = {1, 2};
  int64_t posAfter8000 = 0;
  for (int i = 0; i < 8001; ++i) {
    w.WriteChunk(0, d, true, 2);
    if (i == 7999) posAfter8000 = w.Position();
  }
  w.Close();
  auto b = ReadFileBytes(f);
  ASSERT_GT(b.size(), static_cast<size_t>(posAfter8000) - 8 * 8000);
  // The index chunk follows the 8000th data chunk directly.
  size_t ix = static_cast<size_t>(posAfter8000) - (8 + 24 + 8 * 8000);
  EXPECT_EQ(Id(b, ix), "ix00");
  EXPECT_EQ(GetLE32(b, ix + 12), 8000u);
  EXPECT_EQ(Id(b, ix + 32 + 8 * 8000), "00dc");
  size_t indx = test::FindFourCC(b, "indx");
  EXPECT_EQ(GetLE32(b, indx + 12), 2u);
  EXPECT_EQ(GetLE32(b, indx + 32), ix);
  EXPECT_EQ(GetLE32(b, indx + 44), 8000u);
  EXPECT_EQ(GetLE32(b, indx + 16 + 44), 1u);
  // And the reader finds all 8001 chunks through it.
  TAVIFileReader r;
  r.Open(f, false);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 8001u);
}

TEST(AVIWriter, SampleSizedAudioLength) {
  TempDir dir;
  std::string f = dir.File("pcm.avi");
  TAVIFileWriter w;
  w.IndexMode = TAVIIndexMode::imLegacy;
  w.Open(f, 0);
  auto af = test::AudioFormat();
  w.AddStream(0, test::AudioHeader(4), 18, af.data());
  std::vector<uint8_t> d(176400, 0);
  for (int i = 0; i < 10; ++i) w.WriteChunk(0, d.data(), true, static_cast<uint32_t>(d.size()));
  w.Close();
  auto b = ReadFileBytes(f);
  EXPECT_EQ(GetLE32(b, 88 + 20 + 32), 441000u);
  EXPECT_EQ(GetLE32(b, 88 + 20 + 36), 176400u + 1024);
}

TEST(AVIWriter, FilePartsBelowTheLimit) {
  TempDir dir;
  std::string f = dir.File("parts.avi");
  TAVIFileWriter w;
  w.IndexMode = TAVIIndexMode::imBoth;
  w.RiffLimit = 200000;
  w.Open(f, AVIF_HASINDEX);
  auto vf = test::VideoFormat();
  auto af = test::AudioFormat();
  w.AddStream(0, test::VideoHeader(), 40, vf.data());
  w.AddStream(1, test::AudioHeader(), 18, af.data());
  for (uint32_t i = 0; i < 60; ++i) {
    auto v = test::ChunkData(1, 0, i, 5001);
    auto a = test::ChunkData(1, 1, i, 7056);
    w.WriteChunk(0, v.data(), i % 10 == 0, 5001);
    w.WriteChunk(1, a.data(), true, 7056);
  }
  w.Close();
  EXPECT_GE(w.FilePartCount(), 4);
  auto b = ReadFileBytes(f);
  // Walk the RIFF parts: each below the limit, the first "AVI ", then "AVIX".
  size_t pos = 0;
  int parts = 0;
  uint32_t firstPartFrames = 0;
  while (pos + 12 <= b.size()) {
    ASSERT_EQ(Id(b, pos), "RIFF") << pos;
    uint32_t size = GetLE32(b, pos + 4);
    EXPECT_LT(size + 8, 200000u);
    EXPECT_EQ(Id(b, pos + 8), parts == 0 ? "AVI " : "AVIX");
    if (parts == 0) {
      // Count the video chunks of the first part in its idx1.
      size_t idx1 = test::FindFourCC(b, "idx1");
      ASSERT_LT(idx1, size);
      for (size_t e = idx1 + 8; e < idx1 + 8 + GetLE32(b, idx1 + 4); e += 16)
        firstPartFrames += Id(b, e) == "00dc";
    }
    pos += 8 + size;
    ++parts;
  }
  EXPECT_EQ(pos, b.size());
  EXPECT_EQ(parts, w.FilePartCount());
  EXPECT_EQ(GetLE32(b, 32 + 16), firstPartFrames);  // avih: first part only
  EXPECT_LT(firstPartFrames, 60u);
  EXPECT_EQ(GetLE32(b, test::FindFourCC(b, "dmlh") + 8), 60u);  // dmlh: all
  // The reader's OpenDML path reaches every chunk of every part, intact.
  auto video = test::ReadStreamChunks(f, 'v');
  ASSERT_EQ(video.size(), 60u);
  for (uint32_t i = 0; i < 60; ++i) ASSERT_EQ(video[i], test::ChunkData(1, 0, i, 5001)) << i;
  TAVIFileReader r;
  r.Open(f, false);
  TIndexEntry e;
  ASSERT_TRUE(r.VideoStream()->GetIndexEntry(10, e));
  EXPECT_TRUE(e.KeyFrame);
  ASSERT_TRUE(r.VideoStream()->GetIndexEntry(11, e));
  EXPECT_FALSE(e.KeyFrame);
}

TEST(AVIWriter, LegacyModeStillStartsNewPartsAndIdx1CoversTheFirstOnly) {
  TempDir dir;
  std::string f = dir.File("legacy-parts.avi");
  TAVIFileWriter w;
  w.IndexMode = TAVIIndexMode::imLegacy;
  w.RiffLimit = 100000;
  w.Open(f, AVIF_HASINDEX);
  auto vf = test::VideoFormat();
  w.AddStream(0, test::VideoHeader(), 40, vf.data());
  for (uint32_t i = 0; i < 50; ++i) {
    auto v = test::ChunkData(2, 0, i, 6000);
    w.WriteChunk(0, v.data(), true, 6000);
  }
  w.Close();
  EXPECT_GE(w.FilePartCount(), 3);
  auto b = ReadFileBytes(f);
  EXPECT_EQ(test::CountFourCC(b, "ix00"), 0u);
  EXPECT_EQ(test::FindFourCC(b, "indx"), std::string::npos);
  // The reader, with idx1 only, sees the chunks of the first part.
  auto video = test::ReadStreamChunks(f, 'v');
  EXPECT_EQ(video.size(), GetLE32(b, 32 + 16));
  EXPECT_LT(video.size(), 50u);
  EXPECT_GT(video.size(), 0u);
}

// Whatever the chunks, a file part with everything closing it writes (the
// filler and idx1 of the first part, the standard index chunks of every
// stream) stays below the limit. Many small chunks make the pending
// standard indexes large against the part.
TEST(AVIWriter, EveryFilePartStaysBelowTheLimit) {
  TempDir dir;
  auto vf = test::VideoFormat();
  auto af = test::AudioFormat();
  for (TAVIIndexMode mode : {TAVIIndexMode::imLegacy, TAVIIndexMode::imBoth}) {
    // Above the headers (two reserved super indexes take 64 KiB).
    for (int64_t limit : {int64_t{100} << 10, int64_t{300001}}) {
      const std::string f = dir.File("parts.avi");
      TAVIFileWriter w;
      w.IndexMode = mode;
      w.RiffLimit = limit;
      w.Open(f, AVIF_HASINDEX);
      w.AddStream(0, test::VideoHeader(), static_cast<uint32_t>(vf.size()), vf.data());
      w.AddStream(1, test::AudioHeader(), static_cast<uint32_t>(af.size()), af.data());
      uint32_t seed = 7;
      for (uint32_t i = 0; i < 30000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t size = i % 97 == 0 ? 9000 : (seed >> 16) % 24;
        auto d = test::ChunkData(1, static_cast<int>(i % 2), i, size);
        w.WriteChunk(static_cast<int>(i % 2), d.data(), i % 10 == 0, size);
      }
      w.Close();
      const auto bytes = test::ReadFileBytes(f);
      size_t pos = 0;
      int parts = 0;
      while (pos + 8 <= bytes.size()) {
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(&bytes[pos]), 4), "RIFF") << pos;
        const int64_t part = 8 + static_cast<int64_t>(test::GetLE32(bytes, pos + 4));
        EXPECT_LT(part, limit) << "part " << parts << ", limit " << limit;
        pos += static_cast<size_t>(part);
        ++parts;
      }
      EXPECT_EQ(pos, bytes.size());
      if (mode == TAVIIndexMode::imBoth) {
        EXPECT_GT(parts, 2) << limit;
        EXPECT_EQ(parts, w.FilePartCount());
      }
    }
  }
}

class JunkGap : public ::testing::TestWithParam<int> {};

// Format sizes that leave the header list 2030..2038 bytes past a boundary:
// gaps of 6, 4, 2 and 0 bytes before the movi list, and past it.
TEST_P(JunkGap, FileStaysWellFormed) {
  int formatSize = GetParam();
  TempDir dir;
  std::string f = dir.File("gap.avi");
  std::vector<uint8_t> vf(static_cast<size_t>(formatSize), 0);
  auto base = test::VideoFormat();
  std::copy(base.begin(), base.end(), vf.begin());
  {
    TAVIFileWriter w;
    w.IndexMode = TAVIIndexMode::imLegacy;
    w.Open(f, AVIF_HASINDEX);
    w.AddStream(0, test::VideoHeader(), static_cast<uint32_t>(vf.size()), vf.data());
    for (uint32_t i = 0; i < 3; ++i) {
      auto d = test::ChunkData(3, 0, i, 10 + i);
      w.WriteChunk(0, d.data(), true, static_cast<uint32_t>(d.size()));
    }
    w.Close();
  }
  auto b = ReadFileBytes(f);
  // Every top-level child has a well-formed header and they tile the RIFF.
  size_t pos = 12;
  int children = 0;
  while (pos < b.size()) {
    std::string id = Id(b, pos);
    ASSERT_TRUE(id == "LIST" || id == "JUNK" || id == "idx1") << id << " at " << pos;
    pos += 8 + GetLE32(b, pos + 4) + (GetLE32(b, pos + 4) & 1);
    ++children;
  }
  EXPECT_EQ(pos, b.size());
  size_t movi = test::FindFourCC(b, "movi");
  int headerEnd = 172 + formatSize;  // 12 + 12 + 64 + 12 + 64 + 8 + format
  if (headerEnd % 2048 <= 2036)
    EXPECT_EQ((movi + 4) % 2048, 0u) << "first chunk not aligned";
  else
    EXPECT_EQ(movi - 8, static_cast<size_t>(headerEnd));  // no filler: movi right after
  EXPECT_EQ(test::FindFourCC(b, "idx1") % 2048, 0u);
  auto video = test::ReadStreamChunks(f, 'v');
  ASSERT_EQ(video.size(), 3u);
  EXPECT_EQ(video[2], test::ChunkData(3, 0, 2, 12));
}

INSTANTIATE_TEST_SUITE_P(Sizes, JunkGap, ::testing::Values(1858, 1860, 1862, 1864, 1866, 1876, 40));

class Idx1Gap : public ::testing::TestWithParam<uint32_t> {};

// The movi list ends at 2056 + size (+ pad): sizes leaving gaps of 6, 4, 2
// and 0 bytes before a 2048 boundary, and ordinary ones.
TEST_P(Idx1Gap, IndexStillAlignedAndReadable) {
  uint32_t last = GetParam();
  TempDir dir;
  std::string f = dir.File("g.avi");
  {
    TAVIFileWriter w;
    w.IndexMode = TAVIIndexMode::imLegacy;
    w.Open(f, 0);
    auto vf = test::VideoFormat();
    w.AddStream(0, test::VideoHeader(), 40, vf.data());
    auto d = test::ChunkData(4, 0, 0, last);
    w.WriteChunk(0, d.data(), true, last);
    w.Close();
  }
  auto b = ReadFileBytes(f);
  size_t idx1 = test::FindFourCC(b, "idx1");
  EXPECT_EQ(idx1 % 2048, 0u);
  // The top-level children tile the file: movi, filler, idx1.
  size_t pos = 12;
  std::string ids;
  while (pos + 8 <= b.size()) {
    ids += Id(b, pos) + " ";
    pos += 8 + GetLE32(b, pos + 4) + (GetLE32(b, pos + 4) & 1);
  }
  EXPECT_EQ(pos, b.size());
  EXPECT_EQ(ids, "LIST JUNK LIST JUNK idx1 ");
  auto video = test::ReadStreamChunks(f, 'v');
  ASSERT_EQ(video.size(), 1u);
  EXPECT_EQ(video[0].size(), last);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Idx1Gap, ::testing::Values(2034u, 2036u, 2038u, 2040u, 2029u, 2030u));

struct WriterError {
  const char* name;
  void (*act)(TAVIFileWriter&);
  const char* message;
};

class WriterMessages : public ::testing::TestWithParam<WriterError> {};

TEST_P(WriterMessages, RaisesTheText) {
  TempDir dir;
  TAVIFileWriter w;
  w.Open(dir.File("e.avi"), 0);
  try {
    GetParam().act(w);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), GetParam().message);
  }
  w.Discard();
}

const std::vector<uint8_t> kVf = test::VideoFormat();
uint8_t kData[16];

INSTANTIATE_TEST_SUITE_P(
    All, WriterMessages,
    ::testing::Values(
        WriterError{"IdBelowZero", [](TAVIFileWriter& w) { w.AddStream(-1, test::VideoHeader(), 40, kVf.data()); },
                    "Abnormal stream id (must be 0..99)"},
        WriterError{"IdAbove99", [](TAVIFileWriter& w) { w.AddStream(100, test::VideoHeader(), 40, kVf.data()); },
                    "Abnormal stream id (must be 0..99)"},
        WriterError{"IdTwice",
                    [](TAVIFileWriter& w) {
                      w.AddStream(7, test::VideoHeader(), 40, kVf.data());
                      w.AddStream(7, test::AudioHeader(), 40, kVf.data());
                    },
                    "Not unique stream id"},
        WriterError{"AfterFirstChunk",
                    [](TAVIFileWriter& w) {
                      w.AddStream(0, test::VideoHeader(), 40, kVf.data());
                      w.WriteChunk(0, kData, true, 4);
                      w.AddStream(1, test::AudioHeader(), 18, kVf.data());
                    },
                    "Headers was already closed"},
        WriterError{"ShortVideoFormat", [](TAVIFileWriter& w) { w.AddStream(0, test::VideoHeader(), 39, kVf.data()); },
                    "Invalid video format"},
        WriterError{"UnknownStream",
                    [](TAVIFileWriter& w) {
                      w.AddStream(0, test::VideoHeader(), 40, kVf.data());
                      w.WriteChunk(1, kData, true, 4);
                    },
                    "Not initialized stream id"},
        WriterError{"StreamOutOfRange",
                    [](TAVIFileWriter& w) {
                      w.AddStream(0, test::VideoHeader(), 40, kVf.data());
                      w.WriteChunk(100, kData, true, 4);
                    },
                    "Not initialized stream id"},
        WriterError{"SuperIndexFull",
                    [](TAVIFileWriter& w) {
                      // Every file part flushes one standard index; a tiny
                      // part limit makes one part per two chunks.
                      w.Discard();
                      w.IndexMode = TAVIIndexMode::imOpenDML;
                      w.RiffLimit = 100;
                      w.Open("/dev/null", 0);
                      w.AddStream(0, test::VideoHeader(), 40, kVf.data());
                      for (int i = 0; i < 10000; ++i) w.WriteChunk(0, kData, true, 10);
                    },
                    "ODML index overflow"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AVIWriter, CloseBeforeAnyChunkGivesAWellFormedFile) {
  TempDir dir;
  for (auto mode : {TAVIIndexMode::imLegacy, TAVIIndexMode::imBoth}) {
    std::string f = dir.File("empty.avi");
    TAVIFileWriter w;
    w.IndexMode = mode;
    w.Open(f, AVIF_HASINDEX);
    w.AddStream(0, test::VideoHeader(), 40, kVf.data());
    w.Close();
    w.Close();  // a second Close does nothing
    auto b = ReadFileBytes(f);
    EXPECT_EQ(GetLE32(b, 4) + 8, b.size());
    TAVIFileReader r;
    r.Open(f, false);
    ASSERT_NE(r.VideoStream(), nullptr);
    EXPECT_EQ(r.VideoStream()->IndexCount(), 0u);
  }
}

TEST(AVIWriter, VideoWithoutRateHasNoFrameTime) {
  TempDir dir;
  TAVIFileWriter w;
  w.Open(dir.File("r0.avi"), 0);
  w.AddStream(0, test::VideoHeader(1, 0), 40, kVf.data());
  w.WriteChunk(0, kData, true, 4);
  w.Close();
  EXPECT_EQ(w.MainHeader().dwMicroSecPerFrame, 0u);
}

TEST(AVIWriter, FrameTimeRoundsToNearest) {
  TempDir dir;
  TAVIFileWriter w;
  w.Open(dir.File("ntsc.avi"), 0);
  w.AddStream(0, test::VideoHeader(1001, 30000), 40, kVf.data());
  w.Close();
  EXPECT_EQ(w.MainHeader().dwMicroSecPerFrame, 33367u);  // 33366.67
}

TEST(AVIWriter, FullDiskRaisesAndReleasesTheFile) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP();
  TAVIFileWriter w;
  std::vector<uint8_t> d(300000, 1);
  try {
    w.Open("/dev/full", 0);
    w.AddStream(0, test::VideoHeader(), 40, kVf.data());
    for (int i = 0; i < 20; ++i) w.WriteChunk(0, d.data(), true, static_cast<uint32_t>(d.size()));
    w.Close();
    FAIL() << "a full disk was not reported";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code(), ENOSPC);
  }
  try {
    w.Close();
  } catch (const EOSError&) {
  }
  EXPECT_FALSE(w.IsOpen());
}

TEST(AVIWriter, TooLargeChunkIsRefused) {
  TempDir dir;
  TAVIFileWriter w;
  w.Open(dir.File("big.avi"), 0);
  w.AddStream(0, test::VideoHeader(), 40, kVf.data());
  EXPECT_THROW(w.BeginChunk(0, 0x80000000u), Exception);
  w.Close();
}

}  // namespace
}  // namespace vantrel
