// The progress dialog of a join: a text, the file being joined, a bar with
// its percentage, the remaining time and Cancel. The join runs on a thread
// of its own; the window that started it passes the join's progress on and
// reads Cancel back, on the window's thread: nothing here runs pending
// events.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <vector>

#include "base/Progress.h"
#include "base/TimeEstimate.h"

namespace vantrel::ui {

class TfrmProgress : public QDialog, public IProgress {
  Q_OBJECT
 public:
  explicit TfrmProgress(QWidget* owner, TTimeEstimate::TClock clock = {});
  ~TfrmProgress() override;

  void SetCaption(const std::string& caption);
  void SetText(const std::string& text);
  void Show();
  void SetProgress(double percent) override;
  bool Cancelled() override;
  void SetStage(const std::string& stage) override;
  void SetShowTime(bool value);
  // What Cancel, Esc and the close box do: the join stops at its next poll;
  // the dialog stays until its creator frees it.
  void Cancel();
  bool WasCancelled() const { return cancelled_; }

  QLabel* lblText;
  QLabel* lblStage;
  QProgressBar* ProgressBar;
  QLabel* lblTime;
  QPushButton* btnCancel;
  QPushButton* btnMinimize;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  bool cancelled_ = false;
  TTimeEstimate estimate_;
};

}  // namespace vantrel::ui
