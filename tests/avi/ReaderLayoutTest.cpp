// AVI files laid out as other writers lay them out, joined with a plain one:
// the output carries every chunk the layout holds, packet for packet, as an
// outside reader (ffmpeg) sees them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "avi/AVIFormat.h"
#include "avi/AVIRead.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::Cat;
using test::LE16;
using test::LE32;
using test::RiffBuilder;
using test::TempDir;
using test::Text;
using Bytes = std::vector<uint8_t>;

// A file's streams and chunks, in file order.
struct Source {
  struct Stream {
    AVISTREAMHEADER header;
    Bytes format;
  };
  std::vector<Stream> streams;
  struct Chunk {
    int stream;
    Bytes data;
    bool key;
  };
  std::vector<Chunk> chunks;
};

Source ReadSource(const std::string& file) {
  Source s;
  TAVIFileReader r;
  r.Open(file, false);
  for (int i = 0; i < r.StreamCount(); ++i) s.streams.push_back({r.Streams(i).Header, r.Streams(i).Format});
  r.ResetCursors();
  for (;;) {
    int stream;
    uint32_t entry;
    r.NextChunk(stream, entry);
    if (stream < 0) break;
    TIndexEntry e;
    r.Streams(stream).GetIndexEntry(entry, e);
    Bytes d(e.Size);
    r.Streams(stream).ReadChunk(entry, d.data());
    s.chunks.push_back({stream, d, e.KeyFrame != 0});
  }
  return s;
}

Bytes Struct(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  return Bytes(b, b + n);
}

std::string ChunkId(int stream, const AVISTREAMHEADER& h) {
  return "0" + std::to_string(stream) + (h.fccType == ckVids ? "dc" : "wb");
}

enum class Layout {
  RecListsRelativeIdx1,         // every frame in a 'rec ' list, idx1 relative and listing the lists
  EmptyOpenDMLIndexes,          // 'indx' chunks reserved and never filled, a good idx1
  RepeatedStandardIndexEntry,   // OpenDML only; entry 10 of the video index repeats entry 9
  TopDownVideo,                 // negative biHeight
};

// Writes the source's streams and chunks in the layout.
void WriteLayout(const Source& src, Layout layout, const std::string& path) {
  RiffBuilder b;
  b.Begin("RIFF", "AVI ").Begin("LIST", "hdrl");
  AVIMAINHEADER avih{};
  avih.dwMicroSecPerFrame = 40000;
  avih.dwFlags = AVIF_HASINDEX;
  avih.dwStreams = static_cast<uint32_t>(src.streams.size());
  b.Chunk("avih", Struct(&avih, sizeof avih));
  std::vector<size_t> superIndexAt;
  for (const Source::Stream& s : src.streams) {
    Bytes format = s.format;
    if (layout == Layout::TopDownVideo && s.header.fccType == ckVids) {
      int32_t h;
      std::memcpy(&h, format.data() + kBiHeightOffset, 4);
      h = -h;
      std::memcpy(format.data() + kBiHeightOffset, &h, 4);
    }
    b.Begin("LIST", "strl").Chunk("strh", Struct(&s.header, sizeof s.header)).Chunk("strf", format);
    if (layout == Layout::EmptyOpenDMLIndexes || layout == Layout::RepeatedStandardIndexEntry) {
      // An index of indexes with room for 4 entries; filled in later or never.
      superIndexAt.push_back(b.Pos());
      b.Chunk("indx", Cat({LE16(4), {0, AVI_INDEX_OF_INDEXES}, LE32(0), LE32(0), LE32(0), LE32(0), LE32(0),
                            Bytes(4 * 16, 0)}));
    }
    b.End();
  }
  b.End();
  const size_t moviAt = b.Pos();
  b.Begin("LIST", "movi");
  struct Entry {
    std::string id;
    uint32_t flags, offset, size;
  };
  std::vector<Entry> idx1;
  std::vector<std::vector<std::pair<uint32_t, uint32_t>>> std(src.streams.size());  // data position, size
  auto relative = [&](size_t pos) { return static_cast<uint32_t>(pos - (moviAt + 8)); };
  for (size_t i = 0; i < src.chunks.size(); ++i) {
    const Source::Chunk& c = src.chunks[i];
    const std::string id = ChunkId(c.stream, src.streams[static_cast<size_t>(c.stream)].header);
    const bool rec = layout == Layout::RecListsRelativeIdx1;
    if (rec && c.stream == 0) {
      if (i > 0) b.End();
      idx1.push_back({"rec ", 0x1 /* AVIIF_LIST */, relative(b.Pos()), 0});
      b.Begin("LIST", "rec ");
    }
    const size_t at = b.Pos();
    idx1.push_back({id, c.key ? AVIIF_KEYFRAME : 0u, rec ? relative(at) : static_cast<uint32_t>(at),
                    static_cast<uint32_t>(c.data.size())});
    std[static_cast<size_t>(c.stream)].push_back({static_cast<uint32_t>(at + 8), static_cast<uint32_t>(c.data.size())});
    b.Chunk(id.c_str(), c.data);
  }
  if (layout == Layout::RecListsRelativeIdx1) b.End();
  // Standard indexes at the end of the data list.
  std::vector<size_t> stdIndexAt;
  if (layout == Layout::RepeatedStandardIndexEntry) {
    for (size_t s = 0; s < src.streams.size(); ++s) {
      auto entries = std[s];
      if (s == 0) entries[10] = entries[9];
      Bytes body = Cat({LE16(2), {0, AVI_INDEX_OF_CHUNKS}, LE32(static_cast<uint32_t>(entries.size())),
                        Text(ChunkId(static_cast<int>(s), src.streams[s].header).c_str()), Bytes(8, 0), LE32(0)});
      for (const auto& [pos, size] : entries) body = Cat({body, LE32(pos), LE32(size)});
      stdIndexAt.push_back(b.Pos());
      b.Chunk(("ix0" + std::to_string(s)).c_str(), body);
    }
  }
  b.End();
  if (layout != Layout::RepeatedStandardIndexEntry) {
    Bytes e;
    for (const Entry& x : idx1) e = Cat({e, Text(x.id.c_str()), LE32(x.flags), LE32(x.offset), LE32(x.size)});
    b.Chunk("idx1", e);
  }
  Bytes file = b.Finish();
  for (size_t s = 0; s < stdIndexAt.size(); ++s) {
    // One entry in the stream's super index: qwOffset, dwSize, dwDuration.
    const size_t entry = superIndexAt[s] + 8 + 24;
    const uint64_t at = stdIndexAt[s];
    std::memcpy(&file[superIndexAt[s] + 8 + 4], LE32(1).data(), 4);
    std::memcpy(&file[entry], &at, 8);
    std::memcpy(&file[entry + 8], LE32(test::GetLE32(file, stdIndexAt[s] + 4) + 8).data(), 4);
    std::memcpy(&file[entry + 12], LE32(static_cast<uint32_t>(std[s].size())).data(), 4);
  }
  test::WriteFileBytes(path, file);
}

struct LayoutCase {
  const char* name;
  Layout layout;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class ReaderLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ReaderLayout, JoinedWithAPlainFileEveryChunkArrives) {
  if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string plain = dir.File("plain.avi");
  auto made = test::Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25",
                         "-f", "lavfi", "-i", "sine=frequency=500:sample_rate=22050", "-t", "2", "-c:v", "mpeg4",
                         "-g", "5", "-c:a", "pcm_s16le", plain});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const Source src = ReadSource(plain);
  ASSERT_EQ(src.streams.size(), 2u);
  const std::string laid = dir.File("laid.avi");
  WriteLayout(src, GetParam().layout, laid);

  const std::string out = dir.File("out.avi");
  // Chunk for chunk, so the output shows what the reader found.
  auto r = test::Run({test::CliPath(), "join", "--copy", "--exact", "-q", "-o", out, laid, plain});
  if (GetParam().layout == Layout::RepeatedStandardIndexEntry) {
    // One frame fewer than the stream header states: the join says so.
    ASSERT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(r.err, "- File 1 (laid.avi) is damaged: only 00:01.960 of 00:02.000 could be read\n");
  } else {
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  auto expect = [&](char kind) {
    std::vector<std::string> h = test::PacketHashes(plain, kind);
    std::vector<std::string> first = h;
    // The repeated entry is not a chunk: the video chunk it replaced is
    // not in the layout's index.
    if (GetParam().layout == Layout::RepeatedStandardIndexEntry && kind == 'v') first.erase(first.begin() + 10);
    first.insert(first.end(), h.begin(), h.end());
    return first;
  };
  EXPECT_EQ(test::PacketHashes(out, 'v'), expect('v'));
  EXPECT_EQ(test::PacketHashes(out, 'a'), expect('a'));
  auto decoded = test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"});
  EXPECT_EQ(decoded.err, "");
  if (GetParam().layout == Layout::TopDownVideo) {
    // The frame is as high as the magnitude; strf keeps the sign.
    const Bytes o = test::ReadFileBytes(out);
    const size_t avih = test::FindFourCC(o, "avih"), strh = test::FindFourCC(o, "strh"),
                 strf = test::FindFourCC(o, "strf");
    EXPECT_EQ(test::GetLE32(o, avih + 8 + 36), 120u);                                  // dwHeight
    EXPECT_EQ(test::GetLE16(o, strh + 8 + 48 + 6), 120u);                               // rcFrame.bottom
    EXPECT_EQ(static_cast<int32_t>(test::GetLE32(o, strf + 8 + kBiHeightOffset)), -120);  // biHeight
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ReaderLayout,
                         ::testing::Values(LayoutCase{"RecListsRelativeIdx1", Layout::RecListsRelativeIdx1},
                                           LayoutCase{"EmptyOpenDMLIndexes", Layout::EmptyOpenDMLIndexes},
                                           LayoutCase{"RepeatedStandardIndexEntry",
                                                      Layout::RepeatedStandardIndexEntry},
                                           LayoutCase{"TopDownVideo", Layout::TopDownVideo}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel
