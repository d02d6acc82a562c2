// Inputs as real writers and real users produce them, through vantrel-cli:
// nothing is reported as success that is not, and nothing blocks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "base/PosixFile.h"
#include "mpeg/MPEG1SysRead.h"
#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

using Bytes = std::vector<uint8_t>;

CommandResult Cli(std::vector<std::string> args) {
  // A blocked open would hang the test: the command gets a minute.
  args.insert(args.begin(), {"timeout", "60", CliPath()});
  return Run(args);
}

void Ffmpeg(const std::string& args, const std::string& out) {
  CommandResult r = Shell("ffmpeg -nostdin -v error -y " + args + " '" + out + "'");
  ASSERT_EQ(r.exitCode, 0) << args << "\n" << r.err;
}

const std::string kClip = "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 ";
const std::string kTone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 ";

// The system stream's video stream (0xE0) moved to 0xE1: packets and the
// system header's stream entries.
void MoveVideoToE1(const std::string& file) {
  Bytes b = ReadFileBytes(file);
  TMPEG1SystemReader r;
  r.Open(file);
  while (r.Next()) {
    const size_t at = static_cast<size_t>(r.UnitStart);
    if (r.UnitKind == ukPacket && b[at + 3] == 0xE0) b[at + 3] = 0xE1;
    if (r.UnitKind == ukSystemHeader)
      for (size_t e = at + 12; e + 3 <= at + r.UnitSize; e += 3)
        if (b[e] == 0xE0) b[e] = 0xE1;
  }
  WriteFileBytes(file, b);
}

int FrameCount(const std::string& file) {
  CommandResult r = Run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                         "stream=nb_read_frames", "-of", "csv=p=0", file});
  return std::atoi(r.out.c_str());
}

// A probe field of each file, from --json.
std::vector<std::string> JsonField(const std::vector<std::string>& files, const std::string& field) {
  std::vector<std::string> args = {"probe", "--json"};
  args.insert(args.end(), files.begin(), files.end());
  CommandResult r = Cli(args);
  std::vector<std::string> values;
  for (size_t at = r.out.find("\"" + field + "\": "); at != std::string::npos;
       at = r.out.find("\"" + field + "\": ", at + 1)) {
    const size_t from = at + field.size() + 4;
    values.push_back(r.out.substr(from, r.out.find_first_of(",\n", from) - from));
  }
  return values;
}

struct InputCase {
  const char* name;
  // Makes the inputs in dir and checks what the command line does with them.
  std::function<void(TempDir& dir)> run;
};

void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }

const InputCase kCases[] = {
    {"FifoIsRefusedAndNothingBlocks",
     [](TempDir& dir) {
       const std::string fifo = dir.File("pipe.avi");
       ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
       CommandResult probe = Cli({"probe", fifo});
       EXPECT_EQ(probe.exitCode, 1);
       EXPECT_NE(probe.err.find(fifo + " is not a regular file"), std::string::npos) << probe.err;
       for (const char* mode : {"--copy", "--recompress"}) {
         CommandResult join = Cli({"join", mode, "-o", dir.File("out.avi"), fifo});
         EXPECT_EQ(join.exitCode, 1) << mode;
         EXPECT_NE(join.err.find(fifo + " is not a regular file"), std::string::npos) << join.err;
         EXPECT_FALSE(FileExists(dir.File("out.avi")));
       }
       ASSERT_EQ(Cli({"project", "save", dir.File("p.qmf"), fifo}).exitCode, 0);
       CommandResult project = Cli({"join", "--project", dir.File("p.qmf"), "-o", dir.File("out.avi")});
       EXPECT_EQ(project.exitCode, 1);
       EXPECT_NE(project.err.find("is not a regular file"), std::string::npos) << project.err;
     }},
    {"MpegVideoOnE1KeptWithoutSound",
     [](TempDir& dir) {
       const std::string a = dir.File("a.mpg"), b = dir.File("b.mpg"), out = dir.File("out.mpeg");
       Ffmpeg(kClip + kTone + "-c:v mpeg1video -bf 0 -c:a mp2 -f mpeg", a);
       Ffmpeg(kClip + kTone + "-c:v mpeg1video -bf 0 -c:a mp2 -f mpeg", b);
       MoveVideoToE1(a);
       CommandResult r = Cli({"join", "--copy", "--without-sound", "-q", "-o", out, a, b});
       ASSERT_EQ(r.exitCode, 0) << r.err;
       EXPECT_EQ(FrameCount(out), FrameCount(a) + FrameCount(b));
       EXPECT_EQ(Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
     }},
    {"AudioOnlyWithoutSoundIsRefused",
     [](TempDir& dir) {
       const std::string a = dir.File("a.mpg"), b = dir.File("b.mpg"), out = dir.File("out.mpeg");
       Ffmpeg(kTone + "-c:a mp2 -f mpeg", a);
       Ffmpeg(kTone + "-c:a mp2 -f mpeg", b);
       CommandResult r = Cli({"join", "--copy", "--without-sound", "-o", out, a, b});
       EXPECT_EQ(r.exitCode, 1) << r.err;
       EXPECT_NE(r.err.find("There is no video stream in the files"), std::string::npos) << r.err;
       EXPECT_FALSE(FileExists(out));
     }},
    {"AudioTagIsTheCodecsWhateverTheContainer",
     [](TempDir& dir) {
       const std::string tsMp2 = dir.File("mp2.ts"), tsAac = dir.File("aac.ts"), mp4 = dir.File("aac.mp4"),
                         avi = dir.File("mp2.avi");
       Ffmpeg(kClip + kTone + "-c:v mpeg2video -c:a mp2", tsMp2);
       Ffmpeg(kClip + kTone + "-c:v mpeg2video -c:a aac", tsAac);
       Ffmpeg(kClip + kTone + "-c:v mpeg4 -c:a aac", mp4);
       Ffmpeg(kClip + kTone + "-c:v mpeg4 -c:a mp2", avi);
       EXPECT_EQ(JsonField({tsMp2, tsAac, mp4, avi}, "AudioFormatTag"),
                 (std::vector<std::string>{"80", "255", "255", "80"}));
     }},
    {"FirstOfTwoAudioStreamsDescribesAndIsCopied",
     [](TempDir& dir) {
       const std::string two = dir.File("two.avi"), one = dir.File("one.avi"), out = dir.File("out.avi");
       Ffmpeg(kClip + kTone + "-f lavfi -i sine=frequency=880:sample_rate=44100:duration=2 -map 0 -map 1 -map 2 "
                  "-c:v mpeg4 -c:a pcm_s16le -ac:a:0 2 -ac:a:1 1",
              two);
       Ffmpeg(kClip + kTone + "-c:v mpeg4 -c:a pcm_s16le -ac 2", one);
       CommandResult probe = Cli({"probe", two});
       EXPECT_NE(probe.out.find("\t44KHz Stereo\t"), std::string::npos) << probe.out;
       CommandResult r = Cli({"join", "-o", out, one, two});
       ASSERT_EQ(r.exitCode, 0) << r.err;
       EXPECT_EQ(r.err.find("audio formats differ"), std::string::npos) << r.err;
       std::vector<std::string> audio = PacketHashes(one, 'a'), second = PacketHashes(two, 'a');
       audio.insert(audio.end(), second.begin(), second.end());
       EXPECT_EQ(PacketHashes(out, 'a'), audio);
     }},
};

class InputFaults : public ::testing::TestWithParam<InputCase> {};

TEST_P(InputFaults, AreHandledAsTheyShouldBe) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  GetParam().run(dir);
}

INSTANTIATE_TEST_SUITE_P(Inputs, InputFaults, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel::test
