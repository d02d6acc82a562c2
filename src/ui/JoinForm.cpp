// Join options dialog.
#include "ui/JoinForm.h"

#include "base/CopyFormat.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLocale>
#include <QSpinBox>

#include "core/JoinOptions.h"
#include "base/PosixFile.h"
#include "core/RecompressEngine.h"
#include "recompress/Compressors.h"
#include "recompress/EncoderSetup.h"
#include "recompress/OutputFormats.h"
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
    auto stored = CompressorOptionStore().Get(encoder);
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
      CompressorOptionStore().Set(encoder_, values);
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

TfrmJoin::TfrmJoin(QWidget* parent, TFilesProvider files) : QDialog(parent), files_(std::move(files)) {
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
  formats_.push_back({"AVI (the compressors below)", "avi", "", ""});
  const TFormatChoice modern[] = {{"MP4 (H.264 + AAC)", "mp4", "libx264", "aac"},
                                  {"MP4 (HEVC + AAC)", "mp4", "libx265", "aac"},
                                  {"Matroska (H.264 + Opus)", "matroska", "libx264", "libopus"},
                                  {"WebM (VP9 + Opus)", "webm", "libvpx-vp9", "libopus"}};
  for (const TFormatChoice& f : modern) {
    const TRecompressFormat* format = RecompressFormatNamed(f.Muxer);
    if (!format) continue;
    const std::vector<std::string> v = AvailableEncoders(*format, false), a = AvailableEncoders(*format, true);
    if (std::find(v.begin(), v.end(), f.Video) != v.end() && std::find(a.begin(), a.end(), f.Audio) != a.end())
      formats_.push_back(f);
  }
  for (const TFormatChoice& f : formats_) cbxOutputFormat->addItem(f.Label);
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
  // opens on it (for this join only; the choice kept stays).
  const TRecompressFormat* smart =
      Plan.Kind == TEngineKind::Mixed ? RecompressFormatOfFileName("x" + Plan.Extension) : nullptr;
  // The H.264 choice of that container where it has one (WebM's is VP9).
  for (size_t i = 0, found = 0; smart && i < formats_.size(); ++i)
    if (formats_[i].Muxer == (smart->Muxer == "mov" ? std::string("mp4") : smart->Muxer)) {
      if (!found++) last = static_cast<int>(i);
      if (formats_[i].Video == "libx264") {
        last = static_cast<int>(i);
        break;
      }
    }
  if (last != cbxOutputFormat->currentIndex()) {
    cbxOutputFormat->setCurrentIndex(std::max(last, 0));
    FillCompressorLists();
  }
  FillFrameRates();
  lblNotes->setText(QString::fromStdString(Plan.DialogNote));
  cbxJoinWORecomp->setChecked(Plan.CopyByDefault);
  cbxJoinWORecomp->setEnabled(Plan.CanCopy);
  UpdateControls();
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

void TfrmJoin::ComputeDefaults() {
  std::vector<std::string> items;
  for (int i = 0; i < cbxFameRate->count(); ++i) items.push_back(cbxFameRate->itemText(i).toStdString());
  TJoinDefaults d = vantrel::ComputeDefaults(files_(), items, Separator());
  edtFrameWidth->SetValue(d.FrameWidth);
  edtFrameHeight->SetValue(d.FrameHeight);
  while (cbxFameRate->count() < static_cast<int>(items.size()))
    cbxFameRate->addItem(QString::fromStdString(items[static_cast<size_t>(cbxFameRate->count())]));
  cbxFameRate->setCurrentIndex(d.FrameRateIndex);
  cbxResizeMethod->setCurrentIndex(ItemOfResizeMethod(d.ResizeMethod));
  ChooseVideoCompressor();
  ChooseAudioCompressor();
}

void TfrmJoin::ChooseVideoCompressor() {
  std::vector<std::string> names;
  for (int i = 0; i < cbxVideoCompression->count(); ++i) names.push_back(cbxVideoCompression->itemText(i).toStdString());
  bool none = false;
  int i = vantrel::ChooseVideoCompressor(names, cbxVideoCompression->currentIndex(), &none);
  if (none) {
    ShowMessageDlg(this, kNoOptimumVideoCompressor, TMsgKind::Information, TMsgButtons::Ok);
    return;
  }
  cbxVideoCompression->setCurrentIndex(i);
}

void TfrmJoin::ChooseAudioCompressor() {
  std::vector<std::string> names;
  for (int i = 0; i < cbxAudioCompression->count(); ++i) names.push_back(cbxAudioCompression->itemText(i).toStdString());
  cbxAudioCompression->setCurrentIndex(vantrel::ChooseAudioCompressor(names, cbxAudioCompression->currentIndex()));
}

void TfrmJoin::cbxJoinWORecompClick() {
  UpdateControls();
  if (edtOutFileName->text().trimmed().isEmpty()) return;
  std::string name = SwitchOutputExtension(edtOutFileName->text().toStdString(), Plan, cbxJoinWORecomp->isChecked());
  // Recompressed, the name takes the chosen format's extension.
  const TRecompressFormat* format = RecompressFormatNamed(Format().Muxer);
  if (!cbxJoinWORecomp->isChecked() && format && !format->Avi())
    name = name.substr(0, name.size() - 4) + format->Extensions.front();
  following_ = true;
  edtOutFileName->setText(QString::fromStdString(name));
  following_ = false;
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
  if (!copy) {
    // Every format a recompressing join writes, the chosen one first.
    const TRecompressFormat* chosen = RecompressFormatNamed(Format().Muxer);
    QString filter = QString("%1 File|*%2").arg(QString::fromStdString(chosen->Shown),
                                                 QString::fromStdString(chosen->Extensions.front()));
    for (const TRecompressFormat& f : RecompressFormats())
      if (&f != chosen)
        filter += QString("|%1 File|*%2").arg(QString::fromStdString(f.Shown), QString::fromStdString(f.Extensions.front()));
    d.Filter = filter;
    d.DefaultExt = QString::fromStdString(chosen->Extensions.front().substr(1));
  }
  const TCopyFamily* family = Plan.ContainerCopy ? CopyFamilyOfFileName("x" + Plan.CopyExtension) : nullptr;
  if (family && copy) {
    d.Filter = QString("%1 File|*%2").arg(family->Shown, family->Extension);
    d.DefaultExt = QString(family->Extension + 1);
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
  // What would fail once the dialog is gone is said now, with the dialog
  // open and the field to mend focused; nothing is created.
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
  TJoinRequest r;
  for (const TVideoFileInfo* f : files_()) {
    // By identity: a link or another spelling of an input is that input.
    if (f->FileName == out || SameFile(f->FileName, out)) return "The output file is one of the input files";
    r.Files.push_back(*f);
  }
  r.OutputFileName = out;
  r.Route = RouteShown();
  const TJoinPlan plan = MakeJoinPlan(r, AllEngines());
  if (!plan.Engine) return plan.Refusal;
  const std::string ext = OutputExtensionProblem(plan, out);
  if (!ext.empty()) return ext;
  if (r.Route == TJoinRoute::Copy) return "";
  const auto video = GetCompressorFilter(VideoCompressors, cbxVideoCompression->currentIndex());
  const std::string encoder = video ? video->EncoderName : "";
  // The width is to mend when it fails with any height.
  field = FrameSizeProblem(encoder, edtFrameWidth->Value(), 16).empty() ? edtFrameHeight : edtFrameWidth;
  return FrameSizeProblem(encoder, edtFrameWidth->Value(), edtFrameHeight->Value());
}

void TfrmJoin::btnResetDefaultsClick() {
  if (Format().Muxer != "avi") {
    FillCompressorLists();
    ApplyFormatDefaults();
    return;
  }
  ComputeDefaults();
  ChooseAudioCompressor();
}

void TfrmJoin::btnVideoCompOptionsClick() {
  int i = cbxVideoCompression->currentIndex();
  auto filter = GetCompressorFilter(VideoCompressors, i);
  if (!filter) return;
  auto options = DescribeEncoderOptions(filter->EncoderName);
  if (options.empty()) {
    ShowMessageDlg(this, "The selected compressor has no options", TMsgKind::Information, TMsgButtons::Ok);
    return;
  }
  TCompressorOptionsDialog d(this, filter->EncoderName, options);
  d.exec();
}

void TfrmJoin::edtFrameWidthChange() {
  lblSizeWarning->setVisible(SizeWarningVisible(edtFrameWidth->Value(), edtFrameHeight->Value()));
}

TJoinRoute TfrmJoin::RouteShown() const {
  if (cbxJoinWORecomp->isChecked()) return TJoinRoute::Copy;
  // Unticked where a copy was possible: recompression, as asked. Where it
  // was not, a smart join when the files and the output's name allow one.
  return Plan.CanCopy && !Plan.CopyLosesSound ? TJoinRoute::Recompress : TJoinRoute::Auto;
}

TJoinRequest TfrmJoin::Request() const {
  TJoinRequest r;
  r.OutputFileName = edtOutFileName->text().toStdString();
  r.Route = RouteShown();
  if (r.Route == TJoinRoute::Copy) return r;
  r.Recompress.FrameWidth = edtFrameWidth->Value();
  r.Recompress.FrameHeight = edtFrameHeight->Value();
  r.Recompress.FrameRate = StrToFloat(cbxFameRate->currentText().toStdString(), Separator());
  r.Recompress.ResizeMethod = ResizeMethodOfItem(cbxResizeMethod->currentIndex(), r.Recompress.ResizeMethod);
  // A compressor's options are kept per encoder, as the user set them.
  auto choice = [](const std::vector<std::string>& monikers, int index) {
    TEncoderChoice c;
    if (index >= 0 && index < static_cast<int>(monikers.size())) c.Encoder = monikers[static_cast<size_t>(index)];
    if (!c.Encoder.empty()) c.Options = CompressorOptionStore().Get(c.Encoder);
    return c;
  };
  r.VideoEncoder = choice(VideoCompressors, cbxVideoCompression->currentIndex());
  r.AudioEncoder = choice(AudioCompressors, cbxAudioCompression->currentIndex());
  return r;
}

}  // namespace vantrel::ui
