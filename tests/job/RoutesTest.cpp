// Every route of a join, on files from ffmpeg: each input is opened at most
// twice (once to probe it, once to join it), the parts a smart join makes
// included; and the engine carries out the plan it is given as it is given,
// deciding nothing again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <functional>
#include <map>
#include <sstream>

#include "job/Encoders.h"
#include "job/JoinCls.h"
#include "probe/FileInfo.h"
#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

// The inputs of every route, made once for this program.
struct Inputs {
  TempDir dir;
  std::vector<std::string> avi, mpeg, pieces, mp4, smart, title;
  std::vector<uint8_t> titleBytes;
};
Inputs* g_in = nullptr;

void Make(const std::string& args, const std::string& out) {
  const CommandResult r = Shell("ffmpeg -nostdin -v error -y " + args + " '" + out + "'");
  ASSERT_EQ(r.exitCode, 0) << args << "\n" << r.err;
}

const std::string kSource =
    "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=sample_rate=48000:duration=2 ";

class Routes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveTool("ffmpeg")) return;
    g_in = new Inputs;
    Inputs& in = *g_in;
    for (int i = 1; i <= 2; ++i) {
      const std::string n = std::to_string(i);
      in.avi.push_back(in.dir.File("a" + n + ".avi"));
      Make(kSource + "-c:v mpeg4 -c:a libmp3lame", in.avi.back());
      in.mpeg.push_back(in.dir.File("m" + n + ".mpg"));
      Make(kSource + "-c:v mpeg1video -c:a mp2 -f mpeg", in.mpeg.back());
      in.mp4.push_back(in.dir.File("c" + n + ".mp4"));
      Make(kSource + "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac", in.mp4.back());
    }
    in.smart = in.mp4;
    in.smart.push_back(in.dir.File("odd.mp4"));
    Make("-f lavfi -i testsrc=size=480x270:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
         "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac",
         in.smart.back());
    // A DVD title cut at a sector into two pieces.
    const std::string title = in.dir.File("title.vob");
    Make("-f lavfi -i testsrc=size=720x576:rate=25:duration=3 -f lavfi -i sine=sample_rate=48000:duration=3 "
         "-target pal-dvd -b:v 2M",
         title);
    in.titleBytes = ReadFileBytes(title);
    const size_t cut = in.titleBytes.size() / 2048 / 2 * 2048;
    for (int i = 0; i < 2; ++i) {
      in.pieces.push_back(in.dir.File("VTS_01_" + std::to_string(i + 1) + ".VOB"));
      WriteFileBytes(in.pieces.back(), std::vector<uint8_t>(in.titleBytes.begin() + (i ? cut : 0),
                                                            i ? in.titleBytes.end() : in.titleBytes.begin() + cut));
    }
  }
  static void TearDownTestSuite() {
    delete g_in;
    g_in = nullptr;
  }
  void SetUp() override {
    if (!g_in) GTEST_SKIP() << "no ffmpeg";
  }
};

// How many times each of the names was opened, by strace's lines.
size_t Opens(const std::string& log, const std::string& name) {
  size_t n = 0;
  for (size_t at = log.find("\"" + name + "\""); at != std::string::npos; at = log.find("\"" + name + "\"", at + 1)) ++n;
  return n;
}

struct OpenCase {
  const char* name;
  std::vector<std::string> Inputs::*inputs;
  std::vector<std::string> options;
  const char* output;
  const char* said;  // in what the join prints: the route it took
};

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class OpensAtMostTwice : public Routes, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpensAtMostTwice, ProbeAndJoin) {
  const OpenCase& c = GetParam();
  if (!HaveTool("strace")) GTEST_SKIP() << "no strace";
  TempDir out;
  const std::string output = out.File(c.output), log = out.File("trace");
  std::vector<std::string> args = {"strace", "-f", "-qq", "-e", "trace=open,openat,creat", "-o", log, CliPath(),
                                   "join", "-o", output};
  args.insert(args.end(), c.options.begin(), c.options.end());
  const std::vector<std::string>& inputs = (*g_in).*(c.inputs);
  args.insert(args.end(), inputs.begin(), inputs.end());
  const CommandResult r = test::Run(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
  const std::vector<uint8_t> bytes = ReadFileBytes(log);
  const std::string trace(bytes.begin(), bytes.end());
  for (const std::string& in : inputs) {
    // Listed twice, a file is opened for each of its places.
    const size_t listed = static_cast<size_t>(std::count(inputs.begin(), inputs.end(), in));
    EXPECT_GE(Opens(trace, in), listed) << in;
    EXPECT_LE(Opens(trace, in), 2 * listed) << in << "\n" << trace;
  }
  // The parts a smart join makes: written once and read once.
  std::istringstream lines(trace);
  std::map<std::string, size_t> parts;
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("-part");
    if (at == std::string::npos) continue;
    const size_t open = line.rfind('"', at), close = line.find('"', at);
    ++parts[line.substr(open + 1, close - open - 1)];
  }
  for (const auto& [part, n] : parts) EXPECT_LE(n, 2u) << part;
  EXPECT_EQ(parts.empty(), std::string(c.name) != "Smart") << trace;
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", output, "-f", "null", "-"}).err, "");
}

INSTANTIATE_TEST_SUITE_P(
    EveryRoute, OpensAtMostTwice,
    ::testing::Values(OpenCase{"AviCopy", &Inputs::avi, {}, "out.avi", "verified"},
                      OpenCase{"Mpeg1Copy", &Inputs::mpeg, {}, "out.mpg", "Joined 2 files"},
                      OpenCase{"StreamPieces", &Inputs::pieces, {}, "out.vob", ""},
                      OpenCase{"ContainerCopy", &Inputs::mp4, {}, "out.mp4", "verified"},
                      OpenCase{"Smart", &Inputs::smart, {}, "out.mp4", "Joining with a smart join"},
                      OpenCase{"Recompress", &Inputs::mp4, {"--recompress"}, "out.mkv", ""},
                      // vantrel-cli reads the AVI file, hands the join to the
                      // full command line, which reads it through the same
                      // handle.
                      OpenCase{"HandedOver", &Inputs::avi, {"--recompress", "--vcodec", "mpeg4"}, "out.avi", ""}),
    [](const auto& p) { return std::string(p.param.name); });

// ffprobe's answer for one entry of the output's streams, joined by
// commas: "video,audio", "320".
std::string Streams(const std::string& file, const std::string& entry) {
  const CommandResult r = test::Run({"ffprobe", "-v", "error", "-show_entries", "stream=" + entry, "-of", "csv=p=0", file});
  std::string s;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) s += (s.empty() ? "" : ",") + line;
  return s;
}

double Seconds(const std::string& file) {
  return std::atof(test::Run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file}).out.c_str());
}

struct PlanCase {
  const char* name;
  std::vector<std::string> Inputs::*inputs;
  const char* output;
  TJoinRoute asked;
  TPlanRoute route;
  // The plan changed after it was made, as no plan of the request would
  // have it.
  std::function<void(TJoinPlan&)> change;
  // What the output shows of the change.
  std::function<void(const std::string& output, const TJoinOutcome&)> check;
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

class CarriedOutAsGiven : public Routes, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(CarriedOutAsGiven, TheEngineDecidesNothingAgain) {
  const PlanCase& c = GetParam();
  TJoinRequest r;
  for (const std::string& f : (*g_in).*(c.inputs)) r.Files.push_back(GetVideoFileInfo(f));
  TempDir out;
  r.OutputFileName = out.File(c.output);
  r.Route = c.asked;
  TJoinPlan plan = Plan(r);
  ASSERT_EQ(plan.Route, c.route) << plan.Refusal;
  c.change(plan);
  TNoProgress none;
  const TJoinOutcome outcome = RunJoin(r, plan, AllEngines(), none);
  EXPECT_EQ(outcome.Plan.Id, plan.Id);
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", r.OutputFileName, "-f", "null", "-"}).err, "");
  c.check(r.OutputFileName, outcome);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRoute, CarriedOutAsGiven,
    ::testing::Values(
        // Sound the files could keep, left out by the plan.
        PlanCase{"AviCopy", &Inputs::avi, "out.avi", TJoinRoute::Auto, TPlanRoute::AviCopy, [](TJoinPlan& p) { p.WithoutSound = true; },
                 [](const std::string& o, const TJoinOutcome&) { EXPECT_EQ(Streams(o, "codec_type"), "video"); }},
        // Time stamps left as they are: the second file starts again.
        PlanCase{"Mpeg1Copy", &Inputs::mpeg, "out.mpg", TJoinRoute::Auto, TPlanRoute::MpegCopy,
                 [](TJoinPlan& p) { p.CorrectTimeStamps = false; },
                 [](const std::string& o, const TJoinOutcome&) { EXPECT_LT(Seconds(o), 3.0); }},
        PlanCase{"StreamPieces", &Inputs::pieces, "out.vob", TJoinRoute::Auto, TPlanRoute::StreamPieces, [](TJoinPlan&) {},
                 [](const std::string& o, const TJoinOutcome&) {
                   EXPECT_TRUE(ReadFileBytes(o) == g_in->titleBytes) << "the pieces are not the title again";
                 }},
        // The sound stream left out by the stream map alone.
        PlanCase{"ContainerCopy", &Inputs::mp4, "out.mp4", TJoinRoute::Auto, TPlanRoute::ContainerCopy,
                 [](TJoinPlan& p) {
                   for (TStreamPlan& s : p.Streams)
                     if (s.Kind == TStreamKind::Audio) s.Kept = false;
                 },
                 // The chapter track an MP4 carries shows as "data".
                 [](const std::string& o, const TJoinOutcome&) { EXPECT_EQ(Streams(o, "codec_type"), "video,data"); }},
        // A file alike the target re-encoded because the plan says so.
        PlanCase{"Smart", &Inputs::smart, "out.mp4", TJoinRoute::Auto, TPlanRoute::Smart,
                 [](TJoinPlan& p) { p.Files[1].Role = TFileRole::Reencoded; },
                 [](const std::string& o, const TJoinOutcome& done) {
                   EXPECT_EQ(done.Report.Notes.back(), "1 file copied, 2 re-encoded");
                   EXPECT_NEAR(Seconds(o), 5.0, 0.1);
                 }},
        // A frame size no default would give.
        PlanCase{"Recompress", &Inputs::mp4, "out.mkv", TJoinRoute::Recompress, TPlanRoute::Recompress,
                 [](TJoinPlan& p) {
                   p.Recompress.FrameWidth = 160;
                   p.Recompress.FrameHeight = 96;
                 },
                 [](const std::string& o, const TJoinOutcome&) { EXPECT_EQ(Streams(o, "width"), "160"); }}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel::test
