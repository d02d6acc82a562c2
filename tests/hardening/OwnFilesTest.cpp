// Files our own writer makes must read back through our reader chunk for
// chunk, and join again unchanged, whatever their chunk sizes happen to be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avi/AVIJoin.h"
#include "avi/AVIRead.h"
#include "avi/AVIWrite.h"
#include "avi/AviTestFiles.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;
using Chunks = std::vector<std::vector<uint8_t>>;

struct Layout {
  const char* name;
  bool audio;
  // The chunks in writing order: 'v' or 'a', and the size.
  std::vector<std::pair<char, uint32_t>> chunks;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }

// The legacy index holds absolute offsets. The data list starts at 2048,
// so read as relative the first entry's offset (2048) points at 4092; these
// layouts put another chunk of the first entry's stream exactly there.
class HardeningOwnLegacyIndex : public ::testing::TestWithParam<Layout> {};

TEST_P(HardeningOwnLegacyIndex, ReadsBackAndJoinsAgainWhenAChunkSitsWhereARelativeOffsetWouldPoint) {
  const Layout& l = GetParam();
  TempDir dir;
  const std::string file = dir.File("own.avi");
  Chunks video, audio;
  {
    TAVIFileWriter w;
    w.IndexMode = TAVIIndexMode::imLegacy;
    w.Open(file, AVIF_HASINDEX);
    auto vf = test::VideoFormat();
    auto af = test::AudioFormat();
    w.AddStream(0, test::VideoHeader(), static_cast<uint32_t>(vf.size()), vf.data());
    if (l.audio) w.AddStream(1, test::AudioHeader(), static_cast<uint32_t>(af.size()), af.data());
    for (size_t i = 0; i < l.chunks.size(); ++i) {
      const bool isAudio = l.chunks[i].first == 'a';
      auto d = test::ChunkData(3, isAudio ? 1 : 0, static_cast<uint32_t>(i), l.chunks[i].second);
      w.WriteChunk(isAudio ? 1 : 0, d.data(), true, l.chunks[i].second);
      (isAudio ? audio : video).push_back(d);
    }
    w.Close();
  }
  TAVIFileReader r;
  r.Open(file, false);
  ASSERT_EQ(r.MoviPos(), 2048);
  TIndexEntry e;
  TAVIStream* first = l.chunks.front().first == 'a' ? r.AudioStream() : r.VideoStream();
  ASSERT_TRUE(first->GetIndexEntry(0, e));
  EXPECT_EQ(e.Offset, 2048 + 8) << "the first chunk is taken from elsewhere";
  r.Close();
  EXPECT_EQ(test::ReadStreamChunks(file, 'v'), video);
  EXPECT_EQ(test::ReadStreamChunks(file, 'a'), audio);

  // A joined file joined again keeps every chunk.
  TAVIJoiner j;
  j.Files = {file};
  j.OutputFileName = dir.File("again.avi");
  j.ExactCopy = true;
  j.Run();
  EXPECT_EQ(test::ReadStreamChunks(j.OutputFileName, 'v'), video);
  EXPECT_EQ(test::ReadStreamChunks(j.OutputFileName, 'a'), audio);
}

const Layout kLayouts[] = {
    {"VideoOnly", false, {{'v', 2036}, {'v', 100}, {'v', 50}}},
    {"VideoAfterAnOddChunk", false, {{'v', 2035}, {'v', 77}, {'v', 300}}},
    {"VideoAfterSound", true, {{'v', 1000}, {'a', 1028}, {'v', 30}, {'a', 40}, {'v', 500}, {'a', 600}}},
    {"SoundFirst", true, {{'a', 2036}, {'a', 1764}, {'v', 300}, {'v', 310}}},
};

INSTANTIATE_TEST_SUITE_P(Layouts, HardeningOwnLegacyIndex, ::testing::ValuesIn(kLayouts),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel
