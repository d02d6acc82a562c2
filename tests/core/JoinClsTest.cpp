// The join job's routing and refusals.
#include "core/JoinCls.h"
#include "core/RecompressEngine.h"

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

std::string MessageOf(const TJoinRequest& o, const TJoinEngines& engines = AllEngines()) {
  try {
    RunJoin(o, engines);
  } catch (const Exception& e) {
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

// An engine that records what the job asked of it.
struct FakeEngine final : IJoinEngine {
  bool copies;
  std::string refusal;
  std::vector<std::string>* calls;
  std::string name;
  TEngineKind Kind() const override { return copies ? TEngineKind::Copy : TEngineKind::Recompress; }
  TEngineAnswer Answer(const TJoinRequest&) const override {
    TEngineAnswer a;
    a.Verdict = refusal.empty() ? TEngineAnswer::Joins : TEngineAnswer::OtherFormat;
    a.Reason = refusal;
    return a;
  }
  TJoinReport Join(const TJoinRequest& r, IProgress&) override {
    calls->push_back(name + "@" + std::to_string(r.Recompress.FrameRate));
    return {};
  }
};

TEST(JoinJob, ChoosesTheFirstWillingEngineOfTheRequestedKind) {
  TempDir dir;
  std::vector<std::string> calls;
  auto make = [&](bool copies, std::string refusal, std::string name) {
    auto e = std::make_unique<FakeEngine>();
    e->copies = copies;
    e->refusal = std::move(refusal);
    e->calls = &calls;
    e->name = std::move(name);
    return e;
  };
  TJoinEngines engines;
  engines.push_back(make(true, "not mine", "copyA"));
  engines.push_back(make(false, "", "recompress"));
  engines.push_back(make(true, "", "copyB"));
  TJoinRequest o;
  o.Files = {Info(dir.File("in"), "AVI")};
  o.OutputFileName = dir.File("out.avi");
  o.Route = TJoinRoute::Copy;
  o.Recompress.FrameRate = StrToFloat("12,5", ',');
  test::ProgressLog log;
  test::ScopedRecorder recorder(log);
  RunJoin(o, engines);
  o.Route = TJoinRoute::Recompress;
  RunJoin(o, engines);
  // Asked for nothing in particular, files that copy are copied.
  o.Route = TJoinRoute::Auto;
  RunJoin(o, engines);
  EXPECT_EQ(calls, (std::vector<std::string>{"copyB@12.500000", "recompress@12.500000", "copyB@12.500000"}));
  EXPECT_EQ(log.text, "The selected file is being joined. Please wait...");
  EXPECT_TRUE(log.shown);
  // Several files are spoken of as files, whichever engine joins them.
  o.Files.push_back(Info(dir.File("in2"), "AVI"));
  RunJoin(o, engines);
  EXPECT_EQ(log.text, "The selected files are being joined. Please wait...");
  calls.pop_back();
  // A rate that is not a number is refused in the front end's conversion.
  EXPECT_THROW(StrToFloat("fast"), EConvertError);
  // Without a willing engine of the kind asked for, the type is named.
  engines.pop_back();
  o.Route = TJoinRoute::Copy;
  EXPECT_EQ(MessageOf(o, engines), "Unable to join AVI files without recompression");
}

}  // namespace
}  // namespace vantrel
