// One avcC for files encoded apart: the sets of each are listed once, by
// their own ids, and a set that would share an id with another is refused.
#include "ffmpeg/ParameterSets.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel::av {
namespace {

using Bytes = std::vector<uint8_t>;

// An SPS of High profile, level 4.0: NAL header, profile_idc, constraint
// flags, level_idc, then seq_parameter_set_id as ue(v) and a marker byte
// that makes sets of one id differ.
Bytes Sps(uint8_t idBits, uint8_t body) { return {0x67, 100, 0, 40, idBits, body}; }
// A PPS: pic_parameter_set_id as ue(v), then seq_parameter_set_id.
Bytes Pps(uint8_t idBits, uint8_t body) { return {0x68, idBits, body}; }

// ue(v) codes at the top of a byte: 0 is "1", 1 is "010", 2 is "011".
constexpr uint8_t kId0 = 0x80, kId1 = 0x40, kId2 = 0x60;

Bytes Avcc(std::vector<Bytes> sps, std::vector<Bytes> pps) {
  TAvcConfig c;
  c.Profile = 100;
  c.Level = 40;
  c.Sps = std::move(sps);
  c.Pps = std::move(pps);
  return WriteAvcConfig(c);
}

struct MergeCase {
  const char* name;
  Bytes base, more;
  bool merged;
  std::vector<int> spsIds, ppsIds;  // of the result
};

void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.name; }

class MergeAvcConfigs : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeAvcConfigs, ListEveryFilesSetsOnceByTheirIds) {
  const MergeCase& c = GetParam();
  Bytes result = c.base;
  EXPECT_EQ(MergeAvcConfig(result, c.more), c.merged);
  if (!c.merged) {
    EXPECT_EQ(result, c.base) << "a refused merge changed the record";
    return;
  }
  TAvcConfig parsed;
  ASSERT_TRUE(ParseAvcConfig(result, parsed));
  std::vector<int> sps, pps;
  for (const Bytes& s : parsed.Sps) sps.push_back(SpsId(s));
  for (const Bytes& p : parsed.Pps) pps.push_back(PpsId(p));
  EXPECT_EQ(sps, c.spsIds);
  EXPECT_EQ(pps, c.ppsIds);
  EXPECT_EQ(parsed.Profile, 100);
  EXPECT_EQ(parsed.Level, 40);
}

INSTANTIATE_TEST_SUITE_P(
    Records, MergeAvcConfigs,
    ::testing::Values(
        MergeCase{"OtherIdsAreAdded", Avcc({Sps(kId0, 1)}, {Pps(kId0, 1)}), Avcc({Sps(kId1, 2)}, {Pps(kId1, 2)}), true,
                  {0, 1}, {0, 1}},
        MergeCase{"TheSameSetsOnce", Avcc({Sps(kId0, 1)}, {Pps(kId0, 1)}), Avcc({Sps(kId0, 1)}, {Pps(kId0, 1)}), true,
                  {0}, {0}},
        MergeCase{"ThreeFilesApart", Avcc({Sps(kId0, 1), Sps(kId1, 2)}, {Pps(kId0, 1), Pps(kId1, 2)}),
                  Avcc({Sps(kId2, 3)}, {Pps(kId2, 3)}), true, {0, 1, 2}, {0, 1, 2}},
        MergeCase{"OneIdForTwoSetsIsRefused", Avcc({Sps(kId0, 1)}, {Pps(kId0, 1)}), Avcc({Sps(kId0, 9)}, {Pps(kId1, 9)}),
                  false, {}, {}},
        MergeCase{"AnnexBIsNoRecord", Avcc({Sps(kId0, 1)}, {Pps(kId0, 1)}), Bytes{0, 0, 0, 1, 0x67, 100, 0, 40, kId1},
                  false, {}, {}},
        MergeCase{"ACutRecordIsRefused", Avcc({Sps(kId0, 1)}, {Pps(kId0, 1)}),
                  [] {
                    Bytes b = Avcc({Sps(kId1, 2)}, {Pps(kId1, 2)});
                    b.resize(b.size() - 2);
                    return b;
                  }(),
                  false, {}, {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ParameterSetIds, ReadPastEmulationPreventionBytes) {
  // seq_parameter_set_id 31 as ue(v): 0000 0100 000.
  EXPECT_EQ(SpsId({0x67, 100, 0, 40, 0x04, 0x00}), 31);
  // 16 zeros, the stop bit, 16 bits of 0: 65535, once the 03 of 00 00 03
  // (which keeps a start code out of the unit) is left out.
  EXPECT_EQ(PpsId({0x68, 0, 0, 3, 0x80, 0, 0}), 65535);
  EXPECT_EQ(SpsId({0x67, 100}), -1);
  EXPECT_EQ(PpsId({0x68, 0x00}), -1);  // no stop bit within the unit
}

}  // namespace
}  // namespace vantrel::av
