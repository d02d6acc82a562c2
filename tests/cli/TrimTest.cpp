// Trimmed joins on files ffmpeg makes at test time, judged as a viewer
// would: the frames kept are the frames asked for, the sound ends with the
// picture, key-frame cuts copy every packet between them as it was, and
// a trim that leaves nothing is refused with the file named.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

// Four seconds at 25 fps, a key frame every second (closed GOPs with
// B-frames), sound at 48 kHz: a.EXT and b.EXT for each container.
class Inputs : public ::testing::Environment {
 public:
  void SetUp() override {
    for (const char* ext : {".mp4", ".mkv", ".ts"})
      for (const char* name : {"a", "b"}) {
        const std::string out = dir.File(std::string(name) + ext);
        const CommandResult r = Shell(
            "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=4 -f lavfi -i "
            "sine=frequency=" +
            std::string(name[0] == 'a' ? "440" : "660") +
            ":sample_rate=48000:duration=4 -c:v libx264 -preset veryfast -bf 2 -g 25 -keyint_min 25 "
            "-sc_threshold 0 -pix_fmt yuv420p -c:a aac '" +
            out + "'");
        ASSERT_EQ(r.exitCode, 0) << r.err;
      }
  }
  std::string File(const std::string& name) const { return dir.File(name); }
  TempDir dir;
};
Inputs* g_in = nullptr;

double Probe(const std::string& file, const std::string& what, const char* stream = nullptr) {
  std::vector<std::string> args = {"ffprobe", "-v", "error"};
  if (stream) args.insert(args.end(), {"-select_streams", stream, "-count_frames"});
  args.insert(args.end(), {"-show_entries", what, "-of", "csv=p=0", file});
  return std::atof(test::Run(args).out.c_str());
}

std::string Said(const CommandResult& r) { return r.out + r.err; }

// The longest step between pictures shown one after the other, seconds.
double LongestPictureStep(const std::string& file) {
  const CommandResult r =
      Shell("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 '" + file + "'");
  std::vector<double> times;
  for (size_t at = 0; at < r.out.size();) {
    const size_t end = r.out.find('\n', at);
    const std::string line = r.out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line[0] != ',') times.push_back(std::atof(line.c_str()));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  std::sort(times.begin(), times.end());
  double most = 0;
  for (size_t i = 1; i < times.size(); ++i) most = std::max(most, times[i] - times[i - 1]);
  return most;
}

class KeyFrameCut : public ::testing::TestWithParam<const char*> {};

// In at 1.5 s and out at 2.5 s of the first file: its GOPs from the key
// frame at 1 s to the one at 3 s are copied packet for packet, and the
// notes say where the cuts moved; the second file, in on its key frame at
// 1 s, follows from there with no note.
TEST_P(KeyFrameCut, CopiesTheGopsAroundTheCuts) {
  const std::string ext = GetParam();
  const std::string a = g_in->File("a" + ext), b = g_in->File("b" + ext);
  TempDir out;
  const std::string o = out.File("out" + ext);
  const CommandResult r = test::Run({CliPath(), "join", "--cut", "keyframe", "-o", o, "--in", "1.5", "--out", "00:02.500", a, "--in", "1", b});
  ASSERT_EQ(r.exitCode, 0) << Said(r);
  EXPECT_NE(Said(r).find("File 1 (a" + ext + "): starts at 00:01.000, the key frame before 00:01.500"),
            std::string::npos)
      << Said(r);
  EXPECT_NE(Said(r).find("File 1 (a" + ext + "): ends at 00:03.000, the key frame after 00:02.500"), std::string::npos)
      << Said(r);
  const std::vector<std::string> first = PacketHashes(a, 'v'), second = PacketHashes(b, 'v');
  ASSERT_EQ(first.size(), 100u);
  std::vector<std::string> expected(first.begin() + 25, first.begin() + 75);
  expected.insert(expected.end(), second.begin() + 25, second.end());
  EXPECT_TRUE(PacketHashes(o, 'v') == expected) << "the copied packets are not the GOPs kept";
  EXPECT_EQ(Said(r).find("File 2 (b" + ext + "): starts"), std::string::npos) << Said(r);
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", o, "-f", "null", "-"}).err, "");
  EXPECT_EQ(Probe(o, "stream=nb_read_frames", "v:0"), 125);
  // The sound of each part ends with its picture: the output's sound is as
  // long as its picture, 2 s and 3 s.
  EXPECT_NEAR(Probe(o, "format=duration"), 5.0, 0.1);
  // At the join the next picture follows within a frame and the sound
  // frame that ends the first part (21.3 ms).
  EXPECT_LE(LongestPictureStep(o), 0.04 + 0.0214);
}

INSTANTIATE_TEST_SUITE_P(Containers, KeyFrameCut, ::testing::Values(".mp4", ".mkv", ".ts"),
                         [](const auto& info) { return std::string(info.param + 1); });

// Exact cuts: the frames whose times lie in [in, out), re-encoded, the
// sound cut with them.
TEST(ExactCut, HoldsTheFramesAskedForWithTheirSound) {
  const std::string a = g_in->File("a.mp4"), b = g_in->File("b.mp4");
  TempDir out;
  const std::string o = out.File("out.mp4");
  const CommandResult r = test::Run({CliPath(), "join", "-q", "-o", o, "--in", "1.5", "--out", "2.5", a, "--out", "1", b});
  ASSERT_EQ(r.exitCode, 0) << Said(r);
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", o, "-f", "null", "-"}).err, "");
  // 1.52 s to 2.48 s of a (25 frames), 0 to 0.96 s of b (25 frames).
  EXPECT_EQ(Probe(o, "stream=nb_read_frames", "v:0"), 50);
  EXPECT_NEAR(Probe(o, "stream=duration", "a:0"), 2.0, 0.05);
  // The first frame is a's frame at 1.52 s (testsrc draws the time).
  const CommandResult psnr = Shell("ffmpeg -nostdin -v info -i '" + o + "' -i '" + a +
                                   "' -filter_complex \"[0:v]trim=end_frame=1,setpts=PTS-STARTPTS[x];"
                                   "[1:v]trim=start_frame=38:end_frame=39,setpts=PTS-STARTPTS[y];[x][y]psnr\" "
                                   "-f null - 2>&1 | grep -o 'average:[0-9.inf]*'");
  ASSERT_FALSE(psnr.out.empty()) << psnr.err;
  const std::string v = psnr.out.substr(8);
  EXPECT_TRUE(v.rfind("inf", 0) == 0 || std::atof(v.c_str()) > 30) << psnr.out;
}

// Trims that leave nothing, and trims the route cannot keep, are refused
// with the file named; nothing is written.
TEST(Trim, RefusedWithTheFileNamed) {
  const std::string a = g_in->File("a.mp4"), b = g_in->File("b.mp4");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string said;
  } cases[] = {
      {{"--in", "2.5", "--out", "1.5", a, b}, 1, "File 1 (a.mp4): the in-point 00:02.500 is not before the out-point 00:01.500"},
      {{a, "--in", "5", b}, 1, "File 2 (b.mp4): the in-point 00:05.000 is past its end"},
      {{"--copy", "--in", "1", a, b}, 1, "exact cuts re-encode the files; cuts at key frames copy them"},
      {{"--smart", "--in", "1", a, b}, 1, "a smart join takes whole files"},
      {{a, b, "--in", "1"}, 2, "--in and --out go before the file they cut"},
      {{"--in", "1:75", a, b}, 2, "--in takes a time"},
      {{"--in", "-1", a, b}, 2, "--in takes a time"},
      {{"--cut", "gop", a, b}, 2, "--cut takes exact or keyframe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    TempDir out;
    const std::string o = out.File("out.mp4");
    std::vector<std::string> args = {CliPath(), "join", "-o", o};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CommandResult r = test::Run(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << Said(r);
    EXPECT_NE(Said(r).find(c.said), std::string::npos) << Said(r);
    EXPECT_TRUE(ReadFileBytes(o).empty());
  }
}

}  // namespace
}  // namespace vantrel::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  vantrel::test::g_in = new vantrel::test::Inputs;
  ::testing::AddGlobalTestEnvironment(vantrel::test::g_in);
  return RUN_ALL_TESTS();
}
