// The progress dialog of a join: a text, a bar, the remaining time and
// Cancel. Shown while the rest of the application is disabled; each poll of
// Cancelled lets pending window events run.
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

  void SetCaption(const std::string& caption) override;
  void SetText(const std::string& text) override;
  void Show() override;
  void SetProgress(double percent) override;
  bool Cancelled() override;
  void SetShowTime(bool value);

  QLabel* lblText;
  QProgressBar* ProgressBar;
  QLabel* lblTime;
  QPushButton* btnCancel;
  QPushButton* btnMinimize;

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void ReenableWindows();

  bool cancelled_ = false;
  TTimeEstimate estimate_;
  std::vector<QPointer<QWidget>> disabled_;
};

}  // namespace vantrel::ui
