// Inputs that vanish, are cut short or replaced between the probe and the
// join, or while they are copied: the join ends with a clear error or stops
// cleanly at the last complete chunk, and the output holds exactly what was
// copied before.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "avi/AVIJoin.h"
#include "avi/AVIRead.h"
#include "avi/AviTestFiles.h"
#include "base/Exceptions.h"
#include "HardeningSupport.h"
#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGJoiner.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;
using Chunks = std::vector<std::vector<uint8_t>>;

Chunks Leading(Chunks c, size_t n) {
  c.resize(n);
  return c;
}

Chunks Concat(const Chunks& a, const Chunks& b) {
  Chunks r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

void Cut(const std::string& path, int64_t size) { ASSERT_EQ(::truncate(path.c_str(), size), 0) << path; }

// Two AVI inputs of 20 frames; what to do to them at which progress poll.
class FaultVanishingAvi : public ::testing::Test {
 protected:
  TempDir dir;
  test::SynthAvi a{.seed = 1, .frames = 20};
  test::SynthAvi b{.seed = 2, .frames = 20};
  std::string in1 = dir.File("in1.avi"), in2 = dir.File("in2.avi"), out = dir.File("out.avi");
  std::vector<std::string> notes;  // the join's, of inputs that gave less than they promised

  void SetUp() override {
    test::WriteSynthAvi(in1, a);
    test::WriteSynthAvi(in2, b);
  }

  // Runs the join; action runs once, at the given poll (1: the first input's
  // start, after every input was probed). Returns the join's message.
  std::string JoinWith(int poll, const std::function<void()>& action) {
    test::ProgressLog log;
    log.cancelWhen = [&](const test::ProgressLog& l) {
      if (l.cancelledCalls == poll) action();
      return false;
    };
    test::Recorder recorder(log);
    TAVIJoiner j;
    j.Files = {in1, in2};
    j.OutputFileName = out;
    std::string message = test::MessageOf([&] { j.Run(recorder); });
    notes = j.DamagedNotes();
    EXPECT_FALSE(j.WasCancelled());
    EXPECT_EQ(test::OpenDescriptorsTo(out), 0);
    return message;
  }

  void ExpectOutput(size_t firstFrames, size_t secondFrames) {
    EXPECT_EQ(test::ReadStreamChunks(out, 'v'), Concat(Leading(test::ExpectedChunks(a, 'v'), firstFrames),
                                                       Leading(test::ExpectedChunks(b, 'v'), secondFrames)));
    EXPECT_EQ(test::ReadStreamChunks(out, 'a'), Concat(Leading(test::ExpectedChunks(a, 'a'), firstFrames),
                                                       Leading(test::ExpectedChunks(b, 'a'), secondFrames)));
  }
};

TEST_F(FaultVanishingAvi, SecondInputRemovedAfterTheProbe) {
  EXPECT_EQ(JoinWith(1, [&] { ::unlink(in2.c_str()); }),
            "System Error.  Code: " + std::to_string(ENOENT) + ".\n" + std::strerror(ENOENT) + "\nCannot open file " + in2);
  ExpectOutput(20, 0);
}

TEST_F(FaultVanishingAvi, SecondInputCutAfterTheProbe) {
  // Cut in half, it has lost its index: the frames whose chunks lie whole
  // before the cut are found in its data, and it is named.
  const int64_t half = static_cast<int64_t>(test::ReadFileBytes(in2).size() / 2);
  TAVIFileReader r;
  r.Open(in2, false);
  size_t before = 0;
  for (TIndexEntry e; r.VideoStream()->GetIndexEntry(static_cast<uint32_t>(before), e) && e.Offset + e.Size <= half;)
    ++before;
  r.Close();
  ASSERT_GT(before, 5u);
  ASSERT_LT(before, 20u);
  EXPECT_EQ(JoinWith(1, [&] { Cut(in2, half); }), "");
  ExpectOutput(20, before);
  char said[96];
  std::snprintf(said, sizeof said, "File 2 (in2.avi) is damaged: only 00:%06.3f of 00:00.800 could be read", 0.04 * before);
  EXPECT_EQ(notes, std::vector<std::string>{said});
}

TEST_F(FaultVanishingAvi, SecondInputReplacedByAnotherKindOfFile) {
  EXPECT_EQ(JoinWith(1, [&] { test::WriteFileBytes(in2, test::Text("object TProjectSettings\r\nend\r\n")); }),
            in2 + ": The file has unknown format");
  ExpectOutput(20, 0);
}

TEST_F(FaultVanishingAvi, FirstInputCutWhileCopiedStopsAtItsLastCompleteChunk) {
  // Cut in the middle of frame 12's data, while frame 4 is being copied:
  // frames 0 to 11 and their sound are complete.
  TAVIFileReader r;
  r.Open(in1, false);
  TIndexEntry e;
  ASSERT_TRUE(r.VideoStream()->GetIndexEntry(12, e));
  r.Close();
  EXPECT_EQ(JoinWith(1 + 2 * 4, [&] { Cut(in1, e.Offset + e.Size / 2); }), "");
  ExpectOutput(12, 20);
  EXPECT_EQ(notes, std::vector<std::string>{"File 1 (in1.avi) is damaged: only 00:00.480 of 00:00.800 could be read"});
}

TEST_F(FaultVanishingAvi, FirstInputEmptiedWhileCopied) {
  EXPECT_EQ(JoinWith(3, [&] { Cut(in1, 0); }), "");
  ExpectOutput(1, 20);
  EXPECT_EQ(notes, std::vector<std::string>{"File 1 (in1.avi) is damaged: only 00:00.040 of 00:00.800 could be read"});
}

// MPEG-1: system streams of 600 packs (1.5 MB, beyond the reader's window)
// and a video elementary stream, which is copied byte for byte.
class FaultVanishingMpeg : public ::testing::Test {
 protected:
  TempDir dir;
  std::vector<uint8_t> first = test::SystemStream(1, 600), second = test::SystemStream(7, 20);
  std::string in1 = dir.File("in1.mpg"), in2 = dir.File("in2.mpg"), out = dir.File("out.mpg");
  std::vector<std::string> notes;

  void SetUp() override {
    test::WriteFileBytes(in1, first);
    test::WriteFileBytes(in2, second);
  }

  std::string JoinWith(int poll, const std::function<void()>& action) {
    test::ProgressLog log;
    log.cancelWhen = [&](const test::ProgressLog& l) {
      if (l.cancelledCalls == poll) action();
      return false;
    };
    test::Recorder recorder(log);
    TMPEGJoiner j;
    j.Files = {in1, in2};
    j.OutputFileName = out;
    std::string message = test::MessageOf([&] { j.Run(recorder); });
    notes = j.DamagedNotes();
    EXPECT_EQ(test::OpenDescriptorsTo(out), 0);
    return message;
  }
};

TEST_F(FaultVanishingMpeg, SecondInputRemovedAfterTheProbe) {
  EXPECT_EQ(JoinWith(1, [&] { ::unlink(in2.c_str()); }), "Cannot open file " + in2);
  EXPECT_EQ(test::ReadFileBytes(out), first);
}

TEST_F(FaultVanishingMpeg, FirstInputCutWhileCopiedKeepsItsWholeUnitsAndIsNamed) {
  // Cut in the middle of pack 400's video packet while pack 2 is copied:
  // what was read of it is kept in whole units, said, and the second file
  // follows.
  const int64_t cut = 400 * 2534 + 12 + 1000;
  EXPECT_EQ(JoinWith(6, [&] { Cut(in1, cut); }), "");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].rfind("File 1 (in1.mpg) is damaged: it could be read for 00:", 0), 0u) << notes[0];
  auto written = test::ReadFileBytes(out);
  ASSERT_GT(written.size(), second.size());
  const size_t kept = written.size() - second.size();
  ASSERT_LE(kept, first.size());
  EXPECT_TRUE(std::equal(written.begin(), written.begin() + static_cast<long>(kept), first.begin()))
      << "not a leading part of the first file";
  EXPECT_TRUE(std::equal(second.begin(), second.end(), written.begin() + static_cast<long>(kept)))
      << "the second file does not follow whole";
  // Whole units only: the copy reads back to its end without a short unit.
  TMPEG1SystemReader r;
  r.Open(out);
  std::vector<uint8_t> unit(0xFFFF + 6);
  int64_t end = 0;
  while (r.Next()) {
    EXPECT_TRUE(r.ReadUnit(unit.data())) << "short unit at " << r.UnitStart;
    end = r.UnitStart + r.UnitSize;
  }
  EXPECT_EQ(end, static_cast<int64_t>(written.size()));
}

TEST_F(FaultVanishingMpeg, ElementaryInputCutWhileCopiedStopsAtTheCut) {
  std::vector<uint8_t> es = {0, 0, 1, 0xB3, 0x14, 0x00, 0xF0, 0x13};
  es.resize(1 << 20, 0x5A);
  test::WriteFileBytes(in1, es);
  const int64_t cut = 300000;
  // The second poll comes after the first 64 KiB block.
  EXPECT_EQ(JoinWith(2, [&] { Cut(in1, cut); }), "");
  std::vector<uint8_t> want(es.begin(), es.begin() + cut);
  want.insert(want.end(), second.begin(), second.end());
  EXPECT_EQ(test::ReadFileBytes(out), want);
}

}  // namespace
}  // namespace vantrel
