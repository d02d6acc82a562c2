// The join options dialog's decisions.
#include "plan/JoinOptions.h"
#include "plan/JoinPlan.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TVideoFileInfo V(uint16_t w, uint16_t h, double rate, const char* type = "AVI") {
  TVideoFileInfo i;
  i.Width = w;
  i.Height = h;
  i.FrameRate = rate;
  i.MediaType = type;
  return i;
}

TJoinDefaults Defaults(const std::vector<TVideoFileInfo>& files, std::vector<std::string>& items) {
  std::vector<const TVideoFileInfo*> p;
  for (const auto& f : files) p.push_back(&f);
  items = FillFrameRates(p).Items;
  return ComputeDefaults(p, items);
}

// The larger picture is not cut to the middle of the smaller size without a
// resize, whichever of the two is listed first.
TEST(JoinDefaults, TheListsOrderDoesNotDecide) {
  std::vector<std::string> items;
  for (const auto& files : {std::vector<TVideoFileInfo>{V(640, 360, 25), V(320, 240, 29.97)},
                            std::vector<TVideoFileInfo>{V(320, 240, 29.97), V(640, 360, 25)},
                            std::vector<TVideoFileInfo>{V(320, 240, 25), V(320, 240, 25), V(640, 360, 25)}}) {
    auto d = Defaults(files, items);
    EXPECT_EQ(d.FrameWidth, 320);
    EXPECT_EQ(d.FrameHeight, 240);
    EXPECT_EQ(items[static_cast<size_t>(d.FrameRateIndex)], "25.00");
    EXPECT_EQ(d.ResizeMethod, rmCrop);
    EXPECT_EQ(d.Spread, 320);
  }
}

TEST(JoinDefaults, SmallSpreadAndRoundingToEight) {
  std::vector<std::string> items;
  auto d = Defaults({V(720, 570, 25), V(720, 576, 25)}, items);
  EXPECT_EQ(d.FrameWidth, 720);
  EXPECT_EQ(d.FrameHeight, 568);
  EXPECT_EQ(d.Spread, 6);
  EXPECT_EQ(d.ResizeMethod, rmNoResize);
  EXPECT_FALSE(SizeWarningVisible(d.FrameWidth, d.FrameHeight));
  EXPECT_TRUE(SizeWarningVisible(720, 570));
  EXPECT_TRUE(SizeWarningVisible(719, 576));
}

TEST(JoinDefaults, RateItemsSortedAsText) {
  std::vector<TVideoFileInfo> one = {V(320, 240, 30)};
  std::vector<const TVideoFileInfo*> p = {&one[0]};
  auto r = FillFrameRates(p);
  EXPECT_EQ(r.Items, (std::vector<std::string>{"24.00", "25.00", "29.97", "30.00"}));
  EXPECT_EQ(r.FirstFileType, "AVI");
  auto d = ComputeDefaults(p, r.Items);
  EXPECT_EQ(d.FrameRateIndex, 3);
  one[0].FrameRate = 15;
  EXPECT_EQ(FillFrameRates(p).Items.front(), "15.00");
  one[0].FrameRate = 100;
  EXPECT_EQ(FillFrameRates(p).Items.front(), "100.00");
  one[0].FrameRate = 30000.0 / 1001;
  EXPECT_EQ(FillFrameRates(p).Items.size(), 3u);  // 29.97 is listed once
}

TEST(JoinDefaults, NoFilesAppendsTheStartingRate) {
  std::vector<std::string> items;
  auto d = Defaults({}, items);
  EXPECT_EQ(items[static_cast<size_t>(d.FrameRateIndex)], "1000.00");
  EXPECT_EQ(d.FrameRateIndex, 3);
}

TEST(JoinDefaults, AddFrameRateUsesTheSeparator) {
  std::vector<std::string> items;
  EXPECT_EQ(AddFrameRate(items, 29.97, ','), 0);
  EXPECT_EQ(items[0], "29,97");
  EXPECT_EQ(AddFrameRate(items, 29.97, ','), 0);
  EXPECT_EQ(AddFrameRate(items, 25, ','), 1);
}

struct NoteCase {
  bool can, withoutSound, noAudio;
  const char* type;
  const char* note;
  bool checked, enabled;
};

class Notes : public ::testing::TestWithParam<NoteCase> {};

TEST_P(Notes, TextAndCheckBox) {
  const auto& c = GetParam();
  EXPECT_EQ(JoinNotes(c.can, c.withoutSound, c.noAudio, c.type), c.note);
  auto s = JoinWithoutRecompressionState(c.can, c.withoutSound, c.noAudio);
  EXPECT_EQ(s.Checked, c.checked);
  EXPECT_EQ(s.Enabled, c.enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Notes,
    ::testing::Values(NoteCase{false, false, false, "AVI", kHintIdenticalFormat, false, false},
                      NoteCase{false, true, false, "MPEG1", kHintIdenticalFormat, false, false},
                      NoteCase{false, false, false, "WMV", kHintOnlyAviMpeg, false, false},
                      NoteCase{false, false, false, "DirectShow", kHintOnlyAviMpeg, false, false},
                      NoteCase{true, true, false, "AVI", kNoteWithoutSound, false, true},
                      NoteCase{true, true, true, "AVI", "", true, true},
                      NoteCase{true, false, false, "MPEG1", "", true, true}));

TEST(OutputName, ExtensionFollowsTheJoinKind) {
  TJoinPlan mpeg, avi;
  mpeg.CopyExtension = ".mpeg";
  avi.CopyExtension = ".avi";
  EXPECT_EQ(SwitchOutputExtension("/out/film.avi", mpeg, true), "/out/film.mpeg");
  EXPECT_EQ(SwitchOutputExtension("/out/film.mpeg", mpeg, false), "/out/film.avi");
  EXPECT_EQ(SwitchOutputExtension("/out/film.avi", avi, true), "/out/film.avi");
  EXPECT_EQ(SwitchOutputExtension("/out/film", mpeg, true), "/out/film.mpeg");
  EXPECT_EQ(SwitchOutputExtension("/out.d/film", avi, true), "/out.d/film.avi");
  EXPECT_EQ(SwitchOutputExtension("   ", avi, true), "   ");
  EXPECT_EQ(OverwriteQuestion("/a.avi"), "The \"/a.avi\" file already exists. \r\nDo you want to overwrite it?");
}

}  // namespace
}  // namespace vantrel
