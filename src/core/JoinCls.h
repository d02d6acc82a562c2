// The join job: turns the ordered file list and the join options into one run
// of one engine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/FileInfo.h"
#include "core/Progress.h"

namespace vantrel {

// What the front end hands the job: the files in join order with their probe
// results, and the options of the join options dialog.
struct TJoinOptions {
  std::vector<TVideoFileInfo> Files;
  std::string OutputFileName;
  bool JoinWithoutRecompression = true;
  bool JoinWithoutSound = false;
  // MPEG-1 only: shift clock references and time stamps so that every file
  // continues the previous one. The desktop application keeps it off.
  bool CorrectTimeStamps = false;

  // Recompression only.
  int FrameWidth = 320;
  int FrameHeight = 240;
  std::string FrameRateText = "25.00";  // the frame-rate box's text
  char DecimalSeparator = '.';
  int ResizeMethodIndex = 0;  // "Letterbox", "Crop", "Stretch", "No resize"
  std::vector<std::string> VideoCompressors;  // monikers, in the list's order
  int VideoCompressorIndex = -1;
  std::vector<std::string> AudioCompressors;  // entry 0 is "No-compressing"
  int AudioCompressorIndex = -1;
};

// What a recompressing join is given: the files, the output and the settings
// of the join options dialog, resolved.
struct TRecompressRequest {
  std::vector<std::string> Files;
  std::string OutputFileName;
  int FrameWidth = 320;
  int FrameHeight = 240;
  double FrameRate = 24.0;
  int ResizeMethod = -1;  // rmStretch .. rmNoResize, -1: the engine's default
  std::vector<std::string> VideoCompressors;
  int VideoCompressorIndex = -1;
  std::vector<std::string> AudioCompressors;
  int AudioCompressorIndex = -1;
  // Percent done; set cancel to stop.
  std::function<void(bool& cancel, double percent)> OnProgress;
};
// The recompressing joiner, installed by the media services.
using TRecompressingJoin = std::function<void(const TRecompressRequest&)>;
void SetRecompressingJoin(TRecompressingJoin join);

// Text to double with the given decimal separator; raises EConvertError
// "'<text>' is not a valid floating point value".
double StrToFloat(const std::string& text, char decimalSeparator = '.');
// The resize method for an item index of the dialog's list; -1 for none.
int ResizeMethodOfItem(int itemIndex);

class TJoinWrapper {
 public:
  explicit TJoinWrapper(const TJoinOptions& options) : options_(options) {}
  void Execute();
  void JoinAVI();
  void JoinMPEG(double frameRate);
  void JoinWithRecompression();
  void FillFileList(std::vector<std::string>& list) const;

 private:
  void CheckOutputIsNotAnInput() const;
  void DSProgress(bool& cancel, double percent);
  const TJoinOptions& options_;
  IProgress* progress_ = nullptr;
};

// Runs one join to its end; returns on success and on cancel, raises on
// failure with the message to show after "Join fails: ".
void RunJoin(const TJoinOptions& options);

}  // namespace vantrel
