// Bar position and remaining-time text of the progress display.
#include "base/TimeEstimate.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

struct FakeClock {
  double now = 1000;
  TTimeEstimate::TClock Fn() {
    return [this] { return now; };
  }
};

TEST(TimeEstimate, BarMovesOnlyWhenTheIntegerPartChanges) {
  FakeClock clock;
  TTimeEstimate e(clock.Fn());
  e.SetProgress(37.9);
  EXPECT_EQ(e.Position(), 37);
  e.SetProgress(37.2);
  EXPECT_EQ(e.Position(), 37);
  e.SetProgress(-0.5);
  EXPECT_EQ(e.Position(), 0);
}

struct EstimateCase {
  double from;
  double to;
  double seconds;
  const char* text;
};

class TimeEstimateText : public ::testing::TestWithParam<EstimateCase> {};

TEST_P(TimeEstimateText, RemainingTimeFromTheLastStretch) {
  const EstimateCase& c = GetParam();
  FakeClock clock;
  TTimeEstimate e(clock.Fn());
  e.SetProgress(c.from);
  clock.now += c.seconds;
  e.SetProgress(c.to);
  EXPECT_EQ(e.TimeText(), c.text);
  EXPECT_TRUE(e.ShowTime());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeEstimateText,
    ::testing::Values(EstimateCase{10, 20, 5, "40 seconds remaining"},   // 2 %/s, 80 % left
                      EstimateCase{10, 11, 4, "5 minutes remaining"},    // 356 s
                      EstimateCase{20, 22, 4, "2 minutes remaining"},     // 156 s
                      EstimateCase{50, 60, 4, "16 seconds remaining"},
                      EstimateCase{10, 40, 4, "8 seconds remaining"}));

TEST(TimeEstimate, FormatBoundaries) {
  EXPECT_EQ(TTimeEstimate::FormatRemaining(0), "0 seconds remaining");
  EXPECT_EQ(TTimeEstimate::FormatRemaining(59), "59 seconds remaining");
  EXPECT_EQ(TTimeEstimate::FormatRemaining(60), "1 minutes remaining");
  EXPECT_EQ(TTimeEstimate::FormatRemaining(10799), "179 minutes remaining");
  EXPECT_EQ(TTimeEstimate::FormatRemaining(10800), "3 hours remaining");
}

TEST(TimeEstimate, ExactHalfRoundsToEven) {
  // 1 % in 4 s and 0.625 % left: 2.5 s -> 2; 0.875 % left: 3.5 s -> 4.
  for (auto [left, expected] : {std::pair{0.625, "2 seconds remaining"}, std::pair{0.875, "4 seconds remaining"}}) {
    FakeClock clock;
    TTimeEstimate e(clock.Fn());
    double to = 100 - left;
    e.SetProgress(to - 1);
    clock.now += 4;
    e.SetProgress(to);
    EXPECT_EQ(e.TimeText(), expected) << left;
  }
}

TEST(TimeEstimate, NoTextWithinTheFirstThreeSeconds) {
  FakeClock clock;
  TTimeEstimate e(clock.Fn());
  e.SetProgress(1);
  clock.now += 1;
  e.SetProgress(20);
  clock.now += 2;  // exactly 3 s: not more than three
  e.SetProgress(40);
  EXPECT_EQ(e.TimeText(), "");
  clock.now += 0.01;
  e.SetProgress(41);
  EXPECT_NE(e.TimeText(), "");
}

TEST(TimeEstimate, ReferenceFollowsWhileItIsZero) {
  FakeClock clock;
  TTimeEstimate e(clock.Fn());
  e.SetProgress(0);
  clock.now += 10;
  // The reference percentage was 0 and now follows: no rate over a zero move.
  e.SetProgress(10);
  EXPECT_EQ(e.TimeText(), "");
  clock.now += 10;
  e.SetProgress(60);  // 50 % in 20 s since the first call: 2.5 %/s, 40 % left
  EXPECT_EQ(e.TimeText(), "16 seconds remaining");
}

TEST(TimeEstimate, NoMoveNoNewText) {
  FakeClock clock;
  TTimeEstimate e(clock.Fn());
  e.SetProgress(10);
  clock.now += 5;
  e.SetProgress(20);
  ASSERT_EQ(e.TimeText(), "40 seconds remaining");
  clock.now += 20;
  e.SetProgress(20);
  EXPECT_EQ(e.TimeText(), "40 seconds remaining");
  // The stretch runs on while the percentage stands still: 40 % in 20 s.
  e.SetProgress(60);
  EXPECT_EQ(e.TimeText(), "20 seconds remaining");
}

TEST(TimeEstimate, FallingPercentageHidesTheTimeForGood) {
  FakeClock clock;
  TTimeEstimate e(clock.Fn());
  e.SetProgress(50);
  clock.now += 5;
  e.SetProgress(40);
  EXPECT_FALSE(e.ShowTime());
  clock.now += 5;
  e.SetProgress(60);
  EXPECT_FALSE(e.ShowTime());
  e.Reset();
  EXPECT_FALSE(e.ShowTime());
}

TEST(TimeEstimate, ResetStartsANewRun) {
  FakeClock clock;
  TTimeEstimate e(clock.Fn());
  e.SetProgress(10);
  clock.now += 5;
  e.SetProgress(20);
  e.Reset();
  EXPECT_EQ(e.Position(), 0);
  e.SetProgress(30);
  clock.now += 1;
  e.SetProgress(60);
  EXPECT_EQ(e.Position(), 60);
  // Only 1 s since the run restarted: the old stretch does not count.
  EXPECT_EQ(e.TimeText(), "40 seconds remaining");
}

}  // namespace
}  // namespace vantrel
