// The main window's files added: probed off the window's thread, taken into
// the list in the order given as each is ready, with a question for a file
// that cannot be read.
#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include "ui/Dialogs.h"
#include "ui/MainForm.h"

namespace vantrel::ui {

void TfrmMain::AddFiles(const QStringList& files, std::function<void(const QStringList& notAdded)> done) {
  if (done) whenAdded_.push_back(std::move(done));
  if (!Adding()) {
    batchDone_ = batchTotal_ = 0;
    notAdded_.clear();
    stopAdding_ = false;
    selectedBeforeBatch_ = SelectedIndex();
    QApplication::setOverrideCursor(Qt::BusyCursor);
  }
  batchTotal_ += static_cast<int>(files.size());
  std::vector<std::string> names;
  for (const QString& f : files) names.push_back(f.toStdString());
  probes_.Add(names);
  const QString text = QString::fromStdString(FilesAddedText(batchDone_, batchTotal_));
  StatusPanel0->setText(text);
  StatusPanel1->clear();
  StatusPanel0->setFixedWidth(StatusPanel0->fontMetrics().horizontalAdvance(text) + 10);
  if (files.isEmpty() && probes_.Pending() == 0) EndAdding();
}

void TfrmMain::TakeProbed() {
  // A question below runs the event loop: a result that arrives meanwhile
  // is taken by the loop already running here.
  if (draining_) return;
  draining_ = true;
  TProbeQueue::TResult r;
  bool added = false;
  while (probes_.Take(r)) {
    ++batchDone_;
    const QString text = QString::fromStdString(FilesAddedText(batchDone_, batchTotal_));
    StatusPanel0->setText(text);
    StatusPanel0->setFixedWidth(StatusPanel0->fontMetrics().horizontalAdvance(text) + 10);
    if (stopAdding_) {
      notAdded_ << QString::fromStdString(r.FileName);
      continue;
    }
    if (r.Probed) {
      model_->AppendRow(std::move(r.Row));  // the row appears as it is added
      added = true;
      continue;
    }
    notAdded_ << QString::fromStdString(r.FileName);
    const bool last = probes_.Pending() == 0;
    const QString message = QString::fromStdString(UnableToAddText(r.FileName, r.Error, last));
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const TMsgResult answer =
        ShowMessageDlg(this, message, TMsgKind::Warning, last ? TMsgButtons::Ok : TMsgButtons::YesNo);
    QApplication::restoreOverrideCursor();
    if (!last && answer != TMsgResult::Yes) stopAdding_ = true;
  }
  draining_ = false;
  if (added) {
    list_.UpdateDifferences();
    RefreshRows(SelectedIndex() >= 0 ? SelectedIndex() : selectedBeforeBatch_);
    AutoSizeColumns();
  }
  if (probes_.Pending() == 0) EndAdding();
}

void TfrmMain::EndAdding() {
  QApplication::restoreOverrideCursor();
  RefreshRows(SelectedIndex() >= 0 ? SelectedIndex() : selectedBeforeBatch_);
  AutoSizeColumns();
  UpdateActions();
  UpdateStatusBar();
  const QStringList left = notAdded_;
  auto done = std::move(whenAdded_);
  whenAdded_.clear();
  for (auto& f : done) f(left);
}

void TfrmMain::SortByPath(QStringList& names) {
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
}

void TfrmMain::AddDroppedFiles(const QStringList& dropped) {
  QStringList names;
  for (const QString& n : dropped) {
    QFileInfo fi(n);
    if (fi.exists() && fi.isFile()) names << fi.absoluteFilePath();
    // A folder adds the video files in it (not in its subfolders), as Add
    // Files would show them.
    if (fi.isDir()) {
      const QDir folder(fi.absoluteFilePath());
      for (const QFileInfo& f : folder.entryInfoList(VideoFilePatterns(), QDir::Files | QDir::Readable))
        names << f.absoluteFilePath();
    }
  }
  SortByPath(names);
  AddFiles(names);
}

}  // namespace vantrel::ui
