// vantrel-cli join --copy on real files made with ffmpeg (and mencoder) at
// test time: every packet of the first video and first audio stream of every
// input must come out, in order and unchanged, in a well-formed AVI file; and
// the command line must refuse what it cannot do without harming any file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/AviLayout.h"
#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

// ------------------------------------------------------------------ helpers

// Runs a shell recipe that makes a media file: %o stands for the file to
// make, %t for a scratch file beside it.
void Make(const std::string& recipe, const std::string& out) {
  std::string cmd;
  for (size_t i = 0; i < recipe.size(); ++i) {
    if (recipe[i] == '%' && i + 1 < recipe.size() && (recipe[i + 1] == 'o' || recipe[i + 1] == 't')) {
      cmd += "'" + (recipe[i + 1] == 'o' ? out : out + ".tmp.avi") + "'";
      ++i;
    } else {
      cmd += recipe[i];
    }
  }
  CommandResult r = Shell(cmd);
  ASSERT_EQ(r.exitCode, 0) << cmd << "\n" << r.err;
  ASSERT_TRUE(std::filesystem::exists(out)) << cmd;
  std::error_code ec;
  std::filesystem::remove(out + ".tmp.avi", ec);
}

// An ffmpeg command making %o from lavfi sources.
std::string Ff(const std::string& args) { return "ffmpeg -nostdin -v error -y " + args + " %o"; }

std::string Video(const std::string& source, double seconds, const std::string& size = "160x120") {
  return "-f lavfi -i " + source + "=size=" + size + ":rate=25:duration=" + std::to_string(seconds);
}

std::string Sine(int frequency, double seconds, int rate = 44100) {
  return "-f lavfi -i sine=frequency=" + std::to_string(frequency) + ":sample_rate=" + std::to_string(rate) +
         ":duration=" + std::to_string(seconds);
}

const std::string kMpeg4 = "-c:v mpeg4 -q:v 5 -g 12";
const std::string kMp3 = "-c:a libmp3lame -b:a 64k -ac 1";

// codec_type of every stream, by index.
std::vector<std::string> StreamTypes(const std::string& file) {
  CommandResult r =
      vantrel::test::Run({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0", file});
  std::vector<std::string> types;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) types.push_back(line);
  return types;
}

// "size,flags" of the packets of a file's first stream of a type ('v', 'a'),
// as ffprobe reads them.
std::vector<std::string> PacketsOf(const std::string& file, char type) {
  std::vector<std::string> types = StreamTypes(file);
  const std::string want = type == 'v' ? "video" : "audio";
  auto it = std::find(types.begin(), types.end(), want);
  std::vector<std::string> r;
  if (it == types.end()) return r;
  const std::string prefix = std::to_string(it - types.begin()) + ",";
  for (const std::string& line : ProbePackets(file))
    if (line.compare(0, prefix.size(), prefix) == 0) r.push_back(line.substr(prefix.size()));
  return r;
}

template <typename F>
auto Joined(const std::vector<std::string>& files, F per) {
  decltype(per(files.front())) all;
  for (const std::string& f : files) {
    auto part = per(f);
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

std::vector<std::string> JoinArgs(const std::vector<std::string>& options, const std::string& out,
                                  const std::vector<std::string>& inputs) {
  // Chunk for chunk: these tests check that every packet arrives unchanged
  // under the first file's headers (the sync tests check the default).
  std::vector<std::string> argv{CliPath(), "join", "--copy", "--exact"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back("-o");
  argv.push_back(out);
  argv.insert(argv.end(), inputs.begin(), inputs.end());
  return argv;
}

void RequireTools() {
  ASSERT_TRUE(HaveTool("ffmpeg")) << "ffmpeg is needed to make the test files";
  ASSERT_TRUE(HaveTool("ffprobe")) << "ffprobe is needed to read the outputs back";
}

// Checks that out is the join of inputs: well formed, streams in the order
// video then audio with the first input's formats, and every packet of the
// inputs' first video (and first audio, when kept) stream carried in order.
// The line a copy join ends with: the packets a reader finds in the output,
// counted again here, and that the output was read back.
std::string ReportLine(size_t files, const std::string& out) {
  // Counted from the data chunks of every part's movi list, not from the
  // index the join read back: empty (dropped-frame) chunks count too.
  const AviLayout layout = ReadAviLayout(out);
  size_t video = 0, audio = 0;
  const int v = layout.FirstStream("vids"), a = layout.FirstStream("auds");
  char vid[3], aud[3];
  std::snprintf(vid, sizeof vid, "%02d", v);
  std::snprintf(aud, sizeof aud, "%02d", a);
  for (const AviPart& p : layout.parts)
    for (const ChunkRef& c : p.movi) {
      if (v >= 0 && c.id.compare(0, 2, vid) == 0) ++video;
      if (a >= 0 && c.id.compare(0, 2, aud) == 0) ++audio;
    }
  return "Joined " + std::to_string(files) + " files: " + std::to_string(video) + " video and " +
         std::to_string(audio) + " audio packets, ";
}

void ExpectReport(const std::string& err, size_t files, const std::string& out) {
  const std::string line = ReportLine(files, out);
  const size_t at = err.find(line);
  ASSERT_NE(at, std::string::npos) << err;
  EXPECT_EQ(err.substr(err.find('\n', at) - 10), ", verified\n") << err;
}

void ExpectJoinOf(const std::string& out, const std::vector<std::string>& inputs, bool soundKept) {
  AviLayout layout = ReadAviLayout(out);
  ASSERT_EQ(layout.error, "");
  ASSERT_EQ(layout.parts.size(), 1u) << "a small join fits one file part";
  ASSERT_EQ(layout.streams.size(), soundKept ? 2u : 1u);

  AviLayout first = ReadAviLayout(inputs.front());
  ASSERT_EQ(first.error, "");
  const int v = first.FirstStream("vids");
  ASSERT_GE(v, 0);
  EXPECT_EQ(layout.streams[0].Type(), "vids");
  EXPECT_EQ(layout.streams[0].strf, first.streams[v].strf);
  EXPECT_EQ(layout.streams[0].Scale(), first.streams[v].Scale());
  EXPECT_EQ(layout.streams[0].Rate(), first.streams[v].Rate());
  if (soundKept) {
    const int a = first.FirstStream("auds");
    ASSERT_GE(a, 0);
    EXPECT_EQ(layout.streams[1].Type(), "auds");
    EXPECT_EQ(layout.streams[1].strf, first.streams[a].strf);
    EXPECT_EQ(layout.streams[1].Scale(), first.streams[a].Scale());
    EXPECT_EQ(layout.streams[1].Rate(), first.streams[a].Rate());
  }

  // Chunk by chunk in the movi lists.
  size_t videoChunks = 0, audioChunks = 0;
  for (const std::string& in : inputs) {
    AviLayout l = ReadAviLayout(in);
    videoChunks += MoviChunksOfStream(l, l.FirstStream("vids")).size();
    if (l.FirstStream("auds") >= 0) audioChunks += MoviChunksOfStream(l, l.FirstStream("auds")).size();
  }
  EXPECT_EQ(layout.CountInMovi("00dc"), videoChunks);
  EXPECT_EQ(layout.CountInMovi("01wb"), soundKept ? audioChunks : 0u);
  EXPECT_EQ(layout.streams[0].Length(), videoChunks) << "video stream length";
  EXPECT_EQ(layout.TotalFramesInHeader(), videoChunks) << "avih total frames";
  for (const auto& [id, count] : layout.parts[0].moviCount)
    EXPECT_TRUE(id == "00dc" || id == "01wb" || id == "JUNK") << "unexpected " << id << " chunks: " << count;

  // Below 900 MiB of input: the idx1 index only, and it names every chunk
  // with the key frame flag the input's index gives it.
  EXPECT_NE(FindChunk(layout.parts[0].children, "idx1"), nullptr);
  Idx1Check idx1 = CheckIdx1(out, layout);
  EXPECT_EQ(idx1.error, "");
  std::vector<bool> wantVideoKeys, wantAudioKeys;
  for (const std::string& in : inputs) {
    AviLayout l = ReadAviLayout(in);
    Idx1Check c = CheckIdx1(in, l);
    ASSERT_EQ(c.error, "") << in;
    const std::vector<bool>& vk = c.keyFrames[l.FirstStream("vids")];
    wantVideoKeys.insert(wantVideoKeys.end(), vk.begin(), vk.end());
    if (l.FirstStream("auds") >= 0) {
      const std::vector<bool>& ak = c.keyFrames[l.FirstStream("auds")];
      wantAudioKeys.insert(wantAudioKeys.end(), ak.begin(), ak.end());
    }
  }
  ASSERT_EQ(wantVideoKeys.size(), videoChunks);
  EXPECT_EQ(idx1.keyFrames[0], wantVideoKeys);
  EXPECT_EQ(idx1.keyFrames[1], soundKept ? wantAudioKeys : std::vector<bool>());
  EXPECT_FALSE(layout.streams[0].indx) << "no OpenDML index for a small join";
  EXPECT_FALSE(layout.odml);

  // As ffmpeg reads it back: sizes, key frames and contents.
  EXPECT_EQ(StreamTypes(out),
            (soundKept ? std::vector<std::string>{"video", "audio"} : std::vector<std::string>{"video"}));
  std::vector<std::string> wantVideo = Joined(inputs, [](const std::string& f) { return PacketsOf(f, 'v'); });
  ASSERT_FALSE(wantVideo.empty());
  EXPECT_EQ(PacketsOf(out, 'v'), wantVideo);
  EXPECT_EQ(PacketHashes(out, 'v'), Joined(inputs, [](const std::string& f) { return PacketHashes(f, 'v'); }));
  if (soundKept) {
    std::vector<std::string> wantAudio = Joined(inputs, [](const std::string& f) { return PacketsOf(f, 'a'); });
    ASSERT_FALSE(wantAudio.empty());
    EXPECT_EQ(PacketsOf(out, 'a'), wantAudio);
    EXPECT_EQ(PacketHashes(out, 'a'), Joined(inputs, [](const std::string& f) { return PacketHashes(f, 'a'); }));
  } else {
    EXPECT_TRUE(PacketsOf(out, 'a').empty());
  }
}

// -------------------------------------------------- joins of real files

// What the inputs of a case must show for the case to test what it says.
enum class Proof {
  kNothing,
  kAudioBeforeVideo,  // every input's stream 0 is audio
  kTwoAudioStreams,   // two audio streams with different packets
  kMoviRelativeIdx1,  // idx1 offsets count from the movi list
  kSomeInputWithoutAudio,
  kAudioFormatsDiffer,  // the inputs' audio "strf" blocks are not equal
  kAbsoluteIdx1,        // the inputs in absoluteIdx1 have file-absolute idx1 offsets
};

struct JoinCase {
  const char* name;
  std::vector<std::string> recipes;  // one per input, in join order
  std::vector<std::string> options;
  bool soundKept;
  Proof proof = Proof::kNothing;
  const char* tool = "ffmpeg";         // the tool the recipes need besides ffmpeg
  std::vector<int> absoluteIdx1 = {};  // inputs whose idx1 offsets are made file-absolute
};

void PrintTo(const JoinCase& c, std::ostream* os) { *os << c.name; }

class JoinFiles : public ::testing::TestWithParam<JoinCase> {};

// ffmpeg and mencoder count idx1 offsets from the movi list; other writers
// count them from the start of the file. Rewrites a file's idx1 that way.
void MakeIdx1Absolute(const std::string& file) {
  AviLayout l = ReadAviLayout(file);
  ASSERT_EQ(l.error, "");
  const ChunkRef* idx1 = FindChunk(l.parts[0].children, "idx1");
  const ChunkRef* movi = FindChunk(l.parts[0].children, "LIST", "movi");
  ASSERT_TRUE(idx1 && movi);
  ASSERT_EQ(CheckIdx1(file, l).base, Idx1Base::kMoviRelative);
  std::vector<uint8_t> bytes = ReadFileBytes(file);
  for (int64_t p = idx1->DataPos(); p + 16 <= idx1->DataPos() + idx1->size; p += 16) {
    const uint32_t absolute = GetLE32(bytes, static_cast<size_t>(p + 8)) + static_cast<uint32_t>(movi->pos + 8);
    std::memcpy(bytes.data() + p + 8, &absolute, 4);
  }
  WriteFileBytes(file, bytes);
}

void CheckProof(const JoinCase& c, const std::vector<std::string>& inputs) {
  switch (c.proof) {
    case Proof::kNothing:
      break;
    case Proof::kAudioBeforeVideo:
      for (const std::string& in : inputs) {
        std::vector<std::string> types = StreamTypes(in);
        ASSERT_EQ(types, (std::vector<std::string>{"audio", "video"})) << in;
        AviLayout l = ReadAviLayout(in);
        EXPECT_EQ(l.CountInMovi("00dc") + l.CountInMovi("00db"), 0u) << "audio must be stream 0 of " << in;
      }
      break;
    case Proof::kTwoAudioStreams:
      for (const std::string& in : inputs) {
        ASSERT_EQ(StreamTypes(in), (std::vector<std::string>{"video", "audio", "audio"})) << in;
        CommandResult second = vantrel::test::Run(
            {"ffmpeg", "-v", "error", "-i", in, "-map", "0:a:1", "-c", "copy", "-f", "framemd5", "-"});
        ASSERT_EQ(second.exitCode, 0) << second.err;
        ASSERT_FALSE(second.out.empty());
        EXPECT_EQ(second.out.find(PacketHashes(in, 'a').front()), std::string::npos)
            << "the second audio stream must differ from the first";
      }
      break;
    case Proof::kMoviRelativeIdx1:
      for (const std::string& in : inputs) {
        AviLayout l = ReadAviLayout(in);
        ASSERT_EQ(l.error, "");
        std::vector<Idx1Entry> idx1 = ReadIdx1(in, l);
        ASSERT_FALSE(idx1.empty()) << in;
        const ChunkRef* movi = FindChunk(l.parts[0].children, "LIST", "movi");
        ASSERT_NE(movi, nullptr);
        EXPECT_LT(idx1.front().offset, movi->pos) << "the first idx1 offset must be a movi-relative one in " << in;
        Idx1Check check = CheckIdx1(in, l);
        EXPECT_EQ(check.error, "") << in;
        EXPECT_EQ(check.base, Idx1Base::kMoviRelative) << in;
      }
      break;
    case Proof::kSomeInputWithoutAudio:
      EXPECT_TRUE(std::any_of(inputs.begin(), inputs.end(),
                              [](const std::string& in) { return ReadAviLayout(in).FirstStream("auds") < 0; }));
      break;
    case Proof::kAbsoluteIdx1:
      for (size_t i = 0; i < inputs.size(); ++i) {
        AviLayout l = ReadAviLayout(inputs[i]);
        Idx1Check check = CheckIdx1(inputs[i], l);
        EXPECT_EQ(check.error, "") << inputs[i];
        const bool absolute = std::count(c.absoluteIdx1.begin(), c.absoluteIdx1.end(), static_cast<int>(i)) > 0;
        EXPECT_EQ(check.base, absolute ? Idx1Base::kAbsolute : Idx1Base::kMoviRelative) << inputs[i];
      }
      break;
    case Proof::kAudioFormatsDiffer: {
      AviLayout a = ReadAviLayout(inputs[0]), b = ReadAviLayout(inputs[1]);
      ASSERT_GE(a.FirstStream("auds"), 0);
      ASSERT_GE(b.FirstStream("auds"), 0);
      EXPECT_NE(a.streams[a.FirstStream("auds")].strf, b.streams[b.FirstStream("auds")].strf);
      break;
    }
  }
}

TEST_P(JoinFiles, CarriesEveryPacketInOrder) {
  const JoinCase& c = GetParam();
  RequireTools();
  if (!HaveTool(c.tool)) GTEST_SKIP() << c.tool << " is not installed";
  TempDir dir;
  std::vector<std::string> inputs;
  for (size_t i = 0; i < c.recipes.size(); ++i) {
    inputs.push_back(dir.File("in" + std::to_string(i + 1) + ".avi"));
    ASSERT_NO_FATAL_FAILURE(Make(c.recipes[i], inputs.back()));
  }
  for (int i : c.absoluteIdx1) ASSERT_NO_FATAL_FAILURE(MakeIdx1Absolute(inputs.at(static_cast<size_t>(i))));
  ASSERT_NO_FATAL_FAILURE(CheckProof(c, inputs));

  const std::string out = dir.File("joined.avi");
  CommandResult r = vantrel::test::Run(JoinArgs(c.options, out, inputs));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, out + "\n");
  // Sound left out by the program's own decision is told; asked for or
  // missing everywhere, there is nothing to tell.
  const bool someAudio = std::any_of(inputs.begin(), inputs.end(),
                                     [](const std::string& in) { return ReadAviLayout(in).FirstStream("auds") >= 0; });
  if (!c.soundKept && someAudio && c.options.empty()) {
    EXPECT_NE(r.err.find("without sound"), std::string::npos) << r.err;
  } else {
    EXPECT_EQ(r.err.rfind("Joined ", 0), 0u) << r.err;
  }
  ExpectReport(r.err, inputs.size(), out);
  ExpectJoinOf(out, inputs, c.soundKept);
}

const std::string kMencoderSource =
    "ffmpeg -nostdin -v error -y %s -c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le %t && "
    "mencoder -really-quiet -ovc lavc -lavcopts vcodec=mpeg4 -oac pcm %t -o %o";

std::string Mencoder(const std::string& sources) {
  std::string s = kMencoderSource;
  s.replace(s.find("%s"), 2, sources);
  return s;
}

std::string MencoderVideoOnly(const std::string& video) {
  return "ffmpeg -nostdin -v error -y " + video +
         " -c:v rawvideo -pix_fmt yuv420p %t && "
         "mencoder -really-quiet -ovc lavc -lavcopts vcodec=mpeg4 -nosound %t -o %o";
}

INSTANTIATE_TEST_SUITE_P(
    Cli, JoinFiles,
    ::testing::Values(
        JoinCase{"Mpeg4Mp3ThreeInputs",
                 {Ff(Video("testsrc", 2) + " " + Sine(440, 2) + " " + kMpeg4 + " " + kMp3),
                  Ff(Video("testsrc2", 1) + " " + Sine(660, 1) + " " + kMpeg4 + " " + kMp3),
                  Ff(Video("smptebars", 1.5) + " " + Sine(880, 1.5) + " " + kMpeg4 + " " + kMp3)},
                 {},
                 true},
        JoinCase{
            "VideoOnly", {Ff(Video("testsrc", 2) + " " + kMpeg4), Ff(Video("testsrc2", 1) + " " + kMpeg4)}, {}, false},
        JoinCase{"RawVideoPcm",
                 {Ff(Video("testsrc", 1) + " " + Sine(440, 1) + " -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le"),
                  Ff(Video("testsrc2", 1) + " " + Sine(660, 1) + " -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le")},
                 {},
                 true},
        JoinCase{"AudioBeforeVideo",
                 {Ff(Video("testsrc", 2) + " " + Sine(440, 2) + " -map 1:a -map 0:v " + kMpeg4 + " " + kMp3),
                  Ff(Video("testsrc2", 1) + " " + Sine(660, 1) + " -map 1:a -map 0:v " + kMpeg4 + " " + kMp3)},
                 {},
                 true,
                 Proof::kAudioBeforeVideo},
        JoinCase{"TwoAudioStreamsCarryTheFirst",
                 {Ff(Video("testsrc", 2) + " " + Sine(440, 2) + " " + Sine(1200, 2) + " -map 0:v -map 1:a -map 2:a " +
                     kMpeg4 + " -c:a pcm_s16le"),
                  Ff(Video("testsrc2", 1) + " " + Sine(660, 1) + " " + Sine(1500, 1) + " -map 0:v -map 1:a -map 2:a " +
                     kMpeg4 + " -c:a pcm_s16le")},
                 {},
                 true,
                 Proof::kTwoAudioStreams},
        JoinCase{"AbsoluteIndexOffsets",
                 {Ff(Video("testsrc", 2) + " " + Sine(440, 2) + " " + kMpeg4 + " " + kMp3),
                  Ff(Video("testsrc2", 1) + " " + Sine(660, 1) + " " + kMpeg4 + " " + kMp3)},
                 {},
                 true,
                 Proof::kAbsoluteIdx1,
                 "ffmpeg",
                 {0, 1}},
        JoinCase{"RelativeThenAbsoluteIndexOffsets",
                 {Ff(Video("testsrc", 2) + " " + Sine(440, 2) + " " + kMpeg4 + " " + kMp3),
                  Ff(Video("testsrc2", 1) + " " + Sine(660, 1) + " " + kMpeg4 + " " + kMp3)},
                 {},
                 true,
                 Proof::kAbsoluteIdx1,
                 "ffmpeg",
                 {1}},
        JoinCase{
            "MencoderMoviRelativeIndex",
            {Mencoder(Video("testsrc", 2) + " " + Sine(440, 2)), Mencoder(Video("testsrc2", 1) + " " + Sine(660, 1))},
            {},
            true,
            Proof::kMoviRelativeIdx1,
            "mencoder"},
        JoinCase{"MencoderThenFfmpegVideoOnly",
                 {MencoderVideoOnly(Video("testsrc", 1)), Ff(Video("testsrc2", 1) + " " + kMpeg4)},
                 {},
                 false,
                 Proof::kNothing,
                 "mencoder"},
        JoinCase{"SecondInputWithoutAudioDropsSound",
                 {Ff(Video("testsrc", 1) + " " + Sine(440, 1) + " " + kMpeg4 + " " + kMp3),
                  Ff(Video("testsrc2", 1) + " " + kMpeg4)},
                 {},
                 false,
                 Proof::kSomeInputWithoutAudio},
        JoinCase{"FirstInputWithoutAudioDropsSound",
                 {Ff(Video("testsrc", 1) + " " + kMpeg4),
                  Ff(Video("testsrc2", 1) + " " + Sine(440, 1) + " " + kMpeg4 + " " + kMp3)},
                 {},
                 false,
                 Proof::kSomeInputWithoutAudio},
        JoinCase{"OtherSampleRateDropsSound",
                 {Ff(Video("testsrc", 1) + " " + Sine(440, 1, 44100) + " " + kMpeg4 + " " + kMp3),
                  Ff(Video("testsrc2", 1) + " " + Sine(440, 1, 22050) + " " + kMpeg4 + " " + kMp3)},
                 {},
                 false,
                 Proof::kAudioFormatsDiffer},
        // Same codec, rate, channels and bits per sample, but blocks of
        // another size: the first file's header cannot describe the second
        // file's sound.
        JoinCase{
            "OtherAdpcmBlockSizeDropsSound",
            {Ff(Video("testsrc", 1) + " " + Sine(440, 1) + " " + kMpeg4 + " -c:a adpcm_ms -block_size 1024 -ac 1"),
             Ff(Video("testsrc2", 1) + " " + Sine(440, 1) + " " + kMpeg4 + " -c:a adpcm_ms -block_size 4096 -ac 1")},
            {},
            false,
            Proof::kAudioFormatsDiffer},
        JoinCase{"WithoutSoundOption",
                 {Ff(Video("testsrc", 1) + " " + Sine(440, 1) + " " + kMpeg4 + " " + kMp3),
                  Ff(Video("testsrc2", 1) + " " + Sine(660, 1) + " " + kMpeg4 + " " + kMp3)},
                 {"--without-sound"},
                 false}),
    [](const ::testing::TestParamInfo<JoinCase>& p) { return std::string(p.param.name); });

// ------------------------------------------------- command line behaviour

// Two small inputs shared by the command line tests.
class JoinCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    in1_ = dir_->File("first.avi");
    in2_ = dir_->File("second.avi");
    Make(Ff(Video("testsrc", 1) + " " + Sine(440, 1) + " " + kMpeg4 + " " + kMp3), in1_);
    Make(Ff(Video("testsrc2", 1) + " " + Sine(660, 1) + " " + kMpeg4 + " " + kMp3), in2_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    RequireTools();
    ASSERT_TRUE(std::filesystem::exists(in1_) && std::filesystem::exists(in2_)) << "the inputs were not made";
  }

  static TempDir* dir_;
  static std::string in1_, in2_;
  TempDir work_;
};

TempDir* JoinCli::dir_ = nullptr;
std::string JoinCli::in1_, JoinCli::in2_;

// An output that cannot be created is named, and so is the folder that
// refuses it.
TEST_F(JoinCli, AFolderThatCannotBeWrittenToIsNamed) {
  // sysfs refuses new files, even to root.
  const std::string sys = "/sys/vantrel-out.avi";
  const int fd = ::open(sys.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    ::close(fd);
    ::unlink(sys.c_str());
    GTEST_SKIP() << "this system lets " << sys << " be created";
  }
  if (errno != EACCES) GTEST_SKIP() << "creating in /sys gives " << std::strerror(errno);
  const CommandResult r = vantrel::test::Run(JoinArgs({}, sys, {in1_, in2_}));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Join fails: System Error.  Code: " + std::to_string(EACCES) + ".\n" + std::strerror(EACCES) +
                       "\nCannot create file /sys/vantrel-out.avi: the folder /sys cannot be written to\n");
}

TEST_F(JoinCli, ExistingOutputIsRefusedAndKept) {
  const std::string out = work_.File("taken.avi");
  const std::vector<uint8_t> precious = Text("not to be lost");
  WriteFileBytes(out, precious);
  CommandResult r = vantrel::test::Run(JoinArgs({}, out, {in1_, in2_}));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("The \"" + out + "\" file already exists."), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFileBytes(out), precious);
}

struct OptionCase {
  const char* name;
  std::vector<std::string> options;
  bool outputExists;
  bool quiet;
};

void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.name; }

class JoinOptions : public JoinCli, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(JoinOptions, JoinAndReport) {
  const OptionCase& c = GetParam();
  const std::string out = work_.File("out.avi");
  if (c.outputExists) WriteFileBytes(out, std::vector<uint8_t>(100000, 0xAB));
  std::vector<std::string> argv{CliPath(), "join", "--exact"};  // checked chunk for chunk
  for (const std::string& o : c.options) argv.push_back(o == "%o" ? out : o == "--output=%o" ? "--output=" + out : o);
  argv.push_back(in1_);
  argv.push_back(in2_);
  CommandResult r = vantrel::test::Run(argv);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, c.quiet ? std::string() : out + "\n");
  if (c.quiet)
    EXPECT_EQ(r.err, "");
  else
    ExpectReport(r.err, 2, out);
  ExpectJoinOf(out, {in1_, in2_}, true);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, JoinOptions,
    ::testing::Values(OptionCase{"ShortOverwrite", {"--copy", "-y", "-o", "%o"}, true, false},
                      OptionCase{"LongOverwrite", {"--overwrite", "--copy", "-o", "%o"}, true, false},
                      OptionCase{"QuietShort", {"--copy", "-q", "-o", "%o"}, false, true},
                      OptionCase{
                          "QuietLongOverwrite", {"--quiet", "--copy", "--overwrite", "--output", "%o"}, true, true},
                      OptionCase{"OutputEquals", {"--copy", "--output=%o"}, false, false},
                      OptionCase{"CopyAfterOutput", {"-o", "%o", "--copy"}, false, false},
                      // Files that can be joined by copy with their sound are,
                      // when no way is asked for.
                      OptionCase{"CopyByDefault", {"-o", "%o"}, false, false}),
    [](const ::testing::TestParamInfo<OptionCase>& p) { return std::string(p.param.name); });

struct UsageCase {
  const char* name;
  std::vector<std::string> args;  // %o: the output, %1: an input
  const char* mention;            // what the message must name
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class JoinUsage : public JoinCli, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(JoinUsage, ExitsWithUsage) {
  const UsageCase& c = GetParam();
  const std::string out = work_.File("out.avi");
  std::vector<std::string> argv{CliPath()};
  for (const std::string& a : c.args) argv.push_back(a == "%o" ? out : a == "%1" ? in1_ : a);
  CommandResult r = vantrel::test::Run(argv);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("Usage:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, JoinUsage,
    ::testing::Values(
        UsageCase{"NoCommand", {}, "no command"},
        UsageCase{"UnknownCommand", {"merge", "--copy", "-o", "%o", "%1"}, "merge"},
        UsageCase{"NoInputs", {"join", "--copy", "-o", "%o"}, "no input files"},
        UsageCase{"NoOutput", {"join", "--copy", "%1", "%1"}, "no output file"},
        UsageCase{"UnknownOption", {"join", "--copy", "--fast", "-o", "%o", "%1"}, "--fast"},
        UsageCase{"OutputOptionWithoutName", {"join", "--copy", "%1", "-o"}, "-o needs a file name"},
        UsageCase{"CopyAndRecompress", {"join", "--copy", "--recompress", "-o", "%o", "%1"}, "exclude each other"}),
    [](const ::testing::TestParamInfo<UsageCase>& p) { return std::string(p.param.name); });

// Inputs that cannot be joined by copy with the others are refused before
// anything is written.
struct ForeignCase {
  const char* name;
  std::string recipe;  // empty: random bytes
  bool firstInput;
  const char* message;  // what stderr must say; "%f" stands for the refused file
};

void PrintTo(const ForeignCase& c, std::ostream* os) { *os << c.name; }

class JoinForeign : public JoinCli, public ::testing::WithParamInterface<ForeignCase> {};

TEST_P(JoinForeign, RefusedWithoutOutput) {
  const ForeignCase& c = GetParam();
  const std::string foreign = work_.File("foreign.bin");
  if (c.recipe.empty()) {
    std::mt19937 gen(20240611);
    std::vector<uint8_t> bytes(64 * 1024);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(gen());
    WriteFileBytes(foreign, bytes);
  } else {
    ASSERT_NO_FATAL_FAILURE(Make(c.recipe, foreign));
  }
  const std::vector<uint8_t> before = ReadFileBytes(foreign);
  const std::string out = work_.File("out.avi");
  std::vector<std::string> inputs =
      c.firstInput ? std::vector<std::string>{foreign, in1_} : std::vector<std::string>{in1_, foreign};
  CommandResult r = vantrel::test::Run(JoinArgs({}, out, inputs));
  EXPECT_EQ(r.exitCode, 1);
  std::string message = c.message;
  if (message.find("%f") != std::string::npos) message.replace(message.find("%f"), 2, foreign);
  EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(ReadFileBytes(foreign), before);
}

const char* const kOnlyAviMpeg = "only AVI, MPEG, MP4, MOV, Matroska, WebM, MPEG-TS and FLV files can be joined without recompression";
const char* const kIdenticalFormat = "only files with identical format can be joined without recompression";

INSTANTIATE_TEST_SUITE_P(
    Cli, JoinForeign,
    ::testing::Values(ForeignCase{"RandomBytes", "", true, "Unable to add file %f"},
                      ForeignCase{"RandomBytesSecond", "", false, "Unable to add file %f"},
                      ForeignCase{"MpegProgramStream", Ff(Video("testsrc", 1) + " -c:v mpeg2video -f vob"), true,
                                  "- File 2 (first.avi): an AVI file, the first file MPEG-PS"},
                      ForeignCase{"Asf", Ff(Video("testsrc", 1) + " -c:v wmv2 -f asf"), true, kOnlyAviMpeg},
                      // Container-copy families name the difference.
                      ForeignCase{"Mp4", Ff(Video("testsrc", 1) + " -c:v mpeg4 -f mp4"), true,
                                  "- File 2 (first.avi): an AVI file, the first file MP4"},
                      ForeignCase{"MpegProgramStreamSecond", Ff(Video("testsrc", 1) + " -c:v mpeg2video -f vob"), false,
                                  kIdenticalFormat},
                      ForeignCase{"MpegSystemStreamFirst", Ff(Video("testsrc", 1) + " -c:v mpeg1video -f mpeg"), true,
                                  kIdenticalFormat},
                      ForeignCase{"AviOtherFrameSize", Ff(Video("testsrc", 1, "176x144") + " " + kMpeg4 + " -f avi"),
                                  false, kIdenticalFormat},
                      ForeignCase{"AviOtherFrameRate",
                                  Ff("-f lavfi -i testsrc=size=160x120:rate=30:duration=1 " + kMpeg4 + " -f avi"),
                                  false, kIdenticalFormat}),
    [](const ::testing::TestParamInfo<ForeignCase>& p) { return std::string(p.param.name); });

// An input that passes the checks but that the AVI reader cannot copy from
// fails the join; the output then holds, as a complete file, what was
// joined before it.
class JoinFailure : public JoinCli, public ::testing::WithParamInterface<int> {};

TEST_P(JoinFailure, UnindexedInputFailsTheJoin) {
  const int broken = GetParam();
  std::vector<std::string> inputs{work_.File("a.avi"), work_.File("b.avi")};
  std::filesystem::copy_file(in1_, inputs[0]);
  std::filesystem::copy_file(in2_, inputs[1]);
  // Hide the index: ffmpeg still reads the file by scanning it, the joiner
  // copies by index only.
  const std::string& victim = inputs[static_cast<size_t>(broken)];
  AviLayout l = ReadAviLayout(victim);
  const ChunkRef* idx1 = FindChunk(l.parts.at(0).children, "idx1");
  ASSERT_NE(idx1, nullptr);
  ASSERT_FALSE(l.streams.at(0).indx) << "the file must have no other index";
  std::vector<uint8_t> bytes = ReadFileBytes(victim);
  std::copy_n("JUNK", 4, bytes.begin() + idx1->pos);
  WriteFileBytes(victim, bytes);
  ASSERT_EQ(PacketHashes(victim, 'v'), PacketHashes(broken ? in2_ : in1_, 'v')) << "ffmpeg must still read it";

  const std::string out = work_.File("out.avi");
  CommandResult r = vantrel::test::Run(JoinArgs({}, out, inputs));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.rfind("Join fails: ", 0), 0u) << r.err;
  EXPECT_GT(r.err.size(), std::string("Join fails: \n").size()) << "the failure must be told";
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFileBytes(victim), bytes);
  // The first file is read with its index before the output is begun: when
  // that fails nothing is written; a later file's failure leaves the files
  // before it joined.
  ASSERT_EQ(std::filesystem::exists(out), broken != 0);
  if (broken == 0) return;
  AviLayout layout = ReadAviLayout(out);
  EXPECT_EQ(layout.error, "");
  EXPECT_EQ(CheckIdx1(out, layout).error, "");
  EXPECT_EQ(PacketHashes(out, 'v'), PacketHashes(inputs[0], 'v'));
}

INSTANTIATE_TEST_SUITE_P(Cli, JoinFailure, ::testing::Values(0, 1), [](const ::testing::TestParamInfo<int>& p) {
  return p.param == 0 ? std::string("First") : std::string("Second");
});

// The output must never be one of the inputs, however it is named; with
// --overwrite a careless join would delete the input before reading it.
enum class Alias { kSamePath, kOtherSpelling, kHardLink, kSymLink };

struct AliasCase {
  const char* name;
  Alias alias;
  int inputIndex;  // which input the output names
};

void PrintTo(const AliasCase& c, std::ostream* os) { *os << c.name; }

class JoinOutputIsInput : public JoinCli, public ::testing::WithParamInterface<AliasCase> {};

TEST_P(JoinOutputIsInput, RefusesAndKeepsTheInput) {
  const AliasCase& c = GetParam();
  // Private copies: a failure here must not spoil the shared inputs.
  const std::vector<std::string> inputs{work_.File("a.avi"), work_.File("b.avi")};
  std::filesystem::copy_file(in1_, inputs[0]);
  std::filesystem::copy_file(in2_, inputs[1]);
  const std::vector<uint8_t> before0 = ReadFileBytes(inputs[0]), before1 = ReadFileBytes(inputs[1]);
  const std::string& target = inputs[static_cast<size_t>(c.inputIndex)];
  std::string out;
  switch (c.alias) {
    case Alias::kSamePath:
      out = target;
      break;
    case Alias::kOtherSpelling:
      out = work_.Path() + "/./" + std::filesystem::path(target).filename().string();
      break;
    case Alias::kHardLink:
      out = work_.File("hard.avi");
      ASSERT_EQ(::link(target.c_str(), out.c_str()), 0);
      break;
    case Alias::kSymLink:
      out = work_.File("soft.avi");
      ASSERT_EQ(::symlink(target.c_str(), out.c_str()), 0);
      break;
  }
  CommandResult r = vantrel::test::Run(JoinArgs({"-y"}, out, inputs));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("Join fails: The output file is one of the input files"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFileBytes(inputs[0]), before0);
  EXPECT_EQ(ReadFileBytes(inputs[1]), before1);
  struct stat st;
  EXPECT_EQ(::lstat(out.c_str(), &st), 0) << "the link must be left in place";
  if (c.alias == Alias::kSymLink) {
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }
  if (c.alias == Alias::kHardLink) {
    EXPECT_EQ(st.st_nlink, 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, JoinOutputIsInput,
                         ::testing::Values(AliasCase{"SamePathFirst", Alias::kSamePath, 0},
                                           AliasCase{"SamePathSecond", Alias::kSamePath, 1},
                                           AliasCase{"OtherSpelling", Alias::kOtherSpelling, 1},
                                           AliasCase{"HardLink", Alias::kHardLink, 0},
                                           AliasCase{"SymLink", Alias::kSymLink, 1}),
                         [](const ::testing::TestParamInfo<AliasCase>& p) { return std::string(p.param.name); });

// Without --overwrite the output that is an input is already refused as an
// existing file.
TEST_F(JoinCli, OutputIsInputWithoutOverwrite) {
  const std::string in = work_.File("a.avi");
  std::filesystem::copy_file(in1_, in);
  const std::vector<uint8_t> before = ReadFileBytes(in);
  CommandResult r = vantrel::test::Run(JoinArgs({}, in, {in, in2_}));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("The \"" + in + "\" file already exists."), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(in), before);
}

struct UnreadableCase {
  const char* name;
  bool folder;
  int position;
};

void PrintTo(const UnreadableCase& c, std::ostream* os) { *os << c.name; }

class JoinUnreadable : public JoinCli, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(JoinUnreadable, NamesTheInput) {
  const UnreadableCase& c = GetParam();
  const std::string bad = work_.File(c.folder ? "folder.avi" : "missing.avi");
  if (c.folder) std::filesystem::create_directory(bad);
  std::vector<std::string> inputs{in1_, in2_};
  inputs.insert(inputs.begin() + c.position, bad);
  const std::string out = work_.File("out.avi");
  CommandResult r = vantrel::test::Run(JoinArgs({}, out, inputs));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("\"" + bad + "\""), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(std::filesystem::exists(out));
}

INSTANTIATE_TEST_SUITE_P(Cli, JoinUnreadable,
                         ::testing::Values(UnreadableCase{"MissingFirst", false, 0},
                                           UnreadableCase{"MissingLast", false, 2},
                                           UnreadableCase{"FolderInBetween", true, 1}),
                         [](const ::testing::TestParamInfo<UnreadableCase>& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------- Ctrl+C

// A rawvideo file big enough that its join takes a good part of a second:
// 1280x720 bgr24 frames of 2.7 MB each.
class JoinCancel : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    big_ = dir_->File("big.avi");
    Make(Ff(Video("testsrc", 8, "1280x720") + " -c:v rawvideo -pix_fmt bgr24"), big_);
    hashes_ = PacketHashes(big_, 'v');
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
    hashes_.clear();
  }

  static TempDir* dir_;
  static std::string big_;
  static std::vector<std::string> hashes_;
};

TempDir* JoinCancel::dir_ = nullptr;
std::string JoinCancel::big_;
std::vector<std::string> JoinCancel::hashes_;

TEST_P(JoinCancel, InterruptLeavesAWellFormedPrefix) {
  RequireTools();
  ASSERT_FALSE(hashes_.empty()) << "the input was not made";
  const int copies = GetParam();
  TempDir work;
  const std::string out = work.File("cut.avi");
  const std::string outLog = work.File("stdout.txt"), errLog = work.File("stderr.txt");
  std::vector<std::string> argv = JoinArgs({}, out, std::vector<std::string>(static_cast<size_t>(copies), big_));

  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int in = ::open("/dev/null", O_RDONLY);
    int o = ::open(outLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = ::open(errLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
    ::execv(args[0], args.data());
    ::_exit(127);
  }

  // Interrupt once a few MB are written, far from the end.
  constexpr off_t kCutAt = 8 << 20;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  bool exitedEarly = false, sent = false;
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      exitedEarly = true;
      break;
    }
    if (BytesBeingWritten(out) > kCutAt) {
      ::kill(pid, SIGINT);
      sent = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  if (!exitedEarly && !sent) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "the output did not grow past " << kCutAt << " bytes in time";
  }
  if (sent) {
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  }
  const std::vector<uint8_t> errBytes = ReadFileBytes(errLog);
  const std::string err(errBytes.begin(), errBytes.end());
  ASSERT_FALSE(exitedEarly) << "the join ended before it could be interrupted: " << err;
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 130) << err;
  EXPECT_NE(err.find("Cancelled"), std::string::npos) << err;

  // ffmpeg reads the output to its end without a complaint.
  CommandResult probe = vantrel::test::Run(
      {"ffprobe", "-v", "error", "-count_packets", "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", out});
  EXPECT_EQ(probe.exitCode, 0);
  EXPECT_EQ(probe.err, "");

  AviLayout layout = ReadAviLayout(out);
  ASSERT_EQ(layout.error, "");
  ASSERT_EQ(layout.streams.size(), 1u);
  const size_t chunks = layout.CountInMovi("00dc");
  EXPECT_EQ(layout.streams[0].Length(), chunks);
  EXPECT_EQ(CheckIdx1(out, layout).error, "");
  if (copies > 1) {
    // Past 900 MiB of input the OpenDML index is written too.
    OdmlCheck odml = CheckOdmlIndex(out, layout, 0);
    EXPECT_EQ(odml.error, "");
    EXPECT_EQ(odml.duration, chunks);
  }

  std::vector<std::string> all;
  for (int i = 0; i < copies; ++i) all.insert(all.end(), hashes_.begin(), hashes_.end());
  std::vector<std::string> got = PacketHashes(out, 'v');
  EXPECT_EQ(got.size(), chunks);
  ASSERT_FALSE(got.empty());
  ASSERT_LT(got.size(), all.size()) << "the join was not cut short";
  EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << "the output is not a prefix of the full join";
}

INSTANTIATE_TEST_SUITE_P(Cli, JoinCancel, ::testing::Values(1, 2), [](const ::testing::TestParamInfo<int>& p) {
  return p.param == 1 ? std::string("OneInputIdx1Only") : std::string("TwoInputsWithOpenDML");
});

}  // namespace
}  // namespace vantrel::test
