// The recompressing joiner: lays the inputs end to end on a timeline of one
// video and one audio group and renders it through the chosen compressors
// into one AVI file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dshow/Compressors.h"
#include "dshow/MediaServices.h"

namespace vantrel {

enum TResizeMethod : uint8_t { rmStretch = 0, rmCrop = 1, rmLetterbox = 2, rmNoResize = 3 };

// The stretch mode a resize method gives each video source; -1 for a value
// outside the four (the services' default then applies).
int StretchModeOf(int resizeMethod);

struct TDSMediaInfo {
  double Duration = 0;  // the last video stream's length; 0 without video
  bool HasVideo = false;
  bool HasAudio = false;
  int Width = 0;
  int Height = 0;
  double FrameRate = 0;
};
TDSMediaInfo ProbeMediaFile(const std::string& fileName);

class TDSVideoJoiner {
 public:
  // Sender, Cancel (set to stop), Percent.
  using TProgressEvent = std::function<void(TDSVideoJoiner& sender, bool& cancel, double percent)>;

  std::vector<std::string> Files;
  std::string OutputFileName;
  int FrameWidth = 320;
  int FrameHeight = 240;
  double FrameRate = 24.0;
  int ResizeMethod = rmLetterbox;
  TProgressEvent OnProgress;
  std::shared_ptr<TCompressorFilter> VideoCompressor;
  std::shared_ptr<TCompressorFilter> AudioCompressor;
  // Milliseconds between progress reports.
  int PollInterval = 300;

  // Probes every input (failing before the output is touched), empties the
  // output, renders, and returns when done or cancelled; raises on failure,
  // after finishing the output as far as it was written.
  void Join();

  const TTimeline& Timeline() const { return timeline_; }
  bool WasCancelled() const { return cancelled_; }

 private:
  void BuildTimeline();
  void AddSourceFile(const std::string& fileName);
  void CheckOutputFile();
  void RenderToFile(const std::string& fileName);

  TTimeline timeline_;
  double position_ = 0;
  bool cancelled_ = false;
};

}  // namespace vantrel
