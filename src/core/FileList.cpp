// File list logic.
#include "core/FileList.h"

#include "core/JoinPlan.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace vantrel {

const std::array<const char*, kColumnCount> kColumnCaptions = {"File name", "Duration",   "Type",  "Frame size",
                                                               "Frame rate", "Audio",     "Folder"};

namespace {

std::string TwoDigits(long long v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

}  // namespace

std::string FormatDuration(double seconds) {
  double r = std::nearbyint(seconds);  // halves to even
  long long s = std::isfinite(r) && r > 0 ? static_cast<long long>(r) : 0;
  long long h = s / 3600, m = (s / 60) % 60, c = s % 60;
  if (h == 0) return TwoDigits(m) + ":" + TwoDigits(c);
  return TwoDigits(h) + ":" + TwoDigits(m) + ":" + TwoDigits(c);
}

std::string FourCCToString(uint32_t code) {
  if (code == 0) return "";
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((code >> (8 * i)) & 0xFF);
  return s;
}

std::string FormatFrameRate(double rate, char decimalSeparator) {
  if (rate == std::trunc(rate)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", rate);
    return buf;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", rate);
  std::string s = buf;
  for (char& ch : s)
    if (ch == '.') ch = decimalSeparator;
  return s;
}

std::string FileNamePart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPart(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

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

TFileList::TFileList(TProbe probe, char decimalSeparator) : probe_(std::move(probe)), separator_(decimalSeparator) {}

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
  if (index == 0) UpdateDifferences();
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
  if (index == 0 || newIndex == 0) UpdateDifferences();
  return newIndex;
}

void TFileList::UpdateItemDifferences(int index) {
  if (rows_.empty() || index < 0 || index >= Count()) return;
  // A copy of the first row leads the pair: it is compared, not changed.
  TVideoFileInfo first = rows_.front().Info;
  std::vector<TVideoFileInfo*> pair = {&first, &rows_[static_cast<size_t>(index)].Info};
  UpdateDifferenceFlags(pair);
}

void TFileList::UpdateDifferences() {
  for (int i = 0; i < Count(); ++i) UpdateItemDifferences(i);
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
