// Outputs written whole or not at all: a join writes under a hidden name
// and gives the output its name when it has ended; signals stop it as
// Ctrl+C does; a kill leaves nothing under the output's name; two joins to
// one name do not both succeed; devices, FIFOs and folders are refused; an
// output's name is a file's name, never a protocol.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <thread>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// A 40 s clip that takes a recompressing join some seconds, made once.
const std::string& LongClip() {
  static TempDir dir;
  static std::string made;
  if (made.empty()) {
    const std::string f = dir.File("long.mp4");
    const CommandResult r =
        Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=40", "-f",
             "lavfi", "-i", "sine=sample_rate=48000:duration=40", "-c:v", "libx264", "-preset", "ultrafast", "-c:a",
             "aac", f});
    if (r.exitCode == 0) made = f;
  }
  return made;
}

// A second of H.264 video.
bool MakeShortClip(const std::string& file) {
  return Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1",
              "-c:v", "libx264", file})
             .exitCode == 0;
}

// The hidden file a running join writes in dir, or "".
std::string HiddenOutput(const std::string& dir) {
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.size() > 1 && name[0] == '.') return e.path().string();
  }
  return "";
}

struct SignalCase {
  const char* name;
  int signal;
  std::string extension;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class JoinSignal : public ::testing::TestWithParam<SignalCase> {};

// SIGTERM and SIGHUP stop the join as Ctrl+C does: a whole file that plays
// to its end, under its name. SIGKILL leaves nothing under the name. While
// the join runs, the name holds nothing either.
TEST_P(JoinSignal, LeavesAWholeFileOrNone) {
  const SignalCase& c = GetParam();
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  const std::string& in = LongClip();
  ASSERT_FALSE(in.empty());
  TempDir dir;
  const std::string out = dir.File("out" + c.extension);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string cli = CliPath();
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(cli.c_str(), cli.c_str(), "join", "-q", "--recompress", "--vopt", "preset=ultrafast", "-o", out.c_str(),
            in.c_str(), in.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Once the hidden file holds a good part of a megabyte.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool sent = false;
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline && ::waitpid(pid, &status, WNOHANG) == 0) {
    const std::string hidden = HiddenOutput(dir.Path());
    std::error_code ec;
    if (!hidden.empty() && fs::file_size(hidden, ec) > 300000 && !ec) {
      EXPECT_FALSE(fs::exists(out)) << "the output's name was taken before the join ended";
      ::kill(pid, c.signal);
      sent = true;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!sent) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "the join ended or stalled before the signal";
  }
  if (c.signal == SIGKILL) {
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(fs::exists(out)) << "a killed join left a file under the output's name";
    return;
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  ASSERT_TRUE(fs::exists(out));
  EXPECT_EQ(HiddenOutput(dir.Path()), "") << "the hidden file stayed";
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
  const double seconds = std::atof(
      test::Run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", out}).out.c_str());
  EXPECT_GT(seconds, 0.5);
  EXPECT_LT(seconds, 79);
}

INSTANTIATE_TEST_SUITE_P(Signals, JoinSignal,
                         ::testing::Values(SignalCase{"TermIntoMp4", SIGTERM, ".mp4"},
                                           SignalCase{"HangUpIntoMatroska", SIGHUP, ".mkv"},
                                           SignalCase{"KillIntoMp4", SIGKILL, ".mp4"}),
                         [](const auto& p) { return std::string(p.param.name); });

// What is not a plain file is refused before anything is written, and
// stays what it was.
struct NotAFileCase {
  const char* name;
  // Makes the output in dir and returns its path.
  std::function<std::string(const TempDir&)> make;
};

void PrintTo(const NotAFileCase& c, std::ostream* os) { *os << c.name; }

class JoinNotAFile : public ::testing::TestWithParam<NotAFileCase> {};

TEST_P(JoinNotAFile, IsRefusedAndKept) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string in = dir.File("in.mp4");
  ASSERT_TRUE(MakeShortClip(in));
  const std::string out = GetParam().make(dir);
  struct stat before {};
  ASSERT_EQ(::stat(out.c_str(), &before), 0);
  for (const char* route : {"--copy", "--recompress"}) {
    SCOPED_TRACE(route);
    const CommandResult r = test::Run({"timeout", "60", CliPath(), "join", "-y", route, "-o", out, in, in});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, "Join fails: " + out + " is not a regular file\n");
    struct stat after {};
    ASSERT_EQ(::stat(out.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, JoinNotAFile,
    ::testing::Values(NotAFileCase{"DevNull", [](const TempDir&) { return std::string("/dev/null"); }},
                      NotAFileCase{"Fifo",
                                   [](const TempDir& d) {
                                     const std::string f = d.File("pipe.mp4");
                                     ::mkfifo(f.c_str(), 0600);
                                     return f;
                                   }}),
    [](const auto& p) { return std::string(p.param.name); });

// A name is a file's name: "file:in.mp4" is a new file beside in.mp4, which
// stays as it was; "10:30.mp4" is written.
TEST(JoinOutputName, IsNeverAProtocol) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string in = dir.File("in.mp4");
  ASSERT_TRUE(MakeShortClip(in));
  const std::vector<uint8_t> original = ReadFileBytes(in);
  for (const char* name : {"file:in.mp4", "10:30.mp4"}) {
    SCOPED_TRACE(name);
    const CommandResult r = Shell("cd '" + dir.Path() + "' && '" + CliPath() + "' join -q -o '" + name + "' in.mp4 in.mp4");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir.File(name)));
    EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", dir.File(name), "-f", "null", "-"}).err, "");
  }
  EXPECT_TRUE(ReadFileBytes(in) == original) << "the input was changed";
}

// Two joins to one name, neither allowed to replace a file: one succeeds,
// the other says the name was taken, and the file is the one that won.
TEST(JoinOutputName, TwoJoinsDoNotBothSucceed) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  const std::string& in = LongClip();
  ASSERT_FALSE(in.empty());
  TempDir dir;
  const std::string out = dir.File("both.mp4");
  const std::string cmd = "'" + CliPath() + "' join -q --recompress --vopt preset=ultrafast -o '" + out + "' '" + in +
                          "'";
  const CommandResult r = Shell("(" + cmd + "; echo first=$?) & (" + cmd + "; echo second=$?) & wait");
  const bool firstOk = r.out.find("first=0") != std::string::npos;
  const bool secondOk = r.out.find("second=0") != std::string::npos;
  EXPECT_NE(firstOk, secondOk) << r.out << r.err;
  const bool taken = r.err.find(out + " was created by another program during the join") != std::string::npos ||
                     r.err.find("already exists") != std::string::npos;
  EXPECT_TRUE(taken) << r.err;
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
  EXPECT_EQ(HiddenOutput(dir.Path()), "") << "a hidden file stayed";
}

// An input cut short (a half-downloaded MP4 whose index is at its front, a
// Matroska file cut in two, an AVI that lost its index at the end, a
// transport stream or MPEG-1 stream cut inside a packet) is joined as far as
// it can be read, named with what it lacks, and the join ends with status
// 3, never "verified"; one of which nothing can be read fails the join,
// named. Nothing is left under a hidden name, and the inputs are unchanged.
struct CutCase {
  const char* name;
  std::string extension;
  // Writes the 8 s whole file at %o from the test pictures and sound at
  // %v and %a (ffmpeg input options); a line for the shell.
  std::string make;
  double cutAt;             // of the whole file's size
  int exitCode;             // 3 joined and damaged, 1 refused
  std::string said;         // a pattern of the message about the cut file
  bool decodesClean = true;  // an MPEG-1 stream's last picture is cut with it
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class JoinCutInput : public ::testing::TestWithParam<CutCase> {};

std::string Fill(std::string line, const std::string& out) {
  const std::map<std::string, std::string> with = {
      {"%v", "-f lavfi -i testsrc=size=320x240:rate=25:duration=8"},
      {"%a", "-f lavfi -i sine=sample_rate=48000:duration=8"},
      {"%o", "'" + out + "'"},
      {"%s", "'" + out + ".src"}};
  for (const auto& [key, value] : with)
    for (size_t at = line.find(key); at != std::string::npos; at = line.find(key, at + value.size()))
      line.replace(at, key.size(), value);
  return line;
}

TEST_P(JoinCutInput, IsNamedAndTheJoinSaysSo) {
  const CutCase& c = GetParam();
  if (!HaveTool("ffmpeg") || !HaveTool("mencoder") || !HaveTool("mkvmerge")) GTEST_SKIP() << "no ffmpeg, mencoder or mkvmerge";
  TempDir dir;
  const std::string whole = dir.File("whole" + c.extension), cut = dir.File("cut" + c.extension);
  const CommandResult made = test::Run({"sh", "-c", Fill(c.make, whole)});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  std::vector<uint8_t> bytes = ReadFileBytes(whole);
  const std::vector<uint8_t> wholeBytes = bytes;
  bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * c.cutAt));
  WriteFileBytes(cut, bytes);
  const std::string out = dir.File("out" + c.extension);
  const CommandResult r = test::Run({CliPath(), "join", "--copy", "--verify", "-o", out, whole, cut});
  EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
  EXPECT_TRUE(std::regex_search(r.err, std::regex(c.said))) << r.err;
  EXPECT_EQ(r.err.find("verified"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("verified"), std::string::npos) << r.out;
  EXPECT_EQ(HiddenOutput(dir.Path()), "") << "a hidden file stayed";
  EXPECT_EQ(ReadFileBytes(whole), wholeBytes) << "an input was changed";
  EXPECT_EQ(ReadFileBytes(cut), bytes) << "an input was changed";
  if (c.exitCode != 3) {
    EXPECT_FALSE(std::filesystem::exists(out));
    return;
  }
  // What was read is there, whole.
  if (c.decodesClean) {
    EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
  }
  const double seconds = std::atof(
      test::Run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", out}).out.c_str());
  EXPECT_GT(seconds, 8 + 8 * c.cutAt / 2);
  EXPECT_LT(seconds, 8 + 8 * c.cutAt + 1.5);
}

const std::string kRead = R"(- File 2 \(cut\.[a-z0-9]+\) is damaged: )";
const std::string kOnly = kRead + R"(only 00:0[0-7]\.[0-9]{3} of 00:0[78]\.[0-9]{3} could be read\n)";
const std::string kFor = kRead + R"(it could be read for 00:0[0-7]\.[0-9]{3} only\n)";

INSTANTIATE_TEST_SUITE_P(
    Inputs, JoinCutInput,
    ::testing::Values(
        CutCase{"Mp4IndexFirst", ".mp4", "ffmpeg -nostdin -v error %v %a -c:v libx264 -g 25 -c:a aac -movflags +faststart %o",
                0.5, 3, kOnly},
        CutCase{"Mp4IndexLast", ".mp4", "ffmpeg -nostdin -v error %v %a -c:v libx264 -g 25 -c:a aac %o", 0.5, 1,
                R"(cut\.mp4)"},
        CutCase{"Matroska", ".mkv", "ffmpeg -nostdin -v error %v %a -c:v libx264 -g 25 -c:a libopus %o", 0.5, 3, kOnly},
        CutCase{"MatroskaFromMkvmerge", ".mkv",
                "ffmpeg -nostdin -v error %v %a -c:v libx264 -g 25 -c:a aac -f matroska %s' && mkvmerge -q -o %o %s'",
                0.3, 3, kOnly},
        // Cut inside a 188-byte packet, as a stopped download is.
        CutCase{"TransportStream", ".ts", "ffmpeg -nostdin -v error %v %a -c:v libx264 -g 25 -c:a aac %o", 0.5013, 3,
                kFor},
        CutCase{"AviWithoutItsIndex", ".avi", "ffmpeg -nostdin -v error %v %a -c:v mpeg4 -g 25 -c:a libmp3lame %o", 0.3,
                3, kOnly},
        CutCase{"AviFromMencoder", ".avi",
                "ffmpeg -nostdin -v error %v %a -c:v mpeg4 -g 25 -c:a pcm_s16le -f avi %s' && "
                "mencoder -really-quiet %s' -ovc copy -oac copy -o %o",
                0.7, 3, kOnly},
        CutCase{"Mpeg1", ".mpg", "ffmpeg -nostdin -v error %v %a -c:v mpeg1video -c:a mp2 -f mpeg %o", 0.5, 3, kFor,
                false}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel::test
