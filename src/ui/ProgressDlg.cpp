// Progress dialog.
#include "ui/ProgressDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vantrel::ui {

TfrmProgress::TfrmProgress(QWidget* owner, TTimeEstimate::TClock clock)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      estimate_(std::move(clock)) {
  setObjectName("frmProgress");
  setWindowTitle("Processing...");
  // Not modal: a modal dialog would keep the main window's close box from
  // reaching it during a join. The main window disables its own controls
  // while it joins instead; this one stays enabled, so Cancel, Esc and the
  // close box reach it.
  setWindowModality(Qt::NonModal);
  setMinimumSize(392, 148);
  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  lblText = new QLabel(panel);
  lblText->setWordWrap(true);
  lblStage = new QLabel(panel);
  lblStage->setObjectName("lblStage");
  lblStage->setTextFormat(Qt::PlainText);
  ProgressBar = new QProgressBar(panel);
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgressBar->setTextVisible(true);
  ProgressBar->setFormat("%p%");
  lblTime = new QLabel(panel);
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(15, 12, 15, 10);
  inner->addWidget(lblText);
  inner->addWidget(lblStage);
  inner->addWidget(ProgressBar);
  inner->addWidget(lblTime);
  btnCancel = new QPushButton("Cancel", this);
  btnMinimize = new QPushButton("Minimize", this);
  btnMinimize->hide();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnMinimize);
  buttons->addWidget(btnCancel);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(10, 10, 10, 10);
  outer->addWidget(panel);
  outer->addLayout(buttons);
  connect(btnCancel, &QPushButton::clicked, this, [this] { Cancel(); });
  lblText->clear();
  lblStage->hide();
  lblTime->clear();
}

TfrmProgress::~TfrmProgress() = default;

void TfrmProgress::SetCaption(const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); }
void TfrmProgress::SetText(const std::string& text) { lblText->setText(QString::fromStdString(text)); }

void TfrmProgress::SetStage(const std::string& stage) {
  lblStage->setText(QString::fromStdString(stage));
  lblStage->setVisible(!stage.empty());
}

void TfrmProgress::Show() { show(); }

void TfrmProgress::showEvent(QShowEvent* e) {
  cancelled_ = false;
  estimate_.Reset();
  ProgressBar->setValue(0);
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  QDialog::showEvent(e);
}

void TfrmProgress::Cancel() {
  cancelled_ = true;
  btnCancel->setEnabled(false);
  lblTime->setText("Stopping...");
  lblTime->show();
}

void TfrmProgress::closeEvent(QCloseEvent* e) {
  // The close box cancels; the dialog goes when the join has stopped.
  Cancel();
  e->ignore();
}

void TfrmProgress::reject() { Cancel(); }

void TfrmProgress::SetShowTime(bool value) {
  estimate_.SetShowTime(value);
  if (!value) lblTime->hide();
}

void TfrmProgress::SetProgress(double percent) {
  const bool before = estimate_.ShowTime();
  estimate_.SetProgress(percent);
  ProgressBar->setValue(std::clamp(estimate_.Position(), 0, 100));
  if (before && !estimate_.ShowTime()) lblTime->hide();
  if (estimate_.ShowTime() && !cancelled_) lblTime->setText(QString::fromStdString(estimate_.TimeText()));
}

bool TfrmProgress::Cancelled() { return cancelled_; }

}  // namespace vantrel::ui
