// Times as users type them and as the program writes them.
#include <gtest/gtest.h>

#include "base/Names.h"

namespace vantrel {
namespace {

TEST(TimeText, ReadAsTypedAndRefusedOtherwise) {
  struct Case {
    const char* text;
    bool ok;
    double seconds;
  } cases[] = {
      {"1.5", true, 1.5},          {"0:09", true, 9},         {"00:00:02.000", true, 2},
      {"1:02:03.25", true, 3723.25}, {"90", true, 90},          {"0", true, 0},
      {"", false, 0},              {"-1", false, 0},          {"1:60", false, 0},
      {"1.5:00", false, 0},        {"1:2:3:4", false, 0},     {"1..2", false, 0},
      {".5", false, 0},            {"1e3", false, 0},         {"1:", false, 0},
      {"nan", false, 0},           {" 1", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    double t = -7;
    EXPECT_EQ(ParseTimeText(c.text, t), c.ok);
    if (c.ok) EXPECT_DOUBLE_EQ(t, c.seconds);
    else EXPECT_EQ(t, -7) << "a refused text changes nothing";
  }
}

TEST(TimeText, WrittenToTheMillisecond) {
  EXPECT_EQ(FormatCutTime(1.5), "00:01.500");
  EXPECT_EQ(FormatCutTime(0.0004), "00:00.000");
  EXPECT_EQ(FormatCutTime(59.9996), "01:00.000");
  EXPECT_EQ(FormatCutTime(3723.04), "1:02:03.040");
  EXPECT_EQ(FormatCutTime(-3), "00:00.000");
}

}  // namespace
}  // namespace vantrel
