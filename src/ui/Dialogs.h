// Message boxes and file dialogs of the application, each behind one seam
// that tests can answer instead of a person.
#pragma once

#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace vantrel::ui {

enum class TMsgKind { Warning, Confirmation, Information, Error };
enum class TMsgButtons { Ok, YesNo, YesCancel };
enum class TMsgResult { Ok, Yes, No, Cancel };

// A modal message box centred on parent: "Warning", "Confirm", "Information"
// or the product name as caption.
TMsgResult ShowMessageDlg(QWidget* parent, const QString& text, TMsgKind kind, TMsgButtons buttons);

// The application's error box: captioned with the product name, the message
// ended by "." unless its last character is "." or below.
void ShowApplicationError(QWidget* parent, const QString& message);

// Tests install a function that answers (and records) message boxes.
using TMessageHook = std::function<TMsgResult(const QString& text, TMsgKind kind, TMsgButtons buttons)>;
void SetMessageHook(TMessageHook hook);

// What the file dialogs share. Filter is "description|patterns|..." with
// patterns separated by ";".
struct TFileCommonDialog {
  QWidget* OwnerWindow = nullptr;
  QString InitialDir;
  QString Title;
  QString FileName;
  QString Filter;
  int FilterIndex = 0;
  virtual ~TFileCommonDialog() = default;
  virtual bool Execute() = 0;
};

struct TFileOpenDialog : TFileCommonDialog {
  bool MultiSelect = false;
  QStringList Files;
  bool Execute() override;
};

struct TFileSaveDialog : TFileCommonDialog {
  QString DefaultExt;          // without the dot
  bool OverwritePrompt = true;  // ask before an existing file is replaced
  bool Execute() override;
};

// Tests answer file dialogs: the hook fills FileName (and Files) and
// returns whether the user confirmed.
using TFileDialogHook = std::function<bool(TFileCommonDialog& dialog, bool save)>;
void SetFileDialogHook(TFileDialogHook hook);

// The Qt form of a "description|patterns" filter.
QString QtFilter(const QString& filter);

// The dropped local files that pass the filters: existing files only (not
// folders), and/or names that are not existing files.
void GetDroppedFiles(const QMimeData* drop, QStringList& list, bool existingFilesOnly, bool nonFilesOnly);

// The folder of a path without a trailing "/", except the root.
QString FolderOf(const QString& path);

}  // namespace vantrel::ui
