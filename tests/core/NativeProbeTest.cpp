// The header-only probe of AVI and MPEG-1 files must describe files exactly
// as the media detector does, on every field a join decision reads.
#include "probe/FileInfo.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;

struct NativeCase {
  const char* name;
  const char* file;
  std::vector<const char*> args;
  bool covered;  // the native probe describes it
};

class NativeAgreesWithDetector : public ::testing::TestWithParam<NativeCase> {};

TEST_P(NativeAgreesWithDetector, OnEveryDecisionField) {
  const NativeCase& c = GetParam();
  TempDir dir;
  std::string f = dir.File(c.file);
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  for (const char* a : c.args) argv.push_back(a);
  argv.push_back(f);
  auto r = test::Run(argv);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  TVideoFileInfo native;
  ASSERT_EQ(NativeProbe(f, native), c.covered);
  if (!c.covered) return;
  TVideoFileInfo det = GetVideoFileInfo(f, false);
  EXPECT_EQ(native.FileName, det.FileName);
  EXPECT_EQ(native.MediaType, det.MediaType);
  EXPECT_EQ(native.Width, det.Width);
  EXPECT_EQ(native.Height, det.Height);
  EXPECT_EQ(native.FrameRate, det.FrameRate);
  EXPECT_EQ(native.VideoFourCC, det.VideoFourCC);
  EXPECT_EQ(native.HasAudio, det.HasAudio);
  EXPECT_EQ(native.Channels, det.Channels);
  EXPECT_EQ(native.SampleRate, det.SampleRate);
  EXPECT_EQ(native.BitsPerSample, det.BitsPerSample);
  EXPECT_EQ(native.AudioFormatTag, det.AudioFormatTag);
  // And so the two agree on what a list of the file with itself allows.
  EXPECT_TRUE(native.SameVideo(det));
  EXPECT_TRUE(native.SameAudio(det));
}

#define V(size, rate) "-f", "lavfi", "-i", "testsrc=size=" size ":rate=" rate ":duration=1"
#define A(rate) "-f", "lavfi", "-i", "sine=sample_rate=" rate ":duration=1"

INSTANTIATE_TEST_SUITE_P(
    Files, NativeAgreesWithDetector,
    ::testing::Values(
        NativeCase{"AviMpeg4Mp3", "a.avi", {V("320x240", "25"), A("44100"), "-c:v", "mpeg4", "-c:a", "libmp3lame"}, true},
        NativeCase{"AviNtscMp2Stereo", "n.avi",
                   {V("352x240", "30000/1001"), A("48000"), "-c:v", "mpeg4", "-c:a", "mp2", "-ac", "2"}, true},
        NativeCase{"AviRawPcm", "r.avi",
                   {V("160x120", "25"), A("22050"), "-c:v", "rawvideo", "-pix_fmt", "bgr24", "-c:a", "pcm_s16le"}, true},
        NativeCase{"AviVideoOnly", "v.avi", {V("320x240", "24"), "-c:v", "mjpeg"}, true},
        NativeCase{"Mpeg1System", "s.mpg",
                   {V("352x288", "25"), A("44100"), "-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}, true},
        NativeCase{"Mpeg1SystemMp3", "s3.mpg",
                   {V("352x288", "25"), A("32000"), "-c:v", "mpeg1video", "-c:a", "libmp3lame", "-f", "mpeg"}, true},
        NativeCase{"Mpeg1VideoES", "e.m1v", {V("352x288", "30000/1001"), "-c:v", "mpeg1video", "-f", "mpeg1video"}, true},
        NativeCase{"Mp4IsNotCovered", "m.mp4", {V("320x240", "25"), "-c:v", "mpeg4"}, false},
        NativeCase{"Mpeg2ProgramIsNotCovered", "p.vob", {V("352x288", "25"), "-c:v", "mpeg2video", "-f", "vob"}, false}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(NativeProbe, BadFilesAreLeftToTheDetector) {
  TempDir dir;
  TVideoFileInfo i;
  EXPECT_FALSE(NativeProbe(dir.File("missing.avi"), i));
  test::WriteFileBytes(dir.File("t.avi"), test::Text("RIFF\x10\0\0\0AVI LIST"));
  EXPECT_FALSE(NativeProbe(dir.File("t.avi"), i));
  std::vector<uint8_t> zeros(4096, 0);
  zeros[2] = 1;
  zeros[3] = 0xBA;
  test::WriteFileBytes(dir.File("z.mpg"), zeros);
  EXPECT_FALSE(NativeProbe(dir.File("z.mpg"), i));
}

}  // namespace
}  // namespace vantrel
