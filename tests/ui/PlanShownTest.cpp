// The main window and the join options dialog show the plan: its note, the
// list's marks, the settings it will use and those it will not.
#include <gtest/gtest.h>

#include <QTest>

#include <map>

#include "UiFixture.h"
#include "job/Encoders.h"
#include "ui/JoinForm.h"
#include "ui/MainForm.h"

namespace vantrel {
namespace {

// Three files of one format hold most of the time, the fourth is another
// size: a smart join's set. The list shows it, then the dialog with an .avi
// name shows what recompression will do instead, and the list follows.
TEST(PlanShown, AnAviNameOnASmartSetShowsTheRecompression) {
  test::UiSeams seams;
  test::TempDir dir;
  QStringList files;
  auto make = [&](const char* name, const char* size, int seconds) {
    const std::string out = dir.File(name);
    const test::CommandResult r = test::Shell(
        std::string("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=") + size +
        ":rate=25:duration=" + std::to_string(seconds) +
        " -f lavfi -i sine=sample_rate=48000:duration=" + std::to_string(seconds) +
        " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac '" + out + "'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    files << QString::fromStdString(out);
  };
  make("a.mp4", "1280x720", 4);
  make("b.mp4", "1280x720", 4);
  make("c.mp4", "1280x720", 4);
  make("d.mp4", "640x480", 1);
  ui::TfrmMain w;
  w.AddFiles(files);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Adding(); }, 60000));
  const QAbstractItemModel* m = w.lvwFiles->model();
  auto italic = [&](int row) { return m->index(row, 0).data(Qt::FontRole).value<QFont>().italic(); };
  if (w.Files().Plan().Route != TPlanRoute::Smart) GTEST_SKIP() << "no smart join here: " << w.Files().Plan().Refusal;
  EXPECT_TRUE(italic(3));
  EXPECT_FALSE(italic(0));
  // Only the frame size differs: that cell is marked, and says why.
  EXPECT_TRUE(w.Files().Row(3).Info.FrameSizeDiffers);
  EXPECT_FALSE(w.Files().Row(3).Info.TypeDiffers);
  EXPECT_EQ(m->index(3, colFrameSize).data(Qt::ToolTipRole).toString().toStdString(),
            "File 4 (d.mp4): video 640x480, the first file 1280x720");

  struct Seen {
    std::string note;
    bool widthEnabled = false, videoEnabled = false;
    int width = 0;
    QString resize;
    bool fourthItalic = false;
  } smart, avi;
  ui::TfrmJoin::ExecHook = [&](ui::TfrmJoin& d) {
    auto look = [&](Seen& s) {
      s.note = d.lblNotes->text().toStdString();
      s.widthEnabled = d.edtFrameWidth->isEnabled();
      s.videoEnabled = d.cbxVideoCompression->isEnabled();
      s.width = d.edtFrameWidth->Value();
      s.resize = d.cbxResizeMethod->currentText();
      s.fourthItalic = italic(3);
    };
    d.edtOutFileName->setText(QString::fromStdString(dir.File("trip.mp4")));
    d.edtOutFileNameChange();
    look(smart);
    d.edtOutFileName->setText(QString::fromStdString(dir.File("trip.avi")));
    d.edtOutFileNameChange();
    look(avi);
    return static_cast<int>(QDialog::Rejected);
  };
  w.acnJoinFileExecute();
  ui::TfrmJoin::ExecHook = {};
  // The smart join: its note; the size it makes shown and not offered.
  EXPECT_NE(smart.note.find("Smart join: 3 files copied, 1 re-encoded to 1280x720 H.264"), std::string::npos)
      << smart.note;
  EXPECT_FALSE(smart.widthEnabled);
  EXPECT_FALSE(smart.videoEnabled);
  EXPECT_EQ(smart.width, 1280);
  EXPECT_TRUE(smart.fourthItalic);
  // An AVI file: no smart join in the note, every file re-encoded (none in
  // italics), and the settings it will use, offered.
  EXPECT_EQ(avi.note.find("Smart join"), std::string::npos) << avi.note;
  EXPECT_NE(avi.note.find("File 4 (d.mp4): video 640x480, the first file 1280x720"), std::string::npos) << avi.note;
  EXPECT_TRUE(avi.widthEnabled);
  EXPECT_TRUE(avi.videoEnabled);
  EXPECT_EQ(avi.width, 640);
  EXPECT_EQ(avi.resize, "Crop");
  EXPECT_FALSE(avi.fourthItalic);
  // Closed, the list shows the listed files' plan again.
  EXPECT_TRUE(italic(3));
}

// A difference the cells would not show otherwise (the H.264 profile, the
// container) is marked and shown where it falls.
TEST(PlanShown, MarksAreThePlansDifferences) {
  struct Case {
    const char* name;
    test::ClipSpec other;
    TColumn column;
    std::string cell;
  };
  test::ClipSpec first;
  first.name = "a.mp4";
  test::ClipSpec profile = first, container = first, sound = first;
  profile.name = "b.mp4";
  profile.profile = "Main";
  container.name = "b.mkv";
  container.container = "Matroska";
  sound.name = "b.mp4";
  sound.audioCodec = "mp3";  // "48KHz Stereo", as AAC is
  const Case cases[] = {{"Profile", profile, colType, "MP4 (Main profile)"},
                        {"Container", container, colType, "Matroska"},
                        {"SoundCodec", sound, colAudio, "48KHz Stereo (mp3)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<std::string, TVideoFileInfo> infos = {{"/clips/a", test::ProbedClip(first)}, {"/clips/b", test::ProbedClip(c.other)}};
    TFileList list([&](const std::string& n) { return infos.at(n); });
    list.AddFile("/clips/a");
    list.AddFile("/clips/b");
    list.UpdateDifferences();
    const TVideoFileInfo& b = list.Row(1).Info;
    const bool flags[kColumnCount] = {false, false, b.TypeDiffers, b.FrameSizeDiffers, b.FrameRateDiffers,
                                      b.AudioDiffers, false};
    for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(flags[k], k == c.column) << kColumnCaptions[static_cast<size_t>(k)];
    EXPECT_EQ(list.Row(1).Cells[c.column], c.cell);
    // The mark's words are the plan's first difference.
    EXPECT_EQ(list.Plan().Files[1].Difference, list.Plan().FirstDifference);
  }
}

}  // namespace
}  // namespace vantrel
