// The file list without widgets: rows with their seven cell texts and probe
// results, comparison with the first row, moves, totals and status texts.
// The desktop list view shows this model; the command line prints it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plan/JoinPlan.h"
#include "probe/FileInfo.h"

namespace vantrel {

enum TColumn { colFileName, colDuration, colType, colFrameSize, colFrameRate, colAudio, colFolder, kColumnCount };
extern const std::array<const char*, kColumnCount> kColumnCaptions;

using TRowTexts = std::array<std::string, kColumnCount>;
TRowTexts FormatRow(const TVideoFileInfo& info, char decimalSeparator = '.');
// The rows' texts with what the plan found to differ shown where a marked
// cell would otherwise read as the first row's ("44KHz Mono (8 bits)").
void ShowDifferences(std::vector<TRowTexts>& rows, const TJoinPlan& plan);

struct TFileListRow {
  TRowTexts Cells;
  TVideoFileInfo Info;
};

class TFileList {
 public:
  using TProbe = std::function<TVideoFileInfo(const std::string&)>;
  // encoders: what the plan of the listed files may use (a smart join needs
  // an encoder of the files' format).
  explicit TFileList(TProbe probe = [](const std::string& f) { return GetVideoFileInfo(f); },
                     char decimalSeparator = '.', const IEncoderCatalog& encoders = NoEncoders());

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
  // differences.
  int MoveItem(int index, int newIndex);

  // The marks from the plan of the listed files as they stand (no output
  // named yet): the difference flags and texts against the first row, and
  // the files a smart join would re-encode.
  void UpdateDifferences();
  // The marks from a plan of these rows made elsewhere (the join options
  // dialog's, with its output and settings).
  void ApplyPlan(const TJoinPlan& plan);
  const TJoinPlan& Plan() const { return plan_; }

  int Count() const { return static_cast<int>(rows_.size()); }
  const TFileListRow& Row(int index) const { return rows_[static_cast<size_t>(index)]; }
  const std::vector<TFileListRow>& Rows() const { return rows_; }
  double TotalDuration() const;
  std::vector<const TVideoFileInfo*> Infos() const;

 private:
  TProbe probe_;
  char separator_;
  const IEncoderCatalog& encoders_;
  std::vector<TFileListRow> rows_;
  TJoinPlan plan_;
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
