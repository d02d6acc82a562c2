// AVI reader on hand-built files.
#include "avi/AVIRead.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "AviTestFiles.h"
#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::Cat;
using test::LE16;
using test::LE32;
using test::RiffBuilder;
using test::TempDir;
using test::Text;

struct HandStream {
  const char* type = "vids";
  uint32_t scale = 1;
  uint32_t rate = 25;
  uint32_t sampleSize = 0;
  std::vector<uint8_t> format = test::BitmapInfo(320, 240, "XVID");
  std::vector<uint8_t> extra;  // more children of the stream list (e.g. an indx)
};

struct HandChunk {
  const char* id;
  std::vector<uint8_t> data;
  bool key = true;
};

enum class Idx1 { None, Absolute, Relative };

struct HandFile {
  std::vector<uint8_t> bytes;
  std::vector<size_t> chunkPos;  // header position of every movi chunk
  size_t moviType = 0;           // position of the "movi" list type
  std::vector<size_t> strlPos;   // position of each stream list header
};

HandFile BuildAvi(const std::vector<HandStream>& streams, const std::vector<HandChunk>& chunks, Idx1 idx1,
                  const std::vector<HandChunk>& idx1Extra = {}) {
  HandFile f;
  RiffBuilder b;
  b.Begin("RIFF", "AVI ").Begin("LIST", "hdrl");
  std::vector<uint8_t> avih(56, 0);
  std::memcpy(avih.data() + 24, LE32(static_cast<uint32_t>(streams.size())).data(), 4);
  b.Chunk("avih", avih);
  for (const HandStream& s : streams) {
    f.strlPos.push_back(b.Pos());
    b.Begin("LIST", "strl")
        .Chunk("strh", test::StreamHeader(s.type, "    ", s.scale, s.rate, s.sampleSize))
        .Chunk("strf", s.format)
        .Raw(s.extra)
        .End();
  }
  b.End();
  b.Begin("LIST", "movi");
  f.moviType = b.Pos() - 4;
  for (const HandChunk& c : chunks) {
    f.chunkPos.push_back(b.Pos());
    b.Chunk(c.id, c.data);
  }
  b.End();
  if (idx1 != Idx1::None) {
    std::vector<uint8_t> entries;
    for (size_t i = 0; i < chunks.size(); ++i) {
      uint32_t off = static_cast<uint32_t>(idx1 == Idx1::Absolute ? f.chunkPos[i] : f.chunkPos[i] - f.moviType);
      auto e = Cat({Text(chunks[i].id), LE32(chunks[i].key ? 0x10 : 0), LE32(off),
                    LE32(static_cast<uint32_t>(chunks[i].data.size()))});
      entries.insert(entries.end(), e.begin(), e.end());
    }
    for (const HandChunk& c : idx1Extra) {
      auto e = Cat({Text(c.id), LE32(0x10), LE32(4), LE32(static_cast<uint32_t>(c.data.size()))});
      entries.insert(entries.end(), e.begin(), e.end());
    }
    b.Chunk("idx1", entries);
  }
  f.bytes = b.Finish();
  return f;
}

std::string Save(TempDir& dir, const std::vector<uint8_t>& bytes, const char* name = "f.avi") {
  std::string p = dir.File(name);
  test::WriteFileBytes(p, bytes);
  return p;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

HandStream Audio(uint32_t scale = 1, uint32_t rate = 44100, uint32_t sampleSize = 4) {
  HandStream s;
  s.type = "auds";
  s.scale = scale;
  s.rate = rate;
  s.sampleSize = sampleSize;
  s.format = test::WaveFormat(1, 2, 44100, 4, 16);
  return s;
}

class LegacyIndexKinds : public ::testing::TestWithParam<Idx1> {};

TEST_P(LegacyIndexKinds, DataPositionsFromRelativeAndAbsoluteOffsets) {
  TempDir dir;
  auto f = BuildAvi({HandStream{}, Audio()},
                    {{"00dc", Bytes(10, 1)}, {"01wb", Bytes(8, 2)}, {"00dc", Bytes(7, 3), false}}, GetParam());
  TAVIFileReader r;
  r.Open(Save(dir, f.bytes), false);
  ASSERT_EQ(r.StreamCount(), 2);
  TIndexEntry e;
  ASSERT_TRUE(r.VideoStream()->GetIndexEntry(1, e));
  EXPECT_EQ(e.Offset, static_cast<int64_t>(f.chunkPos[2] + 8));
  EXPECT_EQ(e.Size, 7u);
  EXPECT_FALSE(e.KeyFrame);
  EXPECT_EQ(e.StreamPos, 10);
  std::vector<uint8_t> d(7);
  ASSERT_TRUE(r.VideoStream()->ReadChunk(1, d.data()));
  EXPECT_EQ(d, Bytes(7, 3));
  ASSERT_TRUE(r.AudioStream()->GetIndexEntry(0, e));
  EXPECT_EQ(e.Offset, static_cast<int64_t>(f.chunkPos[1] + 8));
  EXPECT_FALSE(r.VideoStream()->GetIndexEntry(2, e));
  EXPECT_EQ(r.VideoStream()->StreamPosition(2), -1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LegacyIndexKinds, ::testing::Values(Idx1::Absolute, Idx1::Relative));

TEST(AVIReader, Idx1EntriesOfUnknownStreamsAreSkipped) {
  TempDir dir;
  auto f = BuildAvi({HandStream{}}, {{"00dc", Bytes(4, 1)}, {"01wb", Bytes(4, 2)}, {"00dc", Bytes(4, 3)}},
                    Idx1::Absolute, {{"ix00", {}}, {"rec ", {}}, {"JUNK", {}}});
  TAVIFileReader r;
  r.Open(Save(dir, f.bytes), false);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 2u);
  // The last two characters are not looked at: "00wb" counts for stream 0.
  auto g = BuildAvi({HandStream{}}, {{"00dc", Bytes(4, 1)}, {"00wb", Bytes(4, 2)}}, Idx1::Absolute);
  r.Open(Save(dir, g.bytes, "g.avi"), false);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 2u);
}

struct SampleSizeCase {
  uint32_t scale, rate, sampleSize;
  size_t formatBytes;
  uint32_t expected;
};

class AudioSampleSize : public ::testing::TestWithParam<SampleSizeCase> {};

TEST_P(AudioSampleSize, FromBlockAlignAboveFiveHundredPerSecond) {
  const auto& c = GetParam();
  TempDir dir;
  HandStream a = Audio(c.scale, c.rate, c.sampleSize);
  a.format.resize(c.formatBytes);
  auto f = BuildAvi({HandStream{}, a}, {{"00dc", Bytes(4, 1)}}, Idx1::Absolute);
  TAVIFileReader r;
  r.Open(Save(dir, f.bytes), true);
  EXPECT_EQ(r.AudioStream()->Header.dwSampleSize, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, AudioSampleSize,
                         ::testing::Values(SampleSizeCase{1, 44100, 0, 18, 4},   // nBlockAlign 4
                                           SampleSizeCase{1, 500, 0, 18, 0},     // exactly 500: kept
                                           SampleSizeCase{2, 1002, 0, 18, 4},    // 501
                                           SampleSizeCase{1, 44100, 2, 18, 2},   // set already
                                           SampleSizeCase{0, 44100, 0, 18, 0},   // no time base
                                           SampleSizeCase{1, 44100, 0, 13, 0},   // format too short
                                           SampleSizeCase{1, 44100, 0, 14, 4}));

TEST(AVIReader, VideoHandlerIsTheFormatsCompression) {
  TempDir dir;
  HandStream shortVideo;
  shortVideo.format = test::BitmapInfo(320, 240, "XVID");
  shortVideo.format.resize(19);
  auto f = BuildAvi({HandStream{}, shortVideo}, {{"00dc", Bytes(4, 1)}}, Idx1::Absolute);
  TAVIFileReader r;
  r.Open(Save(dir, f.bytes), true);
  EXPECT_EQ(r.Streams(0).Header.fccHandler, FourCC("XVID"));
  EXPECT_EQ(r.Streams(1).Header.fccHandler, FourCC("    "));  // format too short: untouched
  EXPECT_EQ(r.Streams(1).Format.size(), 19u);
}

TEST(AVIReader, EntryTimes) {
  TempDir dir;
  HandStream ntsc;
  ntsc.scale = 1001;
  ntsc.rate = 30000;
  std::vector<HandChunk> chunks;
  for (int i = 0; i < 31; ++i) chunks.push_back({"00dc", Bytes(2, 0)});
  for (int i = 0; i < 3; ++i) chunks.push_back({"01wb", Bytes(44100, 0)});  // a quarter second each
  auto f = BuildAvi({ntsc, Audio()}, chunks, Idx1::Absolute);
  TAVIFileReader r;
  r.Open(Save(dir, f.bytes), false);
  EXPECT_DOUBLE_EQ(r.VideoStream()->EntryTime(30), 1.001);
  EXPECT_DOUBLE_EQ(r.VideoStream()->EntryTime(31), -1.0);
  EXPECT_DOUBLE_EQ(r.AudioStream()->EntryTime(2), 0.5);
}

TEST(AVIReader, NextChunkInterleavesByTimeAndTiesGoToTheEarlierList) {
  TempDir dir;
  // Video at 4 fps (0, .25, .5), audio 0.25 s per chunk (0, .25, .5, .75).
  HandStream v;
  v.rate = 4;
  for (bool videoFirst : {true, false}) {
    const char* vid = videoFirst ? "00dc" : "01dc";
    const char* aud = videoFirst ? "01wb" : "00wb";
    std::vector<HandChunk> chunks = {{vid, Bytes(1, 0)},     {vid, Bytes(1, 1)},     {vid, Bytes(1, 2)},
                                     {aud, Bytes(44100, 0)}, {aud, Bytes(44100, 0)}, {aud, Bytes(44100, 0)},
                                     {aud, Bytes(44100, 0)}};
    std::vector<HandStream> streams = videoFirst ? std::vector<HandStream>{v, Audio()}
                                                 : std::vector<HandStream>{Audio(), v};
    auto f = BuildAvi(streams, chunks, Idx1::Absolute);
    TAVIFileReader r;
    r.Open(Save(dir, f.bytes), false);
    r.ResetCursors();
    std::string order;
    int s;
    uint32_t e;
    for (r.NextChunk(s, e); s >= 0; r.NextChunk(s, e)) order += r.Streams(s).IsVideo() ? 'v' : 'a';
    EXPECT_EQ(order, videoFirst ? "vavavaa" : "avavava");
    r.ResetCursors();
    r.NextChunk(s, e);
    EXPECT_EQ(e, 0u);
  }
}

TEST(AVIReader, StreamsWithoutTimeBaseStillDeliverEveryChunk) {
  TempDir dir;
  HandStream v;
  v.rate = 0;
  HandStream a = Audio(0, 0, 4);
  auto f = BuildAvi({v, a}, {{"00dc", Bytes(3, 1)}, {"01wb", Bytes(8, 2)}, {"00dc", Bytes(3, 3)}}, Idx1::Absolute);
  TAVIFileReader r;
  r.Open(Save(dir, f.bytes), false);
  r.ResetCursors();
  int s, n = 0;
  uint32_t e;
  for (r.NextChunk(s, e); s >= 0; r.NextChunk(s, e)) ++n;
  EXPECT_EQ(n, 3);
}

TEST(AVIReader, EleventhStreamIsNumbered0A) {
  TempDir dir;
  std::vector<HandStream> streams(11, Audio());
  streams[0] = HandStream{};
  auto f = BuildAvi(streams, {{"0Awb", Bytes(4, 1)}, {"0awb", Bytes(4, 2)}, {"10wb", Bytes(4, 3)}}, Idx1::Absolute);
  TAVIFileReader r;
  r.Open(Save(dir, f.bytes), false);
  ASSERT_EQ(r.StreamCount(), 11);
  EXPECT_EQ(r.Streams(9).Number, "09");
  EXPECT_EQ(r.Streams(10).Number, "0A");
  EXPECT_EQ(r.Streams(10).IndexCount(), 1u);  // lower-case "0a" is not stream 10
}

TEST(AVIReader, TooManyStreams) {
  TempDir dir;
  std::vector<HandStream> streams(257, Audio());
  auto f = BuildAvi(streams, {}, Idx1::Absolute);
  TAVIFileReader r;
  EXPECT_THROW(r.Open(Save(dir, f.bytes), true), EAVIReadError);
  streams.resize(256);
  auto g = BuildAvi(streams, {}, Idx1::Absolute);
  r.Open(Save(dir, g.bytes, "g.avi"), true);
  EXPECT_EQ(r.Streams(255).Number, "FF");
}

// ---- OpenDML indexes, built by hand.

std::vector<uint8_t> StdIndex(const char* chunkId, uint64_t base, const std::vector<std::pair<uint32_t, uint32_t>>& e,
                              uint32_t declaredCount = UINT32_MAX, uint8_t type = 1) {
  std::vector<uint8_t> d = Cat({LE16(2), {0, type}, LE32(declaredCount == UINT32_MAX ? static_cast<uint32_t>(e.size())
                                                                                     : declaredCount),
                                Text(chunkId), LE32(static_cast<uint32_t>(base)), LE32(static_cast<uint32_t>(base >> 32)),
                                LE32(0)});
  for (auto [off, size] : e) d = Cat({d, LE32(off), LE32(size)});
  return d;
}

// A super index whose entries are patched in later (qwOffset at +8 of the chunk data + 24 + 16 i).
std::vector<uint8_t> SuperIndexChunk(const char* chunkId, uint32_t entries, uint32_t declared, uint8_t type = 0) {
  std::vector<uint8_t> d = Cat({LE16(4), {0, type}, LE32(declared), Text(chunkId), LE32(0), LE32(0), LE32(0)});
  d.resize(24 + 16 * entries, 0);
  return Cat({Text("indx"), LE32(static_cast<uint32_t>(d.size())), d});
}

void Patch64(std::vector<uint8_t>& b, size_t at, uint64_t v) { std::memcpy(b.data() + at, &v, 8); }

// Video stream with an indx of n entries; returns the file and the position
// of the indx chunk's header.
struct OdmlFile {
  HandFile f;
  size_t indx;
};

OdmlFile WithSuperIndex(uint32_t entries, uint32_t declared, const std::vector<HandChunk>& movi, Idx1 idx1,
                        uint8_t type = 0) {
  HandStream v;
  v.extra = SuperIndexChunk("00dc", entries, declared, type);
  OdmlFile o{BuildAvi({v}, movi, idx1), 0};
  o.indx = o.f.strlPos[0] + 12 + 64 + 8 + 40;
  return o;
}

TEST(AVIReaderOpenDML, StandardIndexEntriesAndKeyFlags) {
  TempDir dir;
  // movi: data chunks, then the standard index chunk itself.
  std::vector<HandChunk> movi = {{"00dc", Bytes(10, 1)}, {"00dc", Bytes(5000, 2)}, {"ix00", {}}};
  auto o = WithSuperIndex(1, 1, movi, Idx1::None);
  auto& b = o.f.bytes;
  size_t ixPos = o.f.chunkPos[2];
  auto ix = StdIndex("00dc", 0, {{static_cast<uint32_t>(o.f.chunkPos[0] + 8), 10},
                                 {static_cast<uint32_t>(o.f.chunkPos[1] + 8), 0x80001388u}});
  // Replace the empty ix00 chunk (8 bytes) with the real one at the end of the file.
  b.resize(ixPos);
  auto ixChunk = Cat({Text("ix00"), LE32(static_cast<uint32_t>(ix.size())), ix});
  b.insert(b.end(), ixChunk.begin(), ixChunk.end());
  std::memcpy(b.data() + 4, LE32(static_cast<uint32_t>(b.size() - 8)).data(), 4);
  size_t moviList = o.f.moviType - 8;
  std::memcpy(b.data() + moviList + 4, LE32(static_cast<uint32_t>(b.size() - moviList - 8)).data(), 4);
  Patch64(b, o.indx + 8 + 24, ixPos);
  TAVIFileReader r;
  r.Open(Save(dir, b), false);
  EXPECT_TRUE(r.HasOpenDMLIndex());
  ASSERT_EQ(r.VideoStream()->IndexCount(), 2u);
  TIndexEntry e;
  r.VideoStream()->GetIndexEntry(1, e);
  EXPECT_EQ(e.Size, 5000u);
  EXPECT_FALSE(e.KeyFrame);
  EXPECT_EQ(e.Offset, static_cast<int64_t>(o.f.chunkPos[1] + 8));
  EXPECT_EQ(e.StreamPos, 10);
  r.VideoStream()->GetIndexEntry(0, e);
  EXPECT_TRUE(e.KeyFrame);
}

// Appends a standard index chunk at the end of the file and points super
// index entry i at it.
size_t AppendStdIndex(std::vector<uint8_t>& b, const std::vector<uint8_t>& ix) {
  size_t pos = b.size();
  auto chunk = Cat({Text("ix00"), LE32(static_cast<uint32_t>(ix.size())), ix});
  b.insert(b.end(), chunk.begin(), chunk.end());
  return pos;
}

TEST(AVIReaderOpenDML, IndexedFromOpenDMLEvenWithIdx1) {
  TempDir dir;
  auto o = WithSuperIndex(1, 1, {{"00dc", Bytes(10, 1)}, {"00dc", Bytes(20, 2)}}, Idx1::Absolute);
  auto& b = o.f.bytes;
  // The standard index lists only the second chunk; idx1 lists both.
  size_t ix = AppendStdIndex(b, StdIndex("00dc", 0, {{static_cast<uint32_t>(o.f.chunkPos[1] + 8), 20}}));
  Patch64(b, o.indx + 8 + 24, ix);
  TAVIFileReader r;
  r.Open(Save(dir, b), false);
  ASSERT_EQ(r.VideoStream()->IndexCount(), 1u);
  EXPECT_EQ(r.VideoStream()->StreamPosition(0), 0);
  TIndexEntry e;
  r.VideoStream()->GetIndexEntry(0, e);
  EXPECT_EQ(e.Size, 20u);
}

TEST(AVIReaderOpenDML, BaseOffsetIsAdded) {
  TempDir dir;
  auto o = WithSuperIndex(1, 1, {{"00dc", Bytes(10, 1)}}, Idx1::None);
  auto& b = o.f.bytes;
  uint64_t base = o.f.chunkPos[0] - 100;
  size_t ix = AppendStdIndex(b, StdIndex("00dc", base, {{108, 10}}));
  Patch64(b, o.indx + 8 + 24, ix);
  TAVIFileReader r;
  r.Open(Save(dir, b), false);
  std::vector<uint8_t> d(10);
  ASSERT_TRUE(r.VideoStream()->ReadChunk(0, d.data()));
  EXPECT_EQ(d, Bytes(10, 1));
}

TEST(AVIReaderOpenDML, EmptyAndOversizedCounts) {
  TempDir dir;
  // nEntriesInUse 0 in the super index: nothing, without error.
  auto o = WithSuperIndex(1, 0, {{"00dc", Bytes(10, 1)}}, Idx1::None);
  TAVIFileReader r;
  r.Open(Save(dir, o.f.bytes), false);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 0u);

  // A standard index claiming four billion entries yields the ones its chunk holds.
  auto p = WithSuperIndex(1, 0xFFFFFFFF, {{"00dc", Bytes(10, 1)}}, Idx1::None);
  auto& b = p.f.bytes;
  size_t ix = AppendStdIndex(b, StdIndex("00dc", 0, {{static_cast<uint32_t>(p.f.chunkPos[0] + 8), 10}}, 0xFFFFFFFF));
  Patch64(b, p.indx + 8 + 24, ix);
  r.Open(Save(dir, b, "p.avi"), false);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 1u);
}

TEST(AVIReaderOpenDML, SuperIndexEntriesPointingAtOneStandardIndexCountOnce) {
  TempDir dir;
  auto o = WithSuperIndex(50, 50, {{"00dc", Bytes(10, 1)}}, Idx1::None);
  auto& b = o.f.bytes;
  size_t ix = AppendStdIndex(b, StdIndex("00dc", 0, {{static_cast<uint32_t>(o.f.chunkPos[0] + 8), 10}}));
  for (int i = 0; i < 50; ++i) Patch64(b, o.indx + 8 + 24 + 16 * i, ix);
  TAVIFileReader r;
  r.Open(Save(dir, b), false);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 1u);
}

TEST(AVIReaderOpenDML, SuperIndexThatIsAStandardIndex) {
  TempDir dir;
  HandStream v;
  // Put a standard index in the stream list where the indx goes.
  v.extra = Cat({Text("indx"), LE32(32), StdIndex("00dc", 0, {{0, 10}})});
  HandFile f = BuildAvi({v}, {{"00dc", Bytes(10, 1)}}, Idx1::None);
  std::memcpy(f.bytes.data() + f.strlPos[0] + 12 + 64 + 48 + 8 + 24, LE32(static_cast<uint32_t>(f.chunkPos[0] + 8)).data(), 4);
  TAVIFileReader r;
  r.Open(Save(dir, f.bytes), false);
  ASSERT_EQ(r.VideoStream()->IndexCount(), 1u);
  std::vector<uint8_t> d(10);
  ASSERT_TRUE(r.VideoStream()->ReadChunk(0, d.data()));
  EXPECT_EQ(d, Bytes(10, 1));
}

TEST(AVIReaderOpenDML, StreamWithoutIndxTakesItsChunksFromIdx1) {
  TempDir dir;
  auto build = [](Idx1 idx1) {
    HandStream v;
    v.extra = SuperIndexChunk("00dc", 1, 1);
    std::vector<HandChunk> movi = {{"00dc", Bytes(10, 1)}, {"01wb", Bytes(8, 2)}, {"01wb", Bytes(8, 3)}};
    HandFile f = BuildAvi({v, Audio()}, movi, idx1);
    size_t indx = f.strlPos[0] + 12 + 64 + 48;
    size_t ix = AppendStdIndex(f.bytes, StdIndex("00dc", 0, {{static_cast<uint32_t>(f.chunkPos[0] + 8), 10}}));
    Patch64(f.bytes, indx + 8 + 24, ix);
    return f.bytes;
  };
  TAVIFileReader r;
  r.Open(Save(dir, build(Idx1::Absolute)), false);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 1u);
  EXPECT_EQ(r.AudioStream()->IndexCount(), 2u);
  std::vector<uint8_t> d(8);
  ASSERT_TRUE(r.AudioStream()->ReadChunk(1, d.data()));
  EXPECT_EQ(d, Bytes(8, 3));

  try {
    r.Open(Save(dir, build(Idx1::None), "g.avi"), false);
    FAIL();
  } catch (const EAVIReadError& e) {
    EXPECT_STREQ(e.what(), "The index is not found");
  }
}

// ---- Failures.

struct ReadFailure {
  const char* name;
  std::vector<uint8_t> (*make)();
  const char* message;
};

class ReaderMessages : public ::testing::TestWithParam<ReadFailure> {};

TEST_P(ReaderMessages, RaisesTheText) {
  TempDir dir;
  TAVIFileReader r;
  try {
    r.Open(Save(dir, GetParam().make()), false);
    FAIL() << "no exception";
  } catch (const EAVIReadError& e) {
    EXPECT_STREQ(e.what(), GetParam().message);
  }
  r.Close();
}

std::vector<uint8_t> Simple(Idx1 idx1 = Idx1::Absolute) {
  return BuildAvi({HandStream{}}, {{"00dc", Bytes(4, 1)}}, idx1).bytes;
}

INSTANTIATE_TEST_SUITE_P(
    All, ReaderMessages,
    ::testing::Values(
        ReadFailure{"NotRiff", [] { auto b = Simple(); b[0] = 'X'; return b; }, "The file has unknown format"},
        ReadFailure{"NotAvi", [] { auto b = Simple(); b[8] = 'W'; return b; }, "The file has unknown format"},
        ReadFailure{"TooShort", [] { return Text("RIFF"); }, "The file has unknown format"},
        ReadFailure{"NoHeaderList",
                    [] { return RiffBuilder().Begin("RIFF", "AVI ").Begin("LIST", "movi").End().Finish(); },
                    "The header is not found"},
        ReadFailure{"NoMovi",
                    [] {
                      return RiffBuilder().Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", Bytes(56, 0)).End()
                          .Finish();
                    },
                    "The data is not found"},
        ReadFailure{"NoMainHeader",
                    [] {
                      return RiffBuilder().Begin("RIFF", "AVI ").Begin("LIST", "hdrl").End().Begin("LIST", "movi")
                          .End().Finish();
                    },
                    "The main header is not found"},
        ReadFailure{"NoStreamHeader",
                    [] {
                      return RiffBuilder().Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", Bytes(56, 0))
                          .Begin("LIST", "strl").Chunk("strf", Bytes(40, 0)).End().End().Begin("LIST", "movi").End()
                          .Finish();
                    },
                    "The stream header is not found"},
        ReadFailure{"NoStreamFormat",
                    [] {
                      return RiffBuilder().Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", Bytes(56, 0))
                          .Begin("LIST", "strl").Chunk("strh", Bytes(56, 0)).End().End().Begin("LIST", "movi").End()
                          .Finish();
                    },
                    "The stream format is not found"},
        ReadFailure{"NoIndex", [] { return Simple(Idx1::None); }, "The index is not found"},
        ReadFailure{"SuperIndexType",
                    [] { return WithSuperIndex(1, 1, {{"00dc", Bytes(4, 1)}}, Idx1::None, 7).f.bytes; },
                    "Unsupported type of super index: 7"},
        ReadFailure{"ChunkIndexType",
                    [] {
                      auto o = WithSuperIndex(1, 1, {{"00dc", Bytes(4, 1)}}, Idx1::None);
                      size_t ix = AppendStdIndex(o.f.bytes, StdIndex("00dc", 0, {{0, 4}}, 1, 3));
                      Patch64(o.f.bytes, o.indx + 8 + 24, ix);
                      return o.f.bytes;
                    },
                    "Unsupported type of chunk index: 3"},
        ReadFailure{"SuperIndexPointingAtItself",
                    [] {
                      auto o = WithSuperIndex(1, 1, {{"00dc", Bytes(4, 1)}}, Idx1::None);
                      Patch64(o.f.bytes, o.indx + 8 + 24, o.indx);
                      return o.f.bytes;
                    },
                    "Unsupported type of chunk index: 0"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AVIReader, HeadersOnlyOpenNeedsNoIndex) {
  TempDir dir;
  TAVIFileReader r;
  r.Open(Save(dir, Simple(Idx1::None)), true);
  EXPECT_EQ(r.StreamCount(), 1);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 0u);
  EXPECT_EQ(r.MainHeader().dwStreams, 1u);
}

TEST(AVIReader, TruncatedFilesEndTheWalkAtTheEndOfTheFile) {
  TempDir dir;
  auto f = BuildAvi({HandStream{}}, {{"00dc", Bytes(100, 1)}, {"00dc", Bytes(100, 2)}}, Idx1::Absolute);
  // Cut inside the second chunk: no idx1 left, the movi list runs past the
  // end. The whole first chunk is found in the data; the cut one is not.
  std::vector<uint8_t> cut(f.bytes.begin(), f.bytes.begin() + static_cast<long>(f.chunkPos[1] + 50));
  TAVIFileReader r;
  r.Open(Save(dir, cut), true);
  EXPECT_EQ(r.StreamCount(), 1);
  r.Open(Save(dir, cut, "cut.avi"), false);
  EXPECT_TRUE(r.Truncated());
  EXPECT_TRUE(r.Recovered());
  ASSERT_EQ(r.VideoStream()->IndexCount(), 1u);
  std::vector<uint8_t> first(100);
  ASSERT_TRUE(r.VideoStream()->ReadChunk(0, first.data()));
  EXPECT_EQ(first, Bytes(100, 1));
  // The same file whole is neither.
  r.Open(Save(dir, f.bytes, "whole.avi"), false);
  EXPECT_FALSE(r.Truncated());
  EXPECT_FALSE(r.Recovered());
  // Cut inside the header list.
  std::vector<uint8_t> cut2(f.bytes.begin(), f.bytes.begin() + 100);
  EXPECT_THROW(r.Open(Save(dir, cut2, "cut2.avi"), true), EAVIReadError);
  // An index entry pointing past the end: the index is built, the read is short.
  auto g = BuildAvi({HandStream{}}, {{"00dc", Bytes(100, 1)}}, Idx1::Absolute);
  std::memcpy(g.bytes.data() + g.bytes.size() - 4, LE32(0x7FFFFFF0).data(), 4);
  r.Open(Save(dir, g.bytes, "g.avi"), false);
  ASSERT_EQ(r.VideoStream()->IndexCount(), 1u);
  std::vector<uint8_t> small(16);
  TIndexEntry e;
  r.VideoStream()->GetIndexEntry(0, e);
  EXPECT_EQ(e.Size, 0x7FFFFFF0u);
}

TEST(AVIReader, ShortStreamHeaderIsReadAsFiftySixBytes) {
  TempDir dir;
  auto b = RiffBuilder()
               .Begin("RIFF", "AVI ")
               .Begin("LIST", "hdrl")
               .Chunk("avih", Bytes(56, 0))
               .Begin("LIST", "strl")
               .Chunk("strh", Text("vids"))
               .Chunk("strf", test::BitmapInfo(8, 8, "MJPG"))
               .End()
               .End()
               .Begin("LIST", "movi")
               .End()
               .Chunk("idx1", {})
               .Finish();
  TAVIFileReader r;
  r.Open(Save(dir, b), false);
  EXPECT_TRUE(r.VideoStream() != nullptr);
  // The bytes after the 4-byte strh are the next chunk's header; the
  // handler is replaced from the format anyway.
  EXPECT_EQ(r.VideoStream()->Header.fccHandler, FourCC("MJPG"));
  EXPECT_EQ(r.VideoStream()->Header.dwFlags, 40u);  // the strf chunk's size field
}

TEST(AVIReader, ReaderWriterRoundTrip) {
  TempDir dir;
  for (auto mode : {TAVIIndexMode::imLegacy, TAVIIndexMode::imOpenDML, TAVIIndexMode::imBoth}) {
    test::SynthAvi s;
    s.frames = 30;
    s.mode = mode;
    std::string p = dir.File("rt.avi");
    test::WriteSynthAvi(p, s);
    EXPECT_EQ(test::ReadStreamChunks(p, 'v'), test::ExpectedChunks(s, 'v'));
    EXPECT_EQ(test::ReadStreamChunks(p, 'a'), test::ExpectedChunks(s, 'a'));
    TAVIFileReader r;
    r.Open(p, false);
    EXPECT_EQ(r.HasOpenDMLIndex(), mode != TAVIIndexMode::imLegacy);
    EXPECT_EQ(r.VideoStream()->Header.dwLength, 30u);
    EXPECT_EQ(r.AudioStream()->Header.dwLength, 30u * 7056 / 4);
    TIndexEntry e;
    r.VideoStream()->GetIndexEntry(5, e);
    EXPECT_TRUE(e.KeyFrame);
    r.VideoStream()->GetIndexEntry(6, e);
    EXPECT_FALSE(e.KeyFrame);
  }
}

}  // namespace
}  // namespace vantrel
