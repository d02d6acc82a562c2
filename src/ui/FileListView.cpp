// File list model and view.
#include "ui/FileListView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QFont>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>

#include "ui/Dialogs.h"
#include "ui/MainForm.h"

namespace vantrel::ui {

const QColor TFileListModel::kHighlightColor(170, 50, 50);
const char* const TFileListModel::kReencodedTip =
    "Re-encoded to the format of the other files, which are copied as they are";

TFileListModel::TFileListModel(TFileList& list, QObject* parent) : QAbstractTableModel(parent), list_(list) {}

int TFileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : list_.Count(); }

int TFileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= list_.Count() || index.column() >= kColumnCount) return {};
  const TFileListRow& row = list_.Row(index.row());
  if (role == Qt::DisplayRole) return QString::fromStdString(row.Cells[static_cast<size_t>(index.column())]);
  const size_t r = static_cast<size_t>(index.row());
  const bool reencoded = r < reencoded_.size() && reencoded_[r];
  if (reencoded && role == Qt::FontRole) {
    QFont italic;
    italic.setItalic(true);
    return italic;
  }
  const TVideoFileInfo& i = row.Info;
  const bool flags[kColumnCount] = {false, false, i.TypeDiffers, i.FrameSizeDiffers, i.FrameRateDiffers,
                                    i.AudioDiffers, false};
  if (role == Qt::ForegroundRole && highlight_ && flags[index.column()]) return kHighlightColor;
  // A marked cell says what differs, in the plan's words; the rest of a
  // re-encoded row says what becomes of it.
  const std::vector<TFilePlan>& plans = list_.Plan().Files;
  if (role == Qt::ToolTipRole && flags[index.column()] && r < plans.size() && !plans[r].Difference.empty())
    return QString::fromStdString(plans[r].Difference);
  if (role == Qt::ToolTipRole && reencoded) return QString(kReencodedTip);
  return {};
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount) return {};
  return QString(kColumnCaptions[static_cast<size_t>(section)]);
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
}

void TFileListModel::AppendRow(TFileListRow row) {
  const int n = list_.Count();
  beginInsertRows(QModelIndex(), n, n);
  list_.Append(std::move(row));
  endInsertRows();
}

void TFileListModel::Refresh() {
  beginResetModel();
  endResetModel();
}

void TFileListModel::SetReencoded(std::vector<bool> rows) {
  if (rows == reencoded_) return;
  reencoded_ = std::move(rows);
  if (list_.Count() > 0)
    emit dataChanged(index(0, 0), index(list_.Count() - 1, kColumnCount - 1), {Qt::FontRole, Qt::ToolTipRole});
}

void TFileListModel::SetHighlight(bool on) {
  highlight_ = on;
  if (list_.Count() > 0) emit dataChanged(index(0, 0), index(list_.Count() - 1, kColumnCount - 1), {Qt::ForegroundRole});
}

// ------------------------------------------------------------ TFileListView

TFileListView::TFileListView(TfrmMain& owner, TFileListModel* model) : QTreeView(&owner), owner_(owner) {
  setObjectName("lvwFiles");
  setModel(model);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(false);
  setUniformRowHeights(true);
  header()->setSectionsClickable(false);
  header()->setStretchLastSection(false);
  const int widths[] = {150, 60, 50, 70, 70, 50, 100};
  for (int i = 0; i < kColumnCount; ++i) setColumnWidth(i, widths[i]);
}

void TFileListView::startDrag(Qt::DropActions) {
  // No drag image; the move happens when the drag ends, however it ends.
  auto* drag = new QDrag(this);
  auto* mime = new QMimeData;
  mime->setData("application/x-vantrel-row", QByteArray::number(owner_.SelectedIndex()));
  drag->setMimeData(mime);
  drag->exec(Qt::MoveAction);
  SetIndicator(-1);
  owner_.EndDrag();
}

void TFileListView::SetIndicator(int row) {
  if (row == indicator_) return;
  indicator_ = row;
  viewport()->update();
}

void TFileListView::dragLeaveEvent(QDragLeaveEvent* e) {
  SetIndicator(-1);
  QTreeView::dragLeaveEvent(e);
}

void TFileListView::paintEvent(QPaintEvent* e) {
  QTreeView::paintEvent(e);
  if (indicator_ < 0) return;
  // A line where the dragged row will land: above the row under the
  // pointer when it moves up, below it when it moves down.
  const QRect r = visualRect(model()->index(indicator_, 0));
  const int y = indicator_ > owner_.SelectedIndex() ? r.bottom() : r.top();
  QPainter p(viewport());
  p.setPen(QPen(palette().color(QPalette::Highlight), 2));
  p.drawLine(0, y, viewport()->width(), y);
}

namespace {

// Files dropped from elsewhere are copied into the list, never moved: a
// file manager that is told "move" deletes the originals. A drop that
// offers no copy is refused.
template <class Event>
void AcceptAsCopy(Event* e) {
  if (e->possibleActions() & Qt::CopyAction) {
    e->setDropAction(Qt::CopyAction);
    e->accept();
  } else {
    e->ignore();
  }
}

}  // namespace

void TFileListView::dragEnterEvent(QDragEnterEvent* e) {
  if (e->source() == this)
    e->acceptProposedAction();
  else if (e->mimeData()->hasUrls())
    AcceptAsCopy(e);
  else
    e->ignore();
}

void TFileListView::dragMoveEvent(QDragMoveEvent* e) {
  if (e->source() == this) {
    const QPoint p = e->position().toPoint();
    const QModelIndex at = indexAt(p);
    owner_.DragOverRow(at.isValid() ? at.row() : -1, p.y());
    SetIndicator(at.isValid() && at.row() != owner_.SelectedIndex() ? at.row() : -1);
    e->acceptProposedAction();
  } else if (e->mimeData()->hasUrls()) {
    AcceptAsCopy(e);
  } else {
    e->ignore();
  }
}

void TFileListView::dropEvent(QDropEvent* e) {
  if (e->source() == this) {
    e->acceptProposedAction();
    return;
  }
  AcceptAsCopy(e);
  if (!e->isAccepted()) return;
  // Files and folders: a folder adds the videos in it.
  QStringList names;
  GetDroppedFiles(e->mimeData(), names, false, false);
  owner_.AddDroppedFiles(names);
}

}  // namespace vantrel::ui
