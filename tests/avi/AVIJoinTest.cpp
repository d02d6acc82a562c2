// AVI joiner on synthetic inputs written by our writer.
#include "avi/AVIJoin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "AviTestFiles.h"
#include "avi/AVIRead.h"
#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::ExpectedChunks;
using test::ProgressLog;
using test::ReadStreamChunks;
using test::Recorder;
using test::SynthAvi;
using test::TempDir;

using Chunks = std::vector<std::vector<uint8_t>>;

Chunks Concat(std::initializer_list<Chunks> parts) {
  Chunks all;
  for (const Chunks& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct JoinFixture : ::testing::Test {
  TempDir dir;
  ProgressLog log;

  std::string Make(const char* name, SynthAvi s) {
    std::string p = dir.File(name);
    test::WriteSynthAvi(p, s);
    return p;
  }

  // The notes of inputs that gave less than they promised.
  std::vector<std::string> Join(const std::vector<std::string>& files, const std::string& out,
                                bool withoutSound = false) {
    Recorder rec(log);
    TAVIJoiner j;
    j.Files = files;
    j.OutputFileName = out;
    j.WithoutSound = withoutSound;
    j.Run(rec);
    return j.DamagedNotes();
  }
};

TEST_F(JoinFixture, CopiesEveryChunkInOrderWithProgress) {
  SynthAvi a{.seed = 1, .frames = 20};
  SynthAvi b{.seed = 2, .frames = 30};
  std::string out = dir.File("out.avi");
  Join({Make("a.avi", a), Make("b.avi", b)}, out);
  EXPECT_EQ(ReadStreamChunks(out, 'v'), Concat({ExpectedChunks(a, 'v'), ExpectedChunks(b, 'v')}));
  EXPECT_EQ(ReadStreamChunks(out, 'a'), Concat({ExpectedChunks(a, 'a'), ExpectedChunks(b, 'a')}));
  ASSERT_FALSE(log.percents.empty());
  EXPECT_EQ(log.percents.back(), 100);
  for (size_t i = 1; i < log.percents.size(); ++i) ASSERT_GE(log.percents[i], log.percents[i - 1]);
  // One poll per chunk plus one per input.
  EXPECT_EQ(log.cancelledCalls, 50 * 2 + 2);
  TAVIFileReader r;
  r.Open(out, false);
  EXPECT_EQ(r.VideoStream()->Header.dwLength, 50u);
  EXPECT_EQ(r.MainHeader().dwTotalFrames, 50u);
  EXPECT_EQ(r.MainHeader().dwStreams, 2u);
  // Key frames travel unchanged: every 5th frame of each input.
  TIndexEntry e;
  r.VideoStream()->GetIndexEntry(20, e);
  EXPECT_TRUE(e.KeyFrame);
  r.VideoStream()->GetIndexEntry(21, e);
  EXPECT_FALSE(e.KeyFrame);
}

TEST_F(JoinFixture, AudioListedFirstStillGivesVideoAsStreamZero) {
  SynthAvi a{.seed = 3, .frames = 10, .audioFirst = true};
  std::string out = dir.File("out.avi");
  Join({Make("a.avi", a)}, out);
  // Equal times go to the stream listed first: the audio chunk comes first,
  // but under the output's audio id.
  auto bytes = test::ReadFileBytes(out);
  EXPECT_EQ(std::string(bytes.begin() + 2048, bytes.begin() + 2052), "01wb");
  EXPECT_EQ(std::string(bytes.begin() + 2048 + 8 + 7056, bytes.begin() + 2048 + 8 + 7056 + 4), "00dc");
  TAVIFileReader r;
  r.Open(out, false);
  EXPECT_TRUE(r.Streams(0).IsVideo());
  EXPECT_TRUE(r.Streams(1).IsAudio());
  EXPECT_EQ(ReadStreamChunks(out, 'a'), ExpectedChunks(a, 'a'));
}

TEST_F(JoinFixture, OnlyTheFirstAudioStreamIsCarried) {
  SynthAvi a{.seed = 4, .frames = 10, .secondAudio = true};
  std::string out = dir.File("out.avi");
  Join({Make("a.avi", a)}, out);
  TAVIFileReader r;
  r.Open(out, false);
  EXPECT_EQ(r.StreamCount(), 2);
  EXPECT_EQ(ReadStreamChunks(out, 'a'), ExpectedChunks(a, 'a'));
}

TEST_F(JoinFixture, WithoutSoundHasOneStream) {
  SynthAvi a{.seed = 5, .frames = 10};
  std::string out = dir.File("out.avi");
  Join({Make("a.avi", a), Make("b.avi", SynthAvi{.seed = 6, .audio = false})}, out, true);
  TAVIFileReader r;
  r.Open(out, false);
  EXPECT_EQ(r.MainHeader().dwStreams, 1u);
  EXPECT_EQ(r.AudioStream(), nullptr);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 20u);
}

TEST_F(JoinFixture, CancelDuringTheSecondInputLeavesACompleteFile) {
  SynthAvi a{.seed = 7, .frames = 40};
  SynthAvi b{.seed = 8, .frames = 40};
  std::string fa = Make("a.avi", a), fb = Make("b.avi", b);
  // Cancel after 40 + 15 frames' worth of chunks.
  log.cancelWhen = [](const ProgressLog& l) { return l.cancelledCalls == 1 + 80 + 1 + 30; };
  std::string out = dir.File("out.avi");
  Join({fa, fb, fa}, out);
  auto video = ReadStreamChunks(out, 'v');
  auto expected = Concat({ExpectedChunks(a, 'v'), ExpectedChunks(b, 'v')});
  ASSERT_EQ(video.size(), 55u);
  EXPECT_TRUE(std::equal(video.begin(), video.end(), expected.begin()));
  TAVIFileReader r;
  r.Open(out, false);
  EXPECT_EQ(r.VideoStream()->Header.dwLength, 55u);
  EXPECT_EQ(r.AudioStream()->IndexCount(), 55u);
  auto bytes = test::ReadFileBytes(out);
  EXPECT_EQ(test::GetLE32(bytes, 4) + 8, bytes.size());
  EXPECT_LT(log.percents.back(), 100);
}

TEST_F(JoinFixture, CancelBeforeTheFirstChunkLeavesAWellFormedEmptyFile) {
  log.cancelWhen = [](const ProgressLog&) { return true; };
  std::string out = dir.File("out.avi");
  Join({Make("a.avi", SynthAvi{})}, out);
  TAVIFileReader r;
  r.Open(out, false);
  EXPECT_EQ(r.VideoStream()->IndexCount(), 0u);
  EXPECT_EQ(r.StreamCount(), 2);
}

TEST_F(JoinFixture, WithoutDeclaredFrameCountsProgressGoesByBytes) {
  std::string a = Make("a.avi", SynthAvi{.frames = 30});
  std::string b = Make("b.avi", SynthAvi{.frames = 30});
  // Zero the video dwLength (strh at 108, dwLength at +32) of both inputs.
  for (const std::string& p : {a, b}) {
    auto bytes = test::ReadFileBytes(p);
    std::fill(bytes.begin() + 108 + 32, bytes.begin() + 108 + 36, 0);
    test::WriteFileBytes(p, bytes);
  }
  std::string out = dir.File("out.avi");
  Join({a, b}, out);
  ASSERT_GT(log.percents.size(), 10u);
  for (size_t i = 1; i < log.percents.size(); ++i) ASSERT_GE(log.percents[i], log.percents[i - 1]);
  EXPECT_GT(log.percents[log.percents.size() / 2], 20);
  EXPECT_EQ(log.percents.back(), 100);
  EXPECT_EQ(ReadStreamChunks(out, 'v').size(), 60u);
}

TEST_F(JoinFixture, InputWithoutVideoFailsNamingTheFileAndWritesNothing) {
  std::string noVideo = dir.File("audio.avi");
  {
    TAVIFileWriter w;
    w.Open(noVideo, 0);
    auto af = test::AudioFormat();
    w.AddStream(0, test::AudioHeader(), 18, af.data());
    w.Close();
  }
  std::string out = dir.File("out.avi");
  for (auto files : {std::vector<std::string>{noVideo}, std::vector<std::string>{Make("v.avi", SynthAvi{}), noVideo}}) {
    try {
      Join(files, out);
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), "There is no video stream in the file " + noVideo);
    }
    EXPECT_NE(access(out.c_str(), F_OK), 0);
  }
}

TEST_F(JoinFixture, NotAnAviFailsBeforeTheOutputIsTouched) {
  std::string bad = dir.File("bad.avi");
  test::WriteFileBytes(bad, std::vector<uint8_t>(100, 'x'));
  std::string out = dir.File("out.avi");
  test::WriteFileBytes(out, {1, 2, 3});
  EXPECT_THROW(Join({Make("a.avi", SynthAvi{}), bad}, out), EAVIReadError);
  EXPECT_EQ(test::ReadFileBytes(out), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(JoinFixture, ExistingOutputIsReplaced) {
  std::string out = dir.File("out.avi");
  test::WriteFileBytes(out, std::vector<uint8_t>(1 << 20, 7));
  SynthAvi a{.frames = 5};
  Join({Make("a.avi", a)}, out);
  EXPECT_EQ(ReadStreamChunks(out, 'v'), ExpectedChunks(a, 'v'));
}

TEST_F(JoinFixture, OutputThatCannotBeReplaced) {
  std::string out = dir.File("out.avi");
  ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
  try {
    Join({Make("a.avi", SynthAvi{})}, out);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "Unable to overwrite the file " + out + ".\r\nPossible the file is blocked by other application.");
  }
}

TEST_F(JoinFixture, FailedStreamRegistrationReleasesAndRemovesTheOutput) {
  std::string in = dir.File("short-format.avi");
  {
    // A video format shorter than a BITMAPINFOHEADER: the writer refuses it.
    TAVIFileWriter w;
    w.Open(in, 0);
    auto vh = test::VideoHeader();
    vh.fccType = ckIavs;
    std::vector<uint8_t> fmt(20, 0);
    w.AddStream(0, vh, 20, fmt.data());
    uint8_t d[4] = {};
    w.WriteChunk(0, d, true, 4);
    w.Close();
    auto bytes = test::ReadFileBytes(in);
    size_t strh = test::FindFourCC(bytes, "strh");
    std::memcpy(bytes.data() + strh + 8, "vids", 4);
    test::WriteFileBytes(in, bytes);
  }
  std::string out = dir.File("out.avi");
  try {
    Join({in}, out);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.what(), in + ": Invalid video format");
  }
  EXPECT_NE(access(out.c_str(), F_OK), 0);
}

// A damaged first input joined with a whole one: what lies within the file
// is copied, in order (a cut file's lost index found again in its data; index
// entries pointing past the end passed over, not ending the input), the
// file is named with what it lacks, and the whole one follows complete.
struct DamageCase {
  const char* name;
  TAVIIndexMode mode;
  // Changes the 30-frame file's bytes; returns the video frames (by index
  // order) that stay readable, -1 for an empty chunk that keeps the place
  // of one that is not.
  std::vector<int> (*damage)(std::vector<uint8_t>& bytes, const Chunks& video);
  const char* note;  // what the join says of it
};

// The chunk of frame i: where its data starts in the file.
size_t ChunkAt(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& data) {
  auto it = std::search(bytes.begin(), bytes.end(), data.begin(), data.end());
  return static_cast<size_t>(it - bytes.begin());
}

std::vector<int> Frames(int from, int to) {
  std::vector<int> v;
  for (int i = from; i < to; ++i) v.push_back(i);
  return v;
}

// Cut in the middle of frame 17's chunk: its index (at the end) is lost.
std::vector<int> CutInFrame17(std::vector<uint8_t>& bytes, const Chunks& video) {
  bytes.resize(ChunkAt(bytes, video[17]) + 100);
  return Frames(0, 17);
}

// The size field of frame 12's entry in the OpenDML standard index reaches
// far past the end of the file.
std::vector<int> HugeSizeOfFrame12(std::vector<uint8_t>& bytes, const Chunks&) {
  const size_t ix = test::FindFourCC(bytes, "ix00");
  const uint32_t huge = 0x7FFFFF00;
  std::memcpy(bytes.data() + ix + 32 + 8 * 12 + 4, &huge, 4);
  std::vector<int> kept = Frames(0, 12), rest = Frames(13, 30);
  kept.push_back(-1);
  kept.insert(kept.end(), rest.begin(), rest.end());
  return kept;
}

// The "idx1" entries of frames 5 and 6 point past the end of the file.
std::vector<int> Idx1PastTheEnd(std::vector<uint8_t>& bytes, const Chunks&) {
  const size_t idx1 = test::FindFourCC(bytes, "idx1");
  int frame = 0;
  for (size_t at = idx1 + 8; at + 16 <= bytes.size(); at += 16) {
    if (std::memcmp(bytes.data() + at, "00dc", 4) != 0) continue;
    if (frame == 5 || frame == 6) {
      const uint32_t far = 0x70000000;
      std::memcpy(bytes.data() + at + 8, &far, 4);  // dwChunkOffset
    }
    ++frame;
  }
  std::vector<int> kept = Frames(0, 5), rest = Frames(7, 30);
  kept.push_back(-1);
  kept.push_back(-1);
  kept.insert(kept.end(), rest.begin(), rest.end());
  return kept;
}

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class DamagedInput : public JoinFixture, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedInput, GivesWhatLiesWithinTheFileAndIsNamed) {
  const DamageCase& c = GetParam();
  SynthAvi a{.seed = 9, .frames = 30, .mode = c.mode};
  SynthAvi b{.seed = 10, .frames = 10};
  const std::string fa = Make("a.avi", a);
  const Chunks video = ExpectedChunks(a, 'v');
  auto bytes = test::ReadFileBytes(fa);
  const std::vector<int> kept = c.damage(bytes, video);
  test::WriteFileBytes(fa, bytes);
  const std::string out = dir.File("out.avi");
  const std::vector<std::string> notes = Join({fa, Make("b.avi", b)}, out);
  Chunks expected;
  for (int i : kept) expected.push_back(i < 0 ? std::vector<uint8_t>{} : video[static_cast<size_t>(i)]);
  EXPECT_EQ(ReadStreamChunks(out, 'v'), Concat({expected, ExpectedChunks(b, 'v')}));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], c.note);
  // The sound stays with the video: a 40 ms chunk per frame kept, the
  // places of those lost between others included, and then the second
  // file's.
  EXPECT_EQ(ReadStreamChunks(out, 'a').size(), kept.size() + 10);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedInput,
    ::testing::Values(
        DamageCase{"LegacyCut", TAVIIndexMode::imLegacy, CutInFrame17,
                   "File 1 (a.avi) is damaged: only 00:00.680 of 00:01.200 could be read"},
        DamageCase{"OpenDMLCut", TAVIIndexMode::imOpenDML, CutInFrame17,
                   "File 1 (a.avi) is damaged: only 00:00.680 of 00:01.200 could be read"},
        DamageCase{"BothIndexesCut", TAVIIndexMode::imBoth, CutInFrame17,
                   "File 1 (a.avi) is damaged: only 00:00.680 of 00:01.200 could be read"},
        DamageCase{"ChunkSizePastTheEnd", TAVIIndexMode::imOpenDML, HugeSizeOfFrame12,
                   "File 1 (a.avi) is damaged: only 00:01.160 of 00:01.200 could be read"},
        DamageCase{"Idx1EntriesPastTheEnd", TAVIIndexMode::imLegacy, Idx1PastTheEnd,
                   "File 1 (a.avi) is damaged: only 00:01.120 of 00:01.200 could be read"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(JoinFixture, AnInputOfWhichNothingCanBeReadFailsTheJoinNamingIt) {
  SynthAvi a{.seed = 3, .frames = 10};
  const std::string fa = Make("a.avi", a);
  auto bytes = test::ReadFileBytes(fa);
  bytes.resize(ChunkAt(bytes, ExpectedChunks(a, 'v')[0]) + 10);
  test::WriteFileBytes(fa, bytes);
  try {
    Join({Make("b.avi", SynthAvi{.seed = 4}), fa}, dir.File("out.avi"));
    FAIL() << "joined";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "File 2 (a.avi): nothing of it could be read");
  }
}

TEST_F(JoinFixture, IndexModeFollowsTheInputsTotalSize) {
  for (int64_t total : {int64_t{943718399}, int64_t{943718400}}) {
    std::string a = Make("a.avi", SynthAvi{.frames = 5});
    std::string b = Make("b.avi", SynthAvi{.frames = 5});
    struct stat st;
    ASSERT_EQ(stat(a.c_str(), &st), 0);
    // Grow the second input with a sparse tail past its RIFF chunk: the
    // reader ignores it, the totals count it.
    ASSERT_EQ(truncate(b.c_str(), total - st.st_size), 0);
    std::string out = dir.File("out.avi");
    Join({a, b}, out);
    auto bytes = test::ReadFileBytes(out);
    bool odml = test::FindFourCC(bytes, "odml") != std::string::npos;
    EXPECT_EQ(odml, total >= 943718400) << total;
    EXPECT_NE(test::FindFourCC(bytes, "idx1"), std::string::npos);
    EXPECT_EQ(ReadStreamChunks(out, 'v').size(), 10u);
  }
}

TEST_F(JoinFixture, FilePartsAcrossInputsKeepEveryChunk) {
  SynthAvi a{.seed = 11, .frames = 40, .videoChunkBase = 20000};
  SynthAvi b{.seed = 12, .frames = 40, .videoChunkBase = 20000};
  std::string out = dir.File("out.avi");
  Recorder rec(log);
  TAVIJoiner j;
  j.Files = {Make("a.avi", a), Make("b.avi", b)};
  j.OutputFileName = out;
  j.Writer().RiffLimit = 400000;
  j.Run(rec);
  EXPECT_GE(j.Writer().FilePartCount(), 0);
  auto bytes = test::ReadFileBytes(out);
  EXPECT_GE(test::CountFourCC(bytes, "AVIX"), 1u);
  // The legacy index covers the first part only.
  EXPECT_LT(ReadStreamChunks(out, 'v').size(), 80u);
}

TEST_F(JoinFixture, LaterSoundIsPassedOverWhenTheFirstInputHasNone) {
  SynthAvi silent{.seed = 13, .frames = 10, .audio = false};
  SynthAvi loud{.seed = 14, .frames = 10};
  std::string out = dir.File("out.avi");
  Join({Make("s.avi", silent), Make("l.avi", loud)}, out);
  TAVIFileReader r;
  r.Open(out, false);
  EXPECT_EQ(r.AudioStream(), nullptr);
  EXPECT_EQ(ReadStreamChunks(out, 'v'), Concat({ExpectedChunks(silent, 'v'), ExpectedChunks(loud, 'v')}));
}

TEST_F(JoinFixture, SoundOfAnotherFormatIsRefusedBeforeTheOutputIsTouched) {
  std::string a = Make("a.avi", SynthAvi{.seed = 15, .frames = 5});
  std::string b = Make("b.avi", SynthAvi{.seed = 16, .frames = 5, .audioRate = 22050});
  std::string out = dir.File("out.avi");
  try {
    Join({a, b}, out);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "The sound of " + b + " is not of the first file's format; join without sound or with recompression");
  }
  EXPECT_NE(access(out.c_str(), F_OK), 0);
  Join({a, b}, out, true);
  EXPECT_EQ(ReadStreamChunks(out, 'v').size(), 10u);
  EXPECT_FALSE(AviSoundCompatible({a, b}));
  EXPECT_TRUE(AviSoundCompatible({a, a}));
}

struct FormatCase {
  const char* name;
  uint16_t tag;
  uint32_t sampleSize, scale, rate;
  std::vector<uint8_t> change;  // bytes 8.. of the second format's block
  size_t at;
  bool same;
};

class AudioFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(AudioFormats, SameAudioFormat) {
  const FormatCase& c = GetParam();
  TAVIFileReader dummy;
  TAVIStream x(dummy, 0, 0), y(dummy, 0, 0);
  x.Header = test::AudioHeader(c.sampleSize, 44100);
  x.Header.dwScale = c.scale;
  x.Header.dwRate = c.rate;
  x.Format = test::AudioFormat(c.tag, 44100);
  x.Format.resize(20, 0);
  y.Header = x.Header;
  y.Format = x.Format;
  std::copy(c.change.begin(), c.change.end(), y.Format.begin() + static_cast<long>(c.at));
  EXPECT_EQ(SameAudioFormat(x, y), c.same);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AudioFormats,
    ::testing::Values(FormatCase{"Identical", 1, 4, 1, 44100, {}, 0, true},
                      FormatCase{"ByteRateOnly", 1, 4, 1, 44100, {0x10, 0x27}, 8, true},
                      FormatCase{"AdpcmBlockAlign", 2, 0, 1024, 44100, {0x00, 0x10}, 12, false},
                      FormatCase{"ExtraBytes", 2, 0, 1024, 44100, {0x07}, 18, false},
                      FormatCase{"Mp3OtherBitRate", 0x55, 0, 1152, 44100, {0x00, 0x10}, 18, true},
                      FormatCase{"Mp3OtherRate", 0x55, 0, 1152, 44100, {0x22, 0x56}, 4, false},
                      FormatCase{"Channels", 1, 4, 1, 44100, {0x01}, 2, false}),
    [](const auto& p) { return std::string(p.param.name); });

// ffmpeg stores PCM as a 16-byte PCMWAVEFORMAT, mencoder as a WAVEFORMATEX
// with cbSize 0: the same sound; with extra bytes it is another.
TEST(AudioFormats, AnEmptyCbSizeSaysNothingMore) {
  TAVIFileReader dummy;
  TAVIStream x(dummy, 0, 0), y(dummy, 0, 0);
  x.Header = test::AudioHeader(4, 44100);
  x.Format = test::AudioFormat(1, 44100);
  x.Format.resize(16);
  y.Header = x.Header;
  y.Format = x.Format;
  y.Format.insert(y.Format.end(), {0, 0});
  EXPECT_TRUE(SameAudioFormat(x, y));
  EXPECT_TRUE(SameAudioFormat(y, x));
  y.Format.back() = 1;
  EXPECT_FALSE(SameAudioFormat(x, y));
  y.Format = x.Format;
  y.Format.insert(y.Format.end(), {2, 0, 7, 7});
  EXPECT_FALSE(SameAudioFormat(x, y));
}

}  // namespace
}  // namespace vantrel
