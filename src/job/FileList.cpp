// File list logic.
#include "job/FileList.h"


#include <cmath>
#include <cstdio>
#include <utility>

namespace vantrel {

const std::array<const char*, kColumnCount> kColumnCaptions = {"File name", "Duration",   "Type",  "Frame size",
                                                               "Frame rate", "Audio",     "Folder"};

TRowTexts FormatRow(const TVideoFileInfo& info, char decimalSeparator) {
  TRowTexts t;
  t[colFileName] = FileNamePart(info.FileName);
  t[colDuration] = FormatDuration(info.Duration);
  // "DirectShow" means nothing to a user: the framework's name for the
  // container is shown instead (the media type itself stays for the logic).
  if (info.MediaType == kMediaAVI)
    t[colType] = "AVI:" + FourCCToString(info.VideoFourCC);
  else if (info.MediaType == kMediaDirectShow && !info.ContainerName.empty())
    t[colType] = info.ContainerName;
  else
    t[colType] = info.MediaType;
  t[colFrameSize] = std::to_string(info.Width) + "x" + std::to_string(info.Height);
  t[colFrameRate] = FormatFrameRate(info.FrameRate, decimalSeparator);
  if (info.HasAudio)
    t[colAudio] = std::to_string(info.SampleRate / 1000) + "KHz" + (info.Channels == 1 ? " Mono" : " Stereo");
  else
    t[colAudio] = "none";
  t[colFolder] = FolderPart(info.FileName);
  return t;
}

void ShowDifferences(std::vector<TRowTexts>& rows, const TJoinPlan& plan) {
  static const std::pair<TDiffColumn, TColumn> kColumns[] = {{TDiffColumn::Type, colType},
                                                             {TDiffColumn::FrameSize, colFrameSize},
                                                             {TDiffColumn::FrameRate, colFrameRate},
                                                             {TDiffColumn::Audio, colAudio}};
  if (rows.empty()) return;
  const TRowTexts first = rows.front();
  for (size_t i = 1; i < rows.size() && i < plan.Files.size(); ++i)
    for (const auto& [diff, column] : kColumns) {
      const std::string& shown = plan.Files[i].Shown[static_cast<size_t>(diff)];
      std::string& cell = rows[i][column];
      if (!shown.empty() && cell == first[column] && cell != shown) cell += " (" + shown + ")";
    }
}

TFileList::TFileList(TProbe probe, char decimalSeparator, const IEncoderCatalog& encoders)
    : probe_(std::move(probe)), separator_(decimalSeparator), encoders_(encoders) {}

TFileListRow TFileList::ProbeRow(const std::string& fileName) const {
  TFileListRow row;
  row.Info = probe_(fileName);
  row.Cells = FormatRow(row.Info, separator_);
  return row;
}

void TFileList::Append(TFileListRow row) { rows_.push_back(std::move(row)); }

void TFileList::AddFile(const std::string& fileName) { Append(ProbeRow(fileName)); }

void TFileList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  rows_.erase(rows_.begin() + index);
  UpdateDifferences();
}

void TFileList::Clear() { rows_.clear(); }

int TFileList::MoveItem(int index, int newIndex) {
  if (index < 0 || index >= Count()) return index;
  if (newIndex < 0) newIndex = 0;
  if (newIndex >= Count()) newIndex = Count() - 1;
  if (newIndex == index) return index;
  TFileListRow row = std::move(rows_[static_cast<size_t>(index)]);
  rows_.erase(rows_.begin() + index);
  rows_.insert(rows_.begin() + newIndex, std::move(row));
  UpdateDifferences();
  return newIndex;
}

void TFileList::UpdateDifferences() {
  TJoinRequest listed;
  for (const TFileListRow& row : rows_) listed.Files.push_back(row.Info);
  ApplyPlan(MakeJoinPlan(listed, encoders_));
}

void TFileList::ApplyPlan(const TJoinPlan& plan) {
  plan_ = plan;
  std::vector<TRowTexts> texts;
  for (size_t i = 0; i < rows_.size(); ++i) {
    TVideoFileInfo& info = rows_[i].Info;
    if (i < plan.Files.size()) {
      const TFilePlan& f = plan.Files[i];
      info.VideoDiffers = f.VideoDiffers;
      info.TypeDiffers = f.TypeDiffers;
      info.FrameSizeDiffers = f.FrameSizeDiffers;
      info.FrameRateDiffers = f.FrameRateDiffers;
      info.AudioDiffers = f.AudioDiffers;
    }
    texts.push_back(FormatRow(info, separator_));
  }
  ShowDifferences(texts, plan);
  for (size_t i = 0; i < rows_.size(); ++i) rows_[i].Cells = texts[i];
}

double TFileList::TotalDuration() const {
  double total = 0;
  for (const TFileListRow& r : rows_) total += r.Info.Duration;
  return total;
}

std::vector<const TVideoFileInfo*> TFileList::Infos() const {
  std::vector<const TVideoFileInfo*> v;
  for (const TFileListRow& r : rows_) v.push_back(&r.Info);
  return v;
}

std::string SizeText(int64_t bytes) {
  char buf[32];
  const double b = static_cast<double>(bytes);
  if (b >= 1e9)
    std::snprintf(buf, sizeof buf, "%.1f GB", b / 1e9);
  else if (b >= 1e6)
    std::snprintf(buf, sizeof buf, "%.1f MB", b / 1e6);
  else
    std::snprintf(buf, sizeof buf, "%.0f KB", b / 1e3);
  return buf;
}

std::string JoinedText(size_t files, const std::string& output, double seconds, int64_t bytes, bool verified) {
  return "Joined " + std::to_string(files) + (files == 1 ? " file" : " files") + " into " + output + " (" +
         FormatDuration(seconds) + ", " + SizeText(bytes) + (verified ? ", verified" : "") + ")";
}

std::string CancelledJoinText(const std::string& output, double seconds) {
  return "Cancelled: " + output + " holds the first " + FormatDuration(seconds);
}

std::string FilesAddedText(int done, int total) {
  return std::to_string(done) + "/" + std::to_string(total) + " files added";
}

std::string UnableToAddText(const std::string& fileName, const std::string& message, bool last) {
  std::string text = "Unable to add file " + fileName + ": " + message + ".";
  // The media framework's code means nothing to most people.
  if (message.rfind("DirectShow Error: ", 0) == 0) text += " " + std::string(kNotReadableVideo);
  if (!last) text += "\r\nDo you want to continue adding the other files?";
  return text;
}

std::string ProjectFilesNotAddedText(long long notAdded, long long total) {
  return std::to_string(notAdded) + " of the project's " + std::to_string(total) + (total == 1 ? " file" : " files") +
         (notAdded == 1 ? " was" : " were") + " not added:";
}

TStatusTexts StatusBarTexts(const TFileList& list, int selected) {
  TStatusTexts t;
  if (list.Count() == 0) {
    t.Panel0 = "There are no selected files.";
    return t;
  }
  if (selected >= 0 && selected < list.Count())
    t.Panel0 = list.Row(selected).Cells[colFileName];
  else
    t.Panel0 = std::to_string(list.Count()) + " file(s)";
  t.Panel1 = "Total duration: " + FormatDuration(list.TotalDuration());
  return t;
}

}  // namespace vantrel
