// Time-stamp correction across joined MPEG-1 system streams: one offset per
// file for its SCRs, PTSs and DTSs, the file's first presented unit one
// frame after the highest PTS before it, the clock never going back.
#include "mpeg/MPEGTimeCorrect.h"

#include <gtest/gtest.h>

#include "MpegBytes.h"
#include "mpeg/MPEGJoiner.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using namespace test;

struct Stamp {
  int64_t pts;
  int64_t dts = -1;  // -1: none
};

// One pack per stamp, 1000 ticks apart from scr, each with a video packet
// of 100 bytes; a sound packet without stamp after the first.
Bytes Stream(int64_t scr, const std::vector<Stamp>& stamps) {
  Bytes s;
  for (size_t i = 0; i < stamps.size(); ++i) {
    s = Join({s, Pack(scr + 1000 * static_cast<int64_t>(i))});
    const Stamp& t = stamps[i];
    Bytes header = t.dts < 0 ? PtsHeader(t.pts) : PtsDtsHeader(t.pts, t.dts);
    s = Join({s, Packet(0xE0, Join({{0x40, 0x20}, header}), Payload(100, static_cast<uint8_t>(i)))});
    if (i == 0) s = Join({s, Packet(0xC0, {0x0F}, Payload(50, 9))});
  }
  return Join({s, kEndCodeBytes});
}

struct Read {
  std::vector<int64_t> scr;
  std::vector<Stamp> stamps;
};

Read Stamps(const std::string& file) {
  Read r;
  TMPEG1SystemReader reader;
  reader.Open(file);
  while (reader.Next()) {
    if (reader.UnitKind == ukPack) r.scr.push_back(reader.SCR);
    if (reader.UnitKind == ukPacket && reader.Packet.HasPTS)
      r.stamps.push_back({reader.Packet.PTS, reader.Packet.HasDTS ? reader.Packet.DTS : -1});
  }
  return r;
}

struct CorrectionCase {
  const char* name;
  double rate;
  int64_t scrA;
  std::vector<Stamp> a;
  int64_t scrB;
  std::vector<Stamp> b;
  int64_t offsetB;  // what the second file's stamps move by
  int64_t firstScrB = -1;  // where its first pack is written, when not moved with them
};

void PrintTo(const CorrectionCase& c, std::ostream* os) { *os << c.name; }

// The first file's last pack and its packet are 12 + 113 bytes: 81 ticks
// at 2800 x 50 bytes/s, so the second file's clock starts no earlier than
// 101000 + 81.
const CorrectionCase kCases[] = {
    // Highest PTS 121600 + 3600 - 48000.
    {"NextFrameAfterTheHighestPts", 25, 100000, {{118000}, {121600}}, 30000, {{48000}, {51600}}, 77200},
    {"FrameOf29_97", 30000.0 / 1001, 100000, {{118000}, {121003}}, 30000, {{48000}}, 121003 + 3003 - 48000},
    {"FrameOf24", 24, 100000, {{118000}, {121750}}, 30000, {{48000}}, 121750 + 3750 - 48000},
    {"SoundOnlySpacedBy40ms", 0, 100000, {{118000}, {121600}}, 30000, {{48000}}, 77200},
    // B-frames: the lowest PTS is the second packet's, and DTS moves along.
    {"LowestPtsOfReorderedFrames",
     25,
     100000,
     {{121600, 118000}, {118000, -1}},
     30000,
     {{55200, 48000}, {48000, -1}, {51600, -1}},
     121600 + 3600 - 48000},
    // A file whose stamps lead its clock by more: its first pack cannot
    // arrive before the first file's last pack was sent, so it arrives then.
    {"ClockNeverGoesBack", 25, 100000, {{118000}, {121600}}, 30000, {{90000}}, 121600 + 3600 - 90000, 101081},
};

class TimeCorrection : public ::testing::TestWithParam<CorrectionCase> {};

TEST_P(TimeCorrection, OneOffsetPerFile) {
  const CorrectionCase& c = GetParam();
  TempDir dir;
  const std::string a = dir.File("a.mpg"), b = dir.File("b.mpg"), out = dir.File("out.mpg");
  WriteFileBytes(a, Stream(c.scrA, c.a));
  WriteFileBytes(b, Stream(c.scrB, c.b));
  TMPEGJoiner j;
  j.Files = {a, b};
  j.OutputFileName = out;
  j.FrameRate = c.rate;
  j.CorrectTimeStamps = true;
  j.Run();
  const Read in1 = Stamps(a), in2 = Stamps(b), got = Stamps(out);
  Read want = in1;
  for (int64_t s : in2.scr) want.scr.push_back(s + c.offsetB);
  if (c.firstScrB >= 0) want.scr[in1.scr.size()] = c.firstScrB;
  for (Stamp t : in2.stamps) want.stamps.push_back({t.pts + c.offsetB, t.dts < 0 ? -1 : t.dts + c.offsetB});
  EXPECT_EQ(got.scr, want.scr);
  ASSERT_EQ(got.stamps.size(), want.stamps.size());
  for (size_t i = 0; i < got.stamps.size(); ++i) {
    EXPECT_EQ(got.stamps[i].pts, want.stamps[i].pts) << i;
    EXPECT_EQ(got.stamps[i].dts, want.stamps[i].dts) << i;
  }
  // Everything but the stamps is copied: the same size, the buffer fields kept.
  EXPECT_EQ(ReadFileBytes(out).size(), ReadFileBytes(a).size() + ReadFileBytes(b).size() - 2 * 4);
}

INSTANTIATE_TEST_SUITE_P(Files, TimeCorrection, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(TimeCorrection, StampsWrapAtTwoToTheThirtyThree) {
  TempDir dir;
  const int64_t top = (int64_t{1} << 33) - 1000;
  WriteFileBytes(dir.File("a.mpg"), Stream(top - 18000, {{top}}));
  WriteFileBytes(dir.File("b.mpg"), Stream(0, {{18000}}));
  TMPEGJoiner j;
  j.Files = {dir.File("a.mpg"), dir.File("b.mpg")};
  j.OutputFileName = dir.File("out.mpg");
  j.FrameRate = 25;
  j.CorrectTimeStamps = true;
  j.Run();
  // top + 3600, written modulo 2^33.
  EXPECT_EQ(Stamps(j.OutputFileName).stamps.back().pts, 2600);
}

}  // namespace
}  // namespace vantrel
