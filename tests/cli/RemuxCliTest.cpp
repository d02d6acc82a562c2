// Joins of MP4, MOV, Matroska, WebM and MPEG-TS files without recompression,
// on files three writers make at test time, judged as a viewer would: every
// frame as it was, the length the sum of the inputs', a chapter where each
// input begins, nothing a decoder complains about.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

std::string Sub(std::string s, const std::string& key, const std::string& value) {
  for (size_t p; (p = s.find(key)) != std::string::npos;) s.replace(p, key.size(), value);
  return s;
}

// %o: the file to make; %n: the input's number (1, 2, 3), which varies its
// tone; %s: a scratch name.
struct Writer {
  const char* name;
  const char* tool;
  std::string recipe;
  std::string extension;
  bool chapters;
  std::string outExtension = "";  // when not the inputs'
};

void PrintTo(const Writer& w, std::ostream* os) { *os << w.name; }

const std::string kSrc =
    "-f lavfi -i testsrc=size=320x240:rate=25:duration=2.4 -f lavfi -i sine=frequency=%n00:sample_rate=48000:duration=2.4";
const std::string kH264 = "-c:v libx264 -preset veryfast -bf 3 -g 12 -c:a aac";
const std::string kGstVideo =
    "videotestsrc num-buffers=60 pattern=%n ! video/x-raw,width=320,height=240,framerate=25/1 ! x264enc ! h264parse ! "
    "queue";
const std::string kGstAudio = "audiotestsrc num-buffers=113 freq=%n00 ! audio/x-raw,rate=48000 ! audioconvert";

const Writer kWriters[] = {
    {"FfmpegMp4", "ffmpeg", "ffmpeg -nostdin -v error -y " + kSrc + " " + kH264 + " %o", ".mp4", true},
    {"FfmpegMovIntoMatroska", "ffmpeg", "ffmpeg -nostdin -v error -y " + kSrc + " " + kH264 + " %o", ".mov", true, ".mkv"},
    {"FfmpegMpegTs", "ffmpeg", "ffmpeg -nostdin -v error -y " + kSrc + " " + kH264 + " -f mpegts %o", ".ts", false},
    {"FfmpegWebm", "ffmpeg",
     "ffmpeg -nostdin -v error -y " + kSrc + " -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -c:a libopus %o",
     ".webm", true},
    {"GstreamerMp4mux", "gst-launch-1.0",
     "gst-launch-1.0 -q " + kGstVideo + " ! mp4mux name=m ! filesink location=%o " + kGstAudio + " ! avenc_aac ! queue ! m.",
     ".mp4", true},
    {"GstreamerMatroskamux", "gst-launch-1.0",
     "gst-launch-1.0 -q " + kGstVideo + " ! matroskamux name=m ! filesink location=%o " + kGstAudio +
         " ! vorbisenc ! queue ! m.",
     ".mkv", true},
    {"Mkvmerge", "mkvmerge",
     "ffmpeg -nostdin -v error -y " + kSrc + " " + kH264 + " %s.mp4 && mkvmerge -q -o %o %s.mp4 && rm %s.mp4", ".mkv",
     true},
};

double Probe(const std::string& file, const std::string& entry) {
  return std::atof(Run({"ffprobe", "-v", "error", "-show_entries", entry, "-of", "csv=p=0", file}).out.c_str());
}

// The decoded pictures' hashes, as a player would show them.
std::vector<std::string> FrameHashes(const std::string& file) {
  CommandResult r = Run({"ffmpeg", "-v", "error", "-i", file, "-map", "0:v:0", "-f", "framemd5", "-"});
  std::vector<std::string> hashes;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(',') + 1));
  return hashes;
}

class RemuxJoin : public ::testing::TestWithParam<Writer> {};

TEST_P(RemuxJoin, EveryFrameAsItWasAndAChapterPerInput) {
  const Writer& w = GetParam();
  if (!HaveTool(w.tool) || !HaveTool("ffmpeg")) GTEST_SKIP() << w.tool << " is not installed";
  TempDir dir;
  std::vector<std::string> inputs, want;
  std::vector<double> starts;
  double length = 0;
  for (int n = 1; n <= 3; ++n) {
    const std::string f = dir.File("clip " + std::to_string(n) + w.extension);
    std::string cmd = Sub(Sub(Sub(w.recipe, "%o", "'" + f + "'"), "%s", "'" + f + ".scratch'"), "%n", std::to_string(n));
    CommandResult made = Shell(cmd);
    ASSERT_EQ(made.exitCode, 0) << cmd << "\n" << made.err;
    inputs.push_back(f);
    auto h = FrameHashes(f);
    ASSERT_FALSE(h.empty());
    want.insert(want.end(), h.begin(), h.end());
    starts.push_back(length);
    length += Probe(f, "format=duration");
  }
  const std::string out = dir.File("joined" + (w.outExtension.empty() ? w.extension : w.outExtension));
  std::vector<std::string> args = {CliPath(), "join", "--verify", "-o", out};
  args.insert(args.end(), inputs.begin(), inputs.end());
  CommandResult r = test::Run(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, out + "\n");

  EXPECT_EQ(FrameHashes(out), want);
  EXPECT_NEAR(Probe(out, "format=duration"), length, 0.1);
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");

  // The report counts what a reader finds.
  const std::regex line("Joined 3 files: ([0-9]+) video and ([0-9]+) audio packets, 00:0[0-9], verified\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.err, m, line)) << r.err;
  EXPECT_EQ(std::stoul(m[1]), PacketHashes(out, 'v').size());
  EXPECT_EQ(std::stoul(m[2]), PacketHashes(out, 'a').size());

  CommandResult ch = test::Run({"ffprobe", "-v", "error", "-show_entries", "chapter=start_time:chapter_tags=title", "-of",
                          "csv=p=0", out});
  if (!w.chapters) {
    EXPECT_EQ(ch.out, "");
    return;
  }
  std::istringstream in(ch.out);
  std::vector<std::string> rows;
  for (std::string row; std::getline(in, row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), 3u) << ch.out;
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(rows[i]);
    EXPECT_NEAR(std::atof(rows[i].c_str()), starts[i], 0.1);
    EXPECT_EQ(rows[i].substr(rows[i].find(',') + 1), "clip " + std::to_string(i + 1));
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, RemuxJoin, ::testing::ValuesIn(kWriters),
                         [](const auto& p) { return std::string(p.param.name); });

// What the command line says and writes when the files or the output name
// rule a copy out.
struct Refusal {
  const char* name;
  std::string second;  // ffmpeg options for the second input (the first: kSrc + kH264 into .mp4)
  std::string output;
  std::vector<std::string> flags;
  int exitCode;
  std::string message;  // in stderr
  bool written;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

const Refusal kRefusals[] = {
    {"OtherFrameSize", "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 " + kH264, "out.mp4", {"--copy"}, 1,
     "- File 2 (b.mp4): video 160x120, the first file 320x240", false},
    {"OtherSampleRateLeavesTheSoundOut",
     "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 " + kH264,
     "out.mp4", {"--copy"}, 0,
     "- files will be joined without sound (audio formats differ)", true},
    {"ContainerCannotHoldTheVideo", "", "out.webm", {}, 1,
     "vantrel-cli: Unable to join these files without recompression: a WebM file cannot hold h264 video", false},
    // A portrait clip among landscape ones: one display matrix cannot turn both.
    {"TurnedOtherwise", "-i %a -c copy -metadata:s:v:0 rotate=90", "out.mp4", {"--copy"}, 1,
     "- File 2 (b.mp4): video turned 90 degrees, the first file not turned", false},
    {"ExtensionOfNoCopiedContainer", "", "out.wav", {"--copy"}, 1,
     "the output's extension .wav is not one this join can write without recompression; name the output .mp4", false},
};

class RemuxRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(RemuxRefusal, SaysWhyAndWritesNothing) {
  const Refusal& c = GetParam();
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string a = dir.File("a.mp4"), b = dir.File("b.mp4"), out = dir.File(c.output);
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y " + Sub(kSrc, "%n", "3") + " " + kH264 + " '" + a + "'").exitCode, 0);
  // %a: the first file, for a second made from it.
  const std::string second = c.second.empty() ? Sub(kSrc, "%n", "4") + " " + kH264 : Sub(c.second, "%a", "'" + a + "'");
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y " + second + " '" + b + "'").exitCode, 0);
  std::vector<std::string> args = {CliPath(), "join", "-o", out};
  args.insert(args.end(), c.flags.begin(), c.flags.end());
  args.push_back(a);
  args.push_back(b);
  CommandResult r = test::Run(args);
  EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  EXPECT_EQ(std::filesystem::exists(out), c.written);
  if (c.written) {
    EXPECT_EQ(PacketHashes(out, 'a').size(), 0u);
    EXPECT_EQ(FrameHashes(out).size(), FrameHashes(a).size() + FrameHashes(b).size());
  }
}

INSTANTIATE_TEST_SUITE_P(Cli, RemuxRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& p) { return std::string(p.param.name); });

// The video packets' presentation times, in seconds, in file order.
std::vector<double> VideoTimes(const std::string& file) {
  std::istringstream in(
      test::Run({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries", "packet=pts_time", "-of", "csv=p=0", file})
          .out);
  std::vector<double> t;
  for (std::string row; std::getline(in, row);) t.push_back(std::atof(row.c_str()));
  return t;
}

// Two clips of one phone: the same encoder and parameter sets, but their
// frames not evenly spaced (a dark scene slows the camera), so their average
// rates differ. The rate is no parameter of such a stream: they are copied
// by default, every frame at its own time, the second file shifted by one
// offset.
TEST(RemuxTiming, ClipsWhoseAverageRatesDifferAreCopiedFrameForFrame) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string src =
      "-f lavfi -i testsrc=size=320x240:rate=30:duration=2 -f lavfi -i sine=sample_rate=48000:duration=2 ";
  const std::string encode = " -c:v libx264 -preset veryfast -bf 0 -g 30 -c:a aac -video_track_timescale 90000 ";
  const std::string a = dir.File("a.mp4"), b = dir.File("b.mp4"), out = dir.File("out.mp4");
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y " + src + encode + "'" + a + "'").exitCode, 0);
  // From frame 20 on, half a second late.
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y " + src + "-vf \"setpts='if(gte(N,20),PTS+15,PTS)'\" -fps_mode passthrough" +
                  encode + "'" + b + "'")
                .exitCode,
            0);
  const CommandResult r = test::Run({CliPath(), "join", "-o", out, a, b});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err.find("recompression"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Joined 2 files: 120 video"), std::string::npos) << r.err;
  const std::vector<double> ta = VideoTimes(a), tb = VideoTimes(b), joined = VideoTimes(out);
  ASSERT_EQ(joined.size(), ta.size() + tb.size());
  for (size_t i = 0; i < ta.size(); ++i) EXPECT_NEAR(joined[i], ta[i], 0.001) << i;
  const double offset = joined[ta.size()] - tb[0];
  // It starts where the first file ended (its sound may end a little after
  // its last frame), never over it.
  EXPECT_GE(offset, ta.back() + 1.0 / 30 - 0.001);
  EXPECT_LT(offset, ta.back() + 1.0 / 30 + 0.05);
  for (size_t i = 0; i < tb.size(); ++i) EXPECT_NEAR(joined[ta.size() + i], tb[i] + offset, 0.001) << i;
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
}

// A DVD stores a title as VOB pieces cut at 2048-byte sectors: joined, they
// are the title again, byte for byte, whatever is cut in two at each cut.
// Two separate recordings are no such pieces, and are joined as before.
TEST(RemuxPieces, PiecesOfOneTitleAreTheTitleAgain) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  const std::string title = dir.File("title.vob");
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25:duration=6 -f lavfi -i "
                  "sine=sample_rate=48000:duration=6 -target pal-dvd -b:v 2M '" + title + "'")
                .exitCode,
            0);
  const std::vector<uint8_t> bytes = ReadFileBytes(title);
  const size_t sectors = bytes.size() / 2048;
  ASSERT_GT(sectors, 30u);
  std::vector<std::string> pieces;
  const size_t cuts[] = {0, sectors / 3 * 2048 + 0, sectors * 2 / 3 * 2048, bytes.size()};
  for (int i = 0; i < 3; ++i) {
    pieces.push_back(dir.File("VTS_01_" + std::to_string(i + 1) + ".VOB"));
    WriteFileBytes(pieces.back(), std::vector<uint8_t>(bytes.begin() + static_cast<long>(cuts[i]),
                                                       bytes.begin() + static_cast<long>(cuts[i + 1])));
  }
  const std::string out = dir.File("joined.vob");
  std::vector<std::string> args = {CliPath(), "join", "-o", out};
  args.insert(args.end(), pieces.begin(), pieces.end());
  CommandResult r = test::Run(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err.find("recompression"), std::string::npos) << r.err;
  EXPECT_TRUE(ReadFileBytes(out) == bytes) << "the pieces did not give the title back";

  // Two recordings made apart: each clock starts again.
  const std::string other = dir.File("other.vob");
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=25:duration=2 -f lavfi -i "
                  "sine=sample_rate=48000:duration=2 -target pal-dvd '" + other + "'")
                .exitCode,
            0);
  const std::string both = dir.File("both.vob");
  r = test::Run({CliPath(), "join", "--copy", "-o", both, title, other});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Copied packet by packet, each file shifted to follow the one before.
  EXPECT_NE(r.err.find("Joined 2 files: "), std::string::npos) << r.err;
  std::vector<uint8_t> concatenated = bytes;
  const std::vector<uint8_t> second = ReadFileBytes(other);
  concatenated.insert(concatenated.end(), second.begin(), second.end());
  EXPECT_FALSE(ReadFileBytes(both) == concatenated);
}

// A camera's chapters: one encode cut at key frames into files. Joined,
// every packet of every piece is there (the sound an edit list hides at the
// start of a piece included: it is the recording's, not encoder delay),
// each stream's time line has no hole or overlap, and the whole is as long
// as the recording.
struct ChapterCase {
  const char* name;
  const char* tool;
  // In %d, the recording %r (H.264 with B-frames, AAC) cut into pieces
  // whose names sort in order.
  std::string split;
  std::string extension;
  std::string piecesGlob;
  double holeTolerance;  // Matroska rounds every time to a millisecond
};

void PrintTo(const ChapterCase& c, std::ostream* os) { *os << c.name; }

class RecordingChapters : public ::testing::TestWithParam<ChapterCase> {};

struct Packet {
  double pts, duration;
  std::string hash;
};

// Every packet of one kind of stream, as the demuxer gives it.
std::vector<Packet> Packets(const std::string& file, const std::string& kind) {
  std::vector<Packet> p;
  std::istringstream times(test::Run({"ffprobe", "-v", "error", "-select_streams", kind, "-show_entries",
                                      "packet=pts_time,duration_time", "-of", "csv=p=0", file})
                               .out);
  for (std::string row; std::getline(times, row);)
    if (!row.empty()) p.push_back({std::atof(row.c_str()), std::atof(row.substr(row.find(',') + 1).c_str()), ""});
  std::istringstream hashes(
      test::Run({"ffmpeg", "-v", "error", "-i", file, "-map", "0:" + kind, "-c", "copy", "-f", "framemd5", "-"}).out);
  size_t k = 0;
  for (std::string row; std::getline(hashes, row);) {
    if (row.empty() || row[0] == '#') continue;
    // Side data follows the packet's own hash on the row: take the sixth field.
    std::vector<std::string> fields;
    std::istringstream cells(row);
    for (std::string c; std::getline(cells, c, ',');) fields.push_back(c);
    if (k < p.size() && fields.size() >= 6) p[k].hash = fields[5];
    ++k;
  }
  return p;
}

TEST_P(RecordingChapters, FollowOnWithEveryFrameAndNoHole) {
  const ChapterCase& c = GetParam();
  if (!HaveTool("ffmpeg") || !HaveTool(c.tool)) GTEST_SKIP() << c.tool << " is not installed";
  TempDir dir;
  const std::string rec = dir.File("recording" + c.extension);
  ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=30:duration=6 -f lavfi -i "
                  "sine=sample_rate=48000:duration=6 -c:v libx264 -preset veryfast -bf 2 -g 30 -c:a aac -b:a 96k '" +
                  dir.File("recording.mp4") + "'" +
                  (c.extension == ".mp4" ? "" : " && mkvmerge -q -o '" + rec + "' '" + dir.File("recording.mp4") + "'"))
                .exitCode,
            0);
  ASSERT_EQ(Shell("cd '" + dir.Path() + "' && " + Sub(c.split, "%r", "recording" + c.extension)).exitCode, 0);
  std::vector<std::string> pieces;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    if (std::regex_match(e.path().filename().string(), std::regex(c.piecesGlob))) pieces.push_back(e.path());
  std::sort(pieces.begin(), pieces.end());
  ASSERT_EQ(pieces.size(), 3u);

  const std::string out = dir.File("joined" + c.extension);
  std::vector<std::string> args = {CliPath(), "join", "-o", out};
  args.insert(args.end(), pieces.begin(), pieces.end());
  const CommandResult r = test::Run(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err.find("recompression"), std::string::npos) << r.err;

  for (const std::string kind : {"v", "a"}) {
    std::vector<std::string> want;
    for (const std::string& p : pieces)
      for (const Packet& k : Packets(p, kind)) want.push_back(k.hash);
    std::vector<Packet> got = Packets(out, kind);
    std::vector<std::string> gotHashes;
    for (const Packet& k : got) gotHashes.push_back(k.hash);
    EXPECT_EQ(gotHashes, want) << kind << ": the pieces' packets, in order";
    std::sort(got.begin(), got.end(), [](const Packet& x, const Packet& y) { return x.pts < y.pts; });
    for (size_t k = 1; k < got.size(); ++k)
      EXPECT_NEAR(got[k].pts, got[k - 1].pts + got[k - 1].duration, c.holeTolerance)
          << kind << " packet " << k << " at " << got[k].pts;
  }
  const double frame = 1.0 / 30;
  EXPECT_NEAR(Probe(out, "format=duration"), Probe(rec, "format=duration"), frame);
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
}

const ChapterCase kChapterCases[] = {
    // Each piece's times start again at 0, its first sound behind an edit
    // list that hides what came before its first key frame.
    {"FfmpegSegmentMp4", "ffmpeg",
     "ffmpeg -nostdin -v error -i %r -c copy -f segment -segment_time 2 -reset_timestamps 1 piece%d.mp4", ".mp4",
     "piece[0-9][.]mp4", 0.001},
    {"MkvmergeSplit", "mkvmerge", "mkvmerge -q --split duration:2s -o piece.mkv %r", ".mkv", "piece-[0-9]+[.]mkv",
     0.0025},
};

INSTANTIATE_TEST_SUITE_P(Writers, RecordingChapters, ::testing::ValuesIn(kChapterCases),
                         [](const auto& p) { return std::string(p.param.name); });

// What the last line of a copy join says was checked: QuickTime and AVI
// outputs by their index every time, other containers and MPEG-1 streams
// only when asked to read every packet back.
struct ReportCase {
  const char* name;
  std::string encode;  // ffmpeg output options
  std::string extension;
  bool verify;
  std::string tail;  // how the report line ends
};

void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

class CopyReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(CopyReport, SaysWhatWasReadBack) {
  const ReportCase& c = GetParam();
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  std::vector<std::string> args = {CliPath(), "join", "--copy", "-o", dir.File("out" + c.extension)};
  if (c.verify) args.push_back("--verify");
  for (int n = 1; n <= 2; ++n) {
    args.push_back(dir.File("in" + std::to_string(n) + c.extension));
    ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y " + Sub(kSrc, "%n", std::to_string(n)) + " " + c.encode + " '" +
                    args.back() + "'")
                  .exitCode,
              0);
  }
  CommandResult r = test::Run(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::regex_search(r.err, std::regex("Joined 2 files: [1-9][0-9]* video and [1-9][0-9]* audio packets" +
                                                  c.tail + "\n$")))
      << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CopyReport,
    ::testing::Values(ReportCase{"Mp4ByItsIndex", kH264, ".mp4", false, ", 00:05, verified"},
                      ReportCase{"MatroskaNotReadBack", kH264, ".mkv", false, ", 00:05"},
                      ReportCase{"MatroskaReadBack", kH264, ".mkv", true, ", 00:05, verified"},
                      ReportCase{"AviByItsIndex", "-c:v mpeg4 -c:a libmp3lame", ".avi", false, ", 00:05, verified"},
                      // 2 x 2.4 s. An MPEG-1 stream's length comes from the time stamps read back.
                      ReportCase{"Mpeg1NotReadBack", "-c:v mpeg1video -bf 2 -c:a mp2 -f mpeg", ".mpg", false, ""},
                      ReportCase{"Mpeg1ReadBack", "-c:v mpeg1video -bf 2 -c:a mp2 -f mpeg", ".mpg", true,
                                 ", 00:05, verified"}),
    [](const auto& p) { return std::string(p.param.name); });

// A write that fails (here: past the file size limit, as on a full disk)
// ends the join with the system's error and takes the incomplete output
// away; the inputs stay as they were.
TEST(RemuxWrite, AFailedWriteIsAnErrorAndTheOutputIsRemoved) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  TempDir dir;
  std::vector<std::string> inputs;
  for (int n = 1; n <= 3; ++n) {
    inputs.push_back(dir.File("in" + std::to_string(n) + ".mp4"));
    ASSERT_EQ(Shell("ffmpeg -nostdin -v error -y " + Sub(kSrc, "%n", std::to_string(n)) + " " + kH264 + " '" +
                    inputs.back() + "'")
                  .exitCode,
              0);
  }
  for (const char* ext : {".mp4", ".mkv", ".ts"}) {
    SCOPED_TRACE(ext);
    const std::string out = dir.File(std::string("out") + ext);
    // 64 KiB: less than the three inputs; SIGXFSZ ignored, so the write
    // fails with EFBIG instead of killing the program.
    std::string cmd = "trap '' XFSZ; ulimit -f 64; exec '" + CliPath() + "' join -q -o '" + out + "'";
    for (const std::string& in : inputs) cmd += " '" + in + "'";
    CommandResult r = Shell(cmd);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Join fails: Unable to write " + out + ": File too large"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("The incomplete output " + out + " was removed."), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

}  // namespace
}  // namespace vantrel::test
