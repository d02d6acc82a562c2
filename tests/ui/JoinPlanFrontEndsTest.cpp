// One set of files, one answer: the join options dialog as the main window
// opens it and vantrel-cli's default route decide the same way (route, sound,
// the first difference in words), on files from several writers.
#include <gtest/gtest.h>

#include <QStringList>
#include <QTest>

#include "UiFixture.h"
#include "ui/JoinForm.h"
#include "ui/MainForm.h"

namespace vantrel {
namespace {

using test::Shell;

struct FrontEndCase {
  const char* name;
  // ffmpeg arguments (before the output) of the first and the second file
  // and their extensions; a second text starting with "mencoder " is
  // mencoder's options for rewriting the first file.
  std::string first, second, extension, secondExtension;
  bool copies;          // joined without recompression
  bool soundKept;       // the output has sound
  std::string because;  // in the reason the default route recompresses; "" when it copies
};

void PrintTo(const FrontEndCase& c, std::ostream* os) { *os << c.name; }

const std::string kAviSrc =
    "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 ";
const std::string kAvi = kAviSrc + "-c:v mpeg4 -c:a libmp3lame";
const std::string kAdpcm =
    "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=22050:duration=1 "
    "-c:v mpeg4 -c:a adpcm_ima_wav -block_size ";
const std::string kMp4 =
    "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
    "-c:v libx264 -preset veryfast -c:a aac";
const std::string kMpeg1Video = "-f lavfi -i testsrc=size=352x288:rate=25:duration=1 -c:v mpeg1video -f mpeg";
const std::string kMpeg1Sound =
    "-f lavfi -i testsrc=size=352x288:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
    "-c:v mpeg1video -c:a mp2 -f mpeg";

class FrontEnds : public ::testing::TestWithParam<FrontEndCase> {};

TEST_P(FrontEnds, TheDialogAndTheCommandLineDecideAlike) {
  const FrontEndCase& c = GetParam();
  if (!test::HaveTool("ffmpeg") || !test::HaveTool("mencoder")) GTEST_SKIP() << "no ffmpeg or mencoder";
  test::UiSeams seams;
  test::TempDir dir;
  const std::string a = dir.File("a" + c.extension), b = dir.File("b" + c.secondExtension);
  auto make = [&](const std::string& args, const std::string& out) {
    const std::string line = args.rfind("mencoder ", 0) == 0
                                 ? "mencoder -really-quiet '" + a + "' " + args.substr(9) + " -o '" + out + "'"
                                 : "ffmpeg -nostdin -v error -y " + args + " '" + out + "'";
    const test::CommandResult r = Shell(line);
    ASSERT_EQ(r.exitCode, 0) << line << "\n" << r.err;
  };
  make(c.first, a);
  make(c.second, b);

  // The desktop application: the files listed, Join Files pressed, the
  // dialog read as it opens.
  ui::TfrmMain window;
  window.AddFiles(QStringList{QString::fromStdString(a), QString::fromStdString(b)});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Adding(); }, 60000));
  TJoinPlan shown;
  bool ticked = false;
  ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
    shown = d.Plan;
    ticked = d.cbxJoinWORecomp->isChecked();
    return static_cast<int>(QDialog::Rejected);
  };
  window.acnJoinFileExecute();
  ui::TfrmJoin::ExecHook = {};
  EXPECT_EQ(ticked, c.copies);
  EXPECT_EQ(shown.WhyRecompress.find(c.because) != std::string::npos, true) << shown.WhyRecompress;
  EXPECT_EQ(shown.WhyRecompress.empty(), c.copies) << shown.WhyRecompress;

  // The command line, by default, into the file the dialog proposes.
  const std::string out = dir.File("out" + (ticked ? shown.CopyExtension : std::string(".avi")));
  const test::CommandResult r = test::Run({test::CliPath(), "join", "-o", out, a, b});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string said = "Joining with recompression: ";
  const size_t at = r.err.find(said);
  EXPECT_EQ(at == std::string::npos, c.copies) << r.err;
  if (at != std::string::npos) {
    EXPECT_EQ(r.err.substr(at + said.size(), r.err.find('\n', at) - at - said.size()), shown.WhyRecompress);
  }
  // A copy of the dialog's kind with the sound it said it would keep.
  if (c.copies && c.soundKept) {
    EXPECT_FALSE(shown.WithoutSound);
  }
  const test::CommandResult streams =
      test::Run({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0", out});
  EXPECT_EQ(streams.out.find("audio") != std::string::npos, c.soundKept) << streams.out;
  const test::CommandResult decoded = test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"});
  EXPECT_EQ(decoded.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Sets, FrontEnds,
    ::testing::Values(
        FrontEndCase{"AviIdentical", kAvi, kAvi, ".avi", ".avi", true, true, ""},
        // mencoder writes its own headers and index around the same chunks,
        // and its PCM format with a cbSize of 0 where ffmpeg's has none.
        FrontEndCase{"AviRewrittenByMencoder", kAviSrc + "-c:v mpeg4 -c:a pcm_s16le", "mencoder -ovc copy -oac copy",
                     ".avi", ".avi", true, true, ""},
        FrontEndCase{"AviOtherFrameSize", kAvi, "-f lavfi -i testsrc=size=640x480:rate=25:duration=1 -c:v mpeg4",
                     ".avi", ".avi", false, true, "File 2 (b.avi): video 640x480, the first file 320x240"},
        // IMA ADPCM whose blocks differ cannot share one stream header.
        FrontEndCase{"AviAdpcmBlockSizes", kAdpcm + "1024", kAdpcm + "2048", ".avi", ".avi", false, true,
                     "a copy would leave the sound out: File 2 (b.avi): sound blocks of 2048 bytes, the first file 1024"},
        FrontEndCase{"Mpeg1", kMpeg1Sound, kMpeg1Sound, ".mpg", ".mpg", true, true, ""},
        FrontEndCase{"Mpeg1SecondWithoutSound", kMpeg1Sound, kMpeg1Video, ".mpg", ".mpg", false, true,
                     "a copy would leave the sound out: File 2 (b.mpg): no sound"},
        FrontEndCase{"Mp4Identical", kMp4, kMp4, ".mp4", ".mp4", true, true, ""},
        FrontEndCase{"Mp4OtherSampleRate", kMp4,
                     "-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
                     "-c:v libx264 -preset veryfast -c:a aac",
                     ".mp4", ".mp4", false, true, "File 2 (b.mp4): audio 44.1 kHz, the first file 48 kHz"},
        FrontEndCase{"AviThenMp4", kAvi, kMp4, ".avi", ".mp4", false, true,
                     "File 2 (b.mp4): an MP4 file, the first file AVI"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel
