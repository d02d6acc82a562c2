// The main window: the ordered list of input files with their probe
// results, the commands on it, and the join.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QToolBar>

#include <QTimer>
#include <functional>
#include <memory>

#include "job/FileList.h"
#include "job/JoinThread.h"
#include "job/ProbeQueue.h"
#include "ui/FileListView.h"
#include "ui/JoinForm.h"
#include "ui/ProgressDlg.h"

namespace vantrel::ui {

class TfrmMain;

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The list operations.
  // Probes the files off the window's thread and adds them in the order
  // given as they are probed; done gets the files not added (those the
  // probe rejected, and the rest after the user chose not to go on).
  void AddFiles(const QStringList& files, std::function<void(const QStringList& notAdded)> done = {});
  // Files are being probed to be added.
  bool Adding() const { return probes_.Pending() > 0 || draining_; }
  void MoveItem(int index, int newIndex);
  void DeleteSelected();
  void ClearList();
  void UpdateActions();
  void UpdateStatusBar();
  void AutoSizeColumns();
  int ColumnTextWidth(int column) const;
  int SelectedIndex() const;
  void SelectRow(int index);
  void SetHighlight(bool on);
  // Files dropped or named on the command line: existing files, and the
  // videos in a folder, sorted.
  void AddDroppedFiles(const QStringList& names);
  static void SortByPath(QStringList& names);

  // The commands.
  void acnAddFilesExecute();
  void acnJoinFileExecute();
  void acnPlayExecute();
  void acnMoveUpExecute();
  void acnMoveDownExecute();
  void acnClearExecute();
  void miLoadProjectClick();
  void miSaveProjectClick();
  void miHelpTopicsClick();
  void miAboutClick();
  // Where Help Topics finds the manual.
  static QString ManualPath();
  bool Joining() const { return joining_; }
  // Raises when the project cannot be read (the list stays as it was);
  // its files are added as AddFiles adds them.
  void LoadProject(const QString& fileName);
  // The join running, if any; its progress dialog.
  const TJoinThread* Join() const { return join_.get(); }
  TfrmProgress* JoinProgress() const { return progress_; }

  // The drag of rows inside the list.
  // The row under the pointer (-1: none) at height y of the list.
  void DragOverRow(int targetRow, int y);
  void EndDrag();

  const TFileList& Files() const { return list_; }
  TfrmJoin* JoinDialog() const { return frmJoin_; }

  TFileListView* lvwFiles;
  QAction* acnAddFiles;
  QAction* acnDelete;
  QAction* acnJoinFile;
  QAction* acnPlay;
  QAction* acnMoveUp;
  QAction* acnMoveDown;
  QAction* acnClear;
  QAction* miHighlightDifferents;
  QAction* miLoadProject;
  QAction* miSaveProject;
  QAction* miExit;
  QAction* miHelpTopics;
  QAction* miAbout;
  QMenu* PopupMenu;
  QToolBar* ToolBar;
  QLabel* StatusPanel0;
  QLabel* StatusPanel1;

  QString LastOpenFolder;
  static QString LastProjectFolder;

 private:
  void closeEvent(QCloseEvent* e) override;
  // A join runs: the window's controls wait, its close box asks.
  void SetJoining(bool on);
  void ShowJoinEnd(const TJoinRequest& options, const TJoinOutcome& outcome);
  // The join's progress into its dialog, and a Cancel there to the join.
  void FollowJoin();
  // The join has ended: its dialog goes, the end is said.
  void JoinEnded();
  // Takes the files probed so far into the list, in order.
  void TakeProbed();
  void EndAdding();
  void BuildActions();
  void BuildMenus();
  void RefreshRows(int select);
  void BeginListUpdate();
  void EndListUpdate();
  void LoadSettings();
  void SaveSettings();

  TFileList list_;
  TFileListModel* model_;
  TfrmJoin* frmJoin_;
  // Adding files: the probes, how many of the batch are done, the files not
  // added, and what to do when the batch is done.
  TProbeQueue probes_;
  int batchDone_ = 0, batchTotal_ = 0;
  int selectedBeforeBatch_ = -1;
  bool draining_ = false;
  bool stopAdding_ = false;
  QStringList notAdded_;
  std::vector<std::function<void(const QStringList&)>> whenAdded_;
  // The join running.
  std::unique_ptr<TJoinThread> join_;
  TfrmProgress* progress_ = nullptr;
  QTimer* joinTimer_ = nullptr;
  bool updating_ = false;
  int dragTarget_ = -1;
  bool joining_ = false;
  // The width the window was given to show its columns; any other width is
  // the user's, and is kept.
  int autoWidth_ = -1;
  bool quitAfterJoin_ = false;
};

}  // namespace vantrel::ui
