// The join job's routing and refusals.
#include "job/JoinCls.h"
#include "job/Engines.h"
#include "plan/JoinOptions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;

TVideoFileInfo Info(const std::string& name, const std::string& type) {
  TVideoFileInfo i;
  i.FileName = name;
  i.MediaType = type;
  return i;
}

std::string MessageOf(const TJoinRequest& o) {
  try {
    test::Join(o);
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

std::string Failure(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

class RefusedMediaType : public ::testing::TestWithParam<const char*> {};

TEST_P(RefusedMediaType, NamesTheTypeAndWritesNothing) {
  TempDir dir;
  test::WriteFileBytes(dir.File("in"), std::vector<uint8_t>(64, 0));
  TJoinRequest o;
  o.Files = {Info(dir.File("in"), GetParam())};
  o.OutputFileName = dir.File("out.avi");
  o.Route = TJoinRoute::Copy;
  EXPECT_EQ(MessageOf(o), std::string("Unable to join ") + GetParam() + " files without recompression");
  EXPECT_NE(access(o.OutputFileName.c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(Types, RefusedMediaType, ::testing::Values("DirectShow", "MPEG2", "WMV", "RealMedia"));

TEST(JoinJob, OutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  std::string in = dir.File("in.avi");
  std::vector<uint8_t> content(100, 7);
  test::WriteFileBytes(in, content);
  ASSERT_EQ(link(in.c_str(), dir.File("hard.avi").c_str()), 0);
  ASSERT_EQ(symlink(in.c_str(), dir.File("soft.avi").c_str()), 0);
  for (const std::string& out : {in, dir.File("hard.avi"), dir.File("soft.avi"), dir.Path() + "/../" +
                                                                                     dir.Path().substr(dir.Path().rfind('/') + 1) + "/in.avi"}) {
    TJoinRequest o;
    o.Files = {Info(dir.File("other.avi"), "AVI"), Info(in, "AVI")};
    o.OutputFileName = out;
    EXPECT_EQ(MessageOf(o), "The output file is one of the input files") << out;
    EXPECT_EQ(test::ReadFileBytes(in), content);
  }
}

TEST(JoinJob, EmptyListIsAnError) {
  TJoinRequest o;
  o.OutputFileName = "/tmp/never-written.avi";
  EXPECT_EQ(MessageOf(o), "There are no files to join");
}

// Engines that record the plans the job gives them, and join nothing.
struct RecordingEngines final : IEngines {
  mutable std::vector<std::pair<TPlanRoute, uint64_t>> calls;
  bool runsAll = true;
  bool Runs(TPlanRoute route) const override { return runsAll || route == TPlanRoute::AviCopy; }
  TJoinReport Join(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                   IProgress&) const override {
    calls.emplace_back(plan.Route, plan.Id);
    EXPECT_EQ(files.size(), plan.Files.size());
    test::WriteFileBytes(out, {1});
    return {};
  }
};

// The job carries out the plan it is given, as it is given: it makes none
// of its own, and a plan it has no engine for, or one that refuses, joins
// nothing.
TEST(JoinJob, RunsThePlanItIsGivenAndNoOther) {
  TempDir dir;
  TJoinRequest o;
  o.Files = {Info(dir.File("a.avi"), "AVI"), Info(dir.File("b.avi"), "AVI")};
  o.OutputFileName = dir.File("out.avi");
  TJoinPlan plan = MakeJoinPlan(o);
  ASSERT_EQ(plan.Route, TPlanRoute::AviCopy);
  RecordingEngines engines;
  TNoProgress none;
  EXPECT_EQ(RunJoin(o, plan, engines, none).Plan.Id, plan.Id);
  // Changed after it was made, it is still the plan carried out.
  plan.Route = TPlanRoute::Recompress;
  RunJoin(o, plan, engines, none);
  const std::vector<std::pair<TPlanRoute, uint64_t>> expected = {{TPlanRoute::AviCopy, plan.Id},
                                                                  {TPlanRoute::Recompress, plan.Id}};
  EXPECT_EQ(engines.calls, expected);
  engines.runsAll = false;
  EXPECT_EQ(Failure([&] { RunJoin(o, plan, engines, none); }), "This program has no engine for this join");
  plan.Route = TPlanRoute::None;
  plan.Refusal = "Unable to join AVI files without recompression";
  EXPECT_EQ(Failure([&] { RunJoin(o, plan, engines, none); }), plan.Refusal);
  EXPECT_EQ(engines.calls.size(), 2u);
  // A rate that is not a number is refused in the front end's conversion.
  EXPECT_THROW(StrToFloat("fast"), EConvertError);
  EXPECT_DOUBLE_EQ(StrToFloat("12,5", ','), 12.5);
}

}  // namespace
}  // namespace vantrel
