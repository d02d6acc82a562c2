// Recompressing joins of real files made with ffmpeg, judged by ffprobe and
// by the decoded pixels.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <sstream>

#include "base/Exceptions.h"
#include "recompress/DSJoin.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;

std::string Ffmpeg(std::vector<std::string> args) {
  std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  auto r = test::Run(argv);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return args.back();
}

struct StreamFacts {
  std::string codec;
  int width = 0, height = 0;
  std::string rate;
  int sampleRate = 0, channels = 0;
  double duration = 0;  // from the packets
  long packets = 0;
};

// Video and audio facts of a file, durations from the packets.
std::pair<StreamFacts, StreamFacts> Facts(const std::string& file) {
  std::pair<StreamFacts, StreamFacts> f;
  for (int s = 0; s < 2; ++s) {
    StreamFacts& sf = s == 0 ? f.first : f.second;
    const char* sel = s == 0 ? "v:0" : "a:0";
    auto r = test::Run({"ffprobe", "-v", "error", "-select_streams", sel, "-show_entries",
                        "stream=codec_name,width,height,r_frame_rate,sample_rate,channels", "-of", "default=nw=1", file});
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
      size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string k = line.substr(0, eq), v = line.substr(eq + 1);
      if (k == "codec_name") sf.codec = v;
      if (k == "width") sf.width = std::atoi(v.c_str());
      if (k == "height") sf.height = std::atoi(v.c_str());
      if (k == "r_frame_rate") sf.rate = v;
      if (k == "sample_rate") sf.sampleRate = std::atoi(v.c_str());
      if (k == "channels") sf.channels = std::atoi(v.c_str());
    }
    auto p = test::Run({"ffprobe", "-v", "error", "-select_streams", sel, "-show_entries",
                        "packet=pts_time,duration_time", "-of", "csv=p=0", file});
    std::istringstream pin(p.out);
    double first = -1, end = 0;
    for (std::string line; std::getline(pin, line);) {
      double pts = 0, dur = 0;
      if (std::sscanf(line.c_str(), "%lf,%lf", &pts, &dur) < 1) continue;
      if (first < 0) first = pts;
      end = std::max(end, pts + dur);
      ++sf.packets;
    }
    sf.duration = first < 0 ? 0 : end - first;
  }
  return f;
}

// The sum of the inputs' video durations, as the joiner lays them out.
double VideoSum(const std::vector<std::string>& files) {
  double d = 0;
  for (const auto& f : files) d += ProbeMediaFile(f).Duration;
  return d;
}

class Recompress : public ::testing::Test {
 protected:
  static TempDir* dir;
  static std::string mp4, avi, wmv, silent, longAudio, white43, line;
  static void SetUpTestSuite() {
    dir = new TempDir;
    mp4 = Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=640x360:rate=30:duration=2", "-f", "lavfi", "-i",
                  "sine=sample_rate=48000:duration=2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
                  dir->File("a.mp4")});
    avi = Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25:duration=2", "-f", "lavfi", "-i",
                  "sine=sample_rate=44100:duration=2", "-c:v", "mpeg4", "-c:a", "libmp3lame", dir->File("b.avi")});
    wmv = Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=480x360:rate=15:duration=2", "-f", "lavfi", "-i",
                  "sine=sample_rate=22050:duration=2", "-c:v", "wmv2", "-c:a", "wmav2", dir->File("c.wmv")});
    silent = Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1", "-c:v", "mpeg4",
                     dir->File("silent.avi")});
    longAudio = Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=1", "-f", "lavfi", "-i",
                        "sine=sample_rate=44100:duration=3", "-c:v", "mpeg4", "-c:a", "pcm_s16le",
                        dir->File("long.avi")});
    white43 = Ffmpeg({"-f", "lavfi", "-i", "color=c=white:size=320x240:rate=25:duration=1", "-c:v", "rawvideo",
                      "-pix_fmt", "bgr24", dir->File("white.avi")});
    // A 2-pixel white column at x = 320 of a black 640x480 picture.
    line = Ffmpeg({"-f", "lavfi", "-i",
                   "color=c=black:size=640x480:rate=25:duration=1,drawbox=x=320:y=0:w=2:h=480:color=white:t=fill",
                   "-c:v", "rawvideo", "-pix_fmt", "bgr24", dir->File("line.avi")});
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }

  TDSVideoJoiner Joiner(std::vector<std::string> files, const std::string& out, int w, int h, double rate) {
    TDSVideoJoiner j;
    j.Files = std::move(files);
    j.OutputFileName = out;
    j.FrameWidth = w;
    j.FrameHeight = h;
    j.FrameRate = rate;
    return j;
  }
};
TempDir* Recompress::dir = nullptr;
std::string Recompress::mp4, Recompress::avi, Recompress::wmv, Recompress::silent, Recompress::longAudio,
    Recompress::white43, Recompress::line;

TEST_F(Recompress, UncompressedOutputOfMixedInputs) {
  std::string out = dir->File("raw.avi");
  auto j = Joiner({mp4, avi, wmv}, out, 352, 288, 25);
  j.Join();
  auto [v, a] = Facts(out);
  EXPECT_EQ(v.codec, "rawvideo");
  EXPECT_EQ(v.width, 352);
  EXPECT_EQ(v.height, 288);
  EXPECT_EQ(v.rate, "25/1");
  EXPECT_EQ(a.codec, "pcm_s16le");
  EXPECT_EQ(a.sampleRate, 44100);
  EXPECT_EQ(a.channels, 2);
  // The sum of the inputs' video durations, within a frame per input.
  EXPECT_NEAR(v.duration, VideoSum({mp4, avi, wmv}), 3 * 0.04 + 1e-6);
  EXPECT_NEAR(v.duration, 6.0, 0.2);
  EXPECT_NEAR(a.duration, v.duration, 0.05);
  // The timeline spans follow one another.
  const auto& t = j.Timeline();
  ASSERT_EQ(t.VideoTrack.size(), 3u);
  EXPECT_DOUBLE_EQ(t.VideoTrack[1].TStart, t.VideoTrack[0].TStop);
  EXPECT_DOUBLE_EQ(t.VideoTrack[2].TStart, t.VideoTrack[1].TStop);
}

TEST_F(Recompress, DefaultCompressorsGiveMpeg4AndMp3) {
  std::string out = dir->File("xvid.avi");
  auto j = Joiner({avi, mp4}, out, 320, 240, 29.97);
  j.VideoCompressor = MakeCompressorFilter("libxvid");
  j.AudioCompressor = MakeCompressorFilter("libmp3lame");
  j.Join();
  auto [v, a] = Facts(out);
  EXPECT_EQ(v.codec, "mpeg4");
  EXPECT_EQ(v.rate, "30000/1001");  // the NTSC rate, not 29.97 rounded
  EXPECT_EQ(a.codec, "mp3");
  EXPECT_EQ(a.sampleRate, 44100);
  EXPECT_EQ(a.channels, 2);
  EXPECT_NEAR(v.duration, VideoSum({avi, mp4}), 2 / 29.97 + 1e-6);
  EXPECT_NEAR(a.duration, v.duration, 0.05);
}

TEST_F(Recompress, InputWithoutSoundHoldsSilenceAndLaterSoundKeepsItsPlace) {
  std::string out = dir->File("gap.avi");
  auto j = Joiner({avi, silent, longAudio}, out, 320, 240, 25);
  j.Join();
  ASSERT_EQ(j.Timeline().AudioTrack.size(), 2u);
  EXPECT_DOUBLE_EQ(j.Timeline().AudioTrack[1].TStart, j.Timeline().VideoTrack[2].TStart);
  auto [v, a] = Facts(out);
  // The longer audio of the last input is cut at its video's end.
  EXPECT_NEAR(v.duration, VideoSum({avi, silent, longAudio}), 3 * 0.04 + 1e-6);
  EXPECT_NEAR(a.duration, v.duration, 0.05);
  // The middle second is silent, the last one is not.
  auto level = [&](double from) {
    auto r = test::Run({"ffmpeg", "-hide_banner", "-nostats", "-ss", std::to_string(from), "-t", "0.5", "-i", out,
                        "-map", "0:a", "-af", "volumedetect", "-f", "null", "-"});
    size_t at = r.err.find("max_volume: ");
    return at == std::string::npos ? std::string("none") : r.err.substr(at + 12, r.err.find(" dB", at) - at - 12);
  };
  EXPECT_EQ(level(2.2), "-91.0");
  EXPECT_NE(level(3.2), "-91.0");
}

// First frame of a file as RGB rows.
std::vector<uint8_t> FirstFrame(const std::string& file, int w, int h) {
  auto r = test::Run({"ffmpeg", "-v", "error", "-i", file, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  std::vector<uint8_t> px(r.out.begin(), r.out.end());
  EXPECT_EQ(px.size(), static_cast<size_t>(w * h * 3));
  return px;
}

int Luma(const std::vector<uint8_t>& px, int w, int x, int y) {
  size_t i = (static_cast<size_t>(y) * w + x) * 3;
  return (px[i] + px[i + 1] + px[i + 2]) / 3;
}

struct ResizeCase {
  const char* name;
  TResizeMethod method;
  bool sideBands;
};

class ResizeOnPixels : public Recompress, public ::testing::WithParamInterface<ResizeCase> {};

TEST_P(ResizeOnPixels, FourByThreeIntoSixteenByNine) {
  std::string out = dir->File(std::string(GetParam().name) + ".avi");
  auto j = Joiner({white43}, out, 640, 360, 25);
  j.ResizeMethod = GetParam().method;
  j.Join();
  auto px = FirstFrame(out, 640, 360);
  if (px.size() != 640u * 360 * 3) return;
  bool bands = Luma(px, 640, 10, 180) < 20 && Luma(px, 640, 629, 180) < 20;
  EXPECT_EQ(bands, GetParam().sideBands);
  EXPECT_GT(Luma(px, 640, 320, 180), 230);
  if (GetParam().sideBands) {
    EXPECT_LT(Luma(px, 640, 78, 180), 20);   // band up to x = 80
    EXPECT_GT(Luma(px, 640, 82, 180), 230);  // picture from x = 80
    EXPECT_GT(Luma(px, 640, 320, 2), 230);   // no bands at the top
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, ResizeOnPixels,
                         ::testing::Values(ResizeCase{"Letterbox", rmLetterbox, true}, ResizeCase{"Crop", rmCrop, false},
                                           ResizeCase{"Stretch", rmStretch, false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(Recompress, NoResizeKeepsOneToOnePixels) {
  std::string out = dir->File("noresize.avi");
  auto j = Joiner({line}, out, 320, 240, 25);
  j.ResizeMethod = rmNoResize;
  j.Join();
  auto px = FirstFrame(out, 320, 240);
  if (px.size() != 320u * 240 * 3) return;
  // The centre 320x240 of the 640x480 source: its column 320 lands at 160.
  for (int x = 150; x < 170; ++x) {
    bool white = x == 160 || x == 161;
    EXPECT_EQ(Luma(px, 320, x, 120) > 200, white) << x;
  }
}

// Into AVI and into MP4 (whose index the end of the join writes, at the
// front): a file that plays to its end, as long as what was encoded, its
// chapters within it.
TEST_F(Recompress, CancelLeavesAReadableShorterFile) {
  for (const char* container : {"avi", "mp4"}) {
    SCOPED_TRACE(container);
    std::string out = dir->File(std::string("cancel.") + container);
    auto j = Joiner({mp4, avi, wmv, mp4, avi, wmv}, out, 640, 480, 25);
    j.Container = container;
    if (std::string(container) == "mp4") {
      if (!MakeCompressorFilter("libx264")) continue;
      j.VideoCompressor = MakeCompressorFilter("libx264");
      j.AudioCompressor = MakeCompressorFilter("aac");
    }
    j.PollInterval = 20;
    int calls = 0;
    j.OnProgress = [&](TDSVideoJoiner&, bool& cancel, double percent) {
      EXPECT_GE(percent, 0);
      EXPECT_LE(percent, 100);
      // Once something was rendered, however busy the machine.
      cancel = percent > 0 && ++calls >= 2;
    };
    j.Join();
    EXPECT_TRUE(j.WasCancelled());
    EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
    auto [v, a] = Facts(out);
    EXPECT_GT(v.packets, 0);
    EXPECT_LT(v.duration, 12.0);
    // The sound ends with the picture, not seconds after it.
    EXPECT_LE(a.duration, v.duration + 0.1);
    EXPECT_GE(a.duration, v.duration - 1.0);
    const std::string ends =
        test::Run({"ffprobe", "-v", "error", "-show_entries", "chapter=end_time", "-of", "csv=p=0", out}).out;
    std::istringstream rows(ends);
    for (std::string row; std::getline(rows, row);) {
      if (!row.empty()) {
        EXPECT_LE(std::atof(row.c_str()), v.duration + 0.05) << "a chapter past the end";
      }
    }
  }
}

TEST_F(Recompress, EncoderThatCannotStartRaises) {
  std::string out = dir->File("fail.avi");
  auto j = Joiner({avi}, out, 321, 241, 25);  // odd sizes: no 4:2:0 encoder takes them
  j.VideoCompressor = MakeCompressorFilter("libx264");
  try {
    j.Join();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("libx264"), std::string::npos) << e.what();
  }
}

TEST_F(Recompress, UnknownEncoderOptionRaises) {
  std::string out = dir->File("opt.avi");
  auto j = Joiner({avi}, out, 320, 240, 25);
  j.VideoCompressor = MakeCompressorFilter("libxvid");
  j.VideoCompressor->Options["no_such_option"] = "1";
  try {
    j.Join();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "The compressor libxvid has no option \"no_such_option\"");
  }
  // Refused before the render began: no empty file is left.
  EXPECT_NE(access(out.c_str(), F_OK), 0);
}

TEST_F(Recompress, FullDiskIsAFailureNotASuccess) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP();
  auto j = Joiner({mp4, avi}, "/dev/full", 640, 480, 25);
  EXPECT_THROW(j.Join(), Exception);
}

TEST_F(Recompress, UnreadableInputFailsBeforeTheOutputIsTouched) {
  std::string out = dir->File("keep.avi");
  test::WriteFileBytes(out, {1, 2, 3});
  std::string bad = dir->File("bad.avi");
  test::WriteFileBytes(bad, test::Text("not a video"));
  auto j = Joiner({avi, bad}, out, 320, 240, 25);
  EXPECT_THROW(j.Join(), Exception);
  EXPECT_EQ(test::ReadFileBytes(out), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(Recompress, AudioOnlyInputsMakeAnEmptyButValidFile) {
  std::string wav = Ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", dir->File("only.wav")});
  std::string out = dir->File("empty.avi");
  auto j = Joiner({wav}, out, 320, 240, 25);
  j.Join();
  EXPECT_DOUBLE_EQ(j.Timeline().Duration(), 0);
  auto r = test::Run({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0", out});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace
}  // namespace vantrel
