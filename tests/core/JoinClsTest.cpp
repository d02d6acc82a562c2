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

std::string MessageOf(const TJoinOptions& o) {
  try {
    RunJoin(o, AllEngines());
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

class RefusedMediaType : public ::testing::TestWithParam<const char*> {};

TEST_P(RefusedMediaType, NamesTheTypeAndWritesNothing) {
  TempDir dir;
  test::WriteFileBytes(dir.File("in"), std::vector<uint8_t>(64, 0));
  TJoinOptions o;
  o.Files = {Info(dir.File("in"), GetParam())};
  o.OutputFileName = dir.File("out.avi");
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
    TJoinOptions o;
    o.Files = {Info(dir.File("other.avi"), "AVI"), Info(in, "AVI")};
    o.OutputFileName = out;
    EXPECT_EQ(MessageOf(o), "The output file is one of the input files") << out;
    EXPECT_EQ(test::ReadFileBytes(in), content);
  }
}

TEST(JoinJob, EmptyListIsAnError) {
  TJoinOptions o;
  o.OutputFileName = "/tmp/never-written.avi";
  EXPECT_EQ(MessageOf(o), "There are no files to join");
}

}  // namespace
}  // namespace vantrel
