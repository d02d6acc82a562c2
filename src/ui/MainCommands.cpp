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

#include "job/Encoders.h"
#include "job/SaveProjectCls.h"
#include "plan/JoinPlan.h"
#include "ui/About.h"
#include "ui/Dialogs.h"
#include "ui/MainForm.h"
#include "ui/ProdInfo.h"
#include "ui/ProgressDlg.h"

namespace vantrel::ui {

void TfrmMain::acnJoinFileExecute() {
  if (joining_ || Adding()) return;
  const bool accepted = frmJoin_->ShowJoinOptions(list_.Plan());
  // The marks are the listed files' again, whatever the dialog showed.
  const TJoinPlan plan = frmJoin_->Plan;
  list_.UpdateDifferences();
  RefreshRows(SelectedIndex());
  if (!accepted) return;
  TJoinRequest request;
  try {
    request = frmJoin_->Request();
  } catch (const std::exception& e) {
    ShowMessageDlg(this, QString("Join fails: ") + e.what(), TMsgKind::Warning, TMsgButtons::Ok);
    return;
  }
  // While the join runs on its own thread the list, the menus and the tool
  // bar wait; the window is painted and its close box asks whether to stop.
  SetJoining(true);
  progress_ = new TfrmProgress(this);
  progress_->SetCaption(kJoiningCaption);
  // The dialog speaks of files when there are several.
  progress_->SetText(request.Files.size() > 1 ? kFilesBeingJoinedText : kFileBeingJoinedText);
  progress_->Show();
  // The plan the dialog showed and checked is the one carried out.
  join_ = std::make_unique<TJoinThread>(request, plan, AllEngines(), [this] {
    QMetaObject::invokeMethod(this, [this] { JoinEnded(); }, Qt::QueuedConnection);
  });
  joinTimer_ = new QTimer(this);
  connect(joinTimer_, &QTimer::timeout, this, [this] { FollowJoin(); });
  joinTimer_->start(50);
}

void TfrmMain::FollowJoin() {
  if (!join_ || !progress_) return;
  progress_->SetProgress(join_->Percent());
  progress_->SetStage(join_->Stage());
  if (progress_->WasCancelled()) join_->Stop();
}

void TfrmMain::JoinEnded() {
  if (!join_ || !join_->Ended()) return;
  FollowJoin();
  joinTimer_->stop();
  joinTimer_->deleteLater();
  joinTimer_ = nullptr;
  const std::unique_ptr<TJoinThread> ended = std::move(join_);  // its thread is done
  delete progress_;
  progress_ = nullptr;
  SetJoining(false);
  if (!ended->Error().empty()) {
    ShowMessageDlg(this, QString("Join fails: ") + QString::fromStdString(ended->Error()), TMsgKind::Warning,
                   TMsgButtons::Ok);
  } else if (!quitAfterJoin_) {
    ShowJoinEnd(ended->Request(), ended->Outcome());
  }
  if (quitAfterJoin_) QTimer::singleShot(0, this, [this] { close(); });
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
  if (progress_) progress_->Cancel();
  if (join_) join_->Stop();
}

void TfrmMain::LoadProject(const QString& fileName) {
  TProjectSettings project;
  project.LoadFromFile(fileName.toStdString());  // raises; the list stays as it was
  ClearList();
  QStringList names;
  for (const std::string& f : project.Files) names << QString::fromStdString(f);
  AddFiles(names, [this, names](const QStringList& left) {
    // Saving the list again would lose them: say which.
    if (!left.isEmpty())
      ShowMessageDlg(this,
                     QString::fromStdString(ProjectFilesNotAddedText(left.size(), names.size())) + "\n" + left.join("\n"),
                     TMsgKind::Warning, TMsgButtons::Ok);
  });
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
