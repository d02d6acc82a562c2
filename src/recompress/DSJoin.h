// The recompressing joiner: lays the inputs end to end on a timeline of one
// video and one audio group and renders it through the chosen compressors
// into one file of the container the plan names (AVI, MP4, MOV, Matroska,
// WebM), or into a smart join's part file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/PosixFile.h"
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
// The same on a file already open, which it takes.
TDSMediaInfo ProbeMediaFile(TFile file, const std::string& fileName);

// FrameWidth, FrameHeight, FrameRate and ResizeMethod, with their defaults,
// are the recompression settings it derives from.
class TDSVideoJoiner : public TRecompressSettings {
 public:
  // Sender, Cancel (set to stop), Percent.
  using TProgressEvent = std::function<void(TDSVideoJoiner& sender, bool& cancel, double percent)>;

  std::vector<std::string> Files;
  // By file, the part joined in seconds of the file (out < 0: to its end),
  // cut at the frame; missing: the whole file.
  std::vector<std::pair<double, double>> Spans;
  // What the join knows of each input already, in the order of Files: when
  // given for every file, the inputs are not probed again, only opened
  // (once each: the video and sound decoders read the same opening).
  std::vector<TDSMediaInfo> Described;
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
  // A chapter per input, named after its file (MP4, Matroska, WebM).
  bool Chapters = false;
  // The output is read once by another join and then removed: it is not
  // created ahead to see that it can be, nor its index moved to the front.
  bool Intermediate = false;
  // The sound's rate and channels as given, whatever the inputs' (0:
  // 44.1 kHz; mono or stereo as above). An output without any
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
  // The video encoder's set-up as it began the output (see
  // TRenderEngine::VideoSets).
  const std::vector<uint8_t>& VideoSets() const { return video_sets_; }

 private:
  void BuildTimeline();
  void AddSourceFile(const std::string& fileName, size_t index);
  // The input opened once for the join; one that cannot be opened is named.
  static std::shared_ptr<const TFile> OpenSource(const std::string& fileName);
  void CheckOutputFile();
  void RenderToFile(const std::string& fileName);
  void RunEngine(TRenderEngine& engine);

  TTimeline timeline_;
  double position_ = 0;
  bool allMono_ = true;  // every input with sound has mono sound
  bool cancelled_ = false;
  double rendered_ = 0;
  std::vector<uint8_t> video_sets_;
};

}  // namespace vantrel
