// Outputs that cannot be written or that are an input under another name,
// through the join job as the front ends run it: the join is refused with
// a message, nothing reports success, and no input is touched.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "avi/AviTestFiles.h"
#include "base/Exceptions.h"
#include "job/JoinCls.h"
#include "job/JoinCls.h"
#include "HardeningSupport.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;

enum class Engine { AVI, MPEG };

// What creating the file gives, asked of the system directly: the engines
// are to report the same.
int CreateError(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd >= 0) {
    ::close(fd);
    ::unlink(path.c_str());
    return 0;
  }
  return errno;
}

struct Layout {
  TempDir dir;
  std::vector<std::string> inputs;
  std::vector<std::vector<uint8_t>> contents;
};

struct OutputCase {
  const char* name;
  Engine engine;
  // The output's path, made in the layout's folder.
  std::string (*make)(Layout& l);
  // The expected message from the output's path; empty: not decided here.
  std::string (*message)(Engine engine, const std::string& output);
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

std::string SameAsAnInput(Engine, const std::string&) { return "The output file is one of the input files"; }

// The system's own error naming the file for AVI; the MPEG joiner names the
// file alone.
std::string CannotCreate(Engine engine, const std::string& output) {
  if (engine == Engine::MPEG) return "Cannot create file " + output;
  int e = CreateError(output);
  if (e == 0) return "(the system creates " + output + ")";
  const std::string folder = output.substr(0, output.rfind('/'));
  const bool folderRefuses = e == EACCES || e == EPERM || e == EROFS;
  return SysErrorMessage(e) + "\nCannot create file " + output +
         (folderRefuses ? ": the folder " + folder + " cannot be written to" : "");
}

std::string IsAFolder(Engine engine, const std::string& output) {
  if (engine == Engine::MPEG) return "Cannot create file " + output;
  return "Unable to overwrite the file " + output + ".\r\nPossible the file is blocked by other application.";
}

class FaultOutputPath : public ::testing::TestWithParam<OutputCase> {};

TEST_P(FaultOutputPath, IsRefusedAndNoInputIsTouched) {
  const OutputCase& c = GetParam();
  Layout l;
  for (int i = 0; i < 2; ++i) {
    std::string name = l.dir.File(std::string("in") + std::to_string(i) + (c.engine == Engine::AVI ? ".avi" : ".mpg"));
    if (c.engine == Engine::AVI) {
      test::SynthAvi s;
      s.seed = i + 1;
      test::WriteSynthAvi(name, s);
    } else {
      test::WriteFileBytes(name, test::SystemStream(static_cast<uint8_t>(i), 30));
    }
    l.inputs.push_back(name);
    l.contents.push_back(test::ReadFileBytes(name));
  }
  const std::string output = c.make(l);
  const std::string expected = c.message(c.engine, output);

  TJoinRequest o;
  for (const std::string& f : l.inputs) {
    TVideoFileInfo i;
    i.FileName = f;
    i.MediaType = c.engine == Engine::AVI ? kMediaAVI : kMediaMPEG1;
    i.FrameRate = 25;
    o.Files.push_back(i);
  }
  o.OutputFileName = output;
  test::ProgressLog log;
  test::Recorder recorder(log);
  EXPECT_EQ(test::MessageOf([&] { test::Join(o, &recorder); }), expected);
  EXPECT_TRUE(log.percents.empty() || log.percents.back() < 100) << "progress reported the join done";
  for (size_t i = 0; i < l.inputs.size(); ++i)
    EXPECT_EQ(test::ReadFileBytes(l.inputs[i]), l.contents[i]) << l.inputs[i] << " was touched";
  EXPECT_EQ(test::OpenDescriptorsTo(output), 0);
}

std::string UnderAFile(Layout& l) {
  test::WriteFileBytes(l.dir.File("file.avi"), test::Text("a file, not a folder"));
  return l.dir.File("file.avi/out.avi");
}
std::string UnderAnInput(Layout& l) { return l.inputs[0] + "/out.avi"; }
std::string InSys(Layout&) { return "/sys/vantrel-out.avi"; }
std::string InProc(Layout&) { return "/proc/vantrel-out.avi"; }
std::string MissingFolder(Layout& l) { return l.dir.File("no/such/folder/out.avi"); }
std::string Folder(Layout& l) {
  std::string d = l.dir.File("folder.avi");
  ::mkdir(d.c_str(), 0777);
  test::WriteFileBytes(d + "/keep", test::Text("kept"));
  return d;
}
std::string SymbolicLink(Layout& l) {
  std::string p = l.dir.File("link.avi");
  EXPECT_EQ(::symlink(l.inputs[1].c_str(), p.c_str()), 0);
  return p;
}
std::string RelativeSymbolicLink(Layout& l) {
  std::string p = l.dir.File("relative.avi");
  EXPECT_EQ(::symlink(std::filesystem::path(l.inputs[0]).filename().c_str(), p.c_str()), 0);
  return p;
}
std::string LinkToALink(Layout& l) {
  std::string first = l.dir.File("first.avi"), second = l.dir.File("second.avi");
  EXPECT_EQ(::symlink(l.inputs[1].c_str(), first.c_str()), 0);
  EXPECT_EQ(::symlink(first.c_str(), second.c_str()), 0);
  return second;
}
std::string HardLink(Layout& l) {
  std::string p = l.dir.File("hard.avi");
  EXPECT_EQ(::link(l.inputs[0].c_str(), p.c_str()), 0);
  return p;
}
std::string ThroughALinkedFolder(Layout& l) {
  std::string d = l.dir.File("alias");
  EXPECT_EQ(::symlink(l.dir.Path().c_str(), d.c_str()), 0);
  return d + "/" + std::filesystem::path(l.inputs[1]).filename().string();
}
std::string OtherSpelling(Layout& l) {
  return l.dir.Path() + "/./sub/..//" + std::filesystem::path(l.inputs[0]).filename().string();
}
std::string OtherSpellingWithFolder(Layout& l) {
  ::mkdir(l.dir.File("sub").c_str(), 0777);
  return OtherSpelling(l);
}

const OutputCase kCases[] = {
    {"AviUnderAFile", Engine::AVI, UnderAFile, CannotCreate},
    {"AviUnderAnInput", Engine::AVI, UnderAnInput, CannotCreate},
    {"AviInSys", Engine::AVI, InSys, CannotCreate},
    {"AviInProc", Engine::AVI, InProc, CannotCreate},
    {"AviInAMissingFolder", Engine::AVI, MissingFolder, CannotCreate},
    {"AviIsAFolder", Engine::AVI, Folder, IsAFolder},
    {"AviSymbolicLinkToAnInput", Engine::AVI, SymbolicLink, SameAsAnInput},
    {"AviRelativeSymbolicLinkToAnInput", Engine::AVI, RelativeSymbolicLink, SameAsAnInput},
    {"AviLinkToALinkToAnInput", Engine::AVI, LinkToALink, SameAsAnInput},
    {"AviHardLinkToAnInput", Engine::AVI, HardLink, SameAsAnInput},
    {"AviInputThroughALinkedFolder", Engine::AVI, ThroughALinkedFolder, SameAsAnInput},
    {"AviInputSpelledOtherwise", Engine::AVI, OtherSpellingWithFolder, SameAsAnInput},
    {"MpegUnderAFile", Engine::MPEG, UnderAFile, CannotCreate},
    {"MpegInSys", Engine::MPEG, InSys, CannotCreate},
    {"MpegInProc", Engine::MPEG, InProc, CannotCreate},
    {"MpegIsAFolder", Engine::MPEG, Folder, IsAFolder},
    {"MpegSymbolicLinkToAnInput", Engine::MPEG, SymbolicLink, SameAsAnInput},
    {"MpegHardLinkToAnInput", Engine::MPEG, HardLink, SameAsAnInput},
    {"MpegInputThroughALinkedFolder", Engine::MPEG, ThroughALinkedFolder, SameAsAnInput},
    {"MpegInputSpelledOtherwise", Engine::MPEG, OtherSpellingWithFolder, SameAsAnInput},
};

INSTANTIATE_TEST_SUITE_P(Outputs, FaultOutputPath, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

// A folder output is left as it was, with what it holds.
TEST(FaultOutputFolder, KeepsItsContents) {
  for (Engine engine : {Engine::AVI, Engine::MPEG}) {
    Layout l;
    std::string in = l.dir.File(engine == Engine::AVI ? "in.avi" : "in.mpg");
    if (engine == Engine::AVI)
      test::WriteSynthAvi(in, test::SynthAvi{});
    else
      test::WriteFileBytes(in, test::SystemStream(3, 10));
    const std::string folder = Folder(l);
    TJoinRequest o;
    TVideoFileInfo i;
    i.FileName = in;
    i.MediaType = engine == Engine::AVI ? kMediaAVI : kMediaMPEG1;
    o.Files = {i};
    o.OutputFileName = folder;
    EXPECT_NE(test::MessageOf([&] { test::Join(o); }), "");
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(test::ReadFileBytes(folder + "/keep"), test::Text("kept"));
  }
}

}  // namespace
}  // namespace vantrel
