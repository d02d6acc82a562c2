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
  // ffmpeg output options for input i (after the flash-and-beep inputs).
  std::vector<FlashBeep> inputs;
  std::string encode;
  std::string extension;
  std::vector<std::string> joinFlags;
};

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
    const std::string f = dir.File("in" + std::to_string(i) + c.extension);
    CommandResult made = Shell("ffmpeg -nostdin -v error -y " + c.inputs[i].VideoInput() + " " +
                               c.inputs[i].AudioInput() + " " + c.encode + " '" + f + "'");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    std::string problem;
    std::vector<double> own = SyncOffsets(f, &problem);
    ASSERT_EQ(problem, "");
    ASSERT_FALSE(own.empty());
    want.insert(want.end(), own.begin(), own.end());
    length += c.inputs[i].seconds;
    files.push_back(f);
  }
  const std::string out = dir.File("out" + c.extension);
  std::vector<std::string> args = {CliPath(), "join", "-q", "-o", out};
  args.insert(args.end(), c.joinFlags.begin(), c.joinFlags.end());
  args.insert(args.end(), files.begin(), files.end());
  CommandResult joined = test::Run(args);
  ASSERT_EQ(joined.exitCode, 0) << joined.err;
  std::string problem;
  const std::vector<double> got = SyncOffsets(out, &problem);
  ASSERT_EQ(problem, "");
  ASSERT_EQ(got.size(), want.size()) << "flashes: " << Format(got);
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_NEAR(got[i], want[i], kTolerance) << "flash " << i << "; output " << Format(got) << "; inputs "
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

const SyncCase kCases[] = {
    {"AviPcmSoundShorter", {Clip(2.8), Clip(2.8), Clip(2.8), Clip(2.8)}, kAviPcm, ".avi", {"--copy"}},
    {"AviPcmSoundLonger", {Clip(3.3), Clip(3.3), Clip(3.3)}, kAviPcm, ".avi", {"--copy"}},
    {"AviMp3SoundShorterThenLonger", {Clip(2.7), Clip(3.3), Clip(2.7)}, kAviMp3, ".avi", {"--copy"}},
};

INSTANTIATE_TEST_SUITE_P(Joins, Sync, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel::test
