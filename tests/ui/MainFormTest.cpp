// The main window driven as a user would, on files made with ffmpeg.
#include "ui/MainForm.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include <QApplication>
#include <QScreen>
#include <QResizeEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QElapsedTimer>
#include <QFont>
#include <QTest>
#include <QTimer>

#include "UiFixture.h"
#include "base/Exceptions.h"
#include "probe/FileInfo.h"
#include "job/FileList.h"
#include "job/SaveProjectCls.h"
#include "ui/ProgressDlg.h"
#include "ui/RegLib.h"

namespace vantrel {
namespace {

using test::SampleFiles;
using test::UiSeams;
using ui::TfrmMain;
using ui::TMsgResult;

QStringList Q(std::initializer_list<std::string> names) {
  QStringList l;
  for (const auto& n : names) l << QString::fromStdString(n);
  return l;
}

// The window adds files off its thread: the test waits until they are in.
void WaitAdded(const TfrmMain& w) { ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Adding(); }, 60000)); }
void AddFiles(TfrmMain& w, const QStringList& files) {
  w.AddFiles(files);
  WaitAdded(w);
}
// The join runs on its own thread: the test waits for its end.
void JoinFiles(TfrmMain& w) {
  w.acnJoinFileExecute();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Joining(); }, 300000));
}

std::string Order(const TfrmMain& w) {
  std::string s;
  const QAbstractItemModel* m = w.lvwFiles->model();
  for (int i = 0; i < m->rowCount(); ++i) s += m->index(i, 0).data().toString().left(1).toStdString();
  return s;
}

struct Enabled {
  bool del, join, play, up, down, clear;
};

Enabled State(const TfrmMain& w) {
  return {w.acnDelete->isEnabled(), w.acnJoinFile->isEnabled(), w.acnPlay->isEnabled(),
          w.acnMoveUp->isEnabled(), w.acnMoveDown->isEnabled(), w.acnClear->isEnabled()};
}

TEST(MainWindow, EnablingRules) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  Enabled e = State(w);
  EXPECT_FALSE(e.del || e.join || e.play || e.up || e.down || e.clear);
  EXPECT_TRUE(w.acnAddFiles->isEnabled());
  AddFiles(w, Q({s.a}));
  w.SelectRow(0);
  e = State(w);
  EXPECT_TRUE(e.del && e.join && e.play && e.clear);
  EXPECT_FALSE(e.up || e.down);  // one row: neither move
  AddFiles(w, Q({s.b, s.c}));
  w.SelectRow(0);
  e = State(w);
  EXPECT_FALSE(e.up);
  EXPECT_TRUE(e.down);
  w.SelectRow(2);
  e = State(w);
  EXPECT_TRUE(e.up);
  EXPECT_FALSE(e.down);
  w.SelectRow(-1);
  e = State(w);
  EXPECT_FALSE(e.del || e.play || e.up || e.down);
  EXPECT_TRUE(e.join && e.clear);
}

TEST(MainWindow, MoveItemAndDragEndAtTheAskedPlace) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  AddFiles(w, Q({s.a, s.b, s.c, s.d}));
  w.MoveItem(0, 2);
  EXPECT_EQ(Order(w), "BCAD");
  w.MoveItem(2, 0);
  w.MoveItem(3, 1);
  EXPECT_EQ(Order(w), "ADBC");
  EXPECT_EQ(w.SelectedIndex(), 1);  // the moved row is selected
  // A drag that ends over a row moves the selected row there; onto itself, nothing.
  w.SelectRow(3);
  w.DragOverRow(0, 50);
  w.EndDrag();
  EXPECT_EQ(Order(w), "CADB");
  w.SelectRow(1);
  w.DragOverRow(1, 50);
  w.EndDrag();
  EXPECT_EQ(Order(w), "CADB");
  w.SelectRow(1);
  w.DragOverRow(-1, 50);
  w.EndDrag();
  EXPECT_EQ(Order(w), "CADB");
}

TEST(MainWindow, FlagsFollowTheFirstRow) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  AddFiles(w, Q({s.a, s.big, s.b}));
  EXPECT_TRUE(w.Files().Row(1).Info.FrameSizeDiffers);
  EXPECT_FALSE(w.Files().Row(2).Info.FrameSizeDiffers);
  w.MoveItem(1, 0);  // the big one becomes the reference
  EXPECT_FALSE(w.Files().Row(0).Info.FrameSizeDiffers);
  EXPECT_TRUE(w.Files().Row(1).Info.FrameSizeDiffers);
  EXPECT_TRUE(w.Files().Row(2).Info.FrameSizeDiffers);
  w.SelectRow(0);
  w.DeleteSelected();  // the former second row is the reference again
  EXPECT_FALSE(w.Files().Row(0).Info.FrameSizeDiffers);
  EXPECT_FALSE(w.Files().Row(1).Info.FrameSizeDiffers);
  EXPECT_EQ(w.SelectedIndex(), 0);
}

// The rows a smart join would re-encode are in italics with a tooltip, as
// the join plan says after every change: two H.264 clips alike and one of
// another size; then the odd one first; then no group holding most of the
// time, so no smart join and no marks.
TEST(MainWindow, TheFilesASmartJoinReencodesAreMarked) {
  UiSeams seams;
  test::TempDir dir;
  auto clip = [&](const char* name, const char* size) {
    const std::string out = dir.Path() + "/" + name;
    const auto r = test::Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        std::string("testsrc=size=") + size + ":rate=25:duration=1", "-f", "lavfi", "-i",
                        "sine=duration=1:sample_rate=48000", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac",
                        "-shortest", out});
    return r.exitCode == 0 ? out : std::string();
  };
  const std::string a = clip("a.mp4", "320x240"), odd = clip("odd.mp4", "160x120"), c = clip("c.mp4", "320x240");
  if (a.empty() || odd.empty() || c.empty()) GTEST_SKIP() << "no libx264 encoder in ffmpeg";
  TfrmMain w;
  AddFiles(w, Q({a, odd, c}));
  auto marked = [&] {
    std::string rows;
    const QAbstractItemModel* m = w.lvwFiles->model();
    for (int r = 0; r < m->rowCount(); ++r) {
      const QVariant font = m->data(m->index(r, colAudio), Qt::FontRole);
      const bool italic = font.isValid() && font.value<QFont>().italic();
      const QString tip = m->data(m->index(r, colFileName), Qt::ToolTipRole).toString();
      EXPECT_EQ(italic, !tip.isEmpty()) << "row " << r;
      rows += italic ? 'R' : '-';
    }
    return rows;
  };
  EXPECT_EQ(marked(), "-R-");
  w.MoveItem(1, 0);
  EXPECT_EQ(marked(), "R--");
  EXPECT_EQ(w.lvwFiles->model()->data(w.lvwFiles->model()->index(0, 0), Qt::ToolTipRole).toString(),
            "Re-encoded to the format of the other files, which are copied as they are");
  w.SelectRow(1);
  w.DeleteSelected();
  EXPECT_EQ(marked(), "--");
}

TEST(MainWindow, DeleteAndStatusBar) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  EXPECT_EQ(w.StatusPanel0->text(), "There are no selected files.");
  EXPECT_EQ(w.StatusPanel1->text(), "");
  AddFiles(w, Q({s.a}));
  w.UpdateStatusBar();
  EXPECT_EQ(w.StatusPanel0->text(), "1 file(s)");
  EXPECT_TRUE(w.StatusPanel1->text().startsWith("Total duration: 00:0"));
  AddFiles(w, Q({s.b, s.c}));
  w.SelectRow(2);
  w.UpdateStatusBar();
  EXPECT_EQ(w.StatusPanel0->text(), "C.avi");
  w.DeleteSelected();  // the last row: the new last row is selected
  EXPECT_EQ(w.SelectedIndex(), 1);
  EXPECT_EQ(Order(w), "AB");
  w.DeleteSelected();
  w.DeleteSelected();
  EXPECT_EQ(w.lvwFiles->model()->rowCount(), 0);
  EXPECT_EQ(w.SelectedIndex(), -1);
  EXPECT_EQ(w.StatusPanel0->text(), "There are no selected files.");
  EXPECT_FALSE(w.acnJoinFile->isEnabled());
}

TEST(MainWindow, ClearAsksFirst) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  AddFiles(w, Q({s.a, s.b}));
  seams.answers = {TMsgResult::No};
  w.acnClearExecute();
  EXPECT_EQ(w.Files().Count(), 2);
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_EQ(seams.messages[0].text, "Are you sure you want to remove all files from the list?");
  EXPECT_EQ(seams.messages[0].buttons, ui::TMsgButtons::YesNo);
  seams.answers = {TMsgResult::Yes};
  w.acnClearExecute();
  EXPECT_EQ(w.Files().Count(), 0);
}

TEST(MainWindow, HighlightPaintsExactlyTheFlaggedCells) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  AddFiles(w, Q({s.a, s.big}));
  const QColor normal = w.lvwFiles->palette().color(QPalette::Text);
  auto color = [&](int row, int col) {
    QVariant v = w.lvwFiles->model()->index(row, col).data(Qt::ForegroundRole);
    return v.isValid() ? v.value<QColor>() : normal;
  };
  for (int c = 0; c < kColumnCount; ++c) EXPECT_EQ(color(1, c), normal) << c;
  w.miHighlightDifferents->trigger();
  EXPECT_TRUE(w.miHighlightDifferents->isChecked());
  for (int c = 0; c < kColumnCount; ++c) {
    EXPECT_EQ(color(0, c), normal) << c;
    EXPECT_EQ(color(1, c), c == colFrameSize ? QColor(170, 50, 50) : normal) << c;
  }
  w.miHighlightDifferents->trigger();
  EXPECT_EQ(color(1, colFrameSize), normal);
}

TEST(MainWindow, FilesThatCannotBeProbedAskWhetherToGoOn) {
  UiSeams seams;
  const auto& s = SampleFiles();
  test::TempDir dir;
  std::string bad = dir.File("bad.avi");
  test::WriteFileBytes(bad, test::Text("not a video"));
  TfrmMain w;
  seams.answers = {TMsgResult::Yes};
  AddFiles(w, Q({s.a, bad, s.b}));
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_TRUE(seams.messages[0].text.startsWith(QString::fromStdString("Unable to add file " + bad + ": ")));
  EXPECT_TRUE(seams.messages[0].text.endsWith(
      ". The file is not a video Vantrel can read, or it is damaged.\r\nDo you want to continue adding the other files?"))
      << seams.messages[0].text.toStdString();
  EXPECT_EQ(seams.messages[0].buttons, ui::TMsgButtons::YesNo);
  EXPECT_EQ(seams.messages[0].kind, ui::TMsgKind::Warning);
  EXPECT_EQ(w.Files().Count(), 2);
  // No ends the loop; the rows added so far stay.
  seams.messages.clear();
  AddFiles(w, Q({bad, s.c}));
  EXPECT_EQ(w.Files().Count(), 2);
  // The last file: OK only, the text ends with ".".
  seams.messages.clear();
  AddFiles(w, Q({s.c, bad}));
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_EQ(seams.messages[0].buttons, ui::TMsgButtons::Ok);
  EXPECT_TRUE(seams.messages[0].text.endsWith("."));
  EXPECT_EQ(w.Files().Count(), 3);
}

TEST(MainWindow, DroppedFilesAreSortedAndAFolderAddsItsVideos) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  w.AddDroppedFiles(Q({s.c, s.a, s.dir + "/vanished.avi"}));
  WaitAdded(w);
  EXPECT_EQ(Order(w), "AC");
  // A folder: its video files in name order, not its other files or its
  // subfolders.
  test::TempDir dir;
  std::filesystem::copy_file(s.c, dir.File("2 second.AVI"));
  std::filesystem::copy_file(s.b, dir.File("1 first.avi"));
  test::WriteFileBytes(dir.File("0 notes.txt"), test::Text("not a video"));
  std::filesystem::create_directory(dir.File("0 sub"));
  std::filesystem::copy_file(s.d, dir.File("0 sub/0.avi"));
  w.ClearList();
  w.AddDroppedFiles(Q({dir.Path()}));
  WaitAdded(w);
  EXPECT_EQ(Order(w), "12");
  EXPECT_TRUE(seams.messages.empty());
}

// A file manager that offers copy, move and link must be told "copy": told
// "move", it deletes the originals. A drag that offers no copy is refused.
TEST(MainWindow, DropsFromOtherProgramsAreCopies) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  w.show();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(s.b))});
  QWidget* target = w.lvwFiles->viewport();
  const QPoint at = target->rect().center();
  const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
  QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
  enter.setDropAction(Qt::MoveAction);
  QApplication::sendEvent(target, &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
  QDragMoveEvent move(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
  move.setDropAction(Qt::MoveAction);
  QApplication::sendEvent(target, &move);
  EXPECT_EQ(move.dropAction(), Qt::CopyAction);
  QDropEvent drop(QPointF(at), offered, &mime, Qt::LeftButton, Qt::NoModifier);
  drop.setDropAction(Qt::MoveAction);
  QApplication::sendEvent(target, &drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
  WaitAdded(w);
  EXPECT_EQ(Order(w), "B");
  QDragEnterEvent moveOnly(at, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &moveOnly);
  EXPECT_FALSE(moveOnly.isAccepted());
  QDropEvent dropMoveOnly(QPointF(at), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &dropMoveOnly);
  WaitAdded(w);
  EXPECT_EQ(Order(w), "B");
}

TEST(MainWindow, JoinFilesPassesTheFlags) {
  UiSeams seams;
  const auto& s = SampleFiles();
  TfrmMain w;
  struct Seen {
    bool can, withoutSound, noAudio;
  } seen{};
  ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
    seen = {d.CanJoinWithoutRecompression, d.JoinWithoutSound, d.NoAudio};
    return static_cast<int>(QDialog::Rejected);
  };
  AddFiles(w, Q({s.mpegA, s.mpegB}));
  JoinFiles(w);
  EXPECT_TRUE(seen.can);
  EXPECT_TRUE(seen.withoutSound);
  EXPECT_FALSE(seen.noAudio);
  AddFiles(w, Q({s.wmv}));
  JoinFiles(w);
  EXPECT_FALSE(seen.can);
  EXPECT_TRUE(seams.messages.empty());  // a cancelled dialog runs nothing and says nothing
}

TEST(MainWindow, JoinEndToEnd) {
  UiSeams seams;
  const auto& s = SampleFiles();
  test::TempDir out;
  TfrmMain w;
  // Add Files through the file dialog, as a user would.
  ui::SetFileDialogHook([&](ui::TFileCommonDialog& d, bool save) {
    if (save) return false;
    auto& open = static_cast<ui::TFileOpenDialog&>(d);
    open.Files = Q({s.b, s.a});
    open.FileName = open.Files.front();
    return true;
  });
  w.acnAddFilesExecute();
  WaitAdded(w);
  EXPECT_EQ(Order(w), "AB");  // sorted by path
  EXPECT_EQ(w.LastOpenFolder, QString::fromStdString(s.dir));
  std::string copy = out.File("joined.avi");
  ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
    EXPECT_TRUE(d.cbxJoinWORecomp->isChecked());
    d.edtOutFileName->setText(QString::fromStdString(copy));
    d.btnJoinClick();
    return d.result();
  };
  JoinFiles(w);
  // The end says what was written.
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_EQ(seams.messages[0].text.toStdString(),
            "Joined 2 files into " + copy + " (00:02, " + SizeText(static_cast<int64_t>(test::ReadFileBytes(copy).size())) +
                ", verified)");
  EXPECT_EQ(seams.messages[0].buttons, ui::TMsgButtons::OpenPlayClose);
  EXPECT_EQ(w.StatusPanel0->text(), seams.messages[0].text);
  seams.messages.clear();
  auto packets = test::ProbePackets(copy);
  EXPECT_EQ(packets.size(), test::ProbePackets(s.a).size() + test::ProbePackets(s.b).size());

  // A WMV and an AVI go through recompression.
  w.ClearList();
  AddFiles(w, Q({s.wmv, s.a}));
  std::string re = out.File("recompressed.avi");
  ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
    EXPECT_FALSE(d.cbxJoinWORecomp->isEnabled());
    d.edtOutFileName->setText(QString::fromStdString(re));
    d.btnJoinClick();
    return d.result();
  };
  JoinFiles(w);
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_EQ(seams.messages[0].text.left(8), "Joined 2") << seams.messages[0].text.toStdString();
  auto r = test::Run({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,width,height", "-of", "csv=p=0", re});
  EXPECT_NE(r.out.find("mpeg4,320,240"), std::string::npos) << r.out;
}

TEST(MainWindow, JoinFailureIsShownAndTheListStays) {
  UiSeams seams;
  const auto& s = SampleFiles();
  test::TempDir dir;
  TfrmMain w;
  AddFiles(w, Q({s.a, s.b}));
  const std::string out = dir.File("joined.avi");
  ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
    d.edtOutFileName->setText(QString::fromStdString(out));
    d.btnJoinClick();
    // The input disappears between the dialog and the join.
    std::filesystem::rename(s.b, s.b + ".away");
    return d.result();
  };
  JoinFiles(w);
  std::filesystem::rename(s.b + ".away", s.b);
  ASSERT_EQ(seams.messages.size(), 1u);
  // The system's error, and which file.
  EXPECT_TRUE(seams.messages[0].text.startsWith("Join fails: System Error.  Code: 2.")) << seams.messages[0].text.toStdString();
  EXPECT_TRUE(seams.messages[0].text.endsWith(QString::fromStdString("Cannot open file " + s.b)))
      << seams.messages[0].text.toStdString();
  EXPECT_EQ(w.Files().Count(), 2);
  EXPECT_TRUE(w.lvwFiles->isEnabled());
}

// The first window shows every column of the files it lists, within the
// screen; a size the user chose is kept.
TEST(MainWindow, TheFirstWindowGrowsToItsColumns) {
  UiSeams seams;
  const auto& s = SampleFiles();
  test::TempDir dir;
  const std::string deep = dir.File("a folder with a long name/and another one/and a third, longer still");
  std::filesystem::create_directories(deep);
  std::filesystem::copy_file(s.a, deep + "/A.avi");
  auto columns = [](const TfrmMain& w) {
    int total = 0;
    for (int c = 0; c < kColumnCount; ++c) total += w.lvwFiles->columnWidth(c);
    return total;
  };
  {
    TfrmMain w;
    w.show();
    AddFiles(w, Q({deep + "/A.avi"}));
    const QRect screen = w.screen()->availableGeometry();
    EXPECT_GT(w.width(), 565);
    EXPECT_LE(w.width(), screen.width());
    EXPECT_TRUE(w.lvwFiles->viewport()->width() >= columns(w) || w.frameGeometry().width() == screen.width())
        << w.lvwFiles->viewport()->width() << " < " << columns(w);
    EXPECT_LE(w.frameGeometry().right(), screen.right());
    EXPECT_GE(w.frameGeometry().left(), screen.left());
  }
  {
    TfrmMain w;  // the size kept from the window above is the user's now
    const int kept = w.width();
    AddFiles(w, Q({deep + "/A.avi", s.b}));
    EXPECT_EQ(w.width(), kept);
  }
  {
    ui::AppSettings().remove("forms/frmMain/Width");
    ui::AppSettings().remove("forms/frmMain/Height");
    TfrmMain w;
    w.resize(600, w.height());  // as the user drags the border
    AddFiles(w, Q({deep + "/A.avi"}));
    EXPECT_EQ(w.width(), 600);
  }
}

// The progress dialog blocks nothing, so the main window's close box asks
// whether to stop; the list and the menus wait while the join runs.
TEST(MainWindow, ClosingDuringAJoinAsksAndDoesWhatIsAnswered) {
  UiSeams seams;
  const auto& s = SampleFiles();
  test::TempDir dir;
  for (TMsgResult answer : {TMsgResult::No, TMsgResult::Yes}) {
    SCOPED_TRACE(answer == TMsgResult::Yes ? "Yes" : "No");
    TfrmMain w;
    w.show();
    AddFiles(w, Q({s.a, s.b, s.c}));
    const std::string out = dir.File(answer == TMsgResult::Yes ? "stopped.avi" : "finished.avi");
    ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
      d.edtOutFileName->setText(QString::fromStdString(out));
      d.btnJoinClick();
      return d.result();
    };
    seams.messages.clear();
    seams.answers = {answer};  // then Ok: the end message closed
    bool blocked = true, listWaited = false, menusWaited = false;
    // At the join's first look at its progress, the window's close box.
    QTimer::singleShot(0, &w, [&] {
      blocked = QApplication::activeModalWidget() != nullptr;
      listWaited = !w.lvwFiles->isEnabled();
      menusWaited = !w.menuBar()->isEnabled() && !w.acnJoinFile->isEnabled();
      QCloseEvent box;
      QApplication::sendEvent(&w, &box);
    });
    JoinFiles(w);
    QCoreApplication::processEvents();
    EXPECT_FALSE(blocked);
    EXPECT_TRUE(listWaited);
    EXPECT_TRUE(menusWaited);
    ASSERT_GE(seams.messages.size(), 1u);
    EXPECT_EQ(seams.messages[0].text, "A join is running. Stop it and quit?");
    EXPECT_EQ(seams.messages[0].buttons, ui::TMsgButtons::YesNo);
    if (answer == TMsgResult::No) {
      // The join goes on to its end, says so, and the window stays.
      ASSERT_EQ(seams.messages.size(), 2u);
      EXPECT_TRUE(seams.messages[1].text.startsWith("Joined 3 files into ")) << seams.messages[1].text.toStdString();
      EXPECT_TRUE(w.isVisible());
      EXPECT_TRUE(w.lvwFiles->isEnabled());
      EXPECT_EQ(test::PacketHashes(out, 'v').size(), 3 * test::PacketHashes(s.a, 'v').size());
    } else {
      // Stopped: the window goes, the output is a finished file.
      EXPECT_EQ(seams.messages.size(), 1u);
      EXPECT_FALSE(w.isVisible());
      EXPECT_EQ(test::Run({"ffprobe", "-v", "error", out}).err, "");
    }
  }
}

TEST(MainWindow, SettingsFirstRunMaximisedAndMinimised) {
  UiSeams seams;
  {
    TfrmMain w;
    EXPECT_EQ(w.width(), 565);
    EXPECT_EQ(w.height(), 354);
    w.LastOpenFolder = "/films";
  }
  QSettings& s = ui::AppSettings();
  for (const char* key : {"forms/frmMain/Top", "forms/frmMain/Left", "forms/frmMain/Width", "forms/frmMain/Height",
                          "forms/frmMain/WindowState", "LastOpenFolder", "LastSaveFolder", "LastProjectFolder"})
    EXPECT_TRUE(s.contains(key)) << key;
  EXPECT_EQ(s.value("forms/frmMain/WindowState").toInt(), 0);
  s.setValue("forms/frmMain/Width", 700);
  {
    TfrmMain w;
    EXPECT_EQ(w.width(), 700);
    EXPECT_EQ(w.LastOpenFolder, "/films");
    w.setWindowState(Qt::WindowMaximized);
  }
  EXPECT_EQ(s.value("forms/frmMain/WindowState").toInt(), 1);
  EXPECT_EQ(s.value("forms/frmMain/Width").toInt(), 700);  // edges kept from the last normal run
  {
    TfrmMain w;
    EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
    s.setValue("forms/frmMain/Width", 800);
    w.setWindowState(Qt::WindowMinimized);
  }
  EXPECT_EQ(s.value("forms/frmMain/WindowState").toInt(), 1);  // minimised: nothing written
  EXPECT_EQ(s.value("forms/frmMain/Width").toInt(), 800);
  s.setValue("forms/frmMain/Top", "high");
  s.setValue("LastSaveFolder", QStringList{"a", "b"});
  s.setValue("LastProjectFolder", "/projects");
  seams.messages.clear();
  {
    TfrmMain w;  // opens all the same, and says so once it is there
    EXPECT_TRUE(seams.messages.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(seams.messages.size(), 1u);
    // Which values, in which file, and what happens instead; the folders
    // that did read are kept.
    EXPECT_EQ(seams.messages[0].text, "Invalid data type for 'Top'\nInvalid data type for 'LastSaveFolder'\nin " +
                                          s.fileName() + ": the defaults are used for these.");
    EXPECT_EQ(w.LastProjectFolder, "/projects");
    s.remove("LastSaveFolder");
    EXPECT_EQ(seams.messages[0].kind, ui::TMsgKind::Error);
    s.remove("forms/frmMain/Top");
  }
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

TEST(MainWindow, ProjectRoundTripThroughTheMenus) {
  UiSeams seams;
  const auto& s = SampleFiles();
  test::TempDir dir;
  const QString project = QString::fromStdString(dir.File("trip.qmf"));
  ui::SetFileDialogHook([&](ui::TFileCommonDialog& d, bool save) {
    if (save) {
      auto& sd = static_cast<ui::TFileSaveDialog&>(d);
      EXPECT_EQ(sd.Title, "Select the project file name");
      EXPECT_EQ(sd.DefaultExt, "qmf");
    }
    d.FileName = project;
    return true;
  });
  TfrmMain w;
  AddFiles(w, Q({s.c, s.a, s.b}));  // not sorted: a project keeps the list's order
  w.miSaveProjectClick();
  EXPECT_EQ(TfrmMain::LastProjectFolder, QString::fromStdString(dir.Path()));
  w.ClearList();
  AddFiles(w, Q({s.d}));
  w.miLoadProjectClick();  // replaces the list, no question asked
  WaitAdded(w);
  EXPECT_EQ(Order(w), "CAB");
  EXPECT_TRUE(seams.messages.empty());

  // A project naming a missing file reports it and offers the others.
  TProjectSettings p;
  p.Files = {dir.File("gone.avi"), s.a};
  p.SaveToFile(project.toStdString());
  seams.answers = {TMsgResult::Yes};
  w.LoadProject(project);
  WaitAdded(w);
  ASSERT_EQ(seams.messages.size(), 2u);
  EXPECT_TRUE(seams.messages[0].text.startsWith(QString::fromStdString("Unable to add file " + dir.File("gone.avi"))));
  EXPECT_EQ(seams.messages[1].text.toStdString(), "1 of the project's 2 files was not added:\n" + dir.File("gone.avi"));
  EXPECT_EQ(Order(w), "A");
  // No: the files after the missing one are not added either, and are named.
  p.Files = {s.c, dir.File("gone.avi"), s.a, s.b};
  p.SaveToFile(project.toStdString());
  seams.messages.clear();
  seams.answers = {TMsgResult::No};
  w.LoadProject(project);
  WaitAdded(w);
  ASSERT_EQ(seams.messages.size(), 2u);
  EXPECT_EQ(seams.messages[1].text.toStdString(),
            "3 of the project's 4 files were not added:\n" + dir.File("gone.avi") + "\n" + s.a + "\n" + s.b);
  EXPECT_EQ(Order(w), "C");
  // A corrupted project leaves the list as it was.
  test::WriteFileBytes(project.toStdString(), test::Text("object TProjectSettings\r\n  Caption = 'x'\r\nend\r\n"));
  EXPECT_THROW(w.LoadProject(project), Exception);
  EXPECT_EQ(Order(w), "C");
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

// A recompressing join of a long input, stopped from the real progress
// dialog (owned by the main window) by Cancel, by Esc, and by closing the
// main window: each stops within a second, leaves a file that plays to its
// end, and gives the window back.
TEST(MainWindow, ALongJoinStopsWhenAskedAndSaysWhatItHolds) {
  UiSeams seams;
  test::TempDir dir;
  const std::string longClip = dir.File("long.mp4");
  ASSERT_EQ(test::Run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                       "testsrc=size=320x240:rate=25:duration=240", "-c:v", "libx264", "-preset", "ultrafast",
                       longClip})
                .exitCode,
            0);
  TfrmMain w;
  w.show();
  AddFiles(w, QStringList{QString::fromStdString(longClip)});
  struct Way {
    const char* name;
    std::function<void(ui::TfrmProgress&)> stop;
  };
  const Way ways[] = {
      {"Cancel", [](ui::TfrmProgress& p) { QTest::mouseClick(p.btnCancel, Qt::LeftButton); }},
      {"Esc", [](ui::TfrmProgress& p) { QTest::keyClick(&p, Qt::Key_Escape); }},
      {"CloseTheMainWindow", [&w](ui::TfrmProgress&) { w.close(); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    const std::string out = dir.File(std::string(way.name) + ".avi");
    ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
      // An MP4 alone is copied in an instant; this is about recompression.
      EXPECT_TRUE(d.cbxJoinWORecomp->isChecked());
      d.cbxJoinWORecomp->setChecked(false);
      d.cbxJoinWORecompClick();
      d.edtOutFileName->setText(QString::fromStdString(out));
      d.btnJoinClick();
      return d.result();
    };
    seams.messages.clear();
    seams.answers = {TMsgResult::Yes};  // stop and quit? yes
    QElapsedTimer sinceStop;
    bool dialogWasEnabled = false;
    // Stopped once the output holds some of the join, however busy the
    // machine is.
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &w, [&] {
      auto* p = w.findChild<ui::TfrmProgress*>();
      if (!p || test::BytesBeingWritten(out) < 200000) return;
      poll.stop();
      dialogWasEnabled = p->isEnabled() && p->btnCancel->isEnabled();
      sinceStop.start();
      way.stop(*p);
    });
    poll.start();
    JoinFiles(w);
    poll.stop();
    ASSERT_TRUE(sinceStop.isValid()) << "the join ended before it was stopped";
    // Within a second on an idle machine; a loaded one is given far more,
    // still well short of the whole join.
    EXPECT_LT(sinceStop.elapsed(), 15000);
    EXPECT_TRUE(dialogWasEnabled);
    EXPECT_EQ(w.findChild<ui::TfrmProgress*>(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(w.isEnabled());
    test::CommandResult r = test::Run({"ffmpeg", "-v", "error", "-i", out, "-f", "null", "-"});
    EXPECT_EQ(r.err, "");
    // What it holds: the picture and the silence the join gave it, each
    // stopped where its own worker was; the message counts the shorter.
    double seconds = 1e9;
    std::istringstream lengths(test::Run({"ffprobe", "-v", "error", "-show_entries", "stream=duration", "-of",
                                          "csv=p=0", out})
                                   .out);
    for (std::string line; std::getline(lengths, line);)
      if (!line.empty()) seconds = std::min(seconds, std::atof(line.c_str()));
    EXPECT_GT(seconds, 0.1);
    EXPECT_LT(seconds, 200);
    if (std::string(way.name) == "CloseTheMainWindow") {
      ASSERT_EQ(seams.messages.size(), 1u);
      EXPECT_EQ(seams.messages[0].text, "A join is running. Stop it and quit?");
      QCoreApplication::processEvents();
      EXPECT_FALSE(w.isVisible());
    } else {
      ASSERT_EQ(seams.messages.size(), 1u);
      EXPECT_EQ(seams.messages[0].text.toStdString(), CancelledJoinText(out, seconds));
    }
  }
}

// The Add Files filter shows the clips of cameras and phones.
TEST(MainWindow, AddFilesOffersModernContainers) {
  const QString f = ui::kVideoFilesFilter;
  for (const char* ext : {"*.mp4", "*.MP4", "*.mkv", "*.webm", "*.ts", "*.m2ts", "*.MTS", "*.mov", "*.flv", "*.vob"})
    EXPECT_TRUE(f.contains(ext)) << ext;
  EXPECT_TRUE(ui::QtFilter(f).endsWith("All files (*)"));
}

}  // namespace
}  // namespace vantrel
