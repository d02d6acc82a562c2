// When a smart join applies, from the probe results alone: the files that
// hold most of the playing time are copied, the others named with what sets
// them apart; where it does not apply, the reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plan/JoinPlan.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

struct Clip {
  std::string name;
  double seconds = 10;
  std::string size = "1920x1080";
  std::string codec = "h264";
  std::string pixels = "yuv420p";
  std::string container = "MP4";
  uint8_t sets = 0xA1;
};

TVideoFileInfo Info(const Clip& c) {
  test::ClipSpec s;
  s.name = c.name;
  s.seconds = c.seconds;
  const size_t x = c.size.find('x');
  s.width = std::stoi(c.size.substr(0, x));
  s.height = std::stoi(c.size.substr(x + 1));
  s.codec = c.codec;
  s.pixels = c.pixels;
  s.container = c.container;
  s.sets = {c.sets};
  return test::ProbedClip(s);
}

struct PlanCase {
  const char* name;
  std::vector<Clip> files;
  std::string output;
  std::string said;  // the description, or why not
  std::vector<bool> reencode = {};
};

void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

class SmartPlans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(SmartPlans, ApplyWhereMostOfTheTimeIsAlike) {
  const PlanCase& c = GetParam();
  TJoinRequest r;
  for (const Clip& f : c.files) r.Files.push_back(Info(f));
  r.OutputFileName = c.output;
  // Asked for, it is the plan or refused with the reason; by default, the
  // plan takes it only where it applies.
  r.Route = TJoinRoute::Smart;
  const TJoinPlan asked = test::Plan(r);
  const bool applies = !c.reencode.empty();
  if (applies && !asked.Accepted() && asked.Refusal.find("this system has no") != std::string::npos)
    GTEST_SKIP() << asked.Refusal;
  EXPECT_EQ(asked.Accepted() ? asked.SmartDescription : asked.Refusal,
            applies ? c.said : "Unable to join these files with a smart join: " + c.said);
  if (applies) EXPECT_EQ(asked.Reencoded(), c.reencode);
  r.Route = TJoinRoute::Auto;
  const TJoinPlan plan = test::Plan(r);
  EXPECT_EQ(plan.Kind() == TEngineKind::Mixed, applies) << plan.Refusal;
}

INSTANTIATE_TEST_SUITE_P(
    Sets, SmartPlans,
    ::testing::Values(
        // One long recording beside two short clips of another size: the
        // time, not the count, decides.
        PlanCase{"MostOfTheTimeNotMostFiles",
                 {{"long.mp4", 60}, {"b.mp4", 10, "1280x720"}, {"c.mp4", 10, "1280x720"}},
                 "out.mp4",
                 "1 file copied, 2 re-encoded to 1920x1080 H.264: b.mp4 (video 1280x720), c.mp4 (video 1280x720)",
                 {false, true, true}},
        PlanCase{"OddFirstIntoMatroska",
                 {{"hevc.mkv", 10, "1920x1080", "hevc", "yuv420p", "Matroska"},
                  {"a.mkv", 10, "1920x1080", "h264", "yuv420p", "Matroska"},
                  {"b.mkv", 10, "1920x1080", "h264", "yuv420p", "Matroska"}},
                 "",
                 "2 files copied, 1 re-encoded to 1920x1080 H.264: hevc.mkv (video hevc)",
                 {true, false, false}},
        PlanCase{"AnotherWritersSets", {{"a.mp4"}, {"b.mp4"}, {"gst.mp4", 5, "1920x1080", "h264", "yuv420p", "MP4", 0xB2}},
                 "out.mp4", "2 files copied, 1 re-encoded to 1920x1080 H.264: gst.mp4 (video codec parameter sets differ from the first file's)",
                 {false, false, true}},
        PlanCase{"HalfIsNotMost", {{"a.mp4", 30}, {"b.mp4", 30, "1280x720"}}, "out.mp4",
                 "no files with identical streams hold most of the playing time"},
        PlanCase{"EveryFileAlike", {{"a.mp4"}, {"b.mp4"}}, "out.mp4", "the files can be joined without recompression"},
        PlanCase{"HevcTarget",
                 {{"a.mp4", 10, "1920x1080", "hevc"}, {"b.mp4", 10, "1920x1080", "hevc"}, {"c.mp4", 5}},
                 "out.mp4", "2 files copied, 1 re-encoded to 1920x1080 HEVC: c.mp4 (video h264)", {false, false, true}},
        PlanCase{"Vp9InWebm",
                 {{"a.webm", 10, "1920x1080", "vp9", "yuv420p", "WebM"},
                  {"b.webm", 10, "1920x1080", "vp9", "yuv420p", "WebM"},
                  {"c.webm", 5, "1920x1080", "h264", "yuv420p", "WebM"}},
                 "", "2 files copied, 1 re-encoded to 1920x1080 VP9: c.webm (video h264)", {false, false, true}},
        PlanCase{"Av1InMatroska",
                 {{"a.mkv", 10, "1920x1080", "av1", "yuv420p", "Matroska"},
                  {"b.mkv", 10, "1920x1080", "av1", "yuv420p", "Matroska"},
                  {"c.mkv", 5, "1920x1080", "h264", "yuv420p", "Matroska"}},
                 "out.mkv", "2 files copied, 1 re-encoded to 1920x1080 AV1: c.mkv (video h264)", {false, false, true}},
        PlanCase{"Mpeg4PartTwoIsNotEncodedHere",
                 {{"a.mp4", 10, "1920x1080", "mpeg4"}, {"b.mp4", 10, "1920x1080", "mpeg4"}, {"c.mp4", 5}},
                 "out.mp4", "a smart join encodes H.264, HEVC, VP9 and AV1 only, and the files that would be copied hold mpeg4"},
        PlanCase{"TenBitPictures",
                 {{"a.mp4", 10, "1920x1080", "h264", "yuv420p10le"}, {"b.mp4", 10, "1920x1080", "h264", "yuv420p10le"},
                  {"c.mp4", 5}},
                 "out.mp4", "a smart join encodes 8-bit 4:2:0 progressive H.264 only, not pixel format yuv420p10le"},
        PlanCase{"FlashVideo",
                 {{"a.flv", 10, "1920x1080", "h264", "yuv420p", "FLV"}, {"b.flv", 10, "1920x1080", "h264", "yuv420p", "FLV"},
                  {"c.mp4", 5}},
                 "out.flv", "a smart join copies MP4, MOV, Matroska, WebM and MPEG-TS files, not FLV files"},
        PlanCase{"AnAviOutput", {{"a.mp4"}, {"b.mp4"}, {"c.mp4", 5, "1280x720"}}, "out.avi",
                 "a smart join of these files writes .mp4 files, not .avi"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel
