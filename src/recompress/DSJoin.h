// The recompressing joiner: lays the inputs end to end on a timeline of one
// video and one audio group and renders it through the chosen compressors
// into one AVI file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "recompress/Compressors.h"
#include "recompress/MediaServices.h"
#include "recompress/RecompressSettings.h"

namespace vantrel {

struct TDSMediaInfo {
  double Duration = 0;  // the last video stream's length; 0 without video
  bool HasVideo = false;
  bool HasAudio = false;
  int Channels = 0;  // of the last sound stream
  int Width = 0;
  int Height = 0;
  double FrameRate = 0;
};
TDSMediaInfo ProbeMediaFile(const std::string& fileName);

// FrameWidth, FrameHeight, FrameRate and ResizeMethod, with their defaults,
// are the recompression settings it derives from.
class TDSVideoJoiner : public TRecompressSettings {
 public:
  // Sender, Cancel (set to stop), Percent.
  using TProgressEvent = std::function<void(TDSVideoJoiner& sender, bool& cancel, double percent)>;

  std::vector<std::string> Files;
  std::string OutputFileName;
  TProgressEvent OnProgress;
  std::shared_ptr<TCompressorFilter> VideoCompressor;
  std::shared_ptr<TCompressorFilter> AudioCompressor;
  // Milliseconds between progress reports.
  int PollInterval = 300;
  // The output's container, as libavformat names its muxer.
  std::string Container = "avi";
  // Sound in mono when every input's sound is (not for AVI, whose sound is
  // stereo), else stereo.
  bool MonoWhenAllMono = false;
  // The sound's rate and channels as given, whatever the inputs' (0: the
  // container's rate; mono or stereo as above). An output without any
  // input's sound still gets a sound stream, of silence, when a sound
  // compressor is set.
  int SampleRate = 0;
  int Channels = 0;

  // Probes every input (failing before the output is touched), empties the
  // output, renders, and returns when done or cancelled; raises on failure,
  // after finishing the output as far as it was written.
  void Join();

  const TTimeline& Timeline() const { return timeline_; }
  bool WasCancelled() const { return cancelled_; }
  // Timeline seconds rendered when the render ended.
  double Rendered() const { return rendered_; }

 private:
  void BuildTimeline();
  void AddSourceFile(const std::string& fileName, size_t index);
  void CheckOutputFile();
  void RenderToFile(const std::string& fileName);
  void RunEngine(TRenderEngine& engine);

  TTimeline timeline_;
  double position_ = 0;
  bool allMono_ = true;  // every input with sound has mono sound
  bool cancelled_ = false;
  double rendered_ = 0;
};

}  // namespace vantrel
