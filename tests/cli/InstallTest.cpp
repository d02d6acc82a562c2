// cmake --install places what a Linux desktop needs, and the installed
// command line works on its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

TEST(Install, IntoATemporaryPrefix) {
  TempDir prefix;
  auto r = vantrel::test::Run({"cmake", "--install", VANTREL_BUILD_DIR, "--prefix", prefix.Path()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string bin = prefix.File("bin");
  for (const char* f : {"vantrel", "vantrel-cli", "vantrel-cli-full", "manual.html"})
    EXPECT_TRUE(Exists(bin + "/" + f)) << f;
  EXPECT_TRUE(Exists(prefix.File("share/applications/vantrel.desktop")));
  EXPECT_TRUE(Exists(prefix.File("share/icons/hicolor/scalable/apps/vantrel.svg")));
  EXPECT_TRUE(Exists(prefix.File("share/mime/packages/vantrel.xml")));
  auto desktop = ReadFileBytes(prefix.File("share/applications/vantrel.desktop"));
  std::string text(desktop.begin(), desktop.end());
  EXPECT_NE(text.find("application/x-vantrel-project"), std::string::npos);
  EXPECT_NE(text.find("Exec=vantrel %F"), std::string::npos);

  // The installed command line joins two files, by itself and through the
  // full command line it hands recompression to.
  TempDir work;
  for (const char* name : {"a.avi", "b.avi"}) {
    auto m = vantrel::test::Run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1",
                  "-c:v", "mpeg4", work.File(name)});
    ASSERT_EQ(m.exitCode, 0) << m.err;
  }
  auto j = vantrel::test::Run({bin + "/vantrel-cli", "join", "-q", "-o", work.File("out.avi"), work.File("a.avi"), work.File("b.avi")});
  EXPECT_EQ(j.exitCode, 0) << j.err;
  EXPECT_EQ(ProbePackets(work.File("out.avi")).size(),
            ProbePackets(work.File("a.avi")).size() + ProbePackets(work.File("b.avi")).size());
  auto c = vantrel::test::Run({bin + "/vantrel-cli", "codecs", "--audio"});
  EXPECT_EQ(c.exitCode, 0) << c.err;
  EXPECT_EQ(c.out.rfind("No-compressing\n", 0), 0u);
}

}  // namespace
}  // namespace vantrel::test
