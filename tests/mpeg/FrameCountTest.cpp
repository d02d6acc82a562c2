// The picture counter finds every picture_start_code however the video
// stream is cut into packet payloads, codes across a cut included.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "mpeg/FrameCount.h"

namespace vantrel {
namespace {

// The count as the stream holds it, byte by byte.
int64_t CodesIn(const std::vector<uint8_t>& v) {
  int64_t n = 0;
  for (size_t i = 3; i < v.size(); ++i) n += v[i - 3] == 0 && v[i - 2] == 0 && v[i - 1] == 1 && v[i] == 0;
  return n;
}

struct Stream {
  const char* name;
  std::vector<uint8_t> bytes;
};

std::vector<Stream> Streams() {
  std::mt19937 rng(7);
  // Mostly zeros and ones: start codes, near misses (00 00 01 01, 00 01 00,
  // 00 00 00 01 00) and codes back to back.
  std::vector<uint8_t> dense(20000);
  for (uint8_t& b : dense) b = static_cast<uint8_t>(rng() % 3 == 0 ? 1 : 0);
  std::vector<uint8_t> coded(200000);
  for (uint8_t& b : coded) b = static_cast<uint8_t>(rng());
  for (size_t at = 100; at + 4 < coded.size(); at += 997) {
    coded[at] = coded[at + 1] = 0;
    coded[at + 2] = 1;
    coded[at + 3] = 0;
  }
  return {{"Empty", {}},
          {"OneCode", {0, 0, 1, 0}},
          {"CodeAfterZeros", {0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0}},
          {"NearMisses", {0, 0, 1, 1, 0, 1, 0, 0, 0, 0, 1, 0xB3, 0, 0, 1}},
          {"Dense", dense},
          {"Coded", coded}};
}

TEST(PictureCounter, CountsEveryCodeWhereverThePayloadsAreCut) {
  for (const Stream& s : Streams()) {
    SCOPED_TRACE(s.name);
    const int64_t expected = CodesIn(s.bytes);
    // Payloads of one byte, of two and three (a code across two cuts), of
    // sizes at random, and the whole at once.
    std::mt19937 rng(11);
    for (int cut : {1, 2, 3, 4, 5, 0, -1}) {
      SCOPED_TRACE(cut);
      TPictureCounter c;
      size_t at = 0;
      while (at < s.bytes.size()) {
        const size_t n = cut > 0 ? static_cast<size_t>(cut) : cut == 0 ? 1 + rng() % 40 : s.bytes.size();
        const size_t take = std::min(n, s.bytes.size() - at);
        c.Feed(s.bytes.data() + at, take);
        c.Feed(s.bytes.data() + at, 0);  // an empty payload changes nothing
        at += take;
      }
      EXPECT_EQ(c.Count(), expected);
    }
  }
}

}  // namespace
}  // namespace vantrel
