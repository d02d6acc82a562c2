// The main window's commands that reach beyond the list: joining and what
// a join ends with, closing during a join, projects, help and about.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenuBar>
#include <QToolBar>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "core/JoinPlan.h"
#include "core/RecompressEngine.h"
#include "core/SaveProjectCls.h"
#include "ui/About.h"
#include "ui/Dialogs.h"
#include "ui/MainForm.h"
#include "ui/ProdInfo.h"
#include "ui/ProgressDlg.h"

namespace vantrel::ui {

void TfrmMain::acnJoinFileExecute() {
  const TJoinEngines engines = AllEngines();
  TJoinRequest listed;
  for (const TFileListRow& row : list_.Rows()) listed.Files.push_back(row.Info);
  if (!frmJoin_->ShowJoinOptions(MakeJoinPlan(listed, engines))) return;
  // While the join runs the list, the menus and the tool bar wait; the
  // window's close box still asks whether to stop.
  SetJoining(true);
  struct Ended {
    TfrmMain& w;
    ~Ended() { w.SetJoining(false); }
  } ended{*this};
  TJoinRequest options;
  try {
    options = frmJoin_->Request();
    options.Files = std::move(listed.Files);
    const TJoinOutcome outcome = RunJoin(options, engines);
    if (quitAfterJoin_) {
      QTimer::singleShot(0, this, [this] { close(); });
      return;
    }
    ShowJoinEnd(options, outcome);
  } catch (const std::exception& e) {
    ShowMessageDlg(this, QString("Join fails: ") + e.what(), TMsgKind::Warning, TMsgButtons::Ok);
    if (quitAfterJoin_) QTimer::singleShot(0, this, [this] { close(); });
  }
}

void TfrmMain::SetJoining(bool on) {
  joining_ = on;
  for (QWidget* w : {static_cast<QWidget*>(lvwFiles), static_cast<QWidget*>(menuBar()), static_cast<QWidget*>(ToolBar)})
    w->setEnabled(!on);
  for (QAction* a : actions()) a->setEnabled(!on);
  if (!on) UpdateActions();
}

void TfrmMain::ShowJoinEnd(const TJoinRequest& options, const TJoinOutcome& outcome) {
  const QString out = QString::fromStdString(options.OutputFileName);
  // What was written, as the join reported it.
  const double seconds = outcome.Seconds;
  const QString text =
      outcome.Cancelled
          ? QString::fromStdString(CancelledJoinText(options.OutputFileName, seconds))
          : QString::fromStdString(JoinedText(options.Files.size(), options.OutputFileName, seconds,
                                              QFileInfo(out).size(), outcome.Report.Verified));
  QString shown = text;
  for (const std::string& note : outcome.Report.Notes) shown += "\n- " + QString::fromStdString(note);
  StatusPanel0->setText(text);
  StatusPanel0->setFixedWidth(StatusPanel0->fontMetrics().horizontalAdvance(text) + 10);
  StatusPanel1->clear();
  switch (ShowMessageDlg(this, shown, TMsgKind::Information, TMsgButtons::OpenPlayClose)) {
    case TMsgResult::OpenFolder:
      OpenWithDesktop(this, QUrl::fromLocalFile(QFileInfo(out).absolutePath()), "the folder");
      break;
    case TMsgResult::Play:
      OpenWithDesktop(this, QUrl::fromLocalFile(out), "the file");
      break;
    default:
      break;
  }
}

void TfrmMain::closeEvent(QCloseEvent* e) {
  if (!joining_) {
    QMainWindow::closeEvent(e);
    return;
  }
  // The output is closed as on Cancel before the program ends.
  e->ignore();
  if (ShowMessageDlg(this, "A join is running. Stop it and quit?", TMsgKind::Confirmation, TMsgButtons::YesNo) !=
      TMsgResult::Yes)
    return;
  quitAfterJoin_ = true;
  if (auto* progress = findChild<TfrmProgress*>()) progress->Cancel();
}

void TfrmMain::LoadProject(const QString& fileName) {
  TProjectSettings project;
  project.LoadFromFile(fileName.toStdString());  // raises; the list stays as it was
  ClearList();
  QStringList names;
  for (const std::string& f : project.Files) names << QString::fromStdString(f);
  const QStringList left = AddFiles(names);
  // Saving the list again would lose them: say which.
  if (!left.isEmpty())
    ShowMessageDlg(this, QString::fromStdString(ProjectFilesNotAddedText(left.size(), names.size())) + "\n" + left.join("\n"),
                   TMsgKind::Warning, TMsgButtons::Ok);
  UpdateActions();
  UpdateStatusBar();
}

void TfrmMain::miLoadProjectClick() {
  TFileOpenDialog d;
  d.OwnerWindow = this;
  if (!LastProjectFolder.isEmpty()) d.InitialDir = LastProjectFolder;
  d.Filter = "Project Files|*.qmf;*.QMF|All files|*";
  if (!d.Execute()) return;
  LastProjectFolder = FolderOf(d.FileName);
  LoadProject(d.FileName);
}

void TfrmMain::miSaveProjectClick() {
  TFileSaveDialog d;
  d.OwnerWindow = this;
  if (!LastProjectFolder.isEmpty()) d.InitialDir = LastProjectFolder;
  d.Filter = "Project File|*.qmf";
  d.DefaultExt = "qmf";
  d.Title = "Select the project file name";
  if (!d.Execute()) return;
  TProjectSettings project;
  for (const TFileListRow& row : list_.Rows()) project.Files.push_back(row.Info.FileName);
  project.SaveToFile(d.FileName.toStdString());
  LastProjectFolder = FolderOf(d.FileName);
}

QString TfrmMain::ManualPath() {
  // Beside the program in the build tree, else where it is installed.
  const QString dir = QCoreApplication::applicationDirPath();
  const QString beside = dir + "/manual.html";
  if (QFileInfo::exists(beside)) return beside;
  return QFileInfo(dir + "/../share/doc/vantrel/manual.html").absoluteFilePath();
}

void TfrmMain::miHelpTopicsClick() {
  const QString manual = ManualPath();
  if (!QFileInfo::exists(manual)) {
    ShowMessageDlg(this, "Unable to open the manual: " + manual + " does not exist.", TMsgKind::Warning,
                   TMsgButtons::Ok);
    return;
  }
  OpenWithDesktop(this, QUrl::fromLocalFile(manual), "the manual");
}

void TfrmMain::miAboutClick() { ShowAbout(this, ProductInfo()); }

}  // namespace vantrel::ui
