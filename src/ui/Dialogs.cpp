// Message boxes, file dialogs and dropped files.
#include "ui/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "job/FileList.h"
#include "ui/ProdInfo.h"

namespace vantrel::ui {
namespace {

TMessageHook& MessageHook() {
  static TMessageHook hook;
  return hook;
}

TFileDialogHook& FileHook() {
  static TFileDialogHook hook;
  return hook;
}

}  // namespace

void SetMessageHook(TMessageHook hook) { MessageHook() = std::move(hook); }
void SetFileDialogHook(TFileDialogHook hook) { FileHook() = std::move(hook); }

TMsgResult ShowMessageDlg(QWidget* parent, const QString& text, TMsgKind kind, TMsgButtons buttons) {
  if (MessageHook()) return MessageHook()(text, kind, buttons);
  QMessageBox box(parent);
  switch (kind) {
    case TMsgKind::Warning:
      box.setIcon(QMessageBox::Warning);
      box.setWindowTitle("Warning");
      break;
    case TMsgKind::Confirmation:
      box.setIcon(QMessageBox::Question);
      box.setWindowTitle("Confirm");
      break;
    case TMsgKind::Information:
      box.setIcon(QMessageBox::Information);
      box.setWindowTitle("Information");
      break;
    case TMsgKind::Error:
      box.setIcon(QMessageBox::Critical);
      box.setWindowTitle(ProductInfo().ProductName);
      break;
  }
  box.setText(QString(text).replace("\r\n", "\n"));
  QPushButton* yes = nullptr;
  QPushButton* no = nullptr;
  QPushButton* cancel = nullptr;
  switch (buttons) {
    case TMsgButtons::Ok:
      box.addButton(QMessageBox::Ok);
      break;
    case TMsgButtons::YesNo:
      yes = box.addButton("&Yes", QMessageBox::YesRole);
      no = box.addButton("&No", QMessageBox::NoRole);
      box.setDefaultButton(yes);
      break;
    case TMsgButtons::YesCancel:
      yes = box.addButton("&Yes", QMessageBox::YesRole);
      cancel = box.addButton("Cancel", QMessageBox::RejectRole);
      box.setDefaultButton(yes);
      break;
    case TMsgButtons::OpenPlayClose:
      yes = box.addButton("Open &Folder", QMessageBox::ActionRole);
      no = box.addButton("&Play", QMessageBox::ActionRole);
      box.setDefaultButton(box.addButton("&Close", QMessageBox::RejectRole));
      break;
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (buttons == TMsgButtons::OpenPlayClose)
    return clicked == yes ? TMsgResult::OpenFolder : clicked == no ? TMsgResult::Play : TMsgResult::Ok;
  if (yes && clicked == yes) return TMsgResult::Yes;
  if (no && clicked == no) return TMsgResult::No;
  if (cancel && (clicked == cancel || !clicked)) return TMsgResult::Cancel;
  if (buttons == TMsgButtons::YesNo) return TMsgResult::No;
  return TMsgResult::Ok;
}

void OpenWithDesktop(QWidget* parent, const QUrl& url, const QString& what) {
  if (QDesktopServices::openUrl(url)) return;
  ShowMessageDlg(parent,
                 "Unable to open " + what + ": the desktop has no program to open " +
                     (url.isLocalFile() ? url.toLocalFile() : url.toString()) + ".",
                 TMsgKind::Warning, TMsgButtons::Ok);
}

void ShowApplicationError(QWidget* parent, const QString& message) {
  QString text = message;
  if (!text.isEmpty() && text.back().unicode() > '.') text += '.';
  ShowMessageDlg(parent, text, TMsgKind::Error, TMsgButtons::Ok);
}

QString QtFilter(const QString& filter) {
  QStringList parts = filter.split('|');
  if (!parts.isEmpty() && parts.back().isEmpty()) parts.removeLast();
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    entries << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  return entries.join(";;");
}

bool TFileOpenDialog::Execute() {
  if (FileHook()) return FileHook()(*this, false);
  QFileDialog d(OwnerWindow, Title, InitialDir, QtFilter(Filter));
  d.setAcceptMode(QFileDialog::AcceptOpen);
  d.setFileMode(MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  QStringList filters = QtFilter(Filter).split(";;");
  if (FilterIndex >= 0 && FilterIndex < filters.size()) d.selectNameFilter(filters[FilterIndex]);
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
  FileName = d.selectedFiles().front();
  if (MultiSelect) Files = d.selectedFiles();
  return true;
}

bool TFileSaveDialog::Execute() {
  if (FileHook()) return FileHook()(*this, true);
  QFileDialog d(OwnerWindow, Title, InitialDir, QtFilter(Filter));
  d.setAcceptMode(QFileDialog::AcceptSave);
  d.setFileMode(QFileDialog::AnyFile);
  if (!DefaultExt.isEmpty()) d.setDefaultSuffix(DefaultExt);
  if (!OverwritePrompt) d.setOption(QFileDialog::DontConfirmOverwrite);
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return false;
  FileName = d.selectedFiles().front();
  return true;
}

void GetDroppedFiles(const QMimeData* drop, QStringList& list, bool existingFilesOnly, bool nonFilesOnly) {
  if (!drop || !drop->hasUrls()) return;
  for (const QUrl& url : drop->urls()) {
    if (!url.isLocalFile()) continue;
    QString name = url.toLocalFile();
    QFileInfo fi(name);
    const bool existingFile = fi.exists() && fi.isFile();
    if (existingFilesOnly && !existingFile) continue;
    if (nonFilesOnly && existingFile) continue;
    list << name;
  }
}

QStringList VideoFilePatterns() {
  const QString videos = QString(kVideoFilesFilter).section('|', 1, 1);
  return videos.split(';', Qt::SkipEmptyParts);
}

QString FolderOf(const QString& path) { return QString::fromStdString(FolderPart(path.toStdString())); }

}  // namespace vantrel::ui
