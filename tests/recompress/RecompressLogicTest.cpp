// Placement of pictures, the timeline laid out by the joiner, compressor
// lists and choices, and the frame-rate text conversion.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Exceptions.h"
#include "job/JoinCls.h"
#include "plan/JoinOptions.h"
#include "recompress/Compressors.h"
#include "recompress/DSJoin.h"
#include "recompress/VideoPath.h"

namespace vantrel {
namespace {

struct PlaceCase {
  const char* name;
  int sw, sh, dw, dh;
  TResizeMethod mode;
  TPlacement expected;
};

class Placement : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(Placement, SourceAndFrameRectangles) {
  const auto& c = GetParam();
  TPlacement p = PlaceSource(c.sw, c.sh, c.dw, c.dh, c.mode, 2, 2);
  const TPlacement& e = c.expected;
  EXPECT_EQ(p.SrcX, e.SrcX);
  EXPECT_EQ(p.SrcY, e.SrcY);
  EXPECT_EQ(p.SrcW, e.SrcW);
  EXPECT_EQ(p.SrcH, e.SrcH);
  EXPECT_EQ(p.DstX, e.DstX);
  EXPECT_EQ(p.DstY, e.DstY);
  EXPECT_EQ(p.DstW, e.DstW);
  EXPECT_EQ(p.DstH, e.DstH);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Placement,
    ::testing::Values(
        // 4:3 into 16:9.
        PlaceCase{"LetterboxSideBands", 640, 480, 640, 360, rmLetterbox, {0, 0, 640, 480, 80, 0, 480, 360}},
        PlaceCase{"CropCutsTopAndBottom", 640, 480, 640, 360, rmCrop,
                  {0, 60, 640, 360, 0, 0, 640, 360}},
        PlaceCase{"StretchWhole", 640, 480, 640, 360, rmStretch, {0, 0, 640, 480, 0, 0, 640, 360}},
        // 16:9 into 4:3.
        PlaceCase{"LetterboxTopBands", 640, 360, 320, 240, rmLetterbox, {0, 0, 640, 360, 0, 30, 320, 180}},
        PlaceCase{"CropCutsSides", 640, 360, 320, 240, rmCrop,
                  {80, 0, 480, 360, 0, 0, 320, 240}},
        // No resize: a larger source is cut, a smaller one centred on black.
        PlaceCase{"NoResizeLarger", 720, 576, 352, 288, rmNoResize, {184, 144, 352, 288, 0, 0, 352, 288}},
        PlaceCase{"NoResizeSmaller", 160, 120, 352, 288, rmNoResize, {0, 0, 160, 120, 96, 84, 160, 120}},
        // Odd sizes stay on the chroma grid.
        PlaceCase{"OddAligned", 641, 481, 352, 288, rmLetterbox, {0, 0, 640, 480, 0, 12, 352, 264}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(Placement, DegenerateSizesDoNotDivideByZero) {
  TPlacement p = PlaceSource(0, 0, 320, 240, rmLetterbox);
  EXPECT_EQ(p.DstW, 320);
  p = PlaceSource(1, 1, 320, 240, rmCrop, 2, 2);
  EXPECT_GE(p.SrcW, 1);
  EXPECT_LE(p.SrcW, 1);
}

TEST(ResizeMethods, ItemsOfTheDialogsList) {
  EXPECT_EQ(ResizeMethodOfItem(0), rmLetterbox);
  EXPECT_EQ(ResizeMethodOfItem(1), rmCrop);
  EXPECT_EQ(ResizeMethodOfItem(2), rmStretch);
  EXPECT_EQ(ResizeMethodOfItem(3), rmNoResize);
  // Outside the list the engine keeps its default.
  EXPECT_EQ(ResizeMethodOfItem(-1), rmLetterbox);
  EXPECT_EQ(ResizeMethodOfItem(4), rmLetterbox);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(ItemOfResizeMethod(ResizeMethodOfItem(i)), i);
}

TEST(StrToFloat, AcceptsNumbersInTheSeparatorsForm) {
  EXPECT_DOUBLE_EQ(StrToFloat("25.00"), 25.0);
  EXPECT_DOUBLE_EQ(StrToFloat(" 29.97 "), 29.97);
  EXPECT_DOUBLE_EQ(StrToFloat("29,97", ','), 29.97);
  EXPECT_DOUBLE_EQ(StrToFloat("1e2"), 100.0);
  for (const char* bad : {"", "abc", "25fps", "nan", "inf", "0x10", "1.5.2"}) {
    try {
      StrToFloat(bad);
      FAIL() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid floating point value");
    }
  }
  EXPECT_THROW(StrToFloat("29.97", ','), EConvertError);
}

TEST(CompressorChoice, VideoPrefersDivxThenXvidLastMatchWins) {
  bool none = false;
  EXPECT_EQ(ChooseVideoCompressor({"Xvid codec", "Cinepak", "DivX Pro", "my DIVX 2"}, -1, &none), 3);
  EXPECT_FALSE(none);
  EXPECT_EQ(ChooseVideoCompressor({"XviD", "Cinepak", "libxvid again"}, -1, &none), 2);
  EXPECT_EQ(ChooseVideoCompressor({"Cinepak", "MJPEG"}, 1, &none), 1);
  EXPECT_TRUE(none);
}

TEST(CompressorChoice, AudioPrefersMp3ThenMpegThenPcm) {
  EXPECT_EQ(ChooseAudioCompressor({"No-compressing", "PCM 16", "MPEG layer 2"}, -1), 2);
  EXPECT_EQ(ChooseAudioCompressor({"No-compressing", "MP3 a", "MPEG layer 2", "pcm"}, -1), 1);
  EXPECT_EQ(ChooseAudioCompressor({"No-compressing", "Vorbis"}, 0), 0);
  EXPECT_EQ(ChooseAudioCompressor({"No-compressing", "Vorbis"}, -1), -1);
}

TEST(Compressors, ListsAreParallelSortedAndUsable) {
  std::vector<std::string> names, monikers;
  EnumCompressors(false, &names, &monikers);
  ASSERT_EQ(names.size(), monikers.size());
  ASSERT_FALSE(names.empty());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i].substr(names[i].size() - monikers[i].size() - 2), "(" + monikers[i] + ")");
    EXPECT_EQ(names[i].find("vaapi"), std::string::npos);
    EXPECT_EQ(names[i].find("nvenc"), std::string::npos);
    EXPECT_EQ(names[i].find("v4l2m2m"), std::string::npos);
  }
  EXPECT_NE(std::find(monikers.begin(), monikers.end(), "libxvid"), monikers.end());
  std::vector<std::string> audio;
  EnumCompressors(true, nullptr, &audio);
  EXPECT_NE(std::find(audio.begin(), audio.end(), "libmp3lame"), audio.end());
  EXPECT_NE(std::find(audio.begin(), audio.end(), "pcm_s16le"), audio.end());
  // The dialog's default choice over these names.
  EXPECT_EQ(monikers[static_cast<size_t>(ChooseVideoCompressor(names, -1))], "libxvid");
}

TEST(Compressors, FilterInstancesCarryTheStoredOptions) {
  std::vector<std::string> monikers = {"", "libxvid", "no-such-encoder"};
  EXPECT_EQ(GetCompressorFilter(monikers, -1), nullptr);
  EXPECT_EQ(GetCompressorFilter(monikers, 0), nullptr);  // "No-compressing"
  EXPECT_EQ(GetCompressorFilter(monikers, 2), nullptr);
  EXPECT_EQ(GetCompressorFilter(monikers, 3), nullptr);
  CompressorOptionStore().Set("libxvid", {{"b", "800000"}});
  auto a = GetCompressorFilter(monikers, 1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Options.at("b"), "800000");
  CompressorOptionStore().Set("libxvid", {{"b", "900000"}});
  auto b = GetCompressorFilter(monikers, 1);
  EXPECT_NE(a, b);  // every call makes a new instance
  EXPECT_EQ(b->Options.at("b"), "900000");
  CompressorOptionStore().Set("libxvid", {});
}

TEST(Compressors, OptionDescriptions) {
  auto keys = [](const std::string& enc) {
    std::vector<std::string> k;
    for (const auto& o : DescribeEncoderOptions(enc)) k.push_back(o.Key);
    return k;
  };
  EXPECT_EQ(keys("libxvid"), (std::vector<std::string>{"b", "quality", "g"}));
  EXPECT_EQ(keys("libx264"), (std::vector<std::string>{"b", "crf", "g", "preset"}));
  EXPECT_EQ(keys("libmp3lame"), (std::vector<std::string>{"b"}));
  EXPECT_TRUE(keys("pcm_s16le").empty());
  EXPECT_TRUE(keys("no-such-encoder").empty());
}

}  // namespace
}  // namespace vantrel
