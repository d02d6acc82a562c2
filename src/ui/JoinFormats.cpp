// The join options dialog's output format: the format picked, the name's
// extension, the compressor lists and the defaults that follow it.
#include <algorithm>

#include "base/CopyFormat.h"
#include "core/JoinOptions.h"
#include "recompress/Compressors.h"
#include "recompress/OutputFormats.h"
#include "ui/JoinForm.h"

namespace vantrel::ui {

const TfrmJoin::TFormatChoice& TfrmJoin::Format() const {
  const int i = cbxOutputFormat->currentIndex();
  return formats_[i >= 0 && i < static_cast<int>(formats_.size()) ? static_cast<size_t>(i) : 0];
}

void TfrmJoin::FillCompressorLists() {
  const TFormatChoice& f = Format();
  cbxVideoCompression->clear();
  cbxAudioCompression->clear();
  VideoCompressors.clear();
  AudioCompressors.clear();
  std::vector<std::string> names;
  if (f.Muxer == "avi") {
    EnumCompressors(false, &names, &VideoCompressors);
    for (const auto& n : names) cbxVideoCompression->addItem(QString::fromStdString(n));
    cbxVideoCompression->setCurrentIndex(-1);
    names.clear();
    AudioCompressors = {""};
    cbxAudioCompression->addItem(kNoCompressingItem);
    EnumCompressors(true, &names, &AudioCompressors);
    for (const auto& n : names) cbxAudioCompression->addItem(QString::fromStdString(n));
    cbxAudioCompression->setCurrentIndex(-1);
    return;
  }
  // What the container holds, the format's own pair chosen.
  const TRecompressFormat* format = RecompressFormatNamed(f.Muxer);
  VideoCompressors = AvailableEncoders(*format, false);
  AudioCompressors = AvailableEncoders(*format, true);
  for (const auto& n : VideoCompressors) cbxVideoCompression->addItem(QString::fromStdString(n));
  for (const auto& n : AudioCompressors) cbxAudioCompression->addItem(QString::fromStdString(n));
  auto at = [](const std::vector<std::string>& list, const std::string& name) {
    return static_cast<int>(std::find(list.begin(), list.end(), name) - list.begin());
  };
  cbxVideoCompression->setCurrentIndex(at(VideoCompressors, f.Video));
  cbxAudioCompression->setCurrentIndex(at(AudioCompressors, f.Audio));
}

void TfrmJoin::ApplyFormatDefaults() {
  if (Format().Muxer == "avi") {
    ComputeDefaults();
    return;
  }
  const TRecompressSettings d = MajorityFormat(files_());
  edtFrameWidth->SetValue(d.FrameWidth);
  edtFrameHeight->SetValue(d.FrameHeight);
  std::vector<std::string> items;
  for (int i = 0; i < cbxFameRate->count(); ++i) items.push_back(cbxFameRate->itemText(i).toStdString());
  const int rate = AddFrameRate(items, d.FrameRate, Separator());
  while (cbxFameRate->count() < static_cast<int>(items.size()))
    cbxFameRate->addItem(QString::fromStdString(items[static_cast<size_t>(cbxFameRate->count())]));
  cbxFameRate->setCurrentIndex(rate);
  cbxResizeMethod->setCurrentIndex(ItemOfResizeMethod(d.ResizeMethod));
}

void TfrmJoin::cbxOutputFormatChange() {
  const TFormatChoice& f = Format();
  LastOutputFormat = f.Muxer == "avi" ? QString() : f.Label;
  FillCompressorLists();
  ApplyFormatDefaults();
  // The name follows, unless it already names the format (.m4v for MP4).
  const std::string name = edtOutFileName->text().toStdString();
  if (following_ || cbxJoinWORecomp->isChecked() || edtOutFileName->text().trimmed().isEmpty()) return;
  const TRecompressFormat* named = RecompressFormatOfFileName(name);
  if (named && named->Muxer == f.Muxer) return;
  const TRecompressFormat* format = RecompressFormatNamed(f.Muxer);
  const size_t slash = name.rfind('/'), dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? name : name.substr(0, dot);
  following_ = true;
  edtOutFileName->setText(QString::fromStdString(stem + format->Extensions.front()));
  following_ = false;
}

void TfrmJoin::edtOutFileNameChange() {
  if (following_ || cbxJoinWORecomp->isChecked()) return;
  const TRecompressFormat* named = RecompressFormatOfFileName(edtOutFileName->text().toStdString());
  if (!named || LowerExtension(edtOutFileName->text().toStdString()).empty()) return;
  // QuickTime goes with the MP4 choices: the same encoders.
  const std::string muxer = named->Muxer == "mov" ? "mp4" : named->Muxer;
  if (Format().Muxer == muxer) return;
  for (size_t i = 0; i < formats_.size(); ++i)
    if (formats_[i].Muxer == muxer) {
      following_ = true;
      cbxOutputFormat->setCurrentIndex(static_cast<int>(i));
      cbxOutputFormatChange();
      following_ = false;
      return;
    }
}

}  // namespace vantrel::ui
