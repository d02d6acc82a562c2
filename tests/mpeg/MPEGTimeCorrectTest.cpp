// Time-stamp correction across joined MPEG-1 system streams.
#include "mpeg/MPEGTimeCorrect.h"

#include <gtest/gtest.h>

#include "MpegBytes.h"
#include "base/PosixFile.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using namespace test;

struct Written {
  TempDir dir;
  TOutputStream out;
  Written() { out.Create(dir.File("o.mpg")); }
  Bytes Bytes_() {
    out.Close();
    return ReadFileBytes(dir.File("o.mpg"));
  }
};

int64_t ScrOf(const Bytes& b, size_t at) { return DecodeTimeStamp(b.data() + at + 4); }

TMPEGPacketInfo VideoPts(int64_t pts, uint8_t id = 0xE0) {
  TMPEGPacketInfo p;
  p.StreamId = id;
  p.HasPTS = true;
  p.PTS = pts;
  return p;
}

class FrameTicks : public ::testing::TestWithParam<std::pair<double, int64_t>> {};

TEST_P(FrameTicks, NextFileStartsOneFrameAfterTheLastVideoPts) {
  auto [rate, ticks] = GetParam();
  Written w;
  InitTimeCorrection(rate);
  StartNextFile();
  uint8_t pay[4] = {};
  WriteCorrectedPacket(VideoPts(900000), pay, 4, w.out);
  StartNextFile();
  EXPECT_EQ(TimeCorrectionState().PTSOffset, 900000 + ticks);
}

INSTANTIATE_TEST_SUITE_P(Rates, FrameTicks,
                         ::testing::Values(std::pair{25.0, int64_t{3600}}, std::pair{30000.0 / 1001, int64_t{3003}},
                                           std::pair{29.97, int64_t{3003}}, std::pair{24.0, int64_t{3750}}));

TEST(TimeCorrection, TwoFilesShiftPtsAndScr) {
  Written w;
  InitTimeCorrection(25);
  uint8_t pay[3] = {7, 8, 9};
  StartNextFile();
  WriteCorrectedPack(2800, w.out, 1000000);
  WriteCorrectedPacket(VideoPts(900000), pay, 3, w.out);
  StartNextFile();
  WriteCorrectedPack(2800, w.out, 30000);
  WriteCorrectedPacket(VideoPts(45000, 0xC0), pay, 3, w.out);  // first stamped packet, any stream
  WriteCorrectedPack(2800, w.out, 31000);
  WriteCorrectedPacket(VideoPts(48600), pay, 3, w.out);
  Bytes b = w.Bytes_();
  // pack(12) packet(6+5+3=14) pack packet pack packet
  ASSERT_EQ(b.size(), 3u * (12 + 14));
  EXPECT_EQ(ScrOf(b, 0), 1000000);  // the first file passes unchanged
  EXPECT_EQ(DecodeTimeStamp(b.data() + 12 + 6), 900000);
  EXPECT_EQ(ScrOf(b, 26), 1000000);
  EXPECT_EQ(DecodeTimeStamp(b.data() + 26 + 12 + 6), 903600);
  EXPECT_EQ(ScrOf(b, 52), 1001000);
  EXPECT_EQ(DecodeTimeStamp(b.data() + 52 + 12 + 6), 907200);
  EXPECT_EQ(TimeCorrectionState().LastVideoPTS, 907200);
  EXPECT_EQ(TimeCorrectionState().LastSCR, 1001000);
}

TEST(TimeCorrection, LaterFileWithLargerScrGetsANegativeOffset) {
  Written w;
  InitTimeCorrection(25);
  StartNextFile();
  WriteCorrectedPack(1, w.out, 5000);
  StartNextFile();
  WriteCorrectedPack(1, w.out, 80000);
  WriteCorrectedPack(1, w.out, 81000);
  EXPECT_EQ(TimeCorrectionState().SCROffset, 5000 - 80000);
  Bytes b = w.Bytes_();
  EXPECT_EQ(ScrOf(b, 12), 5000);
  EXPECT_EQ(ScrOf(b, 24), 6000);
}

TEST(TimeCorrection, ValuesWrapAtTwoToTheThirtyThree) {
  Written w;
  InitTimeCorrection(25);
  StartNextFile();
  const int64_t top = (int64_t{1} << 33) - 100;
  WriteCorrectedPack(1, w.out, top);
  uint8_t pay[1] = {0};
  WriteCorrectedPacket(VideoPts(top), pay, 1, w.out);
  StartNextFile();
  WriteCorrectedPack(1, w.out, 0);
  WriteCorrectedPack(1, w.out, 1000);
  WriteCorrectedPacket(VideoPts(0), pay, 1, w.out);
  Bytes b = w.Bytes_();
  size_t second = 12 + 12;  // pack + packet(6+5+1)
  EXPECT_EQ(ScrOf(b, second), top);
  EXPECT_EQ(ScrOf(b, second + 12), 900);  // top + 1000 modulo 2^33
  EXPECT_EQ(DecodeTimeStamp(b.data() + second + 24 + 6), 3500);  // top + 3600
}

TEST(TimeCorrection, PtsAndDtsWrittenAsPtsOnly) {
  Written w;
  InitTimeCorrection(25);
  StartNextFile();
  TMPEGPacketInfo p = VideoPts(7200);
  p.HasDTS = true;
  p.DTS = 3600;
  p.HasStdBuffer = true;
  Bytes pay = Payload(40, 2);
  WriteCorrectedPacket(p, pay.data(), 40, w.out);
  TMPEGPacketInfo none;
  none.StreamId = 0xC0;
  WriteCorrectedPacket(none, pay.data(), 40, w.out);
  Bytes b = w.Bytes_();
  ASSERT_EQ(b.size(), (6u + 5 + 40) + (6u + 1 + 40));
  EXPECT_EQ((b[4] << 8) | b[5], 45);  // payload + 5
  EXPECT_EQ(b[6] >> 4, 2);            // prefix '0010'
  EXPECT_EQ(DecodeTimeStamp(b.data() + 6), 7200);
  EXPECT_EQ(Bytes(b.begin() + 11, b.begin() + 51), pay);
  EXPECT_EQ((b[51 + 4] << 8) | b[51 + 5], 41);  // payload + 1
  EXPECT_EQ(b[51 + 6], 0x0F);
}

TEST(TimeCorrection, NoVideoPtsYetLeavesTheNextFileUnchanged) {
  Written w;
  InitTimeCorrection(25);
  StartNextFile();
  uint8_t pay[1] = {0};
  WriteCorrectedPacket(VideoPts(500, 0xC0), pay, 1, w.out);  // audio only
  StartNextFile();
  WriteCorrectedPacket(VideoPts(700, 0xC0), pay, 1, w.out);
  Bytes b = w.Bytes_();
  EXPECT_EQ(DecodeTimeStamp(b.data() + 12 + 6), 700);
}

TEST(TimeCorrection, PackHeaderWrittenForm) {
  Bytes b(12);
  BuildPackHeader(b.data(), 0, 0);
  EXPECT_EQ(b, (Bytes{0, 0, 1, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x00, 0x01}));
  BuildPackHeader(b.data(), (int64_t{1} << 33) - 1, 0x3FFFFF);
  EXPECT_EQ(b, (Bytes{0, 0, 1, 0xBA, 0x2F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(TimeCorrection, UnknownFrameRateDoesNotDivideByZero) {
  InitTimeCorrection(0);
  EXPECT_EQ(TimeCorrectionState().FrameDuration, 0);
}

}  // namespace
}  // namespace vantrel
