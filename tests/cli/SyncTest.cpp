// Picture and sound together at every join point, in every engine: inputs
// flash and beep at the same instants, and at every flash of the output the
// beep must follow within 40 ms of where it was in the input (which holds
// the encoder's own delay, such as MP3's).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/SyncMeasure.h"
#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

constexpr double kTolerance = 0.040;

struct SyncCase {
  const char* name;
  std::vector<FlashBeep> inputs;
  // ffmpeg output options (after the flash-and-beep inputs), or with a
  // leading '!' a shell command line with %v and %a for the inputs, %s for
  // a scratch file name prefix and %o for the file to make.
  std::string encode;
  std::string extension;
  std::vector<std::string> joinFlags;
  // Per input, when they differ: the encoding and the extension.
  std::vector<std::pair<std::string, std::string>> each = {};
  std::string outExtension = "";  // the output's, when not the inputs'
  double tolerance = 0;            // seconds; 0: the engine's own
};

std::string Substitute(std::string s, const std::string& key, const std::string& value) {
  for (size_t p; (p = s.find(key)) != std::string::npos;) s.replace(p, key.size(), value);
  return s;
}

std::string MakeCommand(const std::string& encode, const FlashBeep& in, const std::string& file) {
  if (encode.empty() || encode[0] != '!')
    return "ffmpeg -nostdin -v error -y " + in.VideoInput() + " " + in.AudioInput() + " " + encode + " '" + file + "'";
  std::string cmd = encode.substr(1);
  cmd = Substitute(cmd, "%v", in.VideoInput());
  cmd = Substitute(cmd, "%a", in.AudioInput());
  cmd = Substitute(cmd, "%s", "'" + file + ".scratch");
  return Substitute(cmd, "%o", "'" + file + "'");
}

void PrintTo(const SyncCase& c, std::ostream* os) { *os << c.name; }

std::string Format(const std::vector<double>& v) {
  std::string s;
  for (double x : v) s += (s.empty() ? "" : ", ") + (std::isnan(x) ? std::string("none") : std::to_string(x));
  return s;
}

double Duration(const std::string& file) {
  CommandResult r = Run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file});
  return std::atof(r.out.c_str());
}

class Sync : public ::testing::TestWithParam<SyncCase> {};

TEST_P(Sync, EveryJoinPointKeepsTheInputsOffset) {
  const SyncCase& c = GetParam();
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  std::vector<std::string> files;
  std::vector<double> want;
  double length = 0;
  for (size_t i = 0; i < c.inputs.size(); ++i) {
    const bool mine = i < c.each.size();
    const std::string f = dir.File("in" + std::to_string(i) + (mine ? c.each[i].second : c.extension));
    CommandResult made = Shell(MakeCommand(mine ? c.each[i].first : c.encode, c.inputs[i], f));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    std::string problem;
    std::vector<double> own = SyncOffsets(f, &problem);
    ASSERT_EQ(problem, "");
    ASSERT_FALSE(own.empty());
    want.insert(want.end(), own.begin(), own.end());
    length += c.inputs[i].seconds;
    files.push_back(f);
  }
  const std::string out = dir.File("out" + (c.outExtension.empty() ? c.extension : c.outExtension));
  std::vector<std::string> args = {CliPath(), "join", "-q", "-o", out};
  args.insert(args.end(), c.joinFlags.begin(), c.joinFlags.end());
  args.insert(args.end(), files.begin(), files.end());
  CommandResult joined = test::Run(args);
  ASSERT_EQ(joined.exitCode, 0) << joined.err;
  std::string problem;
  const std::vector<double> got = SyncOffsets(out, &problem);
  ASSERT_EQ(problem, "");
  ASSERT_EQ(got.size(), want.size()) << "flashes: " << Format(got);
  // A container copy moves no packet against the others: every join point
  // within 30 ms.
  const bool containerCopy = c.extension != ".avi" && c.extension != ".mpg" && !c.joinFlags.empty() &&
                             c.joinFlags[0] == "--copy";
  const double tolerance = c.tolerance > 0 ? c.tolerance : containerCopy ? 0.030 : kTolerance;
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_NEAR(got[i], want[i], tolerance) << "flash " << i << "; output " << Format(got) << "; inputs "
                                              << Format(want);
  EXPECT_NEAR(Duration(out), length, 0.2);
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
}

FlashBeep Clip(double audioSeconds, double audioDelay = 0) {
  FlashBeep f;
  f.audioSeconds = audioSeconds;
  f.audioDelay = audioDelay;
  return f;
}

const std::string kAviPcm = "-c:v mpeg4 -q:v 3 -c:a pcm_s16le";
const std::string kAviMp3 = "-c:v mpeg4 -q:v 3 -c:a libmp3lame -b:a 128k -avoid_negative_ts disabled";

const std::string kMpeg1 = "-c:v mpeg1video -q:v 3 -bf 2 -c:a mp2 -b:a 192k -f mpeg";
// mjpegtools: MPEG-1 video with B-frames (-R 2), layer II sound, multiplexed.
const std::string kMjpegtools =
    "!ffmpeg -nostdin -v error -y %v -f yuv4mpegpipe %s.y4m' && ffmpeg -nostdin -v error -y %a -c:a pcm_s16le "
    "%s.wav' && mpeg2enc -v 0 -f 0 -R 2 -g 12 -G 12 -b 1000 -o %s.m1v' < %s.y4m' && "
    "mp2enc -v 0 -b 192 -r 48000 -o %s.mp2' < %s.wav' && mplex -v 0 -f 0 -V -o %o %s.m1v' %s.mp2' && "
    "rm -f %s.y4m' %s.wav' %s.m1v' %s.mp2'";

const std::string kH264Aac = "-c:v libx264 -preset veryfast -bf 2 -g 25 -c:a aac -b:a 128k";

const std::vector<std::pair<std::string, std::string>> kMixed = {
    {"-c:v libx264 -preset veryfast -bf 2 -c:a aac", ".mp4"},
    {"-c:v libx265 -preset ultrafast -x265-params log-level=error -c:a aac -metadata:s:v:0 rotate=90", ".mp4"},
    {"-r 60 -c:v libx264 -preset veryfast -c:a libopus -f matroska", ".mkv"},
    {kAviMp3, ".avi"},
    {"-c:v wmv2 -c:a wmav2", ".wmv"}};

const SyncCase kCases[] = {
    {"AviPcmSoundShorter", {Clip(2.8), Clip(2.8), Clip(2.8), Clip(2.8)}, kAviPcm, ".avi", {"--copy"}},
    {"AviPcmSoundLonger", {Clip(3.3), Clip(3.3), Clip(3.3)}, kAviPcm, ".avi", {"--copy"}},
    {"AviMp3SoundShorterThenLonger", {Clip(2.7), Clip(3.3), Clip(2.7)}, kAviMp3, ".avi", {"--copy"}},
    // MPEG-1 joins correct the time stamps by default.
    {"Mpeg1FfmpegBFrames", {Clip(3), Clip(3), Clip(3)}, kMpeg1, ".mpg", {"--copy"}},
    {"Mpeg1MjpegtoolsBFrames", {Clip(3), Clip(3), Clip(3)}, kMjpegtools, ".mpg", {"--copy"}},
    // Recompressed from five containers, the last one's sound starting
    // 300 ms after its picture; uncompressed sound adds no delay of its own.
    {"RecompressedFromFiveContainers",
     {Clip(3), Clip(3), Clip(3), Clip(3), Clip(3, 0.3)},
     "",
     "",
     {"--recompress", "--size", "320x240", "--rate", "25", "--vcodec", "mpeg4", "--acodec", "pcm_s16le"},
     {{"-c:v libx264 -preset veryfast -bf 2 -c:a aac", ".mp4"},
      {"-c:v wmv2 -c:a wmav2", ".wmv"},
      {kAviMp3, ".avi"},
      {"-c:v mpeg2video -bf 2 -c:a mp2 -f vob", ".mpg"},
      {"-c:v mpeg2video -bf 2 -c:a mp2 -f mpegts", ".ts"}},
     ".avi"},
    // Recompressed into today's containers from a phone's H.264 and turned
    // HEVC clips, a 60 fps Matroska screen recording with Opus, an MPEG-4
    // AVI with MP3 and a WMV; the AVI's sound starts 300 ms late.
    {"ModernIntoMp4", {Clip(3), Clip(3), Clip(3), Clip(3, 0.3), Clip(3)}, "", "", {"--recompress"}, kMixed, ".mp4"},
    {"ModernIntoMatroska", {Clip(3), Clip(3), Clip(3), Clip(3, 0.3), Clip(3)}, "", "", {"--recompress"}, kMixed, ".mkv"},
    {"ModernIntoWebm",
     {Clip(3), Clip(3), Clip(3), Clip(3, 0.3), Clip(3)},
     "",
     "",
     {"--recompress", "--vopt", "cpu-used=8"},
     kMixed,
     ".webm"},
    // Copied container for container; the middle clip's sound starts 300 ms
    // after its picture, which the join must keep, not close up.
    {"Mp4FfmpegBFramesSoundLate", {Clip(3), Clip(3, 0.3), Clip(3)}, kH264Aac + " -f mp4", ".mp4", {"--copy"}},
    {"MovFfmpeg", {Clip(3), Clip(3), Clip(3)}, kH264Aac + " -f mov", ".mov", {"--copy"}},
    {"MatroskaFfmpegSoundLate", {Clip(3), Clip(3, 0.3), Clip(3)}, kH264Aac + " -f matroska", ".mkv", {"--copy"}},
    {"WebmVp9Opus",
     {Clip(3), Clip(3), Clip(3)},
     "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 500k -c:a libopus -f webm",
     ".webm",
     {"--copy"}},
    {"MpegTsFfmpeg", {Clip(3), Clip(3, 0.3), Clip(3)}, kH264Aac + " -f mpegts", ".ts", {"--copy"}},
    {"MatroskaMkvmerge",
     {Clip(3), Clip(3), Clip(3)},
     "!ffmpeg -nostdin -v error -y %v %a " + kH264Aac + " %s.mp4' && mkvmerge -q -o %o %s.mp4' && rm -f %s.mp4'",
     ".mkv",
     {"--copy"}},
    // Sound whose codec delay no edit list states: Opus's pre-skip in
    // Matroska (CodecDelay), and a GStreamer MP4 whose AAC priming is only
    // in the stream. Each input keeps the sync a player shows for it alone.
    {"MatroskaOpusFfmpeg",
     {Clip(3), Clip(3), Clip(3)},
     "-c:v libx264 -preset veryfast -bf 2 -g 25 -c:a libopus -b:a 96k -f matroska",
     ".mkv",
     {"--copy"},
     {},
     "",
     0.001},
    {"MatroskaOpusMkvmerge",
     {Clip(3), Clip(3), Clip(3)},
     "!ffmpeg -nostdin -v error -y %v %a -c:v libx264 -preset veryfast -bf 2 -g 25 -c:a libopus -b:a 96k %s.mkv' "
     "&& mkvmerge -q -o %o %s.mkv' && rm -f %s.mkv'",
     ".mkv",
     {"--copy"},
     {},
     "",
     0.001},
    {"Mp4GStreamer",
     {Clip(3), Clip(3), Clip(3)},
     "!ffmpeg -nostdin -v error -y %v %a -c:v rawvideo -c:a pcm_s16le %s.mkv' && gst-launch-1.0 -q filesrc "
     "location=%s.mkv' ! matroskademux name=d d.video_0 ! queue ! videoconvert ! x264enc speed-preset=veryfast "
     "bframes=2 key-int-max=25 ! h264parse ! mp4mux name=m ! filesink location=%o d.audio_0 ! queue ! "
     "audioconvert ! avenc_aac bitrate=128000 ! aacparse ! m. && rm -f %s.mkv'",
     ".mp4",
     {"--copy"},
     {},
     "",
     0.001},
};

INSTANTIATE_TEST_SUITE_P(Joins, Sync, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel::test
