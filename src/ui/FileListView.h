// The file list as the main window shows it: a table model over the
// window's TFileList (no second copy of the rows), and the view that drags
// rows to another place and takes files dropped from outside.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QTreeView>
#include <vector>

#include "job/FileList.h"

namespace vantrel::ui {

class TfrmMain;

class TFileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  TFileListModel(TFileList& list, QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Appends a probed file as a new row.
  void AppendRow(TFileListRow row);
  // After the list changed in any other way (moves, deletes, flags).
  void Refresh();
  // Paints the cells that differ from the first file.
  void SetHighlight(bool on);
  bool Highlight() const { return highlight_; }
  // The rows a join would re-encode while it copies the others (by row;
  // shorter or empty: none), shown in italics with a tooltip saying so.
  void SetReencoded(std::vector<bool> rows);

  static const QColor kHighlightColor;
  static const char* const kReencodedTip;

 private:
  TFileList& list_;
  bool highlight_ = false;
  std::vector<bool> reencoded_;
};

class TFileListView : public QTreeView {
  Q_OBJECT
 public:
  TFileListView(TfrmMain& owner, TFileListModel* model);

 protected:
  void startDrag(Qt::DropActions actions) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void dragLeaveEvent(QDragLeaveEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  void SetIndicator(int row);

  TfrmMain& owner_;
  int indicator_ = -1;  // the row a dragged row would take, -1: none
};

}  // namespace vantrel::ui
