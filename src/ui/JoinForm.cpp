// Join options dialog.
#include "ui/JoinForm.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLocale>
#include <QSpinBox>

#include "base/PosixFile.h"
#include "job/Encoders.h"
#include "plan/JoinOptions.h"
#include "ui/Dialogs.h"

namespace vantrel::ui {

QString TfrmJoin::LastSaveFolder;
QString TfrmJoin::LastOutputFormat;
std::function<int(TfrmJoin&)> TfrmJoin::ExecHook;

namespace {

bool SameValue(const std::string& value, const TEncoderOption& o) {
  if (o.Type == TEncoderOption::Choice) return value == o.Default;
  return QString::fromStdString(value).toDouble() == QString::fromStdString(o.Default).toDouble();
}

// The options of one encoder, edited and kept for every later instance.
class TCompressorOptionsDialog : public QDialog {
 public:
  TCompressorOptionsDialog(QWidget* parent, const std::string& encoder, const std::vector<TEncoderOption>& options)
      : QDialog(parent), encoder_(encoder), options_(options) {
    setWindowTitle(QString::fromStdString(encoder) + " options");
    auto* form = new QFormLayout(this);
    auto stored = StoredEncoderOptions(encoder);
    for (const TEncoderOption& o : options_) {
      QString value = QString::fromStdString(stored.count(o.Key) ? stored[o.Key] : o.Default);
      QWidget* w;
      if (o.Type == TEncoderOption::Choice) {
        auto* c = new QComboBox(this);
        for (const auto& ch : o.Choices) c->addItem(QString::fromStdString(ch));
        c->setCurrentText(value);
        w = c;
      } else if (o.Type == TEncoderOption::Real) {
        auto* d = new QDoubleSpinBox(this);
        d->setRange(o.Min, o.Max);
        d->setValue(value.toDouble());
        w = d;
      } else {
        auto* sp = new QSpinBox(this);
        sp->setRange(static_cast<int>(o.Min), static_cast<int>(o.Max));
        sp->setValue(value.toInt());
        w = sp;
      }
      editors_.push_back(w);
      // A field the store holds is the user's, and shows so.
      auto* label = new QLabel(QString::fromStdString(o.Label), this);
      if (stored.count(o.Key)) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        label->setToolTip("Set by you; the compressor's default is " + QString::fromStdString(o.Default));
      }
      form->addRow(label, w);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
      std::map<std::string, std::string> values;
      for (size_t i = 0; i < options_.size(); ++i) {
        QString v;
        if (auto* c = qobject_cast<QComboBox*>(editors_[i])) v = c->currentText();
        else if (auto* d = qobject_cast<QDoubleSpinBox*>(editors_[i])) v = QString::number(d->value());
        else if (auto* sp = qobject_cast<QSpinBox*>(editors_[i])) v = QString::number(sp->value());
        // Only what differs from the compressor's default is kept, so a
        // default left alone (crf beside a bit rate) never applies.
        if (!SameValue(v.toStdString(), options_[i])) values[options_[i].Key] = v.toStdString();
      }
      StoreEncoderOptions(encoder_, values);
      accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
  }

 private:
  std::string encoder_;
  std::vector<TEncoderOption> options_;
  std::vector<QWidget*> editors_;
};

}  // namespace

TfrmJoin::TfrmJoin(QWidget* parent, TFilesProvider files, const IEncoderCatalog& encoders)
    : QDialog(parent), files_(std::move(files)), encoders_(encoders) {
  setObjectName("frmJoin");
  setWindowTitle("Join Options");
  // The classic size is the least; layouts let the texts take what their
  // font needs (11 pt, 1.5 x scaling).
  setMinimumSize(477, 358);

  GroupBox1 = new QGroupBox(" Output File ", this);
  edtOutFileName = new QLineEdit(GroupBox1);
  sbnSelectOutFile = new QToolButton(GroupBox1);
  sbnSelectOutFile->setText("...");
  auto* outRow = new QHBoxLayout(GroupBox1);
  outRow->addWidget(edtOutFileName, 1);
  outRow->addWidget(sbnSelectOutFile);

  cbxJoinWORecomp = new QCheckBox("Join without recompression", this);
  lblNotes = new QLabel("- notes", this);
  lblNotes->setWordWrap(true);
  lblNotes->setStyleSheet("color: rgb(115, 115, 115);");
  lblNotes->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lblNotes->setMinimumWidth(200);
  auto* joinRow = new QHBoxLayout;
  joinRow->addWidget(cbxJoinWORecomp, 0, Qt::AlignTop);
  joinRow->addWidget(lblNotes, 1);

  gbxOutOptions = new QGroupBox(" Output Settings ", this);
  auto* grid = new QGridLayout(gbxOutOptions);
  grid->setColumnStretch(2, 1);
  edtFrameWidth = new TNaturalEdit(gbxOutOptions);
  edtFrameWidth->SetValue(320);
  edtFrameHeight = new TNaturalEdit(gbxOutOptions);
  edtFrameHeight->SetValue(240);
  for (TNaturalEdit* e : {edtFrameWidth, edtFrameHeight})
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance("00000") + 28);
  auto* size = new QHBoxLayout;
  size->addWidget(edtFrameWidth);
  size->addWidget(new QLabel("x", gbxOutOptions));
  size->addWidget(edtFrameHeight);
  lblSizeWarning = new QLabel("Note: Some video compressors can fail if Width or Height is not multiple 8.", gbxOutOptions);
  lblSizeWarning->setWordWrap(true);
  cbxFameRate = new QComboBox(gbxOutOptions);
  cbxResizeMethod = new QComboBox(gbxOutOptions);
  for (const char* item : kResizeItems) cbxResizeMethod->addItem(item);
  cbxVideoCompression = new QComboBox(gbxOutOptions);
  cbxVideoCompression->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbxVideoCompression->setMinimumContentsLength(40);
  btnVideoCompOptions = new QPushButton("Options", gbxOutOptions);
  cbxAudioCompression = new QComboBox(gbxOutOptions);
  cbxAudioCompression->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cbxAudioCompression->setMinimumContentsLength(50);  // "libmp3lame MP3 (MPEG audio layer 3) (libmp3lame)"
  btnResetDefaults = new QPushButton("Reset defaults", gbxOutOptions);
  cbxOutputFormat = new QComboBox(gbxOutOptions);
  int row = 0;
  grid->addWidget(new QLabel("Output Format", gbxOutOptions), row, 0);
  grid->addWidget(cbxOutputFormat, row++, 1, 1, 2);
  grid->addWidget(new QLabel("Frame Size", gbxOutOptions), row, 0);
  grid->addLayout(size, row, 1);
  grid->addWidget(lblSizeWarning, row++, 2, 1, 2);
  grid->addWidget(new QLabel("Frame Rate", gbxOutOptions), row, 0);
  grid->addWidget(cbxFameRate, row++, 1);
  grid->addWidget(new QLabel("Resize method", gbxOutOptions), row, 0);
  grid->addWidget(cbxResizeMethod, row++, 1);
  grid->addWidget(new QLabel("Video Compression", gbxOutOptions), row, 0);
  grid->addWidget(cbxVideoCompression, row, 1, 1, 2);
  grid->addWidget(btnVideoCompOptions, row++, 3);
  grid->addWidget(new QLabel("Audio Compression", gbxOutOptions), row, 0);
  grid->addWidget(cbxAudioCompression, row++, 1, 1, 3);
  grid->addWidget(btnResetDefaults, row++, 1);

  btnJoin = new QPushButton("Join", this);
  btnJoin->setDefault(true);
  btnCancel = new QPushButton("Cancel", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnJoin);
  buttons->addWidget(btnCancel);

  auto* page = new QVBoxLayout(this);
  page->setSizeConstraint(QLayout::SetMinimumSize);  // never smaller than its texts
  page->addWidget(GroupBox1);
  page->addLayout(joinRow);
  page->addWidget(gbxOutOptions, 1);
  page->addLayout(buttons);

  // AVI with the compressors below, then the formats people share today
  // whose encoders this machine has.
  for (const TRecompressChoice& f : RecompressChoices()) {
    const std::vector<std::string> v = encoders_.Available(f.Container, false), a = encoders_.Available(f.Container, true);
    const bool has = ContainerOf(f.Container).IsAvi() ||
                     (std::find(v.begin(), v.end(), f.Video) != v.end() && std::find(a.begin(), a.end(), f.Audio) != a.end());
    if (has) formats_.push_back(f);
  }
  for (const TRecompressChoice& f : formats_) cbxOutputFormat->addItem(f.Label);
  cbxOutputFormat->setCurrentIndex(0);
  FillCompressorLists();
  cbxResizeMethod->setCurrentIndex(ItemOfResizeMethod(TRecompressSettings{}.ResizeMethod));

  connect(cbxJoinWORecomp, &QCheckBox::clicked, this, [this] { cbxJoinWORecompClick(); });
  connect(sbnSelectOutFile, &QToolButton::clicked, this, [this] { sbnSelectOutFileClick(); });
  connect(btnJoin, &QPushButton::clicked, this, [this] { btnJoinClick(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnResetDefaults, &QPushButton::clicked, this, [this] { btnResetDefaultsClick(); });
  connect(btnVideoCompOptions, &QPushButton::clicked, this, [this] { btnVideoCompOptionsClick(); });
  connect(edtFrameWidth, &QLineEdit::textChanged, this, [this] { edtFrameWidthChange(); });
  connect(edtFrameHeight, &QLineEdit::textChanged, this, [this] { edtFrameWidthChange(); });
  connect(cbxOutputFormat, QOverload<int>::of(&QComboBox::activated), this, [this] { cbxOutputFormatChange(); });
  connect(edtOutFileName, &QLineEdit::textEdited, this, [this] { edtOutFileNameChange(); });
  // A setting the user changes is the user's from then on; the plan and
  // what it shows follow.
  for (TNaturalEdit* e : {edtFrameWidth, edtFrameHeight})
    connect(e, &QLineEdit::editingFinished, this, [this] { Replan(); });
  for (QComboBox* c : {cbxFameRate, cbxResizeMethod, cbxVideoCompression, cbxAudioCompression})
    connect(c, QOverload<int>::of(&QComboBox::activated), this, [this] { Replan(); });
}

char TfrmJoin::Separator() const {
  QString p = QLocale().decimalPoint();
  return p.size() == 1 && p[0].unicode() < 128 ? static_cast<char>(p[0].unicode()) : '.';
}

bool TfrmJoin::ShowJoinOptions(const TJoinPlan& plan) {
  Plan = plan;
  CanJoinWithoutRecompression = plan.CanCopy;
  JoinWithoutSound = plan.CopyLosesSound;
  NoAudio = plan.NoAudio;
  edtOutFileName->clear();
  FormShow();
  edtOutFileName->setFocus();
  setResult(QDialog::Rejected);
  if (ExecHook) return ExecHook(*this) == QDialog::Accepted;
  return exec() == QDialog::Accepted;
}

void TfrmJoin::FormShow() {
  // The format last picked; AVI until another was picked once.
  int last = LastOutputFormat.isEmpty() ? 0 : cbxOutputFormat->findText(LastOutputFormat);
  // A smart join writes the container of the files it copies: the format
  // opens on it (for this join only; the choice kept stays), on its H.264
  // choice where it has one (WebM's is VP9).
  if (Plan.Route == TPlanRoute::Smart) {
    const TContainerId c = Plan.Output.Container == TContainerId::QuickTime ? TContainerId::MP4 : Plan.Output.Container;
    for (size_t i = 0, found = 0; i < formats_.size(); ++i)
      if (formats_[i].Container == c) {
        if (!found++) last = static_cast<int>(i);
        if (std::string(formats_[i].Video) == "libx264") {
          last = static_cast<int>(i);
          break;
        }
      }
  }
  if (last != cbxOutputFormat->currentIndex()) {
    cbxOutputFormat->setCurrentIndex(std::max(last, 0));
    FillCompressorLists();
  }
  FillFrameRates();
  cbxJoinWORecomp->setChecked(Plan.CopyByDefault);
  cbxJoinWORecomp->setEnabled(Plan.CanCopy);
  edtFrameWidthChange();
  btnResetDefaultsClick();
}

void TfrmJoin::UpdateControls() {
  lblNotes->setVisible(cbxJoinWORecomp->isChecked() || !cbxJoinWORecomp->isEnabled());
  gbxOutOptions->setEnabled(!cbxJoinWORecomp->isChecked());
}

void TfrmJoin::FillFrameRates() {
  TFrameRateItems r = vantrel::FillFrameRates(files_(), Separator());
  FirstFileType = QString::fromStdString(r.FirstFileType);
  cbxFameRate->clear();
  for (const auto& i : r.Items) cbxFameRate->addItem(QString::fromStdString(i));
  cbxFameRate->setCurrentIndex(r.Selected);
}

void TfrmJoin::cbxJoinWORecompClick() {
  UpdateControls();
  if (!edtOutFileName->text().trimmed().isEmpty()) {
    std::string name = SwitchOutputExtension(edtOutFileName->text().toStdString(), Plan, cbxJoinWORecomp->isChecked());
    // Recompressed, the name takes the chosen format's extension.
    const TContainer& format = ContainerOf(Format().Container);
    if (!cbxJoinWORecomp->isChecked() && !format.IsAvi()) name = name.substr(0, name.size() - 4) + format.Extensions.front();
    following_ = true;
    edtOutFileName->setText(QString::fromStdString(name));
    following_ = false;
  }
  Replan();
}

void TfrmJoin::sbnSelectOutFileClick() {
  TFileSaveDialog d;
  d.OwnerWindow = this;
  d.Title = "Select the output file name";
  if (!LastSaveFolder.isEmpty()) d.InitialDir = LastSaveFolder;
  const bool copy = cbxJoinWORecomp->isChecked();
  const bool mpeg = copy && Plan.CopyExtension == ".mpeg";
  d.Filter = mpeg ? "MPEG File|*.mpeg" : "AVI File|*.avi";
  d.DefaultExt = mpeg ? "mpeg" : "avi";
  auto entry = [](const TContainer& c, bool shown) {
    return QString("%1 File|*%2").arg(shown ? c.Shown : c.Name, QString::fromStdString(c.Extensions.front()));
  };
  if (!copy) {
    // Every format a recompressing join writes, the chosen one first.
    const TContainer& chosen = ContainerOf(Format().Container);
    QString filter = entry(chosen, false);
    for (const TContainer& f : Containers())
      if (f.Recompresses() && f.Id != chosen.Id) filter += "|" + entry(f, false);
    d.Filter = filter;
    d.DefaultExt = QString::fromStdString(chosen.Extensions.front().substr(1));
  }
  const TContainer* family = Plan.ContainerCopy ? ContainerOfFileName("x" + Plan.CopyExtension) : nullptr;
  if (family && copy) {
    d.Filter = entry(*family, true);
    d.DefaultExt = QString::fromStdString(family->Extensions.front().substr(1));
  }
  d.OverwritePrompt = false;  // Join asks instead
  if (!d.Execute()) return;
  LastSaveFolder = FolderOf(d.FileName);
  edtOutFileName->setText(d.FileName);
  edtOutFileNameChange();
}

void TfrmJoin::btnJoinClick() {
  const QString name = edtOutFileName->text();
  if (name.trimmed().isEmpty()) {
    ShowMessageDlg(this, "Please specify the output file", TMsgKind::Information, TMsgButtons::Ok);
    edtOutFileName->setFocus();
    return;
  }
  // The plan of what the dialog shows now is the one joined; what would
  // fail once the dialog is gone is said now, with the dialog open and the
  // field to mend focused; nothing is created.
  Replan();
  QWidget* field = nullptr;
  const std::string problem = EntryProblem(field);
  if (!problem.empty()) {
    ShowMessageDlg(this, QString::fromStdString(problem), TMsgKind::Warning, TMsgButtons::Ok);
    field->setFocus();
    return;
  }
  if (QFileInfo::exists(name) &&
      ShowMessageDlg(this, QString::fromStdString(OverwriteQuestion(name.toStdString())), TMsgKind::Confirmation,
                     TMsgButtons::YesCancel) != TMsgResult::Yes)
    return;
  accept();
}

std::string TfrmJoin::EntryProblem(QWidget*& field) const {
  const std::string out = edtOutFileName->text().toStdString();
  field = edtOutFileName;
  for (const TVideoFileInfo* f : files_())
    // By identity: a link or another spelling of an input is that input.
    if (f->FileName == out || SameFile(f->FileName, out)) return "The output file is one of the input files";
  const TJoinPlan& plan = Plan;
  if (!plan.Accepted()) return plan.Refusal;
  const std::string ext = OutputExtensionProblem(plan, out);
  if (!ext.empty()) return ext;
  if (plan.Route != TPlanRoute::Recompress) return "";
  const std::string& encoder = plan.VideoEncoder.Encoder;
  // The width is to mend when it fails with any height.
  field = encoders_.FrameSizeProblem(encoder, plan.Recompress.FrameWidth, 16).empty() ? edtFrameHeight : edtFrameWidth;
  return encoders_.FrameSizeProblem(encoder, plan.Recompress.FrameWidth, plan.Recompress.FrameHeight);
}

void TfrmJoin::btnResetDefaultsClick() {
  // The AVI lists keep their selection where no default is found.
  if (!ContainerOf(Format().Container).IsAvi()) FillCompressorLists();
  Replan(false);
  // No default compressor: said at every opening and every reset; the
  // selection stays as it was.
  if (Plan.Route == TPlanRoute::Recompress && Plan.NoOptimumVideoCompressor)
    ShowMessageDlg(this, kNoOptimumVideoCompressor, TMsgKind::Information, TMsgButtons::Ok);
}

void TfrmJoin::btnVideoCompOptionsClick() {
  const int i = cbxVideoCompression->currentIndex();
  if (i < 0 || i >= static_cast<int>(VideoCompressors.size()) || VideoCompressors[static_cast<size_t>(i)].empty()) return;
  const std::string encoder = VideoCompressors[static_cast<size_t>(i)];
  auto options = EncoderSettings(encoder);
  if (options.empty()) {
    ShowMessageDlg(this, "The selected compressor has no options", TMsgKind::Information, TMsgButtons::Ok);
    return;
  }
  TCompressorOptionsDialog d(this, encoder, options);
  d.exec();
}

void TfrmJoin::edtFrameWidthChange() {
  lblSizeWarning->setVisible(SizeWarningVisible(edtFrameWidth->Value(), edtFrameHeight->Value()));
}

TJoinRoute TfrmJoin::RouteShown() const {
  if (cbxJoinWORecomp->isChecked()) return TJoinRoute::Copy;
  // Unticked where a copy was possible: recompression, as asked. Where it
  // was not, a smart join when the files and the output's name allow one.
  return CanJoinWithoutRecompression && !JoinWithoutSound ? TJoinRoute::Recompress : TJoinRoute::Auto;
}

}  // namespace vantrel::ui
