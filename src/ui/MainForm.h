// The main window: the ordered list of input files with their probe
// results, the commands on it, and the join.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QToolBar>
#include <QTreeWidget>

#include "core/FileList.h"
#include "ui/JoinForm.h"

namespace vantrel::ui {

class TfrmMain;

// The list view: rows dragged to another place, files dropped from outside.
class TFileListView : public QTreeWidget {
  Q_OBJECT
 public:
  explicit TFileListView(TfrmMain& owner);

 protected:
  void startDrag(Qt::DropActions actions) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  TfrmMain& owner_;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The list operations.
  void AddFiles(const QStringList& files);
  void AddFile(const QString& fileName);
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
  // Files dropped or named on the command line: existing files only, sorted.
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
  void LoadProject(const QString& fileName);

  // The drag of rows inside the list.
  void DragOverRow(QTreeWidgetItem* target, int y);
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
  static const QColor kHighlightColor;

 private:
  void BuildActions();
  void BuildMenus();
  void RefreshRows(int select);
  void PaintHighlight();
  void BeginListUpdate();
  void EndListUpdate();
  void LoadSettings();
  void SaveSettings();

  TFileList list_;
  TfrmJoin* frmJoin_;
  bool updating_ = false;
  bool highlight_ = false;
  int dragTarget_ = -1;
};

}  // namespace vantrel::ui
