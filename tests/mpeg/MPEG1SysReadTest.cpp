// MPEG-1 system stream reader on hand-built byte sequences.
#include "mpeg/MPEG1SysRead.h"

#include <gtest/gtest.h>

#include "MpegBytes.h"
#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using namespace test;

struct Unit {
  TMPEGUnitKind kind;
  int64_t start;
  uint32_t size;
};

std::vector<Unit> Walk(const Bytes& bytes, TMPEG1SystemReader* keep = nullptr) {
  TempDir dir;
  WriteFileBytes(dir.File("s.mpg"), bytes);
  TMPEG1SystemReader local;
  TMPEG1SystemReader& r = keep ? *keep : local;
  r.Open(dir.File("s.mpg"));
  std::vector<Unit> units;
  while (r.Next()) units.push_back({r.UnitKind, r.UnitStart, r.UnitSize});
  return units;
}

TEST(MPEG1Reader, JunkBeforeTheFirstStartCodeIsSkipped) {
  Bytes s = Join({{0x47, 0x11, 0x00, 0x01, 0xBA, 0x00, 0x00}, Pack(90000)});
  auto units = Walk(s);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].kind, ukPack);
  EXPECT_EQ(units[0].start, 7);
  EXPECT_EQ(units[0].size, 12u);
}

TEST(MPEG1Reader, ExtraZeroBeforeThePrefix) {
  Bytes s = Join({{0x00}, Pack(0)});
  auto units = Walk(s);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].start, 1);
}

TEST(MPEG1Reader, PrefixFollowedByALowCodeIsSearchedFromThatCode) {
  // 00 00 01 00 00 01 BA: the pack is found at its second prefix.
  Bytes s = Join({{0x00, 0x00, 0x01}, Pack(0)});
  auto units = Walk(s);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].start, 3);
}

TEST(MPEG1Reader, EndCodesAreNeverReturned) {
  Bytes s = Join({Pack(0), kEndCodeBytes, Pack(3600), kEndCodeBytes});
  auto units = Walk(s);
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[1].start, 16);
}

TEST(MPEG1Reader, StuffingStdAndBothStamps) {
  Bytes header = Join({{0xFF, 0xFF, 0xFF}, {0x40 | 0x20, 0x2E}, PtsDtsHeader(123456, 120000)});
  Bytes s = Join({Pack(0), Packet(0xE0, header, Payload(100, 1))});
  TMPEG1SystemReader r;
  auto units = Walk(s, &r);
  ASSERT_EQ(units.size(), 2u);
  // The reader keeps the last unit's fields.
  EXPECT_EQ(r.Packet.StreamId, 0xE0);
  EXPECT_TRUE(r.Packet.HasStdBuffer);
  EXPECT_TRUE(r.Packet.HasPTS);
  EXPECT_TRUE(r.Packet.HasDTS);
  EXPECT_EQ(r.Packet.PTS, 123456);
  EXPECT_EQ(r.Packet.DTS, 120000);
  EXPECT_EQ(r.Packet.DataOffset, r.UnitStart + 6 + 3 + 2 + 10);
  EXPECT_EQ(r.Packet.PayloadLength, 100);
  EXPECT_EQ(r.UnitSize, 6u + 15 + 100);
  Bytes payload(100);
  ASSERT_TRUE(r.ReadPayload(payload.data()));
  EXPECT_EQ(payload, Payload(100, 1));
}

struct HeaderCase {
  const char* name;
  Bytes header;
  bool std, pts, dts;
  int headerBytes;
};

class PacketHeaders : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(PacketHeaders, FieldsAndPayloadOffset) {
  const HeaderCase& c = GetParam();
  TMPEG1SystemReader r;
  auto units = Walk(Packet(0xC0, c.header, Payload(20, 9)), &r);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(r.Packet.HasStdBuffer, c.std);
  EXPECT_EQ(r.Packet.HasPTS, c.pts);
  EXPECT_EQ(r.Packet.HasDTS, c.dts);
  EXPECT_EQ(r.Packet.DataOffset, 6 + c.headerBytes);
  EXPECT_EQ(r.Packet.PayloadLength, 20);
  EXPECT_FALSE(r.Packet.HeaderOverrun);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PacketHeaders,
    ::testing::Values(HeaderCase{"NoStamp", {0x0F}, false, false, false, 1},
                      HeaderCase{"StuffedNoStamp", {0xFF, 0xFF, 0x0F}, false, false, false, 3},
                      HeaderCase{"Pts", PtsHeader(1), false, true, false, 5},
                      HeaderCase{"StdPts", Join({{0x60, 0x00}, PtsHeader(1)}), true, true, false, 7},
                      HeaderCase{"StdNoStamp", {0x40, 0x10, 0x0F}, true, false, false, 3},
                      HeaderCase{"PtsDts", PtsDtsHeader(5, 4), false, true, true, 10}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(MPEG1Reader, ScrExtremes) {
  TMPEG1SystemReader r;
  Walk({0, 0, 1, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x83}, &r);
  EXPECT_EQ(r.SCR, 0);
  EXPECT_EQ(r.MuxRate, (0x1B83u) >> 1);
  Walk({0, 0, 1, 0xBA, 0x2F, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x1B, 0x83}, &r);
  EXPECT_EQ(r.SCR, (int64_t{1} << 33) - 1);
  // Written forms read back to the same values.
  Walk(Pack((int64_t{1} << 33) - 1, 0x3FFFFF), &r);
  EXPECT_EQ(r.SCR, (int64_t{1} << 33) - 1);
  EXPECT_EQ(r.MuxRate, 0x3FFFFFu);
}

TEST(MPEG1Reader, SystemHeaderSpansItsLength) {
  auto units = Walk(Join({Pack(0), SystemHeader(9), Pack(1)}));
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[1].kind, ukSystemHeader);
  EXPECT_EQ(units[1].size, 15u);
  EXPECT_EQ(units[2].start, 12 + 15);
}

TEST(MPEG1Reader, StartCodesInsidePayloadsAreNotSeen) {
  Bytes payload = Join({Pack(5), {0, 0, 1, 0xE0, 0, 0}});
  auto units = Walk(Join({Packet(0xE0, {0x0F}, payload), Pack(7)}));
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[1].kind, ukPack);
}

TEST(MPEG1Reader, PayloadCutOffByTheEndOfTheFile) {
  Bytes full = Packet(0xE0, {0x0F}, Payload(50, 3));
  Bytes cut(full.begin(), full.end() - 20);
  TMPEG1SystemReader r;
  auto units = Walk(cut, &r);
  ASSERT_EQ(units.size(), 1u);
  std::vector<uint8_t> buf(r.UnitSize, 0xEE);
  EXPECT_FALSE(r.ReadUnit(buf.data()));
  EXPECT_EQ(r.ReadUnitBytes(buf.data()), cut.size());
  EXPECT_FALSE(r.ReadPayload(buf.data()));
  EXPECT_EQ(r.ReadPayloadBytes(buf.data()), 30u);
}

TEST(MPEG1Reader, HeaderCutShortEndsTheStream) {
  Bytes cases[] = {{0, 0, 1, 0xBA, 0x21, 0x00}, {0, 0, 1, 0xE0, 0x00}, {0, 0, 1, 0xBB, 0x00},
                   {0, 0, 1, 0xE0, 0x00, 0x10, 0xFF, 0xFF}, {0, 0, 1, 0xE0, 0x00, 0x10, 0x21, 0x00}, {0, 0, 1}};
  for (const Bytes& b : cases) EXPECT_TRUE(Walk(b).empty());
}

TEST(MPEG1Reader, PrivateStream2HasNoHeaderFields) {
  TMPEG1SystemReader r;
  // Its data starts like a PTS: it must not be parsed as one.
  auto units = Walk(Packet(0xBF, {}, Join({PtsHeader(99), Payload(10, 1)})), &r);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(r.UnitSize, 6u + 15);
  EXPECT_EQ(r.Packet.StreamId, 0xBF);
  EXPECT_FALSE(r.Packet.HasPTS);
  EXPECT_EQ(r.Packet.DataOffset, 0);
  EXPECT_EQ(r.Packet.PayloadLength, 0);
}

TEST(MPEG1Reader, HeaderRunningPastTheDeclaredEndDoesNotWrap) {
  // Declared length 3 but a 5-byte PTS follows: the header overruns.
  Bytes s = {0, 0, 1, 0xE0, 0x00, 0x03, 0x21, 0x00, 0x01, 0x00, 0x01, 0xAA, 0xBB};
  TMPEG1SystemReader r;
  auto units = Walk(s, &r);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_TRUE(r.Packet.HeaderOverrun);
  EXPECT_EQ(r.Packet.PayloadLength, 0);
  EXPECT_EQ(r.UnitSize, 9u);
  TMPEG1SystemReader r2;
  Walk(Join({Packet(0xE0, {}, {}), Pack(1)}), &r2);  // zero-length packet, then a pack
  EXPECT_EQ(r2.UnitKind, ukPack);
  auto stuffedOnly = Walk(Join({Packet(0xE0, {0xFF, 0xFF}, {}), Pack(1)}));
  ASSERT_EQ(stuffedOnly.size(), 2u);
  EXPECT_EQ(stuffedOnly[1].start, 8);
}

TEST(MPEG1Reader, ZeroLengthPacketReportsOverrunWithoutPayload) {
  TMPEG1SystemReader r;
  auto units = Walk(Packet(0xC0, {}, {}), &r);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_TRUE(r.Packet.HeaderOverrun);
  EXPECT_EQ(r.Packet.PayloadLength, 0);
  EXPECT_EQ(r.UnitSize, 6u);
}

TEST(MPEG1Reader, EndlessZerosAndPrefixesEndCleanly) {
  EXPECT_TRUE(Walk(Bytes(1 << 16, 0)).empty());
  Bytes prefixes;
  for (int i = 0; i < 10000; ++i) prefixes.insert(prefixes.end(), {0, 0, 1});
  EXPECT_TRUE(Walk(prefixes).empty());
}

TEST(MPEG1Reader, MissingFileRaisesTheSystemError) {
  TempDir dir;
  TMPEG1SystemReader r;
  EXPECT_THROW(r.Open(dir.File("nothing.mpg")), EOSError);
  EXPECT_FALSE(r.Next());
}

TEST(MPEG1Reader, TimeStampCodec) {
  for (int64_t v : {int64_t{0}, int64_t{1}, int64_t{90000}, int64_t{1} << 30, (int64_t{1} << 33) - 1}) {
    uint8_t b[5];
    EncodeTimeStamp(b, v, 2);
    EXPECT_EQ(b[0] >> 4, 2);
    EXPECT_EQ(b[0] & 1, 1);
    EXPECT_EQ(b[2] & 1, 1);
    EXPECT_EQ(b[4] & 1, 1);
    EXPECT_EQ(DecodeTimeStamp(b), v);
  }
  uint8_t b[5];
  EncodeTimeStamp(b, (int64_t{1} << 33) + 5, 2);  // wraps
  EXPECT_EQ(DecodeTimeStamp(b), 5);
}

}  // namespace
}  // namespace vantrel
