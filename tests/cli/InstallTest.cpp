// cmake --install places what a Linux desktop and a Debian user look for,
// the installed command line works on its own, its help, manual pages and
// completion agree, and the Debian package passes lintian.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <set>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

std::string ReadText(const std::string& path) {
  auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// The names in a folder, sorted.
std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The options a text names: -x or --word after white space or one of [ | ( ,
// so that "re-encode" or "MPEG-1" are not taken for options.
std::set<std::string> Options(const std::string& text) {
  static const std::regex option(R"([\s\[|(,](--?[a-z](?:[a-z0-9-]*[a-z0-9])?))");
  std::set<std::string> found;
  const std::string t = "\n" + text;
  for (auto it = std::sregex_iterator(t.begin(), t.end(), option); it != std::sregex_iterator(); ++it)
    found.insert((*it)[1].str());
  return found;
}

std::string Missing(const std::set<std::string>& wanted, const std::set<std::string>& have) {
  std::string missing;
  for (const std::string& o : wanted)
    if (!have.count(o)) missing += o + " ";
  return missing;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// A fresh install of the build tree for each test.
class Install : public ::testing::Test {
 protected:
  void SetUp() override {
    auto r = vantrel::test::Run({"cmake", "--install", VANTREL_BUILD_DIR, "--prefix", prefix_.Path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  std::string At(const std::string& relative) const { return prefix_.File(relative); }
  std::string Cli() const { return At("bin/vantrel-cli"); }

  TempDir prefix_;
};

TEST_F(Install, PutsEachFileWhereADebianSystemLooksForIt) {
  using V = std::vector<std::string>;
  // Only the commands users type are in bin/; the full command line that
  // vantrel-cli runs is in lib/vantrel/, the manual in share/doc/vantrel/.
  EXPECT_EQ(Entries(At("bin")), (V{"vantrel", "vantrel-cli"}));
  EXPECT_EQ(Entries(At("lib")), (V{"vantrel"}));
  EXPECT_EQ(Entries(At("lib/vantrel")), (V{"vantrel-cli-full"}));
  EXPECT_EQ(::access(At("lib/vantrel/vantrel-cli-full").c_str(), X_OK), 0);
  EXPECT_EQ(Entries(At("share/doc/vantrel")), (V{"changelog.gz", "copyright", "manual.html"}));
  EXPECT_EQ(Entries(At("share/man/man1")), (V{"vantrel-cli.1.gz", "vantrel.1.gz"}));
  for (const char* f : {"share/applications/vantrel.desktop", "share/icons/hicolor/scalable/apps/vantrel.svg",
                        "share/mime/packages/vantrel.xml", "share/metainfo/org.vantrel.vantrel.metainfo.xml",
                        "share/bash-completion/completions/vantrel-cli", "share/doc-base/vantrel"})
    EXPECT_TRUE(Exists(At(f))) << f;
  const std::string desktop = ReadText(At("share/applications/vantrel.desktop"));
  EXPECT_NE(desktop.find("application/x-vantrel-project"), std::string::npos);
  EXPECT_NE(desktop.find("Exec=vantrel %F"), std::string::npos);

  // A new version gets its changelog entry and its AppStream release.
  auto log = Shell("gzip -dc " + Quoted(At("share/doc/vantrel/changelog.gz")) + " | head -n 1");
  EXPECT_EQ(log.out.rfind("vantrel (" VANTREL_VERSION ") ", 0), 0u) << log.out;
  const std::string metainfo = ReadText(At("share/metainfo/org.vantrel.vantrel.metainfo.xml"));
  EXPECT_NE(metainfo.find("<release version=\"" VANTREL_VERSION "\""), std::string::npos);
  auto v = vantrel::test::Run({Cli(), "--version"});
  EXPECT_EQ(v.exitCode, 0) << v.err;
  EXPECT_EQ(v.out, "vantrel-cli " VANTREL_VERSION "\n");
  auto gv = vantrel::test::Run({At("bin/vantrel"), "--version"});
  EXPECT_EQ(gv.exitCode, 0) << gv.err;
  EXPECT_EQ(gv.out, "vantrel " VANTREL_VERSION "\n");

  // The installed command line joins two files by itself, and finds the
  // full command line in lib/vantrel/ for what it hands over (codecs).
  TempDir work;
  for (const char* name : {"a.avi", "b.avi"}) {
    auto m = vantrel::test::Run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                 "testsrc=size=160x120:rate=25:duration=1", "-c:v", "mpeg4", work.File(name)});
    ASSERT_EQ(m.exitCode, 0) << m.err;
  }
  auto j = vantrel::test::Run({Cli(), "join", "-q", "-o", work.File("out.avi"), work.File("a.avi"), work.File("b.avi")});
  EXPECT_EQ(j.exitCode, 0) << j.err;
  EXPECT_EQ(ProbePackets(work.File("out.avi")).size(),
            ProbePackets(work.File("a.avi")).size() + ProbePackets(work.File("b.avi")).size());
  auto c = vantrel::test::Run({Cli(), "codecs", "--audio"});
  EXPECT_EQ(c.exitCode, 0) << c.err;
  EXPECT_EQ(c.out.rfind("No-compressing\n", 0), 0u);
}

TEST_F(Install, HelpAnswersPerCommandAndTheManualPagesNameTheSameOptions) {
  auto full = vantrel::test::Run({Cli(), "--help"});
  ASSERT_EQ(full.exitCode, 0) << full.err;
  const std::set<std::string> all = Options(full.out);
  for (const char* command : {"join", "probe", "codecs", "project"}) {
    SCOPED_TRACE(command);
    auto h = vantrel::test::Run({Cli(), command, "--help"});
    EXPECT_EQ(h.exitCode, 0) << h.err;
    EXPECT_EQ(h.err, "");
    EXPECT_EQ(h.out.rfind(std::string("Usage:\n  vantrel-cli ") + command + " ", 0), 0u) << h.out;
    for (const char* other : {"join", "probe", "codecs", "project"}) {
      if (std::string(other) != command) {
        EXPECT_EQ(h.out.find(std::string("\n") + other + ": "), std::string::npos) << other << "'s section";
      }
    }
    EXPECT_EQ(Missing(Options(h.out), all), "");
    EXPECT_EQ(vantrel::test::Run({Cli(), command, "-h"}).out, h.out);
    EXPECT_EQ(vantrel::test::Run({Cli(), "help", command}).out, h.out);
  }
  const std::string join = vantrel::test::Run({Cli(), "join", "--help"}).out;
  EXPECT_NE(join.find("--verify"), std::string::npos);
  EXPECT_EQ(join.find("--json"), std::string::npos);
  const std::string probe = vantrel::test::Run({Cli(), "probe", "--help"}).out;
  EXPECT_NE(probe.find("--json"), std::string::npos);
  EXPECT_EQ(probe.find("--copy"), std::string::npos);

  // Each page reads without a warning from man and names exactly the
  // options its program's --help names.
  auto gui = vantrel::test::Run({At("bin/vantrel"), "--help"});
  EXPECT_EQ(gui.exitCode, 0) << gui.err;
  const std::pair<const char*, std::string> pages[] = {{"vantrel-cli", full.out}, {"vantrel", gui.out}};
  for (const auto& [page, help] : pages) {
    SCOPED_TRACE(page);
    auto m = Shell("LC_ALL=C MANWIDTH=80 man --warnings -l " + Quoted(At("share/man/man1/") + page + ".1.gz"));
    EXPECT_EQ(m.exitCode, 0) << m.err;
    EXPECT_EQ(m.err, "");
    EXPECT_NE(m.out.find(std::string("NAME\n       ") + page + " - "), std::string::npos) << m.out;
    const std::set<std::string> inPage = Options(m.out), inHelp = Options(help);
    EXPECT_GE(inHelp.size(), 4u);
    EXPECT_EQ(Missing(inHelp, inPage), "") << "in --help, not in the manual page";
    EXPECT_EQ(Missing(inPage, inHelp), "") << "in the manual page, not in --help";
  }
}

TEST_F(Install, BashCompletesCommandsOptionsAndFilesByExtension) {
  TempDir work;
  for (const char* f : {"a.avi", "C.MKV", "notes.txt", "list.qmf"}) WriteFileBytes(work.File(f), {0});
  ASSERT_EQ(::mkdir(work.File("folder").c_str(), 0755), 0);
  const std::string script =
      "export LC_ALL=C; cd " + Quoted(work.Path()) + " && source " +
      Quoted(At("share/bash-completion/completions/vantrel-cli")) +
      " && c() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _vantrel_cli;"
      " printf '%s|' \"${COMPREPLY[@]}\"; echo; }\n"
      "c vantrel-cli jo; c vantrel-cli join --pr; c vantrel-cli join -q ''; c vantrel-cli join --project '';"
      " c vantrel-cli probe --j; c vantrel-cli project show ''; complete -p vantrel-cli";
  auto r = vantrel::test::Run({"bash", "--norc", "--noprofile", "-c", script});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "join|\n"
            "--project|\n"
            "C.MKV|a.avi|folder/|\n"  // video files of either case, and folders to go into
            "folder/|list.qmf|\n"
            "--json|\n"
            "folder/|list.qmf|\n"
            "complete -F _vantrel_cli vantrel-cli\n");
}

TEST_F(Install, DesktopEntryAndAppStreamMetadataValidate) {
  if (!HaveTool("desktop-file-validate") || !HaveTool("appstreamcli"))
    GTEST_SKIP() << "desktop-file-utils or appstream is not installed (scripts/install-deps.sh installs them)";
  auto d = vantrel::test::Run({"desktop-file-validate", At("share/applications/vantrel.desktop")});
  EXPECT_EQ(d.exitCode, 0) << d.out << d.err;
  EXPECT_EQ(d.out.find("error:"), std::string::npos) << d.out;
  EXPECT_EQ(d.out.find("warning:"), std::string::npos) << d.out;
  auto m = vantrel::test::Run({"appstreamcli", "validate", "--no-net", At("share/metainfo/org.vantrel.vantrel.metainfo.xml")});
  EXPECT_EQ(m.exitCode, 0) << m.out << m.err;
  // The tree as a whole: the metadata's launchable is the installed entry.
  auto t = vantrel::test::Run({"appstreamcli", "validate-tree", "--no-net", prefix_.Path()});
  EXPECT_EQ(t.exitCode, 0) << t.out << t.err;
}

TEST_F(Install, DebianPackageIsStrippedAndPassesLintian) {
  if (!HaveTool("cpack") || !HaveTool("dpkg-deb") || !HaveTool("lintian"))
    GTEST_SKIP() << "cpack, dpkg-deb or lintian is not installed (scripts/install-deps.sh installs them)";
  TempDir out;
  auto p = vantrel::test::Run({"cpack", "-G", "DEB", "--config", VANTREL_BUILD_DIR "/CPackConfig.cmake", "-B", out.Path()});
  ASSERT_EQ(p.exitCode, 0) << p.out << p.err;
  const std::string arch = Shell("dpkg --print-architecture | tr -d '\\n'").out;
  const std::string deb = out.File("vantrel_" VANTREL_VERSION "_" + arch + ".deb");
  ASSERT_TRUE(Exists(deb)) << p.out;
  EXPECT_TRUE(Exists(out.File("vantrel-dbgsym_" VANTREL_VERSION "_" + arch + ".ddeb"))) << p.out;

  auto list = vantrel::test::Run({"dpkg-deb", "-c", deb});
  EXPECT_NE(list.out.find("./usr/lib/vantrel/vantrel-cli-full\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("./usr/share/doc/vantrel/manual.html\n"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find("./usr/bin/vantrel-cli-full"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find("./usr/lib/debug/"), std::string::npos) << list.out;
  ASSERT_EQ(vantrel::test::Run({"dpkg-deb", "-x", deb, out.File("root")}).exitCode, 0);
  for (const char* exe : {"usr/bin/vantrel", "usr/bin/vantrel-cli", "usr/lib/vantrel/vantrel-cli-full"}) {
    auto f = vantrel::test::Run({"file", "-b", out.File("root/") + exe});
    EXPECT_NE(f.out.find(", stripped"), std::string::npos) << exe << ": " << f.out;
  }

  // Errors and warnings fail; notes (I:) do not.
  auto l = vantrel::test::Run({"lintian", "--fail-on", "error,warning", deb});
  EXPECT_EQ(l.exitCode, 0) << l.out << l.err;
  EXPECT_EQ(("\n" + l.out).find("\nE: "), std::string::npos) << l.out;
  EXPECT_EQ(("\n" + l.out).find("\nW: "), std::string::npos) << l.out;
}

}  // namespace
}  // namespace vantrel::test
