// MPEG audio in AVI files from several writers, joined without
// recompression: the sound is kept, frame for frame, whether the writer
// described it by bytes (GStreamer's avimux, mencoder's CBR) or by frames
// (ffmpeg), and it plays for as long as the inputs' sound together.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace vantrel::test {
namespace {

const std::string kGstVideo =
    "videotestsrc num-buffers=75 pattern=smpte ! video/x-raw,width=320,height=240,framerate=25/1 ! avenc_mpeg4 ";
std::string GstSound(const std::string& wave, const std::string& encoder) {
  return "audiotestsrc num-buffers=75 samplesperbuffer=1920 " + wave +
         " ! audio/x-raw,format=S16LE,rate=48000,channels=2 ! audioconvert ! " + encoder;
}
std::string Gst(const std::string& sound, const std::string& out) {
  return "gst-launch-1.0 -q -e " + kGstVideo + "! avimux name=m ! filesink location='" + out + "' " + sound + " ! m.";
}
const std::string kFfSource =
    "-f lavfi -i testsrc=size=320x240:rate=25:duration=3 -f lavfi -i sine=frequency=700:sample_rate=48000:duration=3 ";

struct WriterPair {
  const char* name;
  std::vector<const char*> tools;
  // Shell commands making the two inputs from %a and %b.
  std::function<std::string(const std::string& a, const std::string& b, const std::string& scratch)> make;
};

void PrintTo(const WriterPair& p, std::ostream* os) { *os << p.name; }

// Seconds of sound: frames as ffprobe reads them, 1152 samples at 48 kHz each.
constexpr double kFrame = 1152.0 / 48000;
double SoundSeconds(const std::vector<std::string>& frames) { return static_cast<double>(frames.size()) * kFrame; }

const WriterPair kPairs[] = {
    {"GstreamerLameVbrOfTwoContents",
     {"gst-launch-1.0"},
     [](const std::string& a, const std::string& b, const std::string&) {
       return Gst(GstSound("wave=sine freq=1000", "lamemp3enc target=quality quality=4"), a) + " && " +
              Gst(GstSound("wave=square freq=2500 volume=0.5", "lamemp3enc target=quality quality=4"), b);
     }},
    {"GstreamerTwolameAndLibavMp2",
     {"gst-launch-1.0"},
     [](const std::string& a, const std::string& b, const std::string&) {
       return Gst(GstSound("wave=sine freq=1000", "twolamemp2enc bitrate=192"), a) + " && " +
              Gst(GstSound("wave=square freq=2500 volume=0.5", "avenc_mp2 bitrate=192000"), b);
     }},
    {"FfmpegFramesAndMencoderBytes",
     {"mencoder"},
     [](const std::string& a, const std::string& b, const std::string& scratch) {
       return "ffmpeg -nostdin -v error -y " + kFfSource +
              "-c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 128k -avoid_negative_ts disabled '" + a +
              "' && ffmpeg -nostdin -v error -y " + kFfSource + "-c:v mpeg4 -q:v 5 -c:a pcm_s16le '" + scratch +
              "' && mencoder '" + scratch + "' -really-quiet -noskip -mc 0 -oac mp3lame -lameopts cbr:br=128 " +
              "-ovc lavc -lavcopts vcodec=mpeg4:vbitrate=300 -o '" + b + "'";
     }},
};

class MpegAudioInAvi : public ::testing::TestWithParam<WriterPair> {};

TEST_P(MpegAudioInAvi, JoinedFrameForFrame) {
  const WriterPair& p = GetParam();
  for (const char* tool : p.tools)
    if (!HaveTool(tool)) GTEST_SKIP() << "no " << tool;
  TempDir dir;
  const std::string a = dir.File("a.avi"), b = dir.File("b.avi"), out = dir.File("out.avi");
  CommandResult made = Shell(p.make(a, b, dir.File("scratch.avi")));
  ASSERT_EQ(made.exitCode, 0) << made.err;

  // The list sees the same sound, and the join keeps it.
  CommandResult probe = test::Run({CliPath(), "probe", "--json", a, b});
  EXPECT_EQ(probe.out.find("\"AudioDiffers\": true"), std::string::npos) << probe.out;
  CommandResult joined = test::Run({CliPath(), "join", "-o", out, a, b});
  ASSERT_EQ(joined.exitCode, 0) << joined.err;
  EXPECT_EQ(joined.err.find("without sound"), std::string::npos) << joined.err;

  // Each input's frames in order, but for those that start past its video's
  // end (3 s), which are cut; silent frames where its sound ends early.
  std::vector<std::string> want;
  for (const std::string& f : {a, b}) {
    std::vector<std::string> h = PacketHashes(f, 'a');
    ASSERT_FALSE(h.empty());
    const size_t keep = static_cast<size_t>(std::ceil(3.0 / kFrame - 1e-9));
    if (h.size() > keep) h.resize(keep);
    want.insert(want.end(), h.begin(), h.end());
  }
  const std::vector<std::string> got = PacketHashes(out, 'a');
  ASSERT_GE(got.size(), want.size());
  size_t at = 0;
  for (const std::string& h : got)
    if (at < want.size() && h == want[at]) ++at;
  EXPECT_EQ(at, want.size()) << "an input's frame is missing or changed";
  EXPECT_LE(got.size() - want.size(), 4u) << "silent frames beyond the inputs' video";
  // The sound plays as long as the video, within a frame per input.
  EXPECT_NEAR(SoundSeconds(got), 6.0, 2 * kFrame);
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
}

INSTANTIATE_TEST_SUITE_P(Writers, MpegAudioInAvi, ::testing::ValuesIn(kPairs),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel::test
