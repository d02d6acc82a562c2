// The smart join on files from several writers: the files most of the time
// is in are copied packet for packet, the others re-encoded to their format,
// and a viewer sees every join in sync, the length of the inputs, and no
// decode error in FFmpeg or GStreamer. Where no smart join applies, the
// command line says why.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <csignal>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/SyncMeasure.h"
#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

// ffmpeg's H.264 and AAC, the format the copied files share.
const std::string kH264 = "-c:v libx264 -preset veryfast -bf 2 -g 25 -c:a aac -b:a 128k";

struct Input {
  std::string make;  // ffmpeg output options, or '!' and a shell line (%v %a %s %o)
  std::string extension;
  bool copied;
  FlashBeep clip = {};
};

struct SmartCase {
  const char* name;
  std::vector<Input> inputs;
  std::string outExtension;
  std::string said;  // a pattern of the plan's line
};

void PrintTo(const SmartCase& c, std::ostream* os) { *os << c.name; }

std::string Replace(std::string s, const std::string& key, const std::string& value) {
  for (size_t p; (p = s.find(key)) != std::string::npos;) s.replace(p, key.size(), value);
  return s;
}

std::string Command(const Input& in, const std::string& file) {
  if (in.make[0] != '!')
    return "ffmpeg -nostdin -v error -y " + in.clip.VideoInput() + " " + in.clip.AudioInput() + " " + in.make + " '" +
           file + "'";
  std::string cmd = Replace(in.make.substr(1), "%v", in.clip.VideoInput());
  cmd = Replace(cmd, "%a", in.clip.AudioInput());
  cmd = Replace(cmd, "%s", "'" + file + ".scratch");
  return Replace(cmd, "%o", "'" + file + "'");
}

double Seconds(const std::string& file) {
  return std::atof(
      test::Run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file}).out.c_str());
}

// The luma PSNR of the output's part from `from` for `length` seconds
// against the source, decoded alike.
double Psnr(const std::string& out, double from, double length, const std::string& source) {
  const CommandResult r = test::Run({"ffmpeg", "-v", "info", "-nostdin", "-ss", std::to_string(from), "-t",
                               std::to_string(length), "-i", out, "-i", source, "-lavfi",
                               "[0:v]setpts=PTS-STARTPTS[a];[1:v]setpts=PTS-STARTPTS[b];[a][b]psnr", "-f", "null", "-"});
  std::smatch m;
  static const std::regex kY("PSNR y:([0-9.]+|inf)");
  if (!std::regex_search(r.err, m, kY)) return 0;
  return m[1] == "inf" ? 99 : std::atof(m[1].str().c_str());
}

// The MD5 of every video packet's data, in order (side data left aside: a
// transport stream's packets carry the parameter sets there).
std::vector<std::string> VideoPackets(const std::string& file) {
  const CommandResult r =
      test::Run({"ffmpeg", "-v", "error", "-i", file, "-map", "0:v:0", "-c", "copy", "-f", "framemd5", "-"});
  std::vector<std::string> hashes;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 6 && std::getline(fields, field, ','); ++i) {
    }
    hashes.push_back(field.substr(field.find_first_not_of(' ')));
  }
  return hashes;
}

class SmartJoin : public ::testing::TestWithParam<SmartCase> {};

TEST_P(SmartJoin, CopiesTheMostAndKeepsEveryJoinInSync) {
  const SmartCase& c = GetParam();
  if (!HaveTool("ffmpeg") || !HaveTool("gst-launch-1.0") || !HaveTool("mkvmerge")) GTEST_SKIP() << "no tools";
  TempDir dir;
  std::vector<std::string> files;
  std::vector<double> want;
  double length = 0, measured = 0;  // as made; as each file says of itself
  for (size_t i = 0; i < c.inputs.size(); ++i) {
    const std::string f = dir.File("in" + std::to_string(i) + c.inputs[i].extension);
    const CommandResult made = Shell(Command(c.inputs[i], f));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    std::string problem;
    const std::vector<double> own = SyncOffsets(f, &problem);
    ASSERT_EQ(problem, "") << f;
    want.insert(want.end(), own.begin(), own.end());
    length += c.inputs[i].clip.seconds;
    measured += Seconds(f);
    files.push_back(f);
  }
  const std::string out = dir.File("out" + c.outExtension);
  std::vector<std::string> args = {CliPath(), "join", "-o", out};
  args.insert(args.end(), files.begin(), files.end());
  const CommandResult joined = test::Run(args);
  ASSERT_EQ(joined.exitCode, 0) << joined.err;
  EXPECT_TRUE(std::regex_search(joined.err, std::regex(c.said))) << joined.err;
  // Read back by its index where it has one.
  if (c.outExtension == ".mp4") {
    EXPECT_NE(joined.err.find(", verified"), std::string::npos) << joined.err;
  }

  // A viewer's view: every join in sync within a frame, the inputs' length,
  // no decode error in either framework.
  std::string problem;
  const std::vector<double> got = SyncOffsets(out, &problem);
  ASSERT_EQ(problem, "");
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 0.040) << "flash " << i;
  // A transport stream's length counts from its first stamp of any stream.
  if (c.outExtension != ".ts") {
    EXPECT_NEAR(Seconds(out), measured, 0.045);
  }
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
  const CommandResult gst = test::Run({"gst-launch-1.0", "-q", "filesrc", "location=" + out, "!", "decodebin", "!",
                                 "fakesink"});
  EXPECT_EQ(gst.exitCode, 0) << gst.err;
  EXPECT_EQ(gst.err, "");
  // And a browser's: Chromium plays the MP4 or the WebM to its end,
  // every frame decoded, none corrupt (Debian's Chromium has no HEVC
  // decoder, and plays no Matroska or transport stream).
  const std::string codec =
      test::Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=codec_name", "-of",
                 "csv=p=0", out})
          .out;
  if ((c.outExtension == ".mp4" && codec != "hevc\n") || c.outExtension == ".webm") {
    const CommandResult played = test::Run({"python3", VANTREL_BROWSER_PLAY, out, "8"});
    ASSERT_EQ(played.exitCode, 0) << "Chromium could not be run: " << played.out << played.err;
    EXPECT_TRUE(std::regex_search(played.out, std::regex("\"state\": \"ended\""))) << played.out;
    EXPECT_NE(played.out.find("\"corrupted\": 0,"), std::string::npos) << played.out;
    EXPECT_NE(played.out.find("\"frames\": " + std::to_string(std::lround(length * 25)) + ","), std::string::npos)
        << played.out;
  }

  // The copied files' packets as they were, in their places; the others
  // look like their sources.
  const std::vector<std::string> all = VideoPackets(out);
  size_t at = 0;
  double start = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::vector<std::string> own = VideoPackets(files[i]);
    const size_t frames = static_cast<size_t>(std::lround(c.inputs[i].clip.seconds * 25));
    if (c.inputs[i].copied) {
      ASSERT_LE(at + own.size(), all.size());
      EXPECT_TRUE(std::equal(own.begin(), own.end(), all.begin() + static_cast<long>(at)))
          << "file " << i + 1 << "'s packets are not copied as they were";
      at += own.size();
    } else {
      at += frames;
      if (c.inputs[i].clip.width == 320 && c.outExtension != ".ts") {
        EXPECT_GE(Psnr(out, start, c.inputs[i].clip.seconds, files[i]), 40) << "file " << i + 1;
      }
    }
    start += c.inputs[i].clip.seconds;
  }
  EXPECT_EQ(at, all.size());
  EXPECT_EQ(all.size(), static_cast<size_t>(std::lround(length * 25))) << "frames of the output";
}

Input Copied(const std::string& make = kH264 + " -f mp4", const std::string& ext = ".mp4") { return {make, ext, true}; }

FlashBeep Mono44() {
  FlashBeep f;
  f.sampleRate = 44100;
  return f;
}

FlashBeep Wide() {
  FlashBeep f;
  f.width = 480;
  f.height = 270;
  return f;
}

// GStreamer's x264enc and mp4mux: another writer's H.264, and AAC priming
// stated in the stream only.
const std::string kGStreamer =
    "!ffmpeg -nostdin -v error -y %v %a -c:v rawvideo -c:a pcm_s16le %s.mkv' && gst-launch-1.0 -q filesrc "
    "location=%s.mkv' ! matroskademux name=d d.video_0 ! queue ! videoconvert ! x264enc speed-preset=veryfast "
    "key-int-max=25 ! h264parse ! mp4mux name=m ! filesink location=%o d.audio_0 ! queue ! audioconvert ! "
    "avenc_aac bitrate=128000 ! aacparse ! m. && rm -f %s.mkv'";
const std::string kHevc = "-c:v libx265 -preset ultrafast -x265-params log-level=error -c:a aac -f mp4";
const std::string kVp9 = "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 25 -c:a libopus -f webm";
const std::string kAv1 = "-c:v libsvtav1 -preset 12 -g 25 -c:a aac -f mp4";
const std::string kMkvmerge = "!ffmpeg -nostdin -v error -y %v %a " + kH264 + " %s.mp4' && mkvmerge -q -o %o %s.mp4'";

INSTANTIATE_TEST_SUITE_P(
    Sets, SmartJoin,
    ::testing::Values(
        SmartCase{"IntoMp4",
                  {Copied(), {kGStreamer, ".mp4", false}, Copied(), {kHevc, ".mp4", false}, Copied(),
                   {kH264 + " -ac 1 -f mp4", ".mp4", false, Mono44()}, Copied()},
                  ".mp4",
                  R"(4 files copied, 3 re-encoded to 320x240 H\.264: in1\.mp4 \(.*\), in3\.mp4 \(video hevc\))"},
        SmartCase{"OddFirstIntoMatroska",
                  {{kH264 + " -r 50 -f matroska", ".mkv", false}, Copied(kMkvmerge, ".mkv"), Copied(kMkvmerge, ".mkv"),
                   {kH264 + " -f matroska", ".mkv", false, Wide()}, Copied(kMkvmerge, ".mkv")},
                  ".mkv",
                  R"(3 files copied, 2 re-encoded to 320x240 H\.264)"},
        SmartCase{"IntoTransportStream",
                  {Copied(kH264 + " -f mpegts", ".ts"), {kHevc, ".mp4", false}, Copied(kH264 + " -f mpegts", ".ts"),
                   Copied(kH264 + " -f mpegts", ".ts")},
                  ".ts",
                  R"(3 files copied, 1 re-encoded)"},
        // HEVC copied: x265 numbers every file's sets 0, so the re-encoded
        // files' sets and slices are given ids of their own.
        SmartCase{"HevcOddFirstIntoMp4",
                  {{kH264 + " -f mp4", ".mp4", false}, Copied(kHevc), Copied(kHevc), {kGStreamer, ".mp4", false},
                   Copied(kHevc)},
                  ".mp4",
                  R"(3 files copied, 2 re-encoded to 320x240 HEVC: in0\.mp4 \(video h264\), in3\.mp4)"},
        // VP9 and Opus in WebM; the odd file's AAC at 44.1 kHz becomes Opus.
        SmartCase{"Vp9IntoWebm",
                  {Copied(kVp9, ".webm"), {kH264 + " -f mp4", ".mp4", false, Mono44()}, Copied(kVp9, ".webm"),
                   Copied(kVp9, ".webm")},
                  ".webm",
                  R"(3 files copied, 1 re-encoded to 320x240 VP9: in1\.mp4 \(.*\))"},
        // AV1 in MP4: each key frame carries its sequence header.
        SmartCase{"Av1IntoMp4",
                  {Copied(kAv1), Copied(kAv1), {kH264 + " -f mp4", ".mp4", false, Wide()}, Copied(kAv1)},
                  ".mp4",
                  R"(3 files copied, 1 re-encoded to 320x240 AV1: in2\.mp4 \(video h264\))"}),
    [](const auto& p) { return std::string(p.param.name); });

// Runs argv with its error output kept, sends it sig once ready() says so
// (within a minute), and waits for it.
CommandResult RunAndSignal(const std::vector<std::string>& argv, int sig, const std::function<bool()>& ready) {
  CommandResult r;
  char errName[] = "/tmp/vantrel-smart-err-XXXXXX";
  const int errFd = ::mkstemp(errName);
  if (errFd < 0) return r;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(errFd, 2);
    std::vector<char*> a;
    for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    ::execv(a[0], a.data());
    ::_exit(127);
  }
  int status = 0;
  bool sent = false;
  for (int i = 0; i < 6000 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
    if (ready()) {
      ::kill(pid, sig);
      sent = true;
      ::waitpid(pid, &status, 0);
      break;
    }
    ::usleep(10000);
  }
  if (!sent && ::waitpid(pid, &status, WNOHANG) == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.err = sent ? "" : "(never ready) ";
  char buf[4096];
  ssize_t n;
  ::lseek(errFd, 0, SEEK_SET);
  while ((n = ::read(errFd, buf, sizeof buf)) > 0) r.err.append(buf, static_cast<size_t>(n));
  ::close(errFd);
  ::unlink(errName);
  return r;
}

// Stopped (Ctrl+C) while a file is re-encoded: the files before it and
// what was re-encoded of it are joined into a whole file that plays to its
// end, and nothing made for the join stays beside it.
TEST(SmartJoinStop, LeavesWhatWasDoneWhole) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  // Two 12 s clips copied, an 8 s one of another size between them.
  FlashBeep clip, odd;
  clip.seconds = clip.audioSeconds = 12;
  odd.seconds = odd.audioSeconds = 8;
  odd.width = 160;
  odd.height = 120;
  std::vector<std::string> files;
  for (int i = 0; i < 3; ++i) {
    const std::string f = dir.File("in" + std::to_string(i) + ".mp4");
    const FlashBeep& c = i == 1 ? odd : clip;
    ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y " + c.VideoInput() + " " + c.AudioInput() + " " + kH264 +
                    " -f mp4 '" + f + "'")
                  .exitCode,
              0);
    files.push_back(f);
  }
  const std::string out = dir.File("out.mp4");
  std::vector<std::string> args = {CliPath(), "join", "--smart", "-q", "-o", out};
  args.insert(args.end(), files.begin(), files.end());
  // Stopped once the re-encoded part is begun.
  const CommandResult r = RunAndSignal(args, SIGINT, [&] {
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
      if (e.path().filename().string().find("-part2-") != std::string::npos) return true;
    return false;
  });
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
  const double seconds = Seconds(out);
  EXPECT_GE(seconds, 11.95) << "the file before the stop is not whole";
  EXPECT_LT(seconds, 31.0);
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path() << " stayed";
}

// Where no smart join applies the plan says why: asked for, it is refused
// with the reason; by default the files are recompressed.
struct NoSmartCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> inputs;  // ffmpeg options, extension
  std::string why;
};

void PrintTo(const NoSmartCase& c, std::ostream* os) { *os << c.name; }

class NoSmartJoin : public ::testing::TestWithParam<NoSmartCase> {};

TEST_P(NoSmartJoin, IsRefusedWithTheReason) {
  const NoSmartCase& c = GetParam();
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  std::vector<std::string> args = {CliPath(), "join", "--smart", "-o", dir.File("out.mp4")};
  for (size_t i = 0; i < c.inputs.size(); ++i) {
    const std::string f = dir.File("in" + std::to_string(i) + c.inputs[i].second);
    FlashBeep clip;
    clip.seconds = clip.audioSeconds = 1;
    const CommandResult made = Shell("ffmpeg -nostdin -v error -y " + clip.VideoInput() + " " + clip.AudioInput() +
                                     " " + c.inputs[i].first + " '" + f + "'");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    args.push_back(f);
  }
  const CommandResult r = test::Run(args);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "vantrel-cli: Unable to join these files with a smart join: " + c.why + "\n");
  EXPECT_NE(access(dir.File("out.mp4").c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, NoSmartJoin,
    ::testing::Values(
        NoSmartCase{"EveryFileDifferent",
                    {{kH264 + " -f mp4", ".mp4"}, {kHevc, ".mp4"}, {kH264 + " -s 160x120 -f mp4", ".mp4"}},
                    "no files with identical streams hold most of the playing time"},
        NoSmartCase{"CopiedCodecWithoutAnEncoderHere",
                    {{"-c:v mpeg4 -c:a aac -f mp4", ".mp4"}, {"-c:v mpeg4 -c:a aac -f mp4", ".mp4"},
                     {kH264 + " -f mp4", ".mp4"}},
                    "a smart join encodes H.264, HEVC, VP9 and AV1 only, and the files that would be copied hold mpeg4"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel::test
