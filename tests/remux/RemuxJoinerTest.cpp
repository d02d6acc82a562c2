// A container copy stopped part-way: the output is a finished file that
// plays what was joined, its index written, its counts what a reader finds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "formats/Formats.h"
#include "remux/RemuxJoin.h"
#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

// Says "stop" from the n-th time it is asked.
class StopAt final : public IProgress {
 public:
  explicit StopAt(int n) : n_(n) {}
  void SetProgress(double) override {}
  bool Cancelled() override { return ++asked_ >= n_; }
  int CancelInterval() const override { return 0; }  // asked at every check

 private:
  int n_, asked_ = 0;
};

// The container the output's name asks for, as the plan gives it.
bool WritesAsNamed(TRemuxJoiner& j, const std::string& name) {
  const TContainer* c = ContainerOfFileName(name);
  if (!c || !c->Copies()) return false;
  j.Muxer = c->CopyMuxer;
  j.Shown = c->Shown;
  j.Chapters = c->Chapters;
  return true;
}

struct CancelCase {
  const char* name;
  std::string extension;
  int stopAt;           // the progress check that cancels (one before each file, one a packet)
  size_t chaptersLeft;  // -1: the container has none
};

void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

double Duration(const std::string& f) {
  return std::atof(
      test::Run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", f}).out.c_str());
}

class RemuxCancel : public ::testing::TestWithParam<CancelCase> {};

TEST_P(RemuxCancel, LeavesAPlayableFileOfWhatWasJoined) {
  const CancelCase& c = GetParam();
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  TRemuxJoiner j;
  double total = 0;
  for (int n = 1; n <= 3; ++n) {
    const std::string f = dir.File("in" + std::to_string(n) + c.extension);
    CommandResult made = Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=4 -f lavfi "
                               "-i sine=sample_rate=48000:duration=4 -c:v libx264 -preset veryfast -bf 2 -c:a aac '" +
                               f + "'");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    j.Files.push_back(f);
    total += Duration(f);
  }
  ASSERT_TRUE(WritesAsNamed(j, j.Files[0]));
  j.OutputFileName = dir.File("out" + c.extension);
  StopAt progress(c.stopAt);
  const TRemuxReport report = j.Run(progress);

  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", j.OutputFileName, "-f", "null", "-"}).err, "");
  const double held = Duration(j.OutputFileName);
  EXPECT_GT(held, 0.5);
  EXPECT_LT(held, total - 1);
  EXPECT_NEAR(report.Duration, held, 0.1);
  EXPECT_EQ(static_cast<size_t>(report.VideoPackets), PacketHashes(j.OutputFileName, 'v').size());
  EXPECT_EQ(static_cast<size_t>(report.AudioPackets), PacketHashes(j.OutputFileName, 'a').size());
  // A QuickTime file's index is there and read back.
  EXPECT_EQ(report.Verified, c.extension == ".mp4");
  if (c.chaptersLeft != static_cast<size_t>(-1)) {
    CommandResult ch =
        test::Run({"ffprobe", "-v", "error", "-show_entries", "chapter=end_time", "-of", "csv=p=0", j.OutputFileName});
    std::istringstream in(ch.out);
    size_t rows = 0;
    for (std::string row; std::getline(in, row);) {
      ++rows;
      EXPECT_LE(std::atof(row.c_str()), held + 0.1) << "a chapter past the end";
    }
    EXPECT_EQ(rows, c.chaptersLeft) << ch.out;
  }
}

// 4 s of 25 fps video and 48 kHz AAC is 100 + 188 packets a file, so 289
// checks: the 150th is half-way through the first file, the 440th half-way
// through the second.
INSTANTIATE_TEST_SUITE_P(Containers, RemuxCancel,
                         ::testing::Values(CancelCase{"Mp4InTheFirstFile", ".mp4", 150, 1},
                                           CancelCase{"Mp4InTheSecondFile", ".mp4", 440, 2},
                                           CancelCase{"MatroskaInTheSecondFile", ".mkv", 440, 2},
                                           CancelCase{"MpegTsInTheSecondFile", ".ts", 440, static_cast<size_t>(-1)}),
                         [](const auto& p) { return std::string(p.param.name); });

// Stopped before its first file (Ctrl+C at once): the output was begun with
// the first file's streams, so it ends as a whole file holding nothing, and
// nothing is called checked. (It used to end in a crash in the trailer.)
TEST(RemuxCancelAtOnce, EndsAnEmptyWholeFile) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  for (const char* ext : {".mp4", ".mkv"}) {
    SCOPED_TRACE(ext);
    TempDir dir;
    TRemuxJoiner j;
    const std::string f = dir.File(std::string("in") + ext);
    ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v libx264 '" +
                    f + "'")
                  .exitCode,
              0);
    j.Files = {f, f};
    ASSERT_TRUE(WritesAsNamed(j, f));
    j.OutputFileName = dir.File(std::string("out") + ext);
    StopAt progress(1);
    const TRemuxReport report = j.Run(progress);
    EXPECT_EQ(report.VideoPackets, 0);
    EXPECT_FALSE(report.Verified);
    EXPECT_EQ(report.Duration, 0);
    EXPECT_FALSE(ReadFileBytes(j.OutputFileName).empty());
  }
}

}  // namespace
}  // namespace vantrel::test
