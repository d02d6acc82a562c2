// What a recompressing join's output looks like against the tools users
// compare it with: default compressors and quality, options that take,
// compressors that start, and the picture fitted as a player shows it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "plan/JoinOptions.h"
#include "recompress/Compressors.h"
#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

CommandResult Ff(const std::string& args) { return Shell("ffmpeg -nostdin -v error -y " + args); }

// PSNR of a against b over their common frames, both scaled to a's size.
double Psnr(const std::string& a, const std::string& b) {
  CommandResult r = Shell("ffmpeg -nostdin -i '" + a + "' -i '" + b +
                          "' -lavfi '[1:v][0:v]scale2ref[r][m];[m][r]psnr' -f null - 2>&1 | grep -o 'average:[0-9.inf]*'");
  const std::string s = r.out.substr(r.out.find(':') + 1);
  return s.rfind("inf", 0) == 0 ? 100 : std::atof(s.c_str());
}

long long Size(const std::string& f) { return static_cast<long long>(ReadFileBytes(f).size()); }

CommandResult Join(std::vector<std::string> extra, const std::string& out, const std::vector<std::string>& in) {
  std::vector<std::string> args = {CliPath(), "join", "--recompress", "-q", "-y", "-o", out};
  args.insert(args.end(), extra.begin(), extra.end());
  args.insert(args.end(), in.begin(), in.end());
  return test::Run(args);
}

class RecompressQuality : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
  }
  TempDir dir;
};

TEST_F(RecompressQuality, DefaultsAreTheBetterEncoders) {
  std::vector<std::string> video, audio;
  EnumCompressors(false, &video, nullptr);
  EnumCompressors(true, &audio, nullptr);
  auto has = [](const std::vector<std::string>& l, const char* e) {
    for (const auto& n : l)
      if (n.find(std::string("(") + e + ")") != std::string::npos) return true;
    return false;
  };
  if (!has(audio, "libmp3lame") || !has(audio, "libshine") || !has(video, "libxvid"))
    GTEST_SKIP() << "needs libmp3lame, libshine and libxvid";
  const int a = ChooseAudioCompressor(audio, -1), v = ChooseVideoCompressor(video, -1);
  EXPECT_NE(audio[static_cast<size_t>(a)].find("(libmp3lame)"), std::string::npos) << audio[static_cast<size_t>(a)];
  EXPECT_NE(video[static_cast<size_t>(v)].find("(libxvid)"), std::string::npos) << video[static_cast<size_t>(v)];

  // The default rate control holds a 720p picture well, and the quality
  // option moves it.
  const std::string src = dir.File("hd.mkv");
  ASSERT_EQ(Ff("-f lavfi -i testsrc2=size=1280x720:rate=25:duration=1 -c:v ffv1 '" + src + "'").exitCode, 0);
  for (const char* codec : {"libxvid", "mpeg4"}) {
    SCOPED_TRACE(codec);
    const std::string out = dir.File(std::string(codec) + ".avi");
    ASSERT_EQ(Join({"--vcodec", codec, "--acodec", "none", "--size", "1280x720", "--rate", "25"}, out, {src}).exitCode,
              0);
    EXPECT_GE(Psnr(out, src), 40.0);
    const std::string fine = dir.File("q2.avi"), coarse = dir.File("q31.avi");
    ASSERT_EQ(Join({"--vcodec", codec, "--vopt", "quality=2", "--size", "640x360"}, fine, {src}).exitCode, 0);
    ASSERT_EQ(Join({"--vcodec", codec, "--vopt", "quality=31", "--size", "640x360"}, coarse, {src}).exitCode, 0);
    EXPECT_GE(Size(fine), 2 * Size(coarse));
  }
  // Options that cannot be: named with their value, or refused together.
  CommandResult bad = Join({"--vcodec", "mpeg4", "--vopt", "b=abc"}, dir.File("bad.avi"), {src});
  EXPECT_NE(bad.err.find("b: abc is not a number"), std::string::npos) << bad.err;
  if (has(video, "libx264")) {
    CommandResult both = Join({"--vcodec", "libx264", "--vopt", "b=300000", "--vopt", "crf=23"}, dir.File("x.avi"), {src});
    EXPECT_EQ(both.exitCode, 1);
    EXPECT_NE(both.err.find("a bit rate or a constant rate factor, not both"), std::string::npos) << both.err;
  }
}

// Every compressor the list offers starts and writes a file ffmpeg reads.
TEST_F(RecompressQuality, EveryListedCompressorJoins) {
  const std::string src = dir.File("s.avi");
  ASSERT_EQ(Ff("-f lavfi -i testsrc=size=320x240:rate=25:duration=0.12 -f lavfi -i sine=duration=0.12 "
               "-c:v mpeg4 -c:a pcm_s16le '" + src + "'").exitCode,
            0);
  std::vector<std::string> video, audio;
  EnumCompressors(false, nullptr, &video);
  EnumCompressors(true, nullptr, &audio);
  ASSERT_FALSE(video.empty());
  ASSERT_FALSE(audio.empty());
  for (const auto& [codec, isVideo] : [&] {
         std::vector<std::pair<std::string, bool>> all;
         for (const auto& v : video) all.push_back({v, true});
         for (const auto& a : audio) all.push_back({a, false});
         return all;
       }()) {
    const std::string out = dir.File("c.avi");
    CommandResult r = Join({isVideo ? "--vcodec" : "--acodec", codec, isVideo ? "--acodec" : "--vcodec",
                            isVideo ? "pcm_s16le" : "mpeg4", "--size", "320x240", "--rate", "25"},
                           out, {src});
    EXPECT_EQ(r.exitCode, 0) << codec << ": " << r.err;
    CommandResult read = test::Run({"ffprobe", "-v", "error", "-count_packets", "-show_entries", "stream=nb_read_packets",
                              "-of", "csv=p=0", out});
    EXPECT_EQ(read.exitCode, 0) << codec << ": " << read.err;
  }
}

// The picture as a player shows it, fitted as ffmpeg fits it: a PAL picture
// of 16:9 pixels, a phone clip turned by its display matrix, letterboxed
// into 640x360; and uncompressed output stored bottom-up, the right way up.
TEST_F(RecompressQuality, FitsTheShownPictureAsFfmpegDoes) {
  const std::string pal = dir.File("pal.mpg"), flat = dir.File("flat.mp4"), phone = dir.File("phone.mp4");
  ASSERT_EQ(Ff("-f lavfi -i testsrc=size=720x576:rate=25:duration=1,setsar=64/45 -c:v mpeg2video -q:v 2 -f vob '" +
               pal + "'").exitCode,
            0);
  ASSERT_EQ(Ff("-f lavfi -i testsrc=size=640x360:rate=25:duration=1 -c:v libx264 -crf 12 '" + flat + "'").exitCode,
            0);
  ASSERT_EQ(Ff("-i '" + flat + "' -c copy -metadata:s:v:0 rotate=-90 '" + phone + "'").exitCode, 0);
  const std::string fit =
      "scale=640:360:force_original_aspect_ratio=decrease,pad=640:360:-1:-1,setsar=1,fps=25:round=up";
  for (const std::string& in : {pal, phone}) {
    SCOPED_TRACE(in);
    const std::string out = dir.File("out.avi"), ref = dir.File("ref.mkv");
    ASSERT_EQ(Join({"--vcodec", "mpeg4", "--vopt", "quality=2", "--size", "640x360", "--rate", "25", "--resize",
                    "letterbox"},
                   out, {in})
                  .exitCode,
              0);
    // ffmpeg turns the phone clip by itself; the pixels are widened first.
    ASSERT_EQ(Ff("-i '" + in + "' -vf 'scale=trunc(iw*sar/2)*2:ih,setsar=1," + fit + "' -c:v ffv1 '" + ref + "'")
                  .exitCode,
              0);
    EXPECT_GE(Psnr(out, ref), 30.0);
  }
  const std::string raw = dir.File("raw.avi");
  ASSERT_EQ(Join({"--vcodec", "none", "--acodec", "none", "--size", "640x360", "--rate", "25"}, raw, {flat}).exitCode,
            0);
  const std::vector<uint8_t> b = ReadFileBytes(raw);
  const size_t strf = FindFourCC(b, "strf");
  ASSERT_NE(strf, std::string::npos);
  EXPECT_EQ(static_cast<int32_t>(GetLE32(b, strf + 8 + 8)), 360);  // biHeight: bottom-up
  EXPECT_GE(Psnr(raw, flat), 35.0);
}

// An MPEG program stream keeps its last frame.
TEST_F(RecompressQuality, ProgramStreamKeepsEveryFrame) {
  const std::string ps = dir.File("ps.mpg"), out = dir.File("out.avi");
  ASSERT_EQ(Ff("-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -c:v mpeg2video -bf 2 -f vob '" + ps + "'").exitCode,
            0);
  ASSERT_EQ(Join({"--vcodec", "mpeg4", "--size", "320x240", "--rate", "25"}, out, {ps}).exitCode, 0);
  CommandResult r = test::Run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                         "stream=nb_read_frames", "-of", "csv=p=0", out});
  EXPECT_EQ(std::atoi(r.out.c_str()), 50);
}

}  // namespace
}  // namespace vantrel::test
