// Project files through the command line: save, show, and join from one.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

TEST(ProjectCli, SaveShowAndJoin) {
  TempDir dir;
  for (const char* name : {"b.avi", "a.avi"}) {
    auto m = vantrel::test::Run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                 "testsrc=size=160x120:rate=25:duration=1", "-c:v", "mpeg4", dir.File(name)});
    ASSERT_EQ(m.exitCode, 0) << m.err;
  }
  // Paths with an apostrophe and a space survive the text form.
  std::string odd = dir.File("it's a.avi");
  ASSERT_EQ(vantrel::test::Run({"cp", dir.File("a.avi"), odd}).exitCode, 0);
  const std::string project = dir.File("p.qmf");
  auto r = vantrel::test::Run({CliPath(), "project", "save", project, dir.File("b.avi"), odd});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = vantrel::test::Run({CliPath(), "project", "show", project});
  EXPECT_EQ(r.out, dir.File("b.avi") + "\n" + odd + "\n");
  r = vantrel::test::Run({CliPath(), "join", "-q", "--project", project, "-o", dir.File("out.avi")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ProbePackets(dir.File("out.avi")).size(), 2 * ProbePackets(dir.File("a.avi")).size());

  WriteFileBytes(dir.File("bad.qmf"), Text("object TProjectSettings\r\n  Caption = 'x'\r\nend\r\n"));
  r = vantrel::test::Run({CliPath(), "project", "show", dir.File("bad.qmf")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "vantrel-cli: The project file is corrupted\n");
  r = vantrel::test::Run({CliPath(), "join", "-q", "--project", dir.File("none.qmf"), "-o", dir.File("x.avi")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "vantrel-cli: Cannot open file " + dir.File("none.qmf") + "\n");
}

// project save replaces a project and nothing else: a video named by
// mistake (the first of "project save *.avi"), one of the project's own
// files, or a device stays what it was.
TEST(ProjectCli, SaveReplacesOnlyAProject) {
  TempDir dir;
  const std::string video = dir.File("a.avi"), other = dir.File("b.avi"), project = dir.File("p.qmf");
  WriteFileBytes(video, Text("RIFF....AVI LIST stands for a video"));
  WriteFileBytes(other, Text("RIFF....AVI LIST stands for another"));
  const std::vector<uint8_t> before = ReadFileBytes(video);
  struct Case {
    const char* name;
    std::string target;
    std::string err;
  };
  const Case cases[] = {
      {"AVideo", video, "vantrel-cli: " + video + " is not a project file; it was left as it is\n"},
      {"OneOfItsFiles", other, "vantrel-cli: The project file is one of its files: " + other + "\n"},
      {"ADevice", "/dev/null", "vantrel-cli: /dev/null is not a regular file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CommandResult r = vantrel::test::Run({CliPath(), "project", "save", c.target, other});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_TRUE(ReadFileBytes(video) == before);
  // A project is replaced by the new one, whole.
  ASSERT_EQ(vantrel::test::Run({CliPath(), "project", "save", project, video}).exitCode, 0);
  ASSERT_EQ(vantrel::test::Run({CliPath(), "project", "save", project, other, video}).exitCode, 0);
  EXPECT_EQ(vantrel::test::Run({CliPath(), "project", "show", project}).out, other + "\n" + video + "\n");
}

}  // namespace
}  // namespace vantrel::test
