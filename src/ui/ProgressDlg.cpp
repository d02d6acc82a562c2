// Progress dialog.
#include "ui/ProgressDlg.h"

#include <QApplication>
#include <QCloseEvent>

namespace vantrel::ui {

TfrmProgress::TfrmProgress(QWidget* owner, TTimeEstimate::TClock clock)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), estimate_(std::move(clock)) {
  setObjectName("frmProgress");
  setWindowTitle("Processing...");
  setFixedSize(392, 148);
  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(10, 10, 371, 93);
  lblText = new QLabel(panel);
  lblText->setGeometry(15, 18, 340, 20);
  ProgressBar = new QProgressBar(panel);
  ProgressBar->setGeometry(15, 45, 340, 16);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(false);
  lblTime = new QLabel(panel);
  lblTime->setGeometry(15, 70, 340, 18);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setGeometry(306, 114, 75, 25);
  btnCancel->setFocusPolicy(Qt::NoFocus);
  btnMinimize = new QPushButton("Minimize", this);
  btnMinimize->setGeometry(220, 116, 75, 25);
  btnMinimize->hide();
  connect(btnCancel, &QPushButton::clicked, this, [this] { cancelled_ = true; });
  lblText->clear();
  lblTime->clear();
}

TfrmProgress::~TfrmProgress() { ReenableWindows(); }

void TfrmProgress::SetCaption(const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); }
void TfrmProgress::SetText(const std::string& text) { lblText->setText(QString::fromStdString(text)); }

void TfrmProgress::Show() {
  show();
  QApplication::processEvents();
}

void TfrmProgress::showEvent(QShowEvent* e) {
  cancelled_ = false;
  estimate_.Reset();
  ProgressBar->setValue(0);
  // Every other window waits while the join runs.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w != this && w->isEnabled() && w->isVisible()) {
      w->setEnabled(false);
      disabled_.emplace_back(w);
    }
  }
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  QDialog::showEvent(e);
}

void TfrmProgress::ReenableWindows() {
  for (auto& w : disabled_)
    if (w) w->setEnabled(true);
  disabled_.clear();
}

void TfrmProgress::hideEvent(QHideEvent* e) {
  ReenableWindows();
  QDialog::hideEvent(e);
}

void TfrmProgress::closeEvent(QCloseEvent* e) {
  // Closed by the system: the join stops at its next poll.
  cancelled_ = true;
  e->accept();
  hide();
}

void TfrmProgress::SetShowTime(bool value) {
  estimate_.SetShowTime(value);
  if (!value) lblTime->hide();
}

void TfrmProgress::SetProgress(double percent) {
  const bool before = estimate_.ShowTime();
  estimate_.SetProgress(percent);
  ProgressBar->setValue(std::clamp(estimate_.Position(), 0, 100));
  if (before && !estimate_.ShowTime()) lblTime->hide();
  if (estimate_.ShowTime()) lblTime->setText(QString::fromStdString(estimate_.TimeText()));
}

bool TfrmProgress::Cancelled() {
  QApplication::processEvents();
  return cancelled_;
}

}  // namespace vantrel::ui
