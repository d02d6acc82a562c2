// The main window answers while it works: 50 files probed and a long join
// run off its thread, the window's own events are handled within 100 ms
// throughout, and Cancel still stops the join. Run alone (RUN_SERIAL): the
// gaps measured are the window's, not another test's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>

#include "UiFixture.h"
#include "ui/MainForm.h"

namespace vantrel {
namespace {

// The longest wait of a 10 ms timer on the window's thread: how long the
// window could not have repainted or taken a click.
class TEventGaps {
 public:
  TEventGaps() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      worst_ = std::max(worst_, now - last_);
      last_ = now;
      ++ticks_;
    });
    clock_.start();
    timer_.start();
  }
  qint64 Worst() const { return worst_; }
  int Ticks() const { return ticks_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0, worst_ = 0;
  int ticks_ = 0;
};

TEST(Responsiveness, TheWindowAnswersWhileFilesAreProbedAndJoined) {
  test::UiSeams seams;
  const auto& s = test::SampleFiles();
  test::TempDir dir;
  // 50 files to add: copies of the samples under names of their own.
  QStringList many;
  const std::string kinds[] = {s.a, s.b, s.big, s.mpegA, s.wmv};
  for (int i = 0; i < 50; ++i) {
    const std::string to = dir.File("clip" + std::to_string(i) + std::filesystem::path(kinds[i % 5]).extension().string());
    std::filesystem::copy_file(kinds[i % 5], to);
    many << QString::fromStdString(to);
  }
  const std::string longClip = dir.File("long.mp4");
  ASSERT_EQ(test::Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                       "testsrc=size=320x240:rate=25:duration=600", "-c:v", "libx264", "-preset", "ultrafast",
                       longClip})
                .exitCode,
            0);
  ui::TfrmMain w;
  w.show();
  {
    TEventGaps gaps;
    w.AddFiles(many);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Adding(); }, 120000));
    EXPECT_EQ(w.Files().Count(), 50);
    EXPECT_LT(gaps.Worst(), 100) << "over " << gaps.Ticks() << " ticks";
  }
  w.ClearList();
  w.AddFiles({QString::fromStdString(longClip)});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Adding(); }, 60000));
  const std::string out = dir.File("long.avi");
  ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
    d.cbxJoinWORecomp->setChecked(false);
    d.cbxJoinWORecompClick();
    d.edtOutFileName->setText(QString::fromStdString(out));
    d.btnJoinClick();
    return d.result();
  };
  TEventGaps gaps;
  w.acnJoinFileExecute();
  ASSERT_TRUE(w.Joining());
  // Two seconds of the join, then Cancel, as a user would press it.
  QTest::qWait(2000);
  ASSERT_TRUE(w.Joining()) << "the join ended before it was stopped";
  ASSERT_NE(w.JoinProgress(), nullptr);
  QTest::mouseClick(w.JoinProgress()->btnCancel, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Joining(); }, 60000));
  ui::TfrmJoin::ExecHook = {};
  EXPECT_LT(gaps.Worst(), 100) << "over " << gaps.Ticks() << " ticks";
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_TRUE(seams.messages[0].text.startsWith("Cancelled: ")) << seams.messages[0].text.toStdString();
  EXPECT_EQ(test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"}).err, "");
}

}  // namespace
}  // namespace vantrel
