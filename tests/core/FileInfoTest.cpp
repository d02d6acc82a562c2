// Media type from the first 20 bytes of a file, and probe comparisons.
#include "probe/FileInfo.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;

struct SignatureCase {
  const char* name;
  std::vector<uint8_t> head;  // padded with zeros to 20 bytes unless noted
  bool pad;
  const char* mediaType;
};

class MediaTypeBySignature : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(MediaTypeBySignature, DecidesFromTheFirstBytes) {
  const SignatureCase& c = GetParam();
  std::vector<uint8_t> bytes = c.head;
  if (c.pad && bytes.size() < 20) bytes.resize(20, 0);
  TempDir dir;
  std::string f = dir.File("x");
  test::WriteFileBytes(f, bytes);
  EXPECT_EQ(GetMediaType(f), c.mediaType);
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, MediaTypeBySignature,
    ::testing::Values(
        SignatureCase{"Avi", {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'A', 'V', 'I', ' '}, true, "AVI"},
        SignatureCase{"Wave", {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'A', 'V', 'E'}, true, "DirectShow"},
        SignatureCase{"MpegVideo", {0, 0, 1, 0xB3, 0x14, 0x00}, true, "MPEG1"},
        SignatureCase{"Mpeg1Pack", {0, 0, 1, 0xBA, 0x21, 0x00}, true, "MPEG1"},
        SignatureCase{"Mpeg2Pack", {0, 0, 1, 0xBA, 0x44, 0x00}, true, "MPEG2"},
        SignatureCase{"Mpeg2PackLowBit", {0, 0, 1, 0xBA, 0x40}, true, "MPEG2"},
        SignatureCase{"OtherStartCode", {0, 0, 1, 0xB8}, true, "DirectShow"},
        SignatureCase{"Asf", {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11}, true, "WMV"},
        SignatureCase{"AsfWrongByte", {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCE}, true, "DirectShow"},
        SignatureCase{"RealMedia", {'.', 'R', 'M', 'F', 0, 0, 0, 0x12}, true, "RealMedia"},
        // Byte 0 is not looked at for RealMedia.
        SignatureCase{"RealMediaAnyFirstByte", {'X', 'R', 'M', 'F'}, true, "RealMedia"},
        SignatureCase{"ShortAvi", {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'A', 'V', 'I', ' ', 0, 0, 0, 0, 0, 0, 0}, false,
                      "DirectShow"},
        SignatureCase{"Empty", {}, false, "DirectShow"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DetectFileFormat, MissingFileRaisesTheSystemError) {
  TempDir dir;
  try {
    DetectFileFormat(dir.File("missing.avi"));
    FAIL() << "no exception";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code(), 2);
    EXPECT_EQ(std::string(e.what()), "System Error.  Code: 2.\nNo such file or directory");
  }
}

TEST(VideoFileInfo, SameVideoSetsEachFlag) {
  TVideoFileInfo a;
  a.MediaType = "AVI";
  a.VideoFourCC = 0x58564944;  // DIVX
  a.Width = 320;
  a.Height = 240;
  a.FrameRate = 25.0;
  TVideoFileInfo b = a;
  EXPECT_TRUE(b.SameVideo(a));

  b.FrameRate = 25.000001;
  EXPECT_FALSE(b.SameVideo(a));
  EXPECT_TRUE(b.FrameRateDiffers);
  EXPECT_FALSE(b.TypeDiffers);
  EXPECT_FALSE(b.FrameSizeDiffers);

  b = a;
  b.Height = 241;
  EXPECT_FALSE(b.SameVideo(a));
  EXPECT_TRUE(b.FrameSizeDiffers);

  b = a;
  b.VideoFourCC = 0;
  EXPECT_FALSE(b.SameVideo(a));
  EXPECT_TRUE(b.TypeDiffers);

  b = a;
  b.MediaType = "MPEG1";
  EXPECT_FALSE(b.SameVideo(a));
  EXPECT_TRUE(b.TypeDiffers);
}

TEST(VideoFileInfo, SameAudioComparesEveryField) {
  TVideoFileInfo a;
  a.HasAudio = true;
  a.Channels = 2;
  a.SampleRate = 44100;
  a.BitsPerSample = 16;
  a.AudioFormatTag = 1;
  TVideoFileInfo b = a;
  EXPECT_TRUE(b.SameAudio(a));
  b.SampleRate = 22050;
  EXPECT_FALSE(b.SameAudio(a));
  b = a;
  b.AudioFormatTag = 0x55;
  EXPECT_FALSE(b.SameAudio(a));
  b = a;
  b.HasAudio = false;
  EXPECT_FALSE(b.SameAudio(a));
}

}  // namespace
}  // namespace vantrel
