// The probe on real files made at test time with ffmpeg, judged against
// what the files were made with (and ffprobe's frame counts).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "base/Exceptions.h"
#include "probe/FileInfo.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::Run;
using test::TempDir;

struct ProbeCase {
  const char* name;
  const char* file;           // output name; the extension picks the container
  std::vector<const char*> args;  // ffmpeg arguments between the inputs and the output
  bool video;
  bool audio;
  const char* mediaType;
  uint16_t width, height;
  double frameRate;
  double duration;   // the longest stream, in seconds, as made (roughly)
  int sampleRate, channels;
  uint16_t formatTag;
  const char* fourcc;  // AVI only; "" for 0
};

class ProbeFiles : public ::testing::TestWithParam<ProbeCase> {
 protected:
  static TempDir* dir;
  static void SetUpTestSuite() { dir = new TempDir; }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
};
TempDir* ProbeFiles::dir = nullptr;

// Video: testsrc for 4 s (or the rate given); audio: a sine of 5 s where
// the case asks for a longer audio.
std::string Make(const TempDir& dir, const ProbeCase& c) {
  std::string out = dir.File(c.file);
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  for (const char* a : c.args) argv.push_back(a);
  argv.push_back(out);
  auto r = Run(argv);
  if (r.exitCode != 0) ADD_FAILURE() << "ffmpeg failed for " << c.name << ": " << r.err;
  return out;
}

// The longest stream: video frames counted by decoding, divided by the rate;
// sound from its first packet's start to its last packet's end.
double TrueLength(const std::string& file) {
  double longest = 0;
  auto v = test::Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                      "stream=nb_read_frames,r_frame_rate", "-of", "csv=p=0", file});
  int num = 0, den = 1;
  long frames = 0;
  if (std::sscanf(v.out.c_str(), "%d/%d,%ld", &num, &den, &frames) == 3 && num > 0)
    longest = static_cast<double>(frames) * den / num;
  auto a = test::Run({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                      "packet=pts_time,duration_time", "-of", "csv=p=0", file});
  double first = -1, end = 0;
  std::istringstream in(a.out);
  for (std::string line; std::getline(in, line);) {
    double pts = 0, dur = 0;
    if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &dur) < 1) continue;
    if (first < 0) first = pts;
    end = std::max(end, pts + dur);
  }
  if (first >= 0) longest = std::max(longest, end - first);
  return longest;
}

TEST_P(ProbeFiles, FieldsMatchWhatTheFileHolds) {
  const ProbeCase& c = GetParam();
  std::string f = Make(*dir, c);
  TVideoFileInfo i = GetVideoFileInfo(f);
  EXPECT_EQ(i.FileName, f);
  EXPECT_EQ(i.MediaType, c.mediaType);
  EXPECT_EQ(i.HasAudio, c.audio);
  if (c.video) {
    EXPECT_EQ(i.Width, c.width);
    EXPECT_EQ(i.Height, c.height);
    EXPECT_EQ(i.FrameRate, c.frameRate);  // exactly: same fraction, same double
  } else {
    EXPECT_EQ(i.Width, 0);
    EXPECT_EQ(i.FrameRate, 0);
  }
  // Within one frame (or 40 ms of sound) of the true length, measured by
  // ffprobe from the frames and packets themselves.
  double truth = TrueLength(f);
  EXPECT_NEAR(i.Duration, truth, c.video ? 1.0 / c.frameRate + 1e-6 : 0.04) << "made as " << c.duration;
  EXPECT_NEAR(truth, c.duration, 0.2);
  if (c.audio) {
    EXPECT_EQ(i.SampleRate, c.sampleRate);
    EXPECT_EQ(i.Channels, c.channels);
    EXPECT_EQ(i.AudioFormatTag, c.formatTag);
  } else {
    EXPECT_EQ(i.SampleRate, 0);
    EXPECT_EQ(i.Channels, 0);
    EXPECT_EQ(i.AudioFormatTag, 0);
  }
  std::string fourcc;
  for (int k = 0; k < 4 && i.VideoFourCC; ++k) fourcc += static_cast<char>((i.VideoFourCC >> (8 * k)) & 0xFF);
  EXPECT_EQ(fourcc, c.fourcc);
}

#define VIDEO(size, rate, secs) "-f", "lavfi", "-i", "testsrc=size=" size ":rate=" rate ":duration=" secs
#define AUDIO(rate, secs) "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=" rate ":duration=" secs

INSTANTIATE_TEST_SUITE_P(
    Formats, ProbeFiles,
    ::testing::Values(
        ProbeCase{"AviMpeg4Mp3", "a.avi",
                  {VIDEO("320x240", "25", "4"), AUDIO("44100", "4"), "-c:v", "mpeg4", "-c:a", "libmp3lame", "-ac", "2"},
                  true, true, "AVI", 320, 240, 25, 4, 44100, 2, 0x55, "FMP4"},
        ProbeCase{"AviRawPcm", "raw.avi",
                  {VIDEO("160x120", "25", "2"), AUDIO("22050", "2"), "-c:v", "rawvideo", "-pix_fmt", "bgr24", "-c:a",
                   "pcm_s16le"},
                  true, true, "AVI", 160, 120, 25, 2, 22050, 1, 1, ""},
        ProbeCase{"Mpeg1System", "s.mpg",
                  {VIDEO("352x288", "25", "4"), AUDIO("44100", "4"), "-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"},
                  true, true, "MPEG1", 352, 288, 25, 4, 44100, 1, 0x50, ""},
        ProbeCase{"Mpeg1VideoES", "e.m1v", {VIDEO("352x288", "30000/1001", "4"), "-c:v", "mpeg1video", "-f", "mpeg1video"},
                  true, false, "MPEG1", 352, 288, 30000.0 / 1001, 4.004, 0, 0, 0, ""},
        ProbeCase{"Mpeg2Program", "p.mpg",
                  {VIDEO("720x576", "25", "3"), AUDIO("48000", "3"), "-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"},
                  true, true, "MPEG2", 720, 576, 25, 3, 48000, 1, 0x50, ""},
        ProbeCase{"AsfWmv", "w.wmv",
                  {VIDEO("320x240", "25", "3"), AUDIO("44100", "3"), "-c:v", "wmv2", "-c:a", "wmav2", "-ac", "2"},
                  true, true, "WMV", 320, 240, 25, 3, 44100, 2, 0x161, ""},
        ProbeCase{"Mp4H264Aac", "m.mp4",
                  {VIDEO("320x240", "24000/1001", "3"), AUDIO("48000", "3"), "-c:v", "libx264", "-preset", "ultrafast",
                   "-c:a", "aac"},
                  true, true, "DirectShow", 320, 240, 24000.0 / 1001, 3.003, 48000, 1, 0xFF, ""},
        ProbeCase{"Matroska", "k.mkv",
                  {VIDEO("320x240", "25", "3"), AUDIO("44100", "3"), "-c:v", "mpeg4", "-c:a", "pcm_s16le"},
                  true, true, "DirectShow", 320, 240, 25, 3, 44100, 1, 1, ""},
        ProbeCase{"AudioOnly", "o.wav", {AUDIO("8000", "2.5"), "-c:a", "pcm_s16le"}, false, true, "DirectShow", 0, 0, 0,
                  2.5, 8000, 1, 1, ""},
        ProbeCase{"AudioLongerThanVideo", "l.avi",
                  {VIDEO("160x120", "25", "2"), AUDIO("44100", "5"), "-c:v", "mpeg4", "-c:a", "pcm_s16le"}, true, true,
                  "AVI", 160, 120, 25, 5, 44100, 1, 1, "FMP4"}),
    [](const auto& p) { return std::string(p.param.name); });

std::string Message(const std::string& file) {
  try {
    GetVideoFileInfo(file);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

TEST(ProbeBadInput, EachGivesItsMessage) {
  TempDir dir;
  test::WriteFileBytes(dir.File("empty.avi"), {});
  test::WriteFileBytes(dir.File("text.avi"), test::Text("This is not a video file.\n"));
  EXPECT_EQ(Message(dir.File("empty.avi")).rfind("DirectShow Error: ", 0), 0u) << Message(dir.File("empty.avi"));
  EXPECT_EQ(Message(dir.File("text.avi")).rfind("DirectShow Error: ", 0), 0u);
  EXPECT_EQ(Message(dir.File("missing.avi")), "System Error.  Code: 2.\nNo such file or directory");
  EXPECT_EQ(Message(dir.Path()), "System Error.  Code: 21.\nIs a directory");
}

TEST(ProbeBadInput, TruncatedFilesFailOrProbeWithoutHanging) {
  TempDir dir;
  std::string mp4 = dir.File("t.mp4");
  auto r = test::Run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=3",
                "-c:v", "libx264", "-preset", "ultrafast", mp4});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto bytes = test::ReadFileBytes(mp4);
  // The moov atom is at the end: cut it off.
  bytes.resize(bytes.size() / 2);
  test::WriteFileBytes(mp4, bytes);
  EXPECT_EQ(Message(mp4).rfind("DirectShow Error: ", 0), 0u) << Message(mp4);
  // An AVI cut in half still probes (its header is at the start).
  std::string avi = dir.File("t.avi");
  r = test::Run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3",
           "-c:v", "mpeg4", avi});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  bytes = test::ReadFileBytes(avi);
  bytes.resize(bytes.size() / 2);
  test::WriteFileBytes(avi, bytes);
  EXPECT_EQ(Message(avi), "");
}

}  // namespace
}  // namespace vantrel
