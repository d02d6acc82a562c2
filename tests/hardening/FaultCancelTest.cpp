// Cancel at many points: before the first chunk, in the middle of an input,
// on the boundary between inputs, and, with small file parts, while file
// parts and their indexes are being written. The output then holds exactly
// the leading part of the whole join, and both our reader and ffprobe read
// it to its end without a complaint.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

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

constexpr int64_t kGiB = int64_t{1} << 30;

std::string Ffmpeg(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto r = test::Run(argv);
  if (r.exitCode != 0) throw std::runtime_error("ffmpeg failed: " + r.err);
  return args.back();
}

uint32_t EntryCount(const std::string& avi) {
  TAVIFileReader r;
  r.Open(avi, false);
  uint32_t n = 0;
  for (int i = 0; i < r.StreamCount(); ++i) n += r.Streams(i).IndexCount();
  return n;
}

struct Media {
  TempDir dir;
  std::string avi1, avi2, mpg1, mpg2;
  // The first AVI with a sparse tail up to 1 GiB: the inputs' total then
  // asks for OpenDML indexes and file parts.
  std::string bigAvi1;
  uint32_t avi1Entries = 0, avi2Entries = 0;
};

Media* g_media = nullptr;

class FaultCancel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!test::HaveTool("ffmpeg") || !test::HaveTool("ffprobe")) return;
    g_media = new Media;
    Media& m = *g_media;
    auto source = [](const char* pattern, const char* tone) {
      return std::vector<std::string>{"-f", "lavfi", "-i", std::string(pattern) + "=size=64x48:rate=25",
                                      "-f", "lavfi", "-i", std::string("sine=sample_rate=22050:frequency=") + tone,
                                      "-t", "1.2"};
    };
    auto avi = [&](const char* pattern, const char* tone, const std::string& name) {
      auto args = source(pattern, tone);
      args.insert(args.end(), {"-c:v", "mjpeg", "-q:v", "8", "-c:a", "pcm_s16le", m.dir.File(name)});
      return Ffmpeg(args);
    };
    auto mpg = [&](const char* pattern, const char* tone, const std::string& name) {
      auto args = source(pattern, tone);
      args.insert(args.end(), {"-c:v", "mpeg1video", "-b:v", "400k", "-c:a", "mp2", "-ar", "44100", "-b:a", "128k",
                               "-f", "mpeg", m.dir.File(name)});
      return Ffmpeg(args);
    };
    m.avi1 = avi("testsrc", "440", "a.avi");
    m.avi2 = avi("smptebars", "660", "b.avi");
    m.mpg1 = mpg("testsrc", "440", "a.mpg");
    m.mpg2 = mpg("smptebars", "660", "b.mpg");
    m.bigAvi1 = m.dir.File("big.avi");
    test::MakeSparseFile(m.bigAvi1, test::ReadFileBytes(m.avi1), kGiB);
    m.avi1Entries = EntryCount(m.avi1);
    m.avi2Entries = EntryCount(m.avi2);
  }
  static void TearDownTestSuite() {
    delete g_media;
    g_media = nullptr;
  }
  void SetUp() override {
    if (!g_media) GTEST_SKIP() << "no ffmpeg";
  }
};

uint64_t Bytes(const Chunks& c) {
  uint64_t n = 0;
  for (const auto& d : c) n += d.size();
  return n;
}

// ffprobe reads every packet without a word on stderr: one per video chunk
// and all of the sound (which it may hand out in smaller pieces).
void ExpectFfprobeReadsItAll(const std::string& file, const Chunks& video, const Chunks& audio) {
  test::ProbeOutcome p = test::FfprobeAllPackets(file);
  EXPECT_EQ(p.exitCode, 0) << p.errors;
  EXPECT_EQ(p.errors, "");
  EXPECT_EQ(p.videoPackets, video.size());
  EXPECT_EQ(p.videoBytes, Bytes(video));
  EXPECT_EQ(p.audioBytes, Bytes(audio));
}

// ----------------------------------------------------------------- AVI

struct AviCancel {
  const char* name;
  bool fileParts;  // OpenDML indexes with file parts of 64 KiB
  // The poll that cancels, from the inputs' index entry counts; poll 1 is
  // the first input's start, poll 1 + k follows its k-th chunk, poll
  // first + 2 is the second input's start.
  int (*poll)(int first, int second);
};

void PrintTo(const AviCancel& c, std::ostream* os) { *os << c.name; }

// Chunks copied when the poll cancels.
int CopiedBefore(int poll, int first) {
  if (poll <= first + 1) return poll - 1;
  if (poll == first + 2) return first;
  return poll - 2;
}

struct AviJoinResult {
  std::string message;
  bool cancelled = false;
  Chunks video, audio;
};

AviJoinResult JoinAvi(const std::vector<std::string>& files, const std::string& out, bool fileParts, int cancelAt) {
  test::ProgressLog log;
  log.cancelWhen = [&](const test::ProgressLog& l) { return cancelAt > 0 && l.cancelledCalls >= cancelAt; };
  test::Recorder recorder(log);
  TAVIJoiner j;
  j.Files = files;
  j.OutputFileName = out;
  j.ExactCopy = true;  // chunks counted as copied, none padded or cut
  if (fileParts) j.Writer().RiffLimit = 64 * 1024;
  AviJoinResult r;
  r.message = test::MessageOf([&] { j.Run(recorder); });
  r.cancelled = j.WasCancelled();
  r.video = test::ReadStreamChunks(out, 'v');
  r.audio = test::ReadStreamChunks(out, 'a');
  return r;
}

class FaultCancelAvi : public FaultCancel, public ::testing::WithParamInterface<AviCancel> {};

TEST_P(FaultCancelAvi, LeavesTheLeadingPartReadableToItsEnd) {
  const AviCancel& c = GetParam();
  const Media& m = *g_media;
  const std::vector<std::string> files = {c.fileParts ? m.bigAvi1 : m.avi1, m.avi2};
  TempDir out;
  AviJoinResult whole = JoinAvi(files, out.File("whole.avi"), c.fileParts, 0);
  ASSERT_EQ(whole.message, "");
  ASSERT_EQ(whole.video.size() + whole.audio.size(), m.avi1Entries + m.avi2Entries);

  const int first = static_cast<int>(m.avi1Entries), second = static_cast<int>(m.avi2Entries);
  const int poll = c.poll(first, second);
  const std::string file = out.File("cancelled.avi");
  AviJoinResult r = JoinAvi(files, file, c.fileParts, poll);
  EXPECT_EQ(r.message, "");
  EXPECT_TRUE(r.cancelled);
  const size_t copied = static_cast<size_t>(CopiedBefore(poll, first));
  EXPECT_EQ(r.video.size() + r.audio.size(), copied);
  // Each stream's chunks are the whole join's first ones.
  ASSERT_LE(r.video.size(), whole.video.size());
  ASSERT_LE(r.audio.size(), whole.audio.size());
  EXPECT_TRUE(std::equal(r.video.begin(), r.video.end(), whole.video.begin()));
  EXPECT_TRUE(std::equal(r.audio.begin(), r.audio.end(), whole.audio.begin()));
  if (c.fileParts) {
    TAVIFileReader reader;
    reader.Open(file, false);
    EXPECT_TRUE(reader.HasOpenDMLIndex());
  }
  ExpectFfprobeReadsItAll(file, r.video, r.audio);
}

const AviCancel kAviCancels[] = {
    {"BeforeTheFirstChunk", false, [](int, int) { return 1; }},
    {"AfterTheFirstChunk", false, [](int, int) { return 2; }},
    {"InTheFirstInput", false, [](int first, int) { return 1 + first / 2; }},
    {"AfterTheFirstInputsLastChunk", false, [](int first, int) { return 1 + first; }},
    {"OnTheBoundaryBetweenInputs", false, [](int first, int) { return first + 2; }},
    {"AfterTheSecondInputsFirstChunk", false, [](int first, int) { return first + 3; }},
    {"BeforeTheLastChunk", false, [](int first, int second) { return first + 1 + second; }},
    {"FilePartsBeforeTheFirstChunk", true, [](int, int) { return 1; }},
    {"FilePartsAfterTheFirstChunk", true, [](int, int) { return 2; }},
    {"FilePartsAfterThreeChunks", true, [](int, int) { return 4; }},
    {"FilePartsAfterSevenChunks", true, [](int, int) { return 8; }},
    {"FilePartsInTheFirstInput", true, [](int first, int) { return 1 + first / 2; }},
    {"FilePartsOnTheBoundaryBetweenInputs", true, [](int first, int) { return first + 2; }},
    {"FilePartsInTheSecondInput", true, [](int first, int second) { return first + 2 + second / 3; }},
    {"FilePartsBeforeTheLastChunk", true, [](int first, int second) { return first + 1 + second; }},
};

INSTANTIATE_TEST_SUITE_P(Points, FaultCancelAvi, ::testing::ValuesIn(kAviCancels),
                         [](const auto& p) { return std::string(p.param.name); });

// Every poll of a join with file parts of 64 KiB: whichever part or index
// is being written when the cancel comes, the file is whole.
TEST_F(FaultCancel, AviFilePartsAtEveryPollOfTheFirstInput) {
  const Media& m = *g_media;
  TempDir out;
  for (int poll = 1; poll <= static_cast<int>(m.avi1Entries) + 2; ++poll) {
    SCOPED_TRACE("cancel at poll " + std::to_string(poll));
    const std::string file = out.File("cancelled.avi");
    AviJoinResult r = JoinAvi({m.bigAvi1, m.avi2}, file, true, poll);
    EXPECT_EQ(r.message, "");
    const size_t copied = static_cast<size_t>(CopiedBefore(poll, static_cast<int>(m.avi1Entries)));
    EXPECT_EQ(r.video.size() + r.audio.size(), copied);
    ExpectFfprobeReadsItAll(file, r.video, r.audio);
  }
}

// ---------------------------------------------------------------- MPEG

struct MpegCancel {
  const char* name;
  bool correct;
  // From the first input's unit count; poll 1 is the first input's start,
  // poll 1 + k comes with its k-th unit, before it is written; the second
  // input's start is poll units + 2.
  int (*poll)(int firstUnits);
};

void PrintTo(const MpegCancel& c, std::ostream* os) { *os << c.name; }

int UnitCount(const std::string& file) {
  TMPEG1SystemReader r;
  r.Open(file);
  int n = 0;
  while (r.Next()) ++n;
  return n;
}

std::vector<uint8_t> JoinMpeg(const std::string& out, bool correct, int cancelAt, bool* cancelled = nullptr) {
  test::ProgressLog log;
  log.cancelWhen = [&](const test::ProgressLog& l) { return cancelAt > 0 && l.cancelledCalls >= cancelAt; };
  test::Recorder recorder(log);
  TMPEGJoiner j;
  j.Files = {g_media->mpg1, g_media->mpg2};
  j.OutputFileName = out;
  j.FrameRate = 25;
  j.CorrectTimeStamps = correct;
  EXPECT_EQ(test::MessageOf([&] { j.Run(recorder); }), "");
  if (cancelled) *cancelled = cancelAt > 0 && log.cancelledCalls >= cancelAt;
  return test::ReadFileBytes(out);
}

class FaultCancelMpeg : public FaultCancel, public ::testing::WithParamInterface<MpegCancel> {};

TEST_P(FaultCancelMpeg, LeavesTheLeadingPartReadableToItsEnd) {
  const MpegCancel& c = GetParam();
  TempDir out;
  const std::vector<uint8_t> whole = JoinMpeg(out.File("whole.mpg"), c.correct, 0);
  const int poll = c.poll(UnitCount(g_media->mpg1));
  const std::string file = out.File("cancelled.mpg");
  bool cancelled = false;
  const std::vector<uint8_t> part = JoinMpeg(file, c.correct, poll, &cancelled);
  EXPECT_TRUE(cancelled);
  ASSERT_LE(part.size(), whole.size());
  EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin())) << "not the whole join's leading part";
  // Whole units only.
  TMPEG1SystemReader r;
  r.Open(file);
  std::vector<uint8_t> unit(0xFFFF + 6);
  int64_t end = 0;
  while (r.Next()) {
    EXPECT_TRUE(r.ReadUnit(unit.data())) << "short unit at " << r.UnitStart;
    end = r.UnitStart + r.UnitSize;
  }
  EXPECT_EQ(end, static_cast<int64_t>(part.size()));
  if (part.empty()) {
    // Cancelled before the first unit: nothing for ffprobe to read.
    EXPECT_EQ(poll, 2);
    return;
  }
  test::ProbeOutcome p = test::FfprobeAllPackets(file);
  EXPECT_EQ(p.exitCode, 0);
  EXPECT_EQ(p.errors, "");
  EXPECT_GT(p.videoPackets, 0u);
}

const MpegCancel kMpegCancels[] = {
    {"BeforeTheFirstUnit", false, [](int) { return 2; }},
    {"AfterTheFirstPackets", false, [](int) { return 8; }},
    {"InTheFirstInput", false, [](int units) { return units / 2; }},
    {"OnTheBoundaryBetweenInputs", false, [](int units) { return units + 2; }},
    {"InTheSecondInput", false, [](int units) { return units + 2 + units / 3; }},
    {"CorrectedInTheFirstInput", true, [](int units) { return units / 2; }},
    {"CorrectedOnTheBoundaryBetweenInputs", true, [](int units) { return units + 2; }},
    {"CorrectedInTheSecondInput", true, [](int units) { return units + 2 + units / 3; }},
};

INSTANTIATE_TEST_SUITE_P(Points, FaultCancelMpeg, ::testing::ValuesIn(kMpegCancels),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel
