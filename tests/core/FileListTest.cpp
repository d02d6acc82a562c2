// File list texts, comparisons, moves and the status bar, on probe results
// given directly.
#include "job/FileList.h"
#include "plan/JoinOptions.h"
#include "plan/JoinPlan.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

#include "base/Exceptions.h"

namespace vantrel {
namespace {

class Duration : public ::testing::TestWithParam<std::pair<double, const char*>> {};

TEST_P(Duration, Text) { EXPECT_EQ(FormatDuration(GetParam().first), GetParam().second); }

INSTANTIATE_TEST_SUITE_P(Cases, Duration,
                         ::testing::Values(std::pair{75.2, "01:15"}, std::pair{3725.4, "01:02:05"},
                                           std::pair{59.5, "01:00"}, std::pair{58.5, "00:58"},
                                           std::pair{0.5, "00:00"}, std::pair{1.5, "00:02"},
                                           std::pair{360000.0, "100:00:00"}, std::pair{3599.6, "01:00:00"},
                                           std::pair{3599.4, "59:59"}, std::pair{0.0, "00:00"}));

TVideoFileInfo Video(const char* path, const char* type, uint16_t w, uint16_t h, double rate, int sampleRate = 44100,
                     int channels = 2, double duration = 10) {
  TVideoFileInfo i;
  i.FileName = path;
  i.MediaType = type;
  i.Width = w;
  i.Height = h;
  i.FrameRate = rate;
  i.Duration = duration;
  if (sampleRate) {
    i.HasAudio = true;
    i.SampleRate = sampleRate;
    i.Channels = static_cast<uint8_t>(channels);
    i.BitsPerSample = 16;
    i.AudioFormatTag = 0x55;
  }
  return i;
}

TEST(FileListTexts, CellsOfARow) {
  auto i = Video("/films/a/clip one.avi", "AVI", 320, 240, 30000.0 / 1001, 22050, 1, 3725.4);
  i.VideoFourCC = 0x34504D46;  // FMP4
  auto t = FormatRow(i);
  EXPECT_EQ(t[colFileName], "clip one.avi");
  EXPECT_EQ(t[colDuration], "01:02:05");
  EXPECT_EQ(t[colType], "AVI:FMP4");
  EXPECT_EQ(t[colFrameSize], "320x240");
  EXPECT_EQ(t[colFrameRate], "29.97");
  EXPECT_EQ(t[colAudio], "22KHz Mono");
  EXPECT_EQ(t[colFolder], "/films/a");
}

TEST(FileListTexts, EdgeCases) {
  auto raw = Video("/x.avi", "AVI", 0, 0, 0, 0, 0, 0);
  raw.VideoFourCC = 0;
  auto t = FormatRow(raw);
  EXPECT_EQ(t[colType], "AVI:");
  EXPECT_EQ(t[colFrameSize], "0x0");
  EXPECT_EQ(t[colFrameRate], "0");
  EXPECT_EQ(t[colAudio], "none");
  EXPECT_EQ(t[colDuration], "00:00");
  EXPECT_EQ(t[colFolder], "/");
  EXPECT_EQ(FormatRow(Video("/m.mpg", "MPEG1", 352, 288, 23.976, 48000, 6))[colFrameRate], "23.98");
  EXPECT_EQ(FormatRow(Video("/m.mpg", "MPEG1", 352, 288, 23.976, 48000, 6))[colAudio], "48KHz Stereo");
  EXPECT_EQ(FormatRow(Video("/m.mpg", "MPEG1", 352, 288, 30.0, 11025, 1))[colFrameRate], "30");
  EXPECT_EQ(FormatRow(Video("/m.mpg", "MPEG1", 352, 288, 30.0, 11025, 1))[colAudio], "11KHz Mono");
  EXPECT_EQ(FormatRow(Video("/m.wmv", "WMV", 352, 288, 12.5))[colType], "WMV");
  EXPECT_EQ(FormatFrameRate(12.5, ','), "12,50");
  EXPECT_EQ(FourCCToString(0x58564944), "DIVX");
  EXPECT_EQ(FourCCToString(0), "");
}

struct ListFixture : ::testing::Test {
  std::map<std::string, TVideoFileInfo> infos;
  TFileList list{[this](const std::string& name) {
    auto it = infos.find(name);
    if (it == infos.end()) throw Exception("cannot probe " + name);
    return it->second;
  }};
  void Add(const TVideoFileInfo& i) {
    infos[i.FileName] = i;
    list.AddFile(i.FileName);
  }
  std::string Order() const {
    std::string s;
    for (const auto& r : list.Rows()) s += r.Cells[colFileName];
    return s;
  }
};

TEST_F(ListFixture, DifferencesAgainstTheFirstRow) {
  Add(Video("/A", "AVI", 320, 240, 25));
  Add(Video("/B", "AVI", 320, 240, 25.000001));
  Add(Video("/C", "AVI", 352, 288, 25, 22050));
  list.UpdateDifferences();
  EXPECT_FALSE(list.Row(0).Info.VideoDiffers);
  EXPECT_TRUE(list.Row(1).Info.FrameRateDiffers);
  EXPECT_TRUE(list.Row(1).Info.VideoDiffers);
  EXPECT_FALSE(list.Row(1).Info.AudioDiffers);
  EXPECT_TRUE(list.Row(2).Info.FrameSizeDiffers);
  EXPECT_FALSE(list.Row(2).Info.FrameRateDiffers);
  EXPECT_TRUE(list.Row(2).Info.AudioDiffers);
  // Deleting the first row makes the second the reference.
  list.Delete(0);
  EXPECT_FALSE(list.Row(0).Info.VideoDiffers);
  EXPECT_FALSE(list.Row(0).Info.FrameRateDiffers);
  EXPECT_TRUE(list.Row(1).Info.FrameRateDiffers);
}

TEST_F(ListFixture, MoveItemEndsAtTheAskedIndex) {
  for (const char* n : {"/A", "/B", "/C", "/D"}) Add(Video(n, "AVI", 320, 240, 25));
  EXPECT_EQ(list.MoveItem(0, 2), 2);
  EXPECT_EQ(Order(), "BCAD");
  list.MoveItem(2, 0);
  list.MoveItem(3, 1);
  EXPECT_EQ(Order(), "ADBC");
  EXPECT_EQ(list.MoveItem(1, -5), 0);
  EXPECT_EQ(Order(), "DABC");
  EXPECT_EQ(list.MoveItem(0, 99), 3);
  EXPECT_EQ(Order(), "ABCD");
  EXPECT_EQ(list.MoveItem(2, 2), 2);
  EXPECT_EQ(Order(), "ABCD");
}

TEST_F(ListFixture, MovingANewFirstRowRecomputesTheFlags) {
  Add(Video("/A", "AVI", 320, 240, 25));
  Add(Video("/B", "AVI", 640, 480, 25));
  Add(Video("/C", "AVI", 320, 240, 25));
  list.UpdateDifferences();
  ASSERT_TRUE(list.Row(1).Info.VideoDiffers);
  list.MoveItem(1, 0);
  EXPECT_FALSE(list.Row(0).Info.VideoDiffers);
  EXPECT_TRUE(list.Row(1).Info.VideoDiffers);
  EXPECT_TRUE(list.Row(2).Info.VideoDiffers);
}

// The plan of the listed files, as the main window makes it.
TJoinPlan PlanOf(const TFileList& list) {
  TJoinRequest r;
  for (const TFileListRow& row : list.Rows()) r.Files.push_back(row.Info);
  return test::Plan(r);
}

TEST_F(ListFixture, PlanFlags) {
  Add(Video("/A", "MPEG1", 352, 288, 25));
  Add(Video("/B", "MPEG1", 352, 288, 25, 0));
  list.UpdateDifferences();
  TJoinPlan p = PlanOf(list);
  EXPECT_TRUE(p.CanCopy);
  EXPECT_TRUE(p.CopyLosesSound);
  EXPECT_FALSE(p.NoAudio);
  EXPECT_FALSE(p.CopyByDefault);
  EXPECT_EQ(p.FirstDifference, "File 2 (B): no sound");
  Add(Video("/C", "WMV", 352, 288, 25));
  list.UpdateDifferences();
  EXPECT_FALSE(PlanOf(list).CanCopy);
  EXPECT_EQ(PlanOf(list).FirstDifference, "File 3 (C): a WMV file, the first file MPEG1");
  list.Clear();
  Add(Video("/D", "AVI", 352, 288, 25, 0));
  Add(Video("/E", "AVI", 352, 288, 25, 0));
  list.UpdateDifferences();
  p = PlanOf(list);
  EXPECT_TRUE(p.CanCopy);
  EXPECT_FALSE(p.CopyLosesSound);  // nothing to lose
  EXPECT_TRUE(p.NoAudio);
  EXPECT_TRUE(p.CopyByDefault);
}

// Files of a container family as the media framework describes them.
TVideoFileInfo Clip(const std::string& name, const std::string& container, const std::string& size = "1920x1080",
                    int sampleRate = 48000, bool audio = true, uint8_t sets = 0xA1,
                    const std::string& type = "DirectShow") {
  test::ClipSpec c;
  c.name = name;
  c.container = container;
  const size_t x = size.find('x');
  c.width = std::stoi(size.substr(0, x));
  c.height = std::stoi(size.substr(x + 1));
  c.sampleRate = sampleRate;
  c.audio = audio;
  c.sets = {sets};
  c.mediaType = type;
  c.subtitle = "mov_text";
  return test::ProbedClip(c);
}

struct CopySetCase {
  const char* name;
  std::vector<TVideoFileInfo> files;
  bool can, withoutSound;
  std::string extension;
  std::string notes;  // as the join dialog shows them
};

void PrintTo(const CopySetCase& c, std::ostream* os) { *os << c.name; }

class CopySets : public ::testing::TestWithParam<CopySetCase> {};

TEST_P(CopySets, FlagsAndTheDifferenceNamed) {
  const CopySetCase& c = GetParam();
  std::map<std::string, TVideoFileInfo> infos;
  for (const TVideoFileInfo& f : c.files) infos[f.FileName] = f;
  TFileList list([&infos](const std::string& n) { return infos.at(n); });
  for (const TVideoFileInfo& f : c.files) list.AddFile(f.FileName);
  list.UpdateDifferences();
  const TJoinPlan p = PlanOf(list);
  EXPECT_EQ(p.CanCopy, c.can);
  EXPECT_EQ(p.CopyLosesSound, c.withoutSound);
  EXPECT_EQ(p.CopyExtension, c.extension);
  EXPECT_EQ(p.DialogNote, c.notes);
  // Ticking the box names the output after what the copy writes.
  EXPECT_EQ(SwitchOutputExtension("/out/joined.avi", p, true), "/out/joined" + c.extension);
}

const std::string kHint = std::string(kHintIdenticalFormat) + "\n- ";

INSTANTIATE_TEST_SUITE_P(
    Families, CopySets,
    ::testing::Values(
        CopySetCase{"IdenticalMp4", {Clip("a.mp4", "MP4"), Clip("b.mp4", "MP4"), Clip("c.mp4", "MP4")}, true, false,
                    ".mp4", ""},
        CopySetCase{"FrameSize", {Clip("a.mp4", "MP4"), Clip("b.mp4", "MP4", "1280x720")}, false, false, ".mp4",
                    kHint + "File 2 (b.mp4): video 1280x720, the first file 1920x1080"},
        CopySetCase{"ParameterSets", {Clip("a.mkv", "Matroska"), Clip("b.mkv", "Matroska", "1920x1080", 48000, true, 0xB2)},
                    false, false, ".mkv", kHint + "File 2 (b.mkv): video codec parameter sets differ from the first file's"},
        CopySetCase{"SampleRateLeavesTheSoundOut",
                    {Clip("a.mov", "QuickTime"), Clip("b.mov", "QuickTime", "1920x1080", 44100)}, true, true, ".mov",
                    std::string(kNoteWithoutSound) + "\n- File 2 (b.mov): audio 44.1 kHz, the first file 48 kHz"},
        CopySetCase{"NoSoundInTheThird",
                    {Clip("a.ts", "MPEG-TS"), Clip("b.ts", "MPEG-TS"), Clip("c.ts", "MPEG-TS", "1920x1080", 0, false)},
                    true, true, ".ts",
                    std::string(kNoteWithoutSound) + "\n- File 3 (c.ts): no audio stream, the first file 1"},
        CopySetCase{"AnotherFamily", {Clip("a.mp4", "MP4"), Clip("b.webm", "WebM")}, false, false, ".mp4",
                    kHint + "File 2 (b.webm): a WebM file, the first file MP4"},
        CopySetCase{"ProgramStream",
                    {Clip("a.vob", "MPEG-PS", "720x576", 48000, true, 0, kMediaMPEG2),
                     Clip("b.vob", "MPEG-PS", "720x576", 48000, true, 0, kMediaMPEG2)},
                    true, false, ".mpg", ""},
        // AVI and MPEG-1 files keep their own joiners and texts.
        CopySetCase{"AviIsNotAContainerCopy",
                    {Clip("a.avi", "AVI", "1920x1080", 48000, true, 0xA1, kMediaAVI),
                     Clip("b.mp4", "MP4", "1920x1080", 48000, true, 0xA1)},
                    false, false, ".avi", kHint + "File 2 (b.mp4): an MP4 file, the first file AVI"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ListFixture, FailedProbeAddsNoRowAndDuplicatesAreKept) {
  Add(Video("/A", "AVI", 320, 240, 25));
  EXPECT_THROW(list.AddFile("/missing"), Exception);
  list.AddFile("/A");
  EXPECT_EQ(list.Count(), 2);
}

TEST_F(ListFixture, StatusBar) {
  auto t = StatusBarTexts(list, -1);
  EXPECT_EQ(t.Panel0, "There are no selected files.");
  EXPECT_EQ(t.Panel1, "");
  Add(Video("/films/A.avi", "AVI", 320, 240, 25, 44100, 2, 75.2));
  t = StatusBarTexts(list, -1);
  EXPECT_EQ(t.Panel0, "1 file(s)");
  EXPECT_EQ(t.Panel1, "Total duration: 01:15");
  Add(Video("/films/B.avi", "AVI", 320, 240, 25, 44100, 2, 3600));
  t = StatusBarTexts(list, 1);
  EXPECT_EQ(t.Panel0, "B.avi");
  EXPECT_EQ(t.Panel1, "Total duration: 01:01:15");
  EXPECT_DOUBLE_EQ(list.TotalDuration(), 3675.2);
}

TEST(FileListTexts, Messages) {
  EXPECT_EQ(FilesAddedText(0, 3), "0/3 files added");
  EXPECT_EQ(UnableToAddText("/a.avi", "DirectShow Error: BEBBB1B7 (Invalid data found when processing input)", true),
            "Unable to add file /a.avi: DirectShow Error: BEBBB1B7 (Invalid data found when processing input). "
            "The file is not a video Vantrel can read, or it is damaged.");
  EXPECT_EQ(UnableToAddText("/a.avi", "x", false),
            "Unable to add file /a.avi: x.\r\nDo you want to continue adding the other files?");
}

}  // namespace
}  // namespace vantrel
