// Message boxes and file dialogs of the application, each behind one seam
// that tests can answer instead of a person.
#pragma once

#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <functional>

namespace vantrel::ui {

enum class TMsgKind { Warning, Confirmation, Information, Error };
enum class TMsgButtons { Ok, YesNo, YesCancel, OpenPlayClose };
enum class TMsgResult { Ok, Yes, No, Cancel, OpenFolder, Play };

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

// The Add Files dialog's filter: the files the engines and the media
// framework read (camera clips often in capitals), then every file.
inline constexpr const char* kVideoFilesFilter =
    "Video Files|*.avi;*.mpeg;*.mpg;*.m1v;*.m2v;*.wmv;*.asf;*.rm;*.mov;*.mp4;*.m4v;*.3gp;*.mkv;*.webm;*.ts;*.m2ts;*.mts;*.flv;*.ogv;*.vob;*.dv;*.AVI;*.MPEG;*.MPG;*.M1V;*.M2V;*.WMV;*.ASF;*.RM;*.MOV;*.MP4;*.M4V;*.3GP;*.MKV;*.WEBM;*.TS;*.M2TS;*.MTS;*.FLV;*.OGV;*.VOB;*.DV|All files|*";

// The patterns of kVideoFilesFilter's video files ("*.avi", ...).
QStringList VideoFilePatterns();

// The Qt form of a "description|patterns" filter.
QString QtFilter(const QString& filter);

// The dropped local files that pass the filters: existing files only (not
// folders), and/or names that are not existing files.
void GetDroppedFiles(const QMimeData* drop, QStringList& list, bool existingFilesOnly, bool nonFilesOnly);

// Opens a file, a folder or an address with the desktop's program for it;
// when there is none, a message says what could not be opened and why.
void OpenWithDesktop(QWidget* parent, const QUrl& url, const QString& what);

// The folder of a path without a trailing "/", except the root.
QString FolderOf(const QString& path);

}  // namespace vantrel::ui
