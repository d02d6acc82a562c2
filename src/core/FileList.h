// The file list without widgets: rows with their seven cell texts and probe
// results, comparison with the first row, moves, totals and status texts.
// The desktop list view shows this model; the command line prints it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/FileInfo.h"

namespace vantrel {

// "mm:ss", or "h:mm:ss" from one hour; rounded to whole seconds, halves to even.
std::string FormatDuration(double seconds);
// The four characters of a FOURCC, lowest byte first; empty for 0.
std::string FourCCToString(uint32_t code);
// Two decimals when the rate has a fractional part, else the integer.
std::string FormatFrameRate(double rate, char decimalSeparator = '.');
// The name part of a path (after the last '/').
std::string FileNamePart(const std::string& path);
// The folder of a path without a trailing '/', except the root "/".
std::string FolderPart(const std::string& path);

enum TColumn { colFileName, colDuration, colType, colFrameSize, colFrameRate, colAudio, colFolder, kColumnCount };
extern const std::array<const char*, kColumnCount> kColumnCaptions;

using TRowTexts = std::array<std::string, kColumnCount>;
TRowTexts FormatRow(const TVideoFileInfo& info, char decimalSeparator = '.');

struct TFileListRow {
  TRowTexts Cells;
  TVideoFileInfo Info;
};

class TFileList {
 public:
  using TProbe = std::function<TVideoFileInfo(const std::string&)>;
  explicit TFileList(TProbe probe = [](const std::string& f) { return GetVideoFileInfo(f); },
                     char decimalSeparator = '.');

  // Probes and appends one file; raises what the probe raises, adding nothing.
  // The caller runs UpdateDifferences after a batch.
  void AddFile(const std::string& fileName);
  // The two steps of AddFile: the row of a probed file, and its append.
  TFileListRow ProbeRow(const std::string& fileName) const;
  void Append(TFileListRow row);
  void Delete(int index);
  void Clear();
  // Moves a row so that it ends up at newIndex (clamped to the list); the
  // rows between shift by one. Returns the row's new index. Recomputes the
  // differences when the first row changed.
  int MoveItem(int index, int newIndex);

  // The difference flags against the first row, as the join plan compares.
  void UpdateItemDifferences(int index);
  void UpdateDifferences();

  int Count() const { return static_cast<int>(rows_.size()); }
  const TFileListRow& Row(int index) const { return rows_[static_cast<size_t>(index)]; }
  const std::vector<TFileListRow>& Rows() const { return rows_; }
  double TotalDuration() const;
  std::vector<const TVideoFileInfo*> Infos() const;

 private:
  TProbe probe_;
  char separator_;
  std::vector<TFileListRow> rows_;
};

// What a finished join wrote: "Joined 3 files into /out.avi (01:02:13,
// 2.1 GB)"; after a cancel: "Cancelled: /out.avi holds the first 12:04".
// With verified, the output was read back and matched what was written:
// "(01:02:13, 2.1 GB, verified)".
std::string JoinedText(size_t files, const std::string& output, double seconds, int64_t bytes, bool verified = false);
std::string CancelledJoinText(const std::string& output, double seconds);
// "2.1 GB", "35.4 MB", "812 KB" (decimal units).
std::string SizeText(int64_t bytes);

// "%d/%d files added"
std::string FilesAddedText(int done, int total);
// The message for a file the probe rejected; when more files follow, it
// asks whether to go on.
std::string UnableToAddText(const std::string& fileName, const std::string& message, bool last);
// "2 of the project's 5 files were not added:"
std::string ProjectFilesNotAddedText(long long notAdded, long long total);
inline constexpr const char* kNotReadableVideo = "The file is not a video Vantrel can read, or it is damaged.";

struct TStatusTexts {
  std::string Panel0;
  std::string Panel1;
};
// The status bar for the list with the given row selected (-1: none).
TStatusTexts StatusBarTexts(const TFileList& list, int selected);

}  // namespace vantrel
