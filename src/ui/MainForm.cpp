// Main window.
#include "ui/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QShortcut>
#include <QTimer>
#include <QCollator>
#include <QDir>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>

#include "base/Exceptions.h"
#include "job/Encoders.h"
#include "job/SaveProjectCls.h"
#include "plan/JoinPlan.h"
#include "probe/FileInfo.h"
#include "ui/About.h"
#include "ui/Dialogs.h"
#include "ui/ProdInfo.h"
#include "ui/ProgressDlg.h"
#include "ui/RegLib.h"

namespace vantrel::ui {

QString TfrmMain::LastProjectFolder;

namespace {

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback));
}

}  // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QMainWindow(parent),
      lvwFiles(nullptr),
      list_([](const std::string& f) { return GetVideoFileInfo(f); }, '.', MachineEncoders()),
      model_(new TFileListModel(list_, this)),
      frmJoin_(nullptr),
      probes_(
          [this](const std::string& f) {
            // The plan of a set to recompress lists this machine's encoders,
            // test-opening each: done here, once, it never holds the window.
            MachineEncoders().AviCompressors(false);
            MachineEncoders().AviCompressors(true);
            return list_.ProbeRow(f);
          },
              // Each file probed is taken into the list on the window's thread.
              [this] { QMetaObject::invokeMethod(this, [this] { TakeProbed(); }, Qt::QueuedConnection); }) {
  setObjectName("frmMain");
  setWindowTitle(ProductInfo().ProductName);
  setGeometry(272, 138, 565, 354);
  setAcceptDrops(true);

  lvwFiles = new TFileListView(*this, model_);
  setCentralWidget(lvwFiles);
  BuildActions();
  BuildMenus();

  StatusPanel0 = new QLabel(this);
  StatusPanel1 = new QLabel(this);
  statusBar()->addWidget(StatusPanel0);
  statusBar()->addWidget(StatusPanel1);
  StatusPanel0->setMinimumWidth(50);
  StatusPanel1->setMinimumWidth(50);

  connect(lvwFiles->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (updating_) return;
    UpdateActions();
    UpdateStatusBar();
  });
  connect(lvwFiles, &QAbstractItemView::doubleClicked, this, [this] { acnPlayExecute(); });
  lvwFiles->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvwFiles, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { PopupMenu->popup(lvwFiles->viewport()->mapToGlobal(p)); });

  frmJoin_ = new TfrmJoin(this, [this] { return list_.Infos(); }, MachineEncoders());
  // While the dialog is open, the marks are those of the join it shows.
  connect(frmJoin_, &TfrmJoin::PlanChanged, this, [this](const TJoinPlan& plan) {
    list_.ApplyPlan(plan);
    RefreshRows(SelectedIndex());
  });
  // A stored value that cannot be read is reported; the window opens anyway.
  LoadSettings();
  UpdateActions();
  UpdateStatusBar();
}

TfrmMain::~TfrmMain() {
  // A join still running stops, keeping what it joined, before the window
  // it reports to goes.
  join_.reset();
  try {
    SaveSettings();
  } catch (const std::exception& e) {
    ShowApplicationError(nullptr, QString::fromUtf8(e.what()));
  }
}

void TfrmMain::LoadSettings() {
  QSettings& s = AppSettings();
  std::vector<std::string> problems;
  const QSize before = size();
  RestoreFormPlacement(s, *this, false, &problems);
  // A size kept from an earlier run is the user's; the default one grows.
  autoWidth_ = size() == before ? width() : -1;
  auto folder = [&](const char* name, QString& into) {
    try {
      into = ReadRegString(s, name);
    } catch (const Exception& e) {
      problems.push_back(e.what());
    }
  };
  folder("LastOpenFolder", LastOpenFolder);
  folder("LastSaveFolder", TfrmJoin::LastSaveFolder);
  folder("LastProjectFolder", LastProjectFolder);
  folder("LastOutputFormat", TfrmJoin::LastOutputFormat);
  if (problems.empty()) return;
  // Said once the window is there, with where the values come from.
  QString text;
  for (const std::string& p : problems) text += QString::fromStdString(p) + "\n";
  text += "in " + s.fileName() + ": the defaults are used for these.";
  QTimer::singleShot(0, this, [this, text] { ShowApplicationError(this, text); });
}

void TfrmMain::SaveSettings() {
  QSettings& s = AppSettings();
  SaveFormPlacement(s, *this);
  WriteRegString(s, "LastOpenFolder", LastOpenFolder);
  WriteRegString(s, "LastSaveFolder", TfrmJoin::LastSaveFolder);
  WriteRegString(s, "LastProjectFolder", LastProjectFolder);
  WriteRegString(s, "LastOutputFormat", TfrmJoin::LastOutputFormat);
  s.sync();
}

void TfrmMain::BuildActions() {
  auto make = [this](const char* text, const QIcon& icon, const QKeySequence& key) {
    auto* a = new QAction(icon, text, this);
    a->setToolTip(QString(text).remove('&'));
    if (!key.isEmpty()) a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    addAction(a);
    return a;
  };
  acnAddFiles = make("&Add Files", ThemeIcon("list-add", QStyle::SP_DialogOpenButton), QKeySequence("Ctrl+O"));
  acnDelete = make("&Delete", ThemeIcon("edit-delete", QStyle::SP_TrashIcon), QKeySequence(Qt::Key_Delete));
  acnJoinFile = make("&Join Files", ThemeIcon("document-save", QStyle::SP_DialogSaveButton), QKeySequence("Ctrl+S"));
  acnPlay = make("&Play", ThemeIcon("media-playback-start", QStyle::SP_MediaPlay), QKeySequence(Qt::Key_Return));
  acnMoveUp = make("Move &Up", ThemeIcon("go-up", QStyle::SP_ArrowUp), QKeySequence("Ctrl+Up"));
  acnMoveDown = make("Move Do&wn", ThemeIcon("go-down", QStyle::SP_ArrowDown), QKeySequence("Ctrl+Down"));
  acnClear = make("&Clear", ThemeIcon("edit-clear", QStyle::SP_DialogResetButton), QKeySequence());
  connect(acnAddFiles, &QAction::triggered, this, [this] { acnAddFilesExecute(); });
  connect(acnDelete, &QAction::triggered, this, [this] { DeleteSelected(); });
  connect(acnJoinFile, &QAction::triggered, this, [this] { acnJoinFileExecute(); });
  connect(acnPlay, &QAction::triggered, this, [this] { acnPlayExecute(); });
  connect(acnMoveUp, &QAction::triggered, this, [this] { acnMoveUpExecute(); });
  connect(acnMoveDown, &QAction::triggered, this, [this] { acnMoveDownExecute(); });
  connect(acnClear, &QAction::triggered, this, [this] { acnClearExecute(); });

  ToolBar = addToolBar("ToolBar");
  ToolBar->setObjectName("ToolBar");
  ToolBar->setMovable(false);
  ToolBar->setIconSize(QSize(24, 24));
  for (QAction* a : {acnAddFiles, static_cast<QAction*>(nullptr), acnPlay, acnMoveUp, acnMoveDown,
                     static_cast<QAction*>(nullptr), acnJoinFile, static_cast<QAction*>(nullptr), acnClear}) {
    if (!a) {
      ToolBar->addSeparator();
      continue;
    }
    ToolBar->addAction(a);
    if (QWidget* b = ToolBar->widgetForAction(a)) b->setFixedSize(34, 30);
  }
}

void TfrmMain::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction(acnAddFiles);
  file->addSeparator();
  file->addAction(acnJoinFile);
  file->addSeparator();
  miLoadProject = file->addAction("&Load Project...", this, [this] { miLoadProjectClick(); });
  miSaveProject = file->addAction("&Save Project...", this, [this] { miSaveProjectClick(); });
  file->addSeparator();
  miExit = file->addAction("E&xit", this, [this] { close(); });

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->addAction(acnMoveUp);
  edit->addAction(acnMoveDown);
  edit->addSeparator();
  edit->addAction(acnClear);

  QMenu* view = menuBar()->addMenu("&View");
  miHighlightDifferents = view->addAction("&Highlight Differents");
  miHighlightDifferents->setCheckable(true);
  connect(miHighlightDifferents, &QAction::toggled, this, [this](bool on) { SetHighlight(on); });

  QMenu* help = menuBar()->addMenu("&Help");
  miHelpTopics = help->addAction("Help &Topics", this, [this] { miHelpTopicsClick(); });
  miHelpTopics->setShortcut(QKeySequence(Qt::Key_F1));
  help->addSeparator();
  miAbout = help->addAction("&About", this, [this] { miAboutClick(); });

  // F10 opens the menu bar, as on other desktops.
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(f10, &QShortcut::activated, this, [this] {
    if (!menuBar()->actions().isEmpty()) {
      menuBar()->setFocus(Qt::MenuBarFocusReason);
      menuBar()->setActiveAction(menuBar()->actions().front());
    }
  });

  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  PopupMenu->addAction(acnPlay);
  PopupMenu->setDefaultAction(acnPlay);
  PopupMenu->addSeparator();
  PopupMenu->addAction(acnMoveUp);
  PopupMenu->addAction(acnMoveDown);
  PopupMenu->addSeparator();
  PopupMenu->addAction(acnDelete);
}

// The list keeps painting (rows appear as files are probed); only the
// selection's reactions wait.
void TfrmMain::BeginListUpdate() { updating_ = true; }

void TfrmMain::EndListUpdate() { updating_ = false; }

int TfrmMain::SelectedIndex() const {
  const QModelIndexList sel = lvwFiles->selectionModel()->selectedRows();
  return sel.isEmpty() ? -1 : sel.front().row();
}

void TfrmMain::SelectRow(int index) {
  if (index < 0 || index >= list_.Count()) {
    lvwFiles->clearSelection();
    lvwFiles->setCurrentIndex(QModelIndex());
    if (!updating_) {
      UpdateActions();
      UpdateStatusBar();
    }
    return;
  }
  const QModelIndex item = model_->index(index, 0);
  lvwFiles->selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  lvwFiles->scrollTo(item);
  if (!updating_) {
    UpdateActions();
    UpdateStatusBar();
  }
}

void TfrmMain::RefreshRows(int select) {
  const bool was = updating_;
  updating_ = true;
  // The marks are the join plan's: the files a smart join would re-encode.
  model_->SetReencoded(list_.Plan().Reencoded());
  model_->Refresh();
  SelectRow(select);
  updating_ = was;
}

void TfrmMain::SetHighlight(bool on) {
  model_->SetHighlight(on);
  if (miHighlightDifferents->isChecked() != on) miHighlightDifferents->setChecked(on);
}

void TfrmMain::MoveItem(int index, int newIndex) {
  BeginListUpdate();
  int at = list_.MoveItem(index, newIndex);  // recomputes the flags when row 0 changed
  EndListUpdate();
  RefreshRows(at);
}

void TfrmMain::DeleteSelected() {
  int k = SelectedIndex();
  if (k < 0) return;
  BeginListUpdate();
  list_.Delete(k);
  if (k >= list_.Count()) k = list_.Count() - 1;
  EndListUpdate();
  RefreshRows(k);
  UpdateActions();
  UpdateStatusBar();
  AutoSizeColumns();
}

void TfrmMain::ClearList() {
  BeginListUpdate();
  list_.Clear();
  EndListUpdate();
  RefreshRows(-1);
  UpdateActions();
  UpdateStatusBar();
}

void TfrmMain::acnClearExecute() {
  if (ShowMessageDlg(this, "Are you sure you want to remove all files from the list?", TMsgKind::Confirmation,
                     TMsgButtons::YesNo) == TMsgResult::Yes)
    ClearList();
}

void TfrmMain::UpdateActions() {
  // A selection or list change that arrives while a join runs leaves every
  // action waiting; the join's end enables them again.
  if (joining_) return;
  const int sel = SelectedIndex();
  const int count = list_.Count();
  acnDelete->setEnabled(sel >= 0);
  acnJoinFile->setEnabled(count > 0);
  acnPlay->setEnabled(sel >= 0);
  acnMoveUp->setEnabled(sel > 0);
  acnMoveDown->setEnabled(sel >= 0 && sel < count - 1);
  acnClear->setEnabled(count > 0);
}

void TfrmMain::UpdateStatusBar() {
  TStatusTexts t = StatusBarTexts(list_, SelectedIndex());
  StatusPanel0->setText(QString::fromStdString(t.Panel0));
  StatusPanel1->setText(QString::fromStdString(t.Panel1));
  for (QLabel* p : {StatusPanel0, StatusPanel1})
    p->setFixedWidth(std::max(50, p->fontMetrics().horizontalAdvance(p->text()) + 10));
}

int TfrmMain::ColumnTextWidth(int column) const {
  const QFontMetrics fm(lvwFiles->font());
  int w = fm.horizontalAdvance(kColumnCaptions[static_cast<size_t>(column)]);
  for (const TFileListRow& row : list_.Rows())
    w = std::max(w, fm.horizontalAdvance(QString::fromStdString(row.Cells[static_cast<size_t>(column)])));
  return w;
}

void TfrmMain::AutoSizeColumns() {
  int total = 0;
  for (int c = 0; c < kColumnCount; ++c) {
    lvwFiles->setColumnWidth(c, ColumnTextWidth(c) + 20);
    total += lvwFiles->columnWidth(c);
  }
  // A window the user has not sized yet grows to show every column, as far
  // as the screen allows.
  if (width() == autoWidth_) {
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const int frame = width() - lvwFiles->viewport()->width() + lvwFiles->verticalScrollBar()->sizeHint().width();
    const int border = frameGeometry().width() - width();  // the window manager's frame
    const int want = std::min(screen.width() - border, total + frame);
    if (want > width()) {
      resize(want, height());
      if (x() + want + border > screen.right() + 1) move(std::max(screen.left(), screen.right() + 1 - want - border), y());
      autoWidth_ = want;
    }
  }
}


void TfrmMain::acnAddFilesExecute() {
  TFileOpenDialog d;
  d.OwnerWindow = this;
  d.MultiSelect = true;
  if (!LastOpenFolder.isEmpty()) d.InitialDir = LastOpenFolder;
  d.Filter = kVideoFilesFilter;
  if (!d.Execute()) return;
  LastOpenFolder = FolderOf(d.FileName);
  QStringList names = d.Files;
  SortByPath(names);
  AddFiles(names);
}




void TfrmMain::acnPlayExecute() {
  int k = SelectedIndex();
  if (k < 0) return;
  OpenWithDesktop(this, QUrl::fromLocalFile(QString::fromStdString(list_.Row(k).Info.FileName)), "the file");
}

void TfrmMain::acnMoveUpExecute() {
  int k = SelectedIndex();
  if (k > 0) MoveItem(k, k - 1);
  UpdateActions();
  UpdateStatusBar();
}

void TfrmMain::acnMoveDownExecute() {
  int k = SelectedIndex();
  if (k >= 0 && k < list_.Count() - 1) MoveItem(k, k + 1);
  UpdateActions();
  UpdateStatusBar();
}

void TfrmMain::DragOverRow(int targetRow, int y) {
  dragTarget_ = targetRow;
  // Scroll near the edges while dragging.
  QScrollBar* bar = lvwFiles->verticalScrollBar();
  if (y < 20) bar->setValue(bar->value() - 10);
  if (y > lvwFiles->viewport()->height() - 20) bar->setValue(bar->value() + 10);
}

void TfrmMain::EndDrag() {
  int sel = SelectedIndex();
  if (sel >= 0 && dragTarget_ >= 0) MoveItem(sel, dragTarget_);
  dragTarget_ = -1;
  UpdateActions();
  UpdateStatusBar();
}







}  // namespace vantrel::ui
