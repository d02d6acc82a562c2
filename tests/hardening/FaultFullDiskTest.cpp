// A full disk: joins into an output whose size is limited (RLIMIT_FSIZE in a
// child process, SIGXFSZ ignored, so writes past the limit fail with EFBIG)
// end with the system's error, release the output and report no success.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "avi/AviTestFiles.h"
#include "base/Exceptions.h"
#include "base/PosixFile.h"
#include "job/JoinCls.h"
#include "job/JoinCls.h"
#include "recompress/Compressors.h"
#include "recompress/DSJoin.h"
#include "HardeningSupport.h"
#include "mpeg/MpegBytes.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;

const std::string kFileTooLarge = "System Error.  Code: " + std::to_string(EFBIG) + ".\n" + std::strerror(EFBIG);

int64_t SizeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

enum class Engine { AVI, MPEG };

struct Inputs {
  TempDir dir;
  std::vector<std::string> avi, mpeg;
  int64_t aviJoined = 0, mpegJoined = 0;  // output sizes without a limit
};

Inputs* g_inputs = nullptr;

TJoinRequest Options(Engine engine, const std::string& output) {
  TJoinRequest o;
  for (const std::string& f : engine == Engine::AVI ? g_inputs->avi : g_inputs->mpeg) {
    TVideoFileInfo i;
    i.FileName = f;
    i.MediaType = engine == Engine::AVI ? kMediaAVI : kMediaMPEG1;
    i.FrameRate = 25;
    o.Files.push_back(i);
  }
  o.OutputFileName = output;
  return o;
}

struct Limit {
  const char* name;
  Engine engine;
  // The limit from the size of the unlimited output.
  int64_t (*of)(int64_t joinedSize);
};

void PrintTo(const Limit& l, std::ostream* os) { *os << l.name; }

class FaultFullDisk : public ::testing::TestWithParam<Limit> {
 protected:
  static void SetUpTestSuite() {
    g_inputs = new Inputs;
    for (int i = 0; i < 2; ++i) {
      std::string name = g_inputs->dir.File("in" + std::to_string(i) + ".avi");
      test::SynthAvi s;
      s.seed = i + 1;
      s.frames = 60;
      s.videoChunkBase = 20000;
      test::WriteSynthAvi(name, s);
      g_inputs->avi.push_back(name);
      name = g_inputs->dir.File("in" + std::to_string(i) + ".mpg");
      test::WriteFileBytes(name, test::SystemStream(static_cast<uint8_t>(i * 50), 600));
      g_inputs->mpeg.push_back(name);
    }
    test::Join(Options(Engine::AVI, g_inputs->dir.File("whole.avi")));
    test::Join(Options(Engine::MPEG, g_inputs->dir.File("whole.mpg")));
    g_inputs->aviJoined = SizeOf(g_inputs->dir.File("whole.avi"));
    g_inputs->mpegJoined = SizeOf(g_inputs->dir.File("whole.mpg"));
  }
  static void TearDownTestSuite() {
    delete g_inputs;
    g_inputs = nullptr;
  }
};

TEST_P(FaultFullDisk, JoinEndsWithTheSystemsErrorAndRemovesTheIncompleteOutput) {
  const Limit& l = GetParam();
  const int64_t whole = l.engine == Engine::AVI ? g_inputs->aviJoined : g_inputs->mpegJoined;
  // Past the writers' 1 MiB buffer, so the disk fills in the middle too.
  ASSERT_GT(whole, 2 << 20);
  const int64_t limit = l.of(whole);
  TempDir out;
  const std::string output = out.File(l.engine == Engine::AVI ? "out.avi" : "out.mpg");
  test::ChildLimits limits;
  limits.fileSize = limit;
  test::ChildResult r = test::RunInChild(
      [&] {
        test::ProgressLog log;
        test::Recorder recorder(log);
        std::string outcome;
        try {
          test::Join(Options(l.engine, output), &recorder);
          outcome = "success";
        } catch (const EOSError& e) {
          outcome = e.what();
        } catch (const Exception& e) {
          outcome = std::string("not a system error: ") + e.what();
        }
        return "open=" + std::to_string(test::OpenDescriptorsTo(output)) + "\n" + outcome;
      },
      limits);
  ASSERT_TRUE(r.exited && r.exitCode == 0) << r.Describe();
  // Nothing is written after the failed write, and the incomplete output
  // is removed with a line that says so.
  EXPECT_EQ(r.report, "open=0\n" + kFileTooLarge + "\nThe incomplete output " + output + " was removed.")
      << "limit " << limit << " of " << whole;
  EXPECT_FALSE(FileExists(output));
}

const Limit kLimits[] = {
    {"AviNothingWritable", Engine::AVI, [](int64_t) -> int64_t { return 0; }},
    {"AviWithinTheHeaders", Engine::AVI, [](int64_t) -> int64_t { return 1000; }},
    {"AviHalfway", Engine::AVI, [](int64_t w) { return w / 2; }},
    {"AviAtTheIndex", Engine::AVI, [](int64_t w) { return w - 100; }},
    {"AviOneByteShort", Engine::AVI, [](int64_t w) { return w - 1; }},
    {"MpegNothingWritable", Engine::MPEG, [](int64_t) -> int64_t { return 0; }},
    {"MpegWithinTheFirstPack", Engine::MPEG, [](int64_t) -> int64_t { return 7; }},
    {"MpegHalfway", Engine::MPEG, [](int64_t w) { return w / 2; }},
    {"MpegOneByteShort", Engine::MPEG, [](int64_t w) { return w - 1; }},
};

INSTANTIATE_TEST_SUITE_P(Limits, FaultFullDisk, ::testing::ValuesIn(kLimits),
                         [](const auto& p) { return std::string(p.param.name); });

// The command line says so and exits with failure, printing no output name.
TEST_F(FaultFullDisk, CommandLineReportsTheFailure) {
  for (Engine engine : {Engine::AVI, Engine::MPEG}) {
    TempDir out;
    const std::string output = out.File(engine == Engine::AVI ? "out.avi" : "out.mpg");
    const auto& inputs = engine == Engine::AVI ? g_inputs->avi : g_inputs->mpeg;
    // 2048 blocks of 512 bytes: 1 MiB, a third of the output.
    auto r = test::Shell("trap '' XFSZ; ulimit -f 2048; exec '" + test::CliPath() + "' join --copy -y -o '" + output +
                         "' '" + inputs[0] + "' '" + inputs[1] + "'");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Join fails: " + kFileTooLarge), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// A real filesystem that fills up mid-join (1.2 MB of tmpfs, when this
// process may mount one): the system's "No space left on device", the
// incomplete output removed, nothing else touched.
TEST_F(FaultFullDisk, FullFilesystemEndsTheJoinAndRemovesTheOutput) {
  TempDir mnt;
  if (test::Shell("mount -t tmpfs -o size=1200k vantrel-test '" + mnt.Path() + "'").exitCode != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Unmount {
    std::string path;
    ~Unmount() { test::Shell("umount '" + path + "'"); }
  } unmount{mnt.Path()};
  for (Engine engine : {Engine::AVI, Engine::MPEG}) {
    const std::string output = mnt.File(engine == Engine::AVI ? "out.avi" : "out.mpg");
    const auto& inputs = engine == Engine::AVI ? g_inputs->avi : g_inputs->mpeg;
    auto r = test::Run({test::CliPath(), "join", "--copy", "-q", "-o", output, inputs[0], inputs[1]});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Join fails: " + SysErrorMessage(ENOSPC) + "\nThe incomplete output " + output +
                         " was removed."),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(FileExists(output));
  }
}

// The recompressing join: the muxer's write fails, and the join says so,
// into AVI and into MP4 (whose index is moved to the front at the end).
struct RecompressLimit {
  const char* name;
  const char* container;
  const char* video;
  const char* audio;
  int64_t limit;  // bytes, below the size of the whole output
};

void PrintTo(const RecompressLimit& c, std::ostream* os) { *os << c.name; }

class FaultFullDiskRecompress : public ::testing::TestWithParam<RecompressLimit> {};

TEST_P(FaultFullDiskRecompress, JoinEndsWithTheWriteError) {
  const RecompressLimit& c = GetParam();
  if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  if (!avcodec_find_encoder_by_name(c.video)) GTEST_SKIP() << "no " << c.video;
  TempDir dir;
  const std::string in = dir.File("in.avi");
  auto made = test::Run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                         "testsrc=size=160x120:rate=25", "-f", "lavfi", "-i", "sine=sample_rate=44100", "-t", "2",
                         "-c:v", "mjpeg", "-c:a", "pcm_s16le", in});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  const std::string output = dir.File(std::string("out.") + c.container);
  test::ChildLimits limits;
  limits.fileSize = c.limit;
  test::ChildResult r = test::RunInChild(
      [&] {
        TDSVideoJoiner j;
        j.Files = {in, in};
        j.OutputFileName = output;
        j.FrameWidth = 160;
        j.FrameHeight = 120;
        j.FrameRate = 25;
        j.Container = c.container;
        j.VideoCompressor = MakeCompressorFilter(c.video);
        j.AudioCompressor = MakeCompressorFilter(c.audio);
        std::string outcome = "success";
        try {
          j.Join();
        } catch (const Exception& e) {
          outcome = e.what();
        }
        return "open=" + std::to_string(test::OpenDescriptorsTo(output)) + "\n" + outcome;
      },
      limits);
  ASSERT_TRUE(r.exited && r.exitCode == 0) << r.Describe();
  EXPECT_EQ(r.report.rfind("open=0\n", 0), 0u) << r.Describe();
  EXPECT_NE(r.report.find(std::strerror(EFBIG)), std::string::npos) << r.Describe();
  EXPECT_NE(r.report.find("The incomplete output " + output + " was removed."), std::string::npos) << r.Describe();
  EXPECT_FALSE(FileExists(output));
}

INSTANTIATE_TEST_SUITE_P(Containers, FaultFullDiskRecompress,
                         ::testing::Values(RecompressLimit{"Avi", "avi", "mjpeg", "pcm_s16le", 256 * 1024},
                                           RecompressLimit{"Mp4", "mp4", "libx264", "aac", 16 * 1024}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel
