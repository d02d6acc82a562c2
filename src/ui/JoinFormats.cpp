// The join options dialog and its plan: the request the dialog stands for,
// the plan made from it at every change, and the plan shown: the output
// format, the compressor lists, the settings and which of them are enabled.
#include <algorithm>

#include "base/Exceptions.h"
#include "job/Encoders.h"
#include "plan/JoinOptions.h"
#include "ui/JoinForm.h"

namespace vantrel::ui {

const TRecompressChoice& TfrmJoin::Format() const {
  const int i = cbxOutputFormat->currentIndex();
  return formats_[i >= 0 && i < static_cast<int>(formats_.size()) ? static_cast<size_t>(i) : 0];
}

void TfrmJoin::FillCompressorLists() {
  const TRecompressChoice& f = Format();
  cbxVideoCompression->clear();
  cbxAudioCompression->clear();
  VideoCompressors.clear();
  AudioCompressors.clear();
  const TContainer& format = ContainerOf(f.Container);
  if (format.IsAvi()) {
    const TCompressorList& video = encoders_.AviCompressors(false);
    const TCompressorList& audio = encoders_.AviCompressors(true);
    VideoCompressors = video.Encoders;
    for (const auto& n : video.Names) cbxVideoCompression->addItem(QString::fromStdString(n));
    cbxVideoCompression->setCurrentIndex(-1);
    AudioCompressors = {""};
    cbxAudioCompression->addItem(kNoCompressingItem);
    AudioCompressors.insert(AudioCompressors.end(), audio.Encoders.begin(), audio.Encoders.end());
    for (const auto& n : audio.Names) cbxAudioCompression->addItem(QString::fromStdString(n));
    cbxAudioCompression->setCurrentIndex(-1);
    return;
  }
  // What the container holds, the format's own pair chosen.
  VideoCompressors = encoders_.Available(format.Id, false);
  AudioCompressors = encoders_.Available(format.Id, true);
  for (const auto& n : VideoCompressors) cbxVideoCompression->addItem(QString::fromStdString(n));
  for (const auto& n : AudioCompressors) cbxAudioCompression->addItem(QString::fromStdString(n));
  auto at = [](const std::vector<std::string>& list, const std::string& name) {
    return static_cast<int>(std::find(list.begin(), list.end(), name) - list.begin());
  };
  cbxVideoCompression->setCurrentIndex(at(VideoCompressors, f.Video));
  cbxAudioCompression->setCurrentIndex(at(AudioCompressors, f.Audio));
}

namespace {

std::string At(const std::vector<std::string>& list, int index) {
  return index >= 0 && index < static_cast<int>(list.size()) ? list[static_cast<size_t>(index)] : std::string();
}

// The rate as the dialog's list shows it.
std::string RateItem(double rate, char separator) {
  std::vector<std::string> items;
  return items[static_cast<size_t>(AddFrameRate(items, rate, separator))];
}

}  // namespace

TJoinRequest TfrmJoin::RequestShown(bool withSettings) const {
  TJoinRequest r;
  if (withSettings) r = asked_;
  r.OutputFileName = edtOutFileName->text().toStdString();
  r.Route = RouteShown();
  if (r.Route == TJoinRoute::Copy || !withSettings) return r;
  // What the fields show otherwise than the plan proposed is the user's,
  // as is what the user set before.
  const TRecompressSettings& shown = Plan.Recompress;
  if (Plan.Uses.FrameSize) {
    if (edtFrameWidth->Value() != shown.FrameWidth) r.FrameWidth = edtFrameWidth->Value();
    if (edtFrameHeight->Value() != shown.FrameHeight) r.FrameHeight = edtFrameHeight->Value();
  }
  if (Plan.Uses.FrameRate && cbxFameRate->currentText().toStdString() != RateItem(shown.FrameRate, Separator()))
    r.FrameRate = StrToFloat(cbxFameRate->currentText().toStdString(), Separator());
  if (Plan.Uses.ResizeMethod && cbxResizeMethod->currentIndex() != ItemOfResizeMethod(shown.ResizeMethod))
    r.ResizeMethod = ResizeMethodOfItem(cbxResizeMethod->currentIndex(), shown.ResizeMethod);
  // The compressors as selected, each with the options kept for it.
  auto choice = [](const std::vector<std::string>& encoders, int index) {
    TEncoderChoice c;
    c.Encoder = At(encoders, index);
    if (!c.Encoder.empty()) c.Options = StoredEncoderOptions(c.Encoder);
    return c;
  };
  if (Plan.Uses.VideoEncoder && cbxVideoCompression->currentIndex() >= 0)
    r.VideoEncoder = choice(VideoCompressors, cbxVideoCompression->currentIndex());
  if (Plan.Uses.AudioEncoder && cbxAudioCompression->currentIndex() >= 0)
    r.AudioEncoder = choice(AudioCompressors, cbxAudioCompression->currentIndex());
  return r;
}

TJoinRequest TfrmJoin::Request() const {
  TJoinRequest r = RequestShown(true);
  for (const TVideoFileInfo* f : files_()) r.Files.push_back(*f);
  return r;
}

void TfrmJoin::Replan(bool keepSettings) {
  TJoinRequest r;
  try {
    r = RequestShown(keepSettings);
  } catch (const EConvertError&) {
    r = RequestShown(false);  // a rate that is no number is said at Join
  }
  for (const TVideoFileInfo* f : files_()) r.Files.push_back(*f);
  // Before a name is given, the plan is made for the format chosen.
  if (r.OutputFileName.find_first_not_of(" \t") == std::string::npos && r.Route != TJoinRoute::Copy)
    r.OutputFileName = ContainerOf(Format().Container).Extensions.front();
  Plan = MakeJoinPlan(r, encoders_);
  asked_ = r;
  asked_.Files.clear();
  lblNotes->setText(QString::fromStdString(Plan.DialogNote));
  ShowSettings();
  UpdateControls();
  emit PlanChanged(Plan);
}

void TfrmJoin::ShowSettings() {
  const bool recompress = Plan.Route == TPlanRoute::Recompress;
  const bool smart = Plan.Route == TPlanRoute::Smart;
  if (recompress || smart) {
    // What will be made: the settings of the recompression, or the format
    // of the files a smart join re-encodes the others to.
    TRecompressSettings s = Plan.Recompress;
    if (smart) {
      s.FrameWidth = Plan.Smart.Width;
      s.FrameHeight = Plan.Smart.Height;
      s.FrameRate = Plan.Smart.RateDen > 0 ? static_cast<double>(Plan.Smart.RateNum) / Plan.Smart.RateDen : 0;
      s.ResizeMethod = rmLetterbox;
    }
    edtFrameWidth->SetValue(s.FrameWidth);
    edtFrameHeight->SetValue(s.FrameHeight);
    std::vector<std::string> items;
    for (int i = 0; i < cbxFameRate->count(); ++i) items.push_back(cbxFameRate->itemText(i).toStdString());
    const int rate = AddFrameRate(items, s.FrameRate, Separator());
    while (cbxFameRate->count() < static_cast<int>(items.size()))
      cbxFameRate->addItem(QString::fromStdString(items[static_cast<size_t>(cbxFameRate->count())]));
    cbxFameRate->setCurrentIndex(rate);
    cbxResizeMethod->setCurrentIndex(ItemOfResizeMethod(s.ResizeMethod));
    auto select = [](QComboBox* box, const std::vector<std::string>& list, const std::string& encoder) {
      const auto at = std::find(list.begin(), list.end(), encoder);
      if (at != list.end()) box->setCurrentIndex(static_cast<int>(at - list.begin()));
    };
    // No default found for AVI: the selection stays as it was.
    if (!Plan.VideoEncoder.Encoder.empty() || !ContainerOf(Format().Container).IsAvi() || !Plan.NoOptimumVideoCompressor)
      select(cbxVideoCompression, VideoCompressors, Plan.VideoEncoder.Encoder);
    select(cbxAudioCompression, AudioCompressors, Plan.AudioEncoder.Encoder);
  }
  // A setting the route does not use is shown, and not offered.
  const TSettingsUsed& u = Plan.Uses;
  const bool planned = Plan.Accepted();
  edtFrameWidth->setEnabled(!planned || u.FrameSize);
  edtFrameHeight->setEnabled(!planned || u.FrameSize);
  cbxFameRate->setEnabled(!planned || u.FrameRate);
  cbxResizeMethod->setEnabled(!planned || u.ResizeMethod);
  cbxVideoCompression->setEnabled(!planned || u.VideoEncoder);
  btnVideoCompOptions->setEnabled(!planned || u.VideoEncoder);
  cbxAudioCompression->setEnabled(!planned || u.AudioEncoder);
  edtFrameWidthChange();
}

void TfrmJoin::cbxOutputFormatChange() {
  const TRecompressChoice& f = Format();
  LastOutputFormat = ContainerOf(f.Container).IsAvi() ? QString() : QString(f.Label);
  FillCompressorLists();
  // The name follows, unless it already names the format (.m4v for MP4).
  const std::string name = edtOutFileName->text().toStdString();
  const TContainer& format = ContainerOf(f.Container);
  if (!following_ && !cbxJoinWORecomp->isChecked() && !edtOutFileName->text().trimmed().isEmpty()) {
    const TContainer* named = RecompressContainerOfFileName(name);
    if (!named || named->Id != format.Id) {
      const size_t slash = name.rfind('/'), dot = name.rfind('.');
      const std::string stem =
          dot == std::string::npos || (slash != std::string::npos && dot < slash) ? name : name.substr(0, dot);
      following_ = true;
      edtOutFileName->setText(QString::fromStdString(stem + format.Extensions.front()));
      following_ = false;
    }
  }
  // Another format: its own defaults and compressors, not the last one's.
  Replan(false);
}

void TfrmJoin::edtOutFileNameChange() {
  if (following_) return;
  const std::string name = edtOutFileName->text().toStdString();
  const TContainer* named = cbxJoinWORecomp->isChecked() ? nullptr : RecompressContainerOfFileName(name);
  if (named && !LowerExtension(name).empty()) {
    // QuickTime goes with the MP4 choices: the same encoders.
    const TContainerId id = named->Id == TContainerId::QuickTime ? TContainerId::MP4 : named->Id;
    if (Format().Container != id)
      for (size_t i = 0; i < formats_.size(); ++i)
        if (formats_[i].Container == id) {
          following_ = true;
          cbxOutputFormat->setCurrentIndex(static_cast<int>(i));
          cbxOutputFormatChange();
          following_ = false;
          return;
        }
  }
  Replan();
}

}  // namespace vantrel::ui
