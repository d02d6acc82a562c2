// Recompressing joins into the containers named by the output, judged as a
// viewer would: the codecs asked for, every frame one frame period after the
// one before from time 0 (no empty frame, no frame shown twice), as many
// frames as the inputs last, the picture as close to its source as the
// defaults promise, and a file FFmpeg and GStreamer both read without a
// complaint. Inputs from three writers: ffmpeg, mkvmerge and GStreamer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

constexpr double kSeconds = 1.2;  // each input's length
constexpr int kRate = 25;
constexpr int kFrames = 30;       // kSeconds at kRate

struct FormatCase {
  const char* name;
  std::string extension;
  std::vector<std::string> flags;  // beyond -o
  std::string formatName;          // ffprobe's format_name
  std::string video, audio;        // codec names
  double minPsnr;                  // dB against the source, 0: not judged
  double firstFrame = 0;           // seconds
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

// Three 1280x720 clips at 25 fps, made once for the program.
const std::vector<std::string>& Inputs(const TempDir& dir) {
  static std::vector<std::string> made;
  if (!made.empty()) return made;
  const std::string src = "-f lavfi -i testsrc2=size=1280x720:rate=25:duration=1.2 -f lavfi -i "
                          "sine=frequency=440:sample_rate=48000:duration=1.2 -pix_fmt yuv420p ";
  const std::string a = dir.File("a.mp4"), b = dir.File("b.mkv"), c = dir.File("c.mp4");
  const std::string cmds[] = {
      "ffmpeg -nostdin -v error -y " + src + "-c:v libx264 -preset veryfast -crf 10 -c:a aac '" + a + "'",
      "ffmpeg -nostdin -v error -y " + src + "-c:v libx264 -preset veryfast -crf 10 -c:a libopus '" + b +
          ".webm.mkv' && mkvmerge -q -o '" + b + "' '" + b + ".webm.mkv'",
      "gst-launch-1.0 -q videotestsrc num-buffers=30 pattern=smpte ! "
      "video/x-raw,width=1280,height=720,framerate=25/1 ! x264enc speed-preset=veryfast quantizer=10 ! h264parse ! "
      "mp4mux name=m ! filesink location='" + c + "' audiotestsrc num-buffers=57 ! audio/x-raw,rate=48000 ! "
      "audioconvert ! avenc_aac ! queue ! m.",
  };
  for (const std::string& cmd : cmds) {
    const CommandResult r = Shell(cmd);
    if (r.exitCode != 0) {
      ADD_FAILURE() << cmd << "\n" << r.err;
      return made;
    }
  }
  made = {a, b, c};
  return made;
}

std::string Probe(const std::string& file, const std::string& entries, const std::string& select = "") {
  std::vector<std::string> argv = {"ffprobe", "-v", "error"};
  if (!select.empty()) argv.insert(argv.end(), {"-select_streams", select});
  argv.insert(argv.end(), {"-show_entries", entries, "-of", "default=nw=1:nk=1", file});
  // One value a line; side data adds lines of its own to some entries.
  std::istringstream in(test::Run(argv).out);
  std::string out;
  for (std::string row; std::getline(in, row);)
    if (!row.empty() && row.find('=') == std::string::npos && row[0] != '[') out += (out.empty() ? "" : "\n") + row;
  return out;
}

// The PSNR of the output's picture from `start` for `seconds` against the
// source, both at the output's size.
double Psnr(const std::string& out, double start, const std::string& source) {
  char graph[512];
  std::snprintf(graph, sizeof graph,
                "[0:v]trim=start=%.3f:duration=%.3f,setpts=PTS-STARTPTS[o];[1:v]setpts=PTS-STARTPTS[s];[o][s]psnr",
                start, kSeconds);
  const CommandResult r = test::Run({"ffmpeg", "-v", "info", "-nostats", "-i", out, "-i", source, "-lavfi", graph, "-f",
                               "null", "-"});
  std::smatch m;
  static const std::regex average("average:([0-9.]+|inf)");
  if (!std::regex_search(r.err, m, average)) return 0;
  return m[1] == "inf" ? 99 : std::atof(m[1].str().c_str());
}

class RecompressFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(RecompressFormat, EveryFrameInItsPlaceAndReadableEverywhere) {
  const FormatCase& c = GetParam();
  for (const char* tool : {"ffmpeg", "mkvmerge", "gst-launch-1.0"})
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  static TempDir inputsDir;
  const std::vector<std::string>& inputs = Inputs(inputsDir);
  ASSERT_EQ(inputs.size(), 3u);
  TempDir dir;
  const std::string out = dir.File("joined" + c.extension);
  std::vector<std::string> args = {CliPath(), "join", "-q", "--recompress", "-o", out};
  args.insert(args.end(), c.flags.begin(), c.flags.end());
  args.insert(args.end(), inputs.begin(), inputs.end());
  const CommandResult r = test::Run(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;

  EXPECT_EQ(Probe(out, "format=format_name"), c.formatName);
  EXPECT_EQ(Probe(out, "stream=codec_name", "v:0"), c.video);
  EXPECT_EQ(Probe(out, "stream=codec_name", "a:0"), c.audio);
  EXPECT_EQ(Probe(out, "stream=width,height", "v:0"), "1280\n720") << "the inputs' own size";

  // Frame n at n frame periods: no empty frame, no frame twice, nothing
  // after the last input's end.
  std::istringstream times(Probe(out, "frame=best_effort_timestamp_time", "v:0"));
  std::vector<double> t;
  for (std::string row; std::getline(times, row);) t.push_back(std::atof(row.c_str()));
  ASSERT_EQ(t.size(), static_cast<size_t>(3 * kFrames));
  for (size_t n = 0; n < t.size(); ++n)
    ASSERT_NEAR(t[n], c.firstFrame + static_cast<double>(n) / kRate, 0.0015) << "frame " << n;

  if (c.minPsnr > 0) {
    for (size_t i = 0; i < inputs.size(); ++i)
      EXPECT_GE(Psnr(out, static_cast<double>(i) * kSeconds, inputs[i]), c.minPsnr) << "input " << i + 1;
  }
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
  const CommandResult gst = test::Run({"gst-launch-1.0", "-q", "filesrc", "location=" + out, "!", "decodebin", "!",
                                 "fakesink"});
  EXPECT_EQ(gst.exitCode, 0) << gst.out << gst.err;
}

const FormatCase kFormats[] = {
    {"Mp4", ".mp4", {}, "mov,mp4,m4a,3gp,3g2,mj2", "h264", "aac", 40},
    {"Matroska", ".mkv", {}, "matroska,webm", "h264", "opus", 40},
    {"WebM", ".webm", {"--vopt", "cpu-used=8"}, "matroska,webm", "vp9", "opus", 40},
    // Matroska has no field for AAC's encoder delay (1024 samples) that
    // players read: the whole file starts that much later, in sync.
    {"MatroskaHevcAac", ".mkv", {"--vcodec", "libx265", "--acodec", "aac", "--vopt", "preset=ultrafast"},
     "matroska,webm", "hevc", "aac", 38, 0.021},
    // AVI with the compressors named: the picture starts at frame 0 and
    // every chunk follows the one before, whatever the sound's delay.
    {"AviMpeg4Mp3", ".avi", {"--vcodec", "mpeg4", "--acodec", "libmp3lame", "--size", "1280x720", "--rate", "25"},
     "avi", "mpeg4", "mp3", 0},
};

INSTANTIATE_TEST_SUITE_P(Containers, RecompressFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& p) { return std::string(p.param.name); });

// An extension the recompressing join cannot write is refused before
// anything is written, with the list of those it can.
TEST(RecompressFormatRefusal, NamesWhatItWrites) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string in = dir.File("in.mp4"), out = dir.File("out.flv");
  ASSERT_EQ(test::Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1",
                 "-c:v", "libx264", in})
                .exitCode,
            0);
  const CommandResult r = test::Run({CliPath(), "join", "--recompress", "-o", out, in, in});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "vantrel-cli: A recompressing join writes .avi, .mp4, .m4v, .mov, .mkv and .webm files, not .flv\n");
  EXPECT_FALSE(std::filesystem::exists(out));
  const CommandResult wrong = test::Run({CliPath(), "join", "--recompress", "--vcodec", "libvpx-vp9", "-o", dir.File("x.mp4"),
                                   in});
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.err.find("see vantrel-cli codecs --container mp4"), std::string::npos) << wrong.err;
}

// An interlaced source (a DVD's MPEG-2, fields 1/50 s apart) is
// deinterlaced before it is fitted: its picture is FFmpeg's bwdif of it,
// not the two fields woven into combs. Its mono sound stays mono.
TEST(RecompressInterlaced, IsDeinterlacedAndMonoStaysMono) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string in = dir.File("title.vob"), out = dir.File("out.mp4");
  // A bar crossing the picture at 50 fields a second, woven top field first.
  CommandResult made = test::Run(
      {"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
       "color=c=black:s=720x576:r=50:d=1[bg];color=c=white:s=40x576:r=50:d=1[bar];[bg][bar]overlay=x='mod(t*600,680)'"
       ":y=0,format=yuv420p",
       "-f", "lavfi", "-i", "sine=sample_rate=48000:duration=1", "-vf", "tinterlace=interleave_top,setfield=tff", "-c:v",
       "mpeg2video", "-b:v", "8M", "-flags", "+ilme+ildct", "-top", "1", "-c:a", "mp2", "-f", "vob", in});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const CommandResult r = test::Run({CliPath(), "join", "-q", "--recompress", "--size", "720x576", "-o", out, in});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto reference = [&](const std::string& name, const std::string& filter) {
    const std::string f = dir.File(name);
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-v", "error", "-i", in, "-an"};
    if (!filter.empty()) argv.insert(argv.end(), {"-vf", filter});
    argv.insert(argv.end(), {"-c:v", "libx264", "-crf", "10", f});
    EXPECT_EQ(test::Run(argv).exitCode, 0);
    return f;
  };
  auto psnr = [&](const std::string& ref) {
    const CommandResult p = test::Run({"ffmpeg", "-v", "info", "-nostats", "-i", out, "-i", ref, "-lavfi",
                                       "[0:v]setpts=PTS-STARTPTS[a];[1:v]setpts=PTS-STARTPTS[b];[a][b]psnr", "-f",
                                       "null", "-"});
    std::smatch m;
    static const std::regex average("average:([0-9.]+|inf)");
    return std::regex_search(p.err, m, average) ? (m[1] == "inf" ? 99.0 : std::atof(m[1].str().c_str())) : 0.0;
  };
  EXPECT_GE(psnr(reference("bwdif.mp4", "bwdif=mode=send_frame")), 40);
  EXPECT_LT(psnr(reference("woven.mp4", "")), 30) << "the fields are still woven";
  EXPECT_EQ(Probe(out, "stream=channels", "a:0"), "1");
}

// Matroska and WebM round every time to a millisecond: a 30 fps source
// has frames at 0, 33, 67, 100 ms. At 30 fps each of them is shown once,
// none twice and none dropped (a frame at 67 ms belongs to the slot at
// 66.7 ms, not to the one after).
TEST(RecompressTiming, MillisecondStampsMapOneToOne) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string in = dir.File("screen.mkv"), out = dir.File("out.avi");
  ASSERT_EQ(test::Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                       "testsrc=size=320x240:rate=30:duration=2", "-c:v", "libx264", "-qp", "0", in})
                .exitCode,
            0);
  // Uncompressed, so that a frame shown twice is the same picture twice.
  const CommandResult r = test::Run({CliPath(), "join", "-q", "--recompress", "--vcodec", "none", "--acodec", "none",
                                     "--size", "320x240", "--rate", "30", "-o", out, in});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::istringstream rows(
      test::Run({"ffmpeg", "-v", "error", "-i", out, "-map", "0:v", "-f", "framemd5", "-"}).out);
  std::vector<std::string> hashes;
  for (std::string row; std::getline(rows, row);)
    if (!row.empty() && row[0] != '#') hashes.push_back(row.substr(row.rfind(',') + 1));
  ASSERT_EQ(hashes.size(), 60u);
  std::vector<std::string> distinct = hashes;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_EQ(distinct.size(), 60u) << "frames shown twice (and others dropped)";
}

}  // namespace
}  // namespace vantrel::test
