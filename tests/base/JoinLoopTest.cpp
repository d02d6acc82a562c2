// The join skeleton: inputs announced in order, a cancel check paced by the
// clock, and the output's clean-up when a join fails.
#include "base/JoinLoop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

#include "base/Exceptions.h"
#include "base/PosixFile.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using std::chrono::milliseconds;
using TTime = std::chrono::steady_clock::time_point;

// Counts the times it is asked; says "stop" from the n-th (0: never).
class Asked final : public IProgress {
 public:
  Asked(int interval, int stopAt) : interval_(interval), stop_at_(stopAt) {}
  void SetProgress(double) override {}
  void SetStage(const std::string& stage) override { stages.push_back(stage); }
  bool Cancelled() override { return ++asked >= stop_at_ && stop_at_ > 0; }
  int CancelInterval() const override { return interval_; }
  int asked = 0;
  std::vector<std::string> stages;

 private:
  int interval_, stop_at_;
};

struct PaceCase {
  const char* name;
  int interval;                 // ms between askings
  std::vector<int> checks;      // ms on the clock of each check inside one input
  int askedWithin;              // times the front end is asked by those checks
};

void PrintTo(const PaceCase& c, std::ostream* os) { *os << c.name; }

class Pace : public ::testing::TestWithParam<PaceCase> {};

TEST_P(Pace, AsksTheFrontEndByTheClockNotByTheWork) {
  const PaceCase& c = GetParam();
  Asked progress(c.interval, 0);
  int now = 0;
  const std::vector<std::string> files = {"/in/a.avi"};
  TJoinLoop loop(progress, files, [&now] { return TTime(milliseconds(now)); });
  loop.ForEachInput([&](size_t) {
    for (int at : c.checks) {
      now = at;
      EXPECT_FALSE(loop.Cancelled());
    }
  });
  // One asking between inputs, whatever the time.
  EXPECT_EQ(progress.asked, 1 + c.askedWithin);
}

INSTANTIATE_TEST_SUITE_P(
    Clock, Pace,
    ::testing::Values(PaceCase{"EveryCheckWithoutAnInterval", 0, {0, 0, 0, 1}, 4},
                      PaceCase{"NoneWithinTheInterval", 40, {1, 10, 39}, 0},
                      PaceCase{"OnceTheIntervalHasPassed", 40, {39, 40, 41, 79, 80}, 2},
                      PaceCase{"ALongStallAsksOnce", 40, {5000, 5001}, 1}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(JoinLoop, AnnouncesEachInputAndStopsAtTheAskingThatCancels) {
  const std::vector<std::string> files = {"/in/a.avi", "/in/b.avi", "/in/c.avi"};
  Asked progress(0, 3);  // before a, inside a, before b: stop
  TJoinLoop loop(progress, files);
  std::vector<size_t> copied;
  loop.ForEachInput([&](size_t i) {
    copied.push_back(i);
    loop.Cancelled();
  });
  EXPECT_EQ(copied, std::vector<size_t>{0});
  EXPECT_TRUE(loop.WasCancelled());
  EXPECT_EQ(progress.stages, std::vector<std::string>{"File 1 of 3: a.avi"});
  // Once stopped it stays stopped, without asking again.
  EXPECT_TRUE(loop.Cancelled());
  EXPECT_EQ(progress.asked, 3);
}

struct GuardCase {
  const char* name;
  bool closeFails;
  bool incomplete;
  bool outputKept;
  std::string message;
};

void PrintTo(const GuardCase& c, std::ostream* os) { *os << c.name; }

class Guard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(Guard, EndsTheOutputAndReportsTheFirstFailure) {
  const GuardCase& c = GetParam();
  test::TempDir dir;
  const std::string out = dir.File("out.avi");
  test::WriteFileBytes(out, {1, 2, 3});
  bool closed = false;
  std::string message;
  try {
    TJoinLoop::Guarded(
        out, [] { throw Exception("Unable to read /in/b.avi"); },
        [&] {
          closed = true;
          if (c.closeFails) throw Exception("the close failed too");
        },
        [&] { return c.incomplete; });
  } catch (const std::exception& e) {
    message = e.what();
  }
  EXPECT_TRUE(closed);
  EXPECT_EQ(FileExists(out), c.outputKept);
  EXPECT_EQ(message.rfind(c.message, 0), 0u) << message;
  if (!c.outputKept) {
    EXPECT_NE(message.find(out), std::string::npos) << "the removal is told: " << message;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, Guard,
    ::testing::Values(GuardCase{"FinishedOutputIsKept", false, false, true, "Unable to read /in/b.avi"},
                      GuardCase{"IncompleteOutputIsRemoved", false, true, false, "Unable to read /in/b.avi"},
                      GuardCase{"AFailingCloseDoesNotHideTheCause", true, true, false, "Unable to read /in/b.avi"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace vantrel
