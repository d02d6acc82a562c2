// The join options dialog, the numeric edit box and the progress dialog.
#include <gtest/gtest.h>

#include <filesystem>

#include <QApplication>
#include <QTest>

#include "UiFixture.h"
#include "job/Encoders.h"
#include "plan/JoinOptions.h"
#include "plan/JoinPlan.h"
#include "ui/About.h"
#include "ui/EditLib.h"
#include "ui/JoinForm.h"
#include "ui/ProgressDlg.h"

namespace vantrel {
namespace {

using test::UiSeams;
using ui::TfrmJoin;
using ui::TNaturalEdit;

TVideoFileInfo Info(const char* type, uint16_t w, uint16_t h, double rate, int sampleRate = 0,
                    const char* name = "clip") {
  TVideoFileInfo i;
  i.FileName = std::string("/clips/") + name;
  i.MediaType = type;
  i.Width = w;
  i.Height = h;
  i.FrameRate = rate;
  if (sampleRate) {
    i.HasAudio = true;
    i.SampleRate = sampleRate;
    i.Channels = 2;
    i.BitsPerSample = 16;
    i.AudioFormatTag = 0x50;
  }
  return i;
}

// A Matroska clip as the media framework describes it, with its sound's rate.
TVideoFileInfo MkvClip(const char* name, int sampleRate) {
  test::ClipSpec c;
  c.name = name;
  c.container = "Matroska";
  c.sampleRate = sampleRate;
  return test::ProbedClip(c);
}

struct DialogFixture : ::testing::Test {
  UiSeams seams;
  std::vector<TVideoFileInfo> files;
  TfrmJoin dialog{nullptr,
                  [this] {
                    std::vector<const TVideoFileInfo*> p;
                    for (const auto& f : files) p.push_back(&f);
                    return p;
                  },
                  MachineEncoders()};
  // Opens the dialog on the plan of the files, as the main window does.
  void Open() {
    TfrmJoin::ExecHook = [](TfrmJoin&) { return static_cast<int>(QDialog::Rejected); };
    TJoinRequest listed;
    listed.Files = files;
    dialog.ShowJoinOptions(test::Plan(listed));
  }
};

TEST_F(DialogFixture, DefaultsFromTheListedFiles) {
  files = {Info("AVI", 640, 480, 25), Info("AVI", 352, 288, 30000.0 / 1001)};
  Open();
  EXPECT_EQ(dialog.edtFrameWidth->Value(), 352);
  EXPECT_EQ(dialog.edtFrameHeight->Value(), 288);
  EXPECT_EQ(dialog.cbxFameRate->currentText(), "25.00");
  // The larger picture would lose most of itself unresized, whichever is
  // listed first.
  EXPECT_EQ(dialog.cbxResizeMethod->currentText(), "Crop");
  std::swap(files[0], files[1]);
  Open();
  EXPECT_EQ(dialog.cbxResizeMethod->currentText(), "Crop");
  QStringList items;
  for (int i = 0; i < dialog.cbxFameRate->count(); ++i) items << dialog.cbxFameRate->itemText(i);
  EXPECT_EQ(items, (QStringList{"24.00", "25.00", "29.97"}));
  // Xvid is chosen for video; no message about it.
  EXPECT_TRUE(dialog.cbxVideoCompression->currentText().contains("xvid", Qt::CaseInsensitive));
  EXPECT_TRUE(seams.messages.empty());
  EXPECT_FALSE(dialog.lblSizeWarning->isVisibleTo(&dialog));
  files = {Info("AVI", 720, 570, 25), Info("AVI", 720, 576, 25)};
  Open();
  EXPECT_EQ(dialog.edtFrameHeight->Value(), 568);
  EXPECT_EQ(dialog.cbxResizeMethod->currentText(), "No resize");
  dialog.edtFrameHeight->SetValue(570);
  EXPECT_TRUE(dialog.lblSizeWarning->isVisibleTo(&dialog));
}

TEST_F(DialogFixture, NotesAndCheckBox) {
  files = {Info("AVI", 320, 240, 25, 0, "a.avi"), Info("AVI", 640, 480, 25, 0, "b.avi")};
  Open();
  EXPECT_FALSE(dialog.cbxJoinWORecomp->isEnabled());
  EXPECT_FALSE(dialog.cbxJoinWORecomp->isChecked());
  // The hint, and why, with the first difference.
  EXPECT_EQ(dialog.lblNotes->text().toStdString(),
            std::string(kHintIdenticalFormat) + "\n- File 2 (b.avi): video 640x480, the first file 320x240");
  EXPECT_TRUE(dialog.lblNotes->isVisibleTo(&dialog));
  EXPECT_TRUE(dialog.gbxOutOptions->isEnabled());
  files = {Info("WMV", 320, 240, 25)};
  Open();
  EXPECT_EQ(dialog.lblNotes->text(), kHintOnlyAviMpeg);
  files = {Info("MPEG1", 352, 288, 25, 44100), Info("MPEG1", 352, 288, 25, 0, "b.mpg")};
  Open();  // only by losing the sound: unchecked
  EXPECT_TRUE(dialog.cbxJoinWORecomp->isEnabled());
  EXPECT_FALSE(dialog.cbxJoinWORecomp->isChecked());
  EXPECT_FALSE(dialog.lblNotes->isVisibleTo(&dialog));
  dialog.cbxJoinWORecomp->setChecked(true);
  dialog.cbxJoinWORecompClick();
  EXPECT_TRUE(dialog.lblNotes->isVisibleTo(&dialog));
  EXPECT_EQ(dialog.lblNotes->text().toStdString(), std::string(kNoteWithoutSound) + "\n- File 2 (b.mpg): no sound");
  EXPECT_FALSE(dialog.gbxOutOptions->isEnabled());
  files[1] = files[0];
  Open();
  EXPECT_TRUE(dialog.cbxJoinWORecomp->isChecked());
}

TEST_F(DialogFixture, ExtensionFollowsTheCheckBox) {
  files = {Info("MPEG1", 352, 288, 25)};
  Open();
  dialog.edtOutFileName->setText("/out/film.avi");
  dialog.cbxJoinWORecompClick();  // checked: MPEG
  EXPECT_EQ(dialog.edtOutFileName->text(), "/out/film.mpeg");
  dialog.cbxJoinWORecomp->setChecked(false);
  dialog.cbxJoinWORecompClick();
  EXPECT_EQ(dialog.edtOutFileName->text(), "/out/film.avi");
  dialog.edtOutFileName->setText("  ");
  dialog.cbxJoinWORecompClick();
  EXPECT_EQ(dialog.edtOutFileName->text(), "  ");

  // Matroska clips copied: the box is ticked and the name follows it; a
  // difference in the sound is named under the note.
  files = {MkvClip("a.mkv", 48000), MkvClip("b.mkv", 44100)};
  Open();
  dialog.cbxJoinWORecomp->setChecked(true);
  dialog.edtOutFileName->setText("/out/trip.avi");
  dialog.cbxJoinWORecompClick();
  EXPECT_EQ(dialog.edtOutFileName->text(), "/out/trip.mkv");
  EXPECT_EQ(dialog.lblNotes->text().toStdString(),
            std::string(kNoteWithoutSound) + "\n- File 2 (b.mkv): audio 44.1 kHz, the first file 48 kHz");
  dialog.cbxJoinWORecomp->setChecked(false);
  dialog.cbxJoinWORecompClick();
  EXPECT_EQ(dialog.edtOutFileName->text(), "/out/trip.avi");
}

TEST_F(DialogFixture, OutputNameChecks) {
  files = {Info("AVI", 320, 240, 25)};
  Open();
  dialog.setResult(QDialog::Rejected);
  dialog.edtOutFileName->setText("   ");
  dialog.btnJoinClick();
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_EQ(seams.messages[0].text, "Please specify the output file");
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  test::TempDir dir;
  std::string existing = dir.File("x.avi");
  test::WriteFileBytes(existing, {1});
  dialog.edtOutFileName->setText(QString::fromStdString(existing));
  seams.answers = {ui::TMsgResult::Cancel};
  dialog.btnJoinClick();
  ASSERT_EQ(seams.messages.size(), 2u);
  EXPECT_EQ(seams.messages[1].text,
            QString::fromStdString("The \"" + existing + "\" file already exists. \r\nDo you want to overwrite it?"));
  EXPECT_EQ(seams.messages[1].buttons, ui::TMsgButtons::YesCancel);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  seams.answers = {ui::TMsgResult::Yes};
  dialog.btnJoinClick();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// An entry that would fail once the dialog is gone is refused in the
// dialog: the message, the dialog still open, the focus on the field to
// mend, and no file made.
struct EntryCase {
  const char* name;
  bool copy;             // "Join without recompression" ticked
  std::string output;    // %d: the test's folder, %a: the first input
  const char* encoder;   // the video compressor; "" keeps the default
  int width, height;
  std::string message;   // %d and %a as above
  const char* field;     // "name", "width" or "height"
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

class Entries : public DialogFixture, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(Entries, AreRefusedWithTheDialogOpen) {
  const EntryCase& c = GetParam();
  test::TempDir dir;
  auto fill = [&](std::string text) {
    for (auto [key, value] : {std::pair{"%d", dir.Path()}, std::pair{"%a", dir.File("a.avi")}})
      for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, 2, value);
    return text;
  };
  // Two AVI clips that copy, with the first one on disk.
  files = {Info("AVI", 320, 240, 25, 44100, "a.avi"), Info("AVI", 320, 240, 25, 44100, "b.avi")};
  files[0].FileName = dir.File("a.avi");
  files[1].FileName = dir.File("b.avi");
  test::WriteFileBytes(files[0].FileName, test::Text("stands for the first clip"));
  Open();
  ASSERT_TRUE(dialog.cbxJoinWORecomp->isEnabled());
  dialog.cbxJoinWORecomp->setChecked(c.copy);
  dialog.cbxJoinWORecompClick();
  if (*c.encoder) {
    auto at = std::find(dialog.VideoCompressors.begin(), dialog.VideoCompressors.end(), c.encoder);
    if (at == dialog.VideoCompressors.end()) GTEST_SKIP() << "no " << c.encoder << " here";
    dialog.cbxVideoCompression->setCurrentIndex(static_cast<int>(at - dialog.VideoCompressors.begin()));
  }
  dialog.edtFrameWidth->SetValue(c.width);
  dialog.edtFrameHeight->SetValue(c.height);
  const std::string output = fill(c.output);
  dialog.edtOutFileName->setText(QString::fromStdString(output));
  dialog.setResult(QDialog::Rejected);
  const std::vector<uint8_t> before = test::ReadFileBytes(files[0].FileName);
  seams.answers = {ui::TMsgResult::Yes};  // were an overwrite asked, yes
  dialog.btnJoinClick();
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_EQ(seams.messages[0].text.toStdString(), fill(c.message));
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  QWidget* field = std::string(c.field) == "name"    ? static_cast<QWidget*>(dialog.edtOutFileName)
                   : std::string(c.field) == "width" ? static_cast<QWidget*>(dialog.edtFrameWidth)
                                                     : static_cast<QWidget*>(dialog.edtFrameHeight);
  EXPECT_EQ(dialog.focusWidget(), field);
  EXPECT_EQ(test::ReadFileBytes(files[0].FileName), before);
  if (fill(c.message).find("one of the input files") == std::string::npos) {
    EXPECT_FALSE(std::filesystem::exists(output)) << output;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dialog, Entries,
    ::testing::Values(
        EntryCase{"OutputIsAnInput", true, "%a", "", 320, 240, "The output file is one of the input files", "name"},
        EntryCase{"OutputIsAnInputSpelledOtherwise", false, "%d/./a.avi", "", 320, 240,
                  "The output file is one of the input files", "name"},
        EntryCase{"FrameTooHigh", false, "%d/out.avi", "", 320, 240720, "The frame size 320x240720 is not possible",
                  "height"},
        EntryCase{"FrameTooWideForMpeg1", false, "%d/out.avi", "mpeg1video", 4200, 240,
                  "The compressor mpeg1video takes frames of at most 4095x4095, not 4200x240", "width"},
        EntryCase{"OddSizeForX264", false, "%d/out.avi", "libx264", 320, 241,
                  "The compressor libx264 takes frame sizes in steps of 2x2, not 320x241", "height"},
        EntryCase{"RecompressedIntoAnFlvName", false, "%d/out.flv", "", 320, 240,
                  "A recompressing join writes .avi, .mp4, .m4v, .mov, .mkv and .webm files, not .flv", "name"},
        EntryCase{"CopiedIntoAnMpegName", true, "%d/out.mpg", "", 320, 240,
                  "This join writes an AVI file: name the output .avi, not .mpg", "name"}),
    [](const auto& p) { return std::string(p.param.name); });

// Most of the time in identical MP4 clips, one clip of another size: the
// dialog names the smart join in its note, opens on MP4 and, with the check
// box unticked, asks for the smart join. Picked AVI, it recompresses.
TEST_F(DialogFixture, ASmartJoinIsTheDefaultWhereItApplies) {
  TfrmJoin::LastOutputFormat.clear();
  auto clip = [](const char* name, const std::string& size, double seconds, const char* container = "MP4",
                 const char* video = "h264", const char* audio = "aac") {
    test::ClipSpec c;
    c.name = name;
    c.container = container;
    c.seconds = seconds;
    c.width = size == "1920x1080" ? 1920 : 1280;
    c.height = size == "1920x1080" ? 1080 : 720;
    c.rateNum = 30;
    c.codec = video;
    c.audioCodec = audio;
    return test::ProbedClip(c);
  };
  files = {clip("a.mp4", "1920x1080", 20), clip("b.mp4", "1280x720", 5), clip("c.mp4", "1920x1080", 20)};
  Open();
  if (dialog.cbxOutputFormat->findText("MP4 (H.264 + AAC)") < 0) GTEST_SKIP() << "no libx264 here";
  EXPECT_NE(dialog.lblNotes->text().toStdString().find(
                "Smart join: 2 files copied, 1 re-encoded to 1920x1080 H.264: b.mp4 (video 1280x720)"),
            std::string::npos)
      << dialog.lblNotes->text().toStdString();
  EXPECT_EQ(dialog.cbxOutputFormat->currentText().toStdString(), "MP4 (H.264 + AAC)");
  EXPECT_FALSE(dialog.cbxJoinWORecomp->isChecked());
  EXPECT_EQ(dialog.RouteShown(), TJoinRoute::Auto);
  dialog.edtOutFileName->setText("/videos/trip.mp4");
  TJoinRequest r = dialog.Request();
  r.Files = files;
  EXPECT_EQ(test::Plan(r).Kind(), TEngineKind::Mixed);
  dialog.edtOutFileName->setText("/videos/trip.avi");
  r = dialog.Request();
  r.Files = files;
  EXPECT_EQ(test::Plan(r).Kind(), TEngineKind::Recompress);
  EXPECT_TRUE(TfrmJoin::LastOutputFormat.isEmpty()) << "the smart join's format was kept as the user's choice";

  // VP9 and Opus in WebM: the dialog opens on WebM, whose choice is VP9.
  auto vp9 = [&](const char* name, const std::string& size, double seconds) {
    return clip(name, size, seconds, "WebM", "vp9", "opus");
  };
  files = {vp9("a.webm", "1920x1080", 20), vp9("b.webm", "1280x720", 5), vp9("c.webm", "1920x1080", 20)};
  Open();
  if (dialog.cbxOutputFormat->findText("WebM (VP9 + Opus)") < 0) GTEST_SKIP() << "no libvpx-vp9 here";
  EXPECT_EQ(dialog.cbxOutputFormat->currentText().toStdString(), "WebM (VP9 + Opus)");
  dialog.edtOutFileName->setText("/videos/trip.webm");
  r = dialog.Request();
  r.Files = files;
  EXPECT_EQ(test::Plan(r).Kind(), TEngineKind::Mixed);
}

// The output format: AVI until another is picked; a picked one sets the
// name's extension, the compressor lists to what the container holds and
// the size and rate of most of the playing time; a typed name picks its
// format; the choice is kept for the next time.
TEST_F(DialogFixture, OutputFormatFollowsTheNameAndSetsTheLists) {
  TfrmJoin::LastOutputFormat.clear();
  // Two landscape clips of 10 s and a portrait one of 40 s: portrait wins.
  files = {Info("AVI", 1280, 720, 25, 44100, "a.avi"), Info("AVI", 1280, 720, 25, 44100, "b.avi"),
           Info("DirectShow", 1920, 1080, 30, 48000, "phone.mp4")};
  files[0].Duration = files[1].Duration = 10;
  files[2].Duration = 40;
  files[2].DisplayWidth = 1080;
  files[2].DisplayHeight = 1920;
  Open();
  EXPECT_EQ(dialog.cbxOutputFormat->currentText().toStdString(), "AVI (the compressors below)");
  const int mp4 = dialog.cbxOutputFormat->findText("MP4 (H.264 + AAC)");
  if (mp4 < 0) GTEST_SKIP() << "no libx264 here";
  dialog.cbxJoinWORecomp->setChecked(false);
  dialog.cbxJoinWORecompClick();
  dialog.edtOutFileName->setText("/videos/holiday.avi");
  dialog.cbxOutputFormat->setCurrentIndex(mp4);
  dialog.cbxOutputFormatChange();
  EXPECT_EQ(dialog.edtOutFileName->text().toStdString(), "/videos/holiday.mp4");
  EXPECT_EQ(dialog.edtFrameWidth->Value(), 1080);
  EXPECT_EQ(dialog.edtFrameHeight->Value(), 1920);
  EXPECT_EQ(dialog.cbxFameRate->currentText(), "30.00");
  EXPECT_EQ(dialog.cbxResizeMethod->currentText(), "Letterbox");
  TJoinRequest r = dialog.Request();
  EXPECT_EQ(test::Plan(r).VideoEncoder.Encoder, "libx264");
  EXPECT_EQ(test::Plan(r).AudioEncoder.Encoder, "aac");
  EXPECT_EQ(dialog.cbxAudioCompression->findText(kNoCompressingItem), -1) << "MP4 holds no uncompressed sound here";
  EXPECT_EQ(TfrmJoin::LastOutputFormat.toStdString(), "MP4 (H.264 + AAC)");
  // A typed name picks its format.
  const int webm = dialog.cbxOutputFormat->findText("WebM (VP9 + Opus)");
  if (webm >= 0) {
    dialog.edtOutFileName->setText("/videos/holiday.webm");
    dialog.edtOutFileNameChange();
    EXPECT_EQ(dialog.cbxOutputFormat->currentIndex(), webm);
    EXPECT_EQ(test::Plan(dialog.Request()).VideoEncoder.Encoder, "libvpx-vp9");
  }
  // Opened again, the last choice stands; back on AVI, its own lists.
  Open();
  EXPECT_NE(dialog.cbxOutputFormat->currentIndex(), 0);
  dialog.cbxOutputFormat->setCurrentIndex(0);
  dialog.cbxOutputFormatChange();
  EXPECT_GE(dialog.cbxAudioCompression->findText(kNoCompressingItem), 0);
  EXPECT_TRUE(TfrmJoin::LastOutputFormat.isEmpty());
}

TEST_F(DialogFixture, JoinAndCancelAreReachedWithTab) {
  files = {Info("AVI", 320, 240, 25)};
  Open();
  std::vector<QWidget*> reached;
  for (QWidget* w = dialog.edtOutFileName->nextInFocusChain(); w != dialog.edtOutFileName; w = w->nextInFocusChain())
    if (w->focusPolicy() & Qt::TabFocus) reached.push_back(w);
  EXPECT_NE(std::find(reached.begin(), reached.end(), dialog.btnJoin), reached.end());
  EXPECT_NE(std::find(reached.begin(), reached.end(), dialog.btnCancel), reached.end());
  EXPECT_TRUE(dialog.btnJoin->isDefault());
}

TEST_F(DialogFixture, CompressorWithoutOptionsSaysSo) {
  files = {Info("AVI", 320, 240, 25)};
  Open();
  dialog.cbxVideoCompression->setCurrentIndex(-1);
  dialog.btnVideoCompOptionsClick();  // nothing selected: nothing happens
  EXPECT_TRUE(seams.messages.empty());
  auto at = std::find(dialog.VideoCompressors.begin(), dialog.VideoCompressors.end(), "v308");
  ASSERT_NE(at, dialog.VideoCompressors.end());
  dialog.cbxVideoCompression->setCurrentIndex(static_cast<int>(at - dialog.VideoCompressors.begin()));
  dialog.btnVideoCompOptionsClick();
  ASSERT_EQ(seams.messages.size(), 1u);
  EXPECT_EQ(seams.messages[0].text, "The selected compressor has no options");
}

TEST(NaturalEdit, EdgeCases) {
  TNaturalEdit e;
  EXPECT_EQ(e.text(), "0");
  EXPECT_EQ(e.Value(), 0);
  e.SetMaxValue(400);
  e.SetValue(500);
  EXPECT_EQ(e.text(), "500");
  EXPECT_EQ(e.Value(), 400);
  e.setText("");
  EXPECT_EQ(e.Value(), 0);
  e.SetMinValue(10);
  EXPECT_EQ(e.text(), "10");
  e.setText("");
  EXPECT_EQ(e.Value(), 10);
  for (auto [text, v] : {std::pair{"  42", 42}, std::pair{"$1F", 31}, std::pair{"0x10", 16}, std::pair{"x10", 16},
                         std::pair{"-5", -5}, std::pair{"abc", 0}, std::pair{"99999999999", 0}, std::pair{"12a", 0}})
    EXPECT_EQ(TNaturalEdit::ParseText(text), v) << text;

  TNaturalEdit f;
  f.SetMaxValue(2147483647);
  f.SetValue(2147483647);
  EXPECT_FALSE(f.Increment());
  EXPECT_EQ(f.text(), "2147483647");
  f.SetValue(9);
  f.setCursorPosition(1);
  QTest::keyClick(&f, Qt::Key_Up);
  EXPECT_EQ(f.text(), "10");
  EXPECT_EQ(f.cursorPosition(), 1);
  QTest::keyClick(&f, Qt::Key_Down);
  EXPECT_EQ(f.text(), "9");
  f.setCursorPosition(1);
  QTest::keyClicks(&f, "a- 7");
  EXPECT_EQ(f.text(), "97");
  QTest::keyClick(&f, Qt::Key_Backspace);
  EXPECT_EQ(f.text(), "9");
  f.SetValue(0);
  EXPECT_FALSE(f.Decrement());
  // The scroll bar's arrows step too.
  f.SetValue(5);
  f.Arrows()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(f.Value(), 6);
  f.Arrows()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(f.Value(), 5);
}

TEST(ProgressDialog, TextsBarTimeAndCancel) {
  double now = 100;
  ui::TfrmProgress p(nullptr, [&] { return now; });
  p.SetCaption("Joining...");
  p.SetText("The selected files are being joined. Please wait...");
  p.Show();
  EXPECT_EQ(p.windowTitle(), "Joining...");
  EXPECT_EQ(p.lblText->text(), "The selected files are being joined. Please wait...");
  EXPECT_FALSE(p.btnMinimize->isVisible());
  p.SetProgress(10);
  now += 5;
  p.SetProgress(20);
  EXPECT_EQ(p.ProgressBar->value(), 20);
  EXPECT_EQ(p.lblTime->text(), "40 seconds remaining");
  EXPECT_FALSE(p.Cancelled());
  QTest::mouseClick(p.btnCancel, Qt::LeftButton);
  EXPECT_TRUE(p.Cancelled());
  EXPECT_TRUE(p.Cancelled());
  // The close box and Esc cancel too; the dialog stays until it is freed.
  ui::TfrmProgress q(nullptr);
  q.Show();
  q.close();
  EXPECT_TRUE(q.Cancelled());
  EXPECT_TRUE(q.isVisible());
  ui::TfrmProgress r(nullptr);
  r.Show();
  QTest::keyClick(&r, Qt::Key_Escape);
  EXPECT_TRUE(r.Cancelled());
  EXPECT_TRUE(r.isVisible());
}

TEST(ProgressDialog, TakesInputWithoutBlockingItsOwner) {
  // Not modal: the owner's close box still reaches the owner (the main
  // window disables its own controls while it joins); the dialog and its
  // Cancel take input.
  QWidget owner;
  owner.show();
  {
    ui::TfrmProgress p(&owner);
    p.Show();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(p.isEnabled());
    EXPECT_TRUE(p.btnCancel->isEnabled());
    p.SetStage("File 2 of 5: b.avi");
    EXPECT_EQ(p.lblStage->text(), "File 2 of 5: b.avi");
    QTest::mouseClick(p.btnCancel, Qt::LeftButton);
    EXPECT_TRUE(p.Cancelled());
  }
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace vantrel

namespace vantrel {
namespace {

TEST(AboutBox, LongNameShrinksAndAnEmptyContactIsHidden) {
  ui::TProductInfo info = ui::ProductInfo();
  ui::TAboutForm normal(nullptr, info);
  EXPECT_EQ(normal.lblVersion->text(), "Version: 2.10");
  // The name starts at 20 pt and shrinks only as far as its box needs, by
  // whatever fonts the machine has.
  EXPECT_LE(normal.lblProduct->font().pointSize(), 20);
  EXPECT_GT(normal.lblProduct->font().pointSize(), 12);
  EXPECT_LE(normal.lblProduct->width(), 260);
  EXPECT_TRUE(normal.Label2->isVisibleTo(&normal));
  EXPECT_EQ(normal.lblCopyright->text(), info.Copyright);

  info.ProductName = "Vantrel Professional Video Joining Studio Deluxe";
  info.ContactsURL.clear();
  ui::TAboutForm box(nullptr, info);
  EXPECT_LT(box.lblProduct->font().pointSize(), normal.lblProduct->font().pointSize());
  EXPECT_LE(box.lblProduct->width(), 260);
  EXPECT_LE(box.lblProduct->height(), 35);
  EXPECT_FALSE(box.Label2->isVisibleTo(&box));
  EXPECT_FALSE(box.lblMail->isVisibleTo(&box));

  QStringList opened;
  ui::TAboutForm::OpenUrlHook = [&](const QString& u) { opened << u; };
  normal.lblSiteClick();
  normal.lblMailClick();
  ui::TAboutForm::OpenUrlHook = {};
  EXPECT_EQ(opened, (QStringList{ui::ProductInfo().WebSiteURL, ui::ProductInfo().ContactsURL}));
}

TEST(AboutBox, EscapeAndEnterClose) {
  for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
    ui::TAboutForm box(nullptr, ui::ProductInfo());
    box.show();
    QApplication::processEvents();
    QTest::keyClick(&box, static_cast<Qt::Key>(key));
    EXPECT_FALSE(box.isVisible()) << key;
  }
}

TEST(ErrorBox, FullStopRule) {
  UiSeams seams;
  for (auto [in, out] : {std::pair{"Cannot open file x", "Cannot open file x."}, std::pair{"Done.", "Done."},
                         std::pair{"Stop!", "Stop!"}, std::pair{"Invalid data type for 'Top'", "Invalid data type for 'Top'"}}) {
    seams.messages.clear();
    ui::ShowApplicationError(nullptr, in);
    ASSERT_EQ(seams.messages.size(), 1u);
    EXPECT_EQ(seams.messages[0].text, out);
    EXPECT_EQ(seams.messages[0].kind, ui::TMsgKind::Error);
  }
}

}  // namespace
}  // namespace vantrel
