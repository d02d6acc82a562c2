// Media services of the recompressing join: the timeline rendered through
// the video and audio paths and the chosen encoders into one file of the chosen container. The
// render runs on two worker threads, one per group; the caller polls it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "recompress/Compressors.h"
#include "recompress/Timeline.h"
#include "recompress/VideoPath.h"

namespace vantrel {

class TRenderEngine {
 public:
  // video/audio: the compressors; null writes raw BGR24 / 16-bit PCM.
  // container: the output's muxer ("avi").
  TRenderEngine(TTimeline timeline, std::string outputFile, std::shared_ptr<TCompressorFilter> video,
                std::shared_ptr<TCompressorFilter> audio, std::string container = "avi");
  ~TRenderEngine();
  TRenderEngine(const TRenderEngine&) = delete;
  TRenderEngine& operator=(const TRenderEngine&) = delete;

  // Opens the encoders and the output and starts the workers; raises with
  // the cause when that fails (nothing runs then).
  void Run();
  // Waits up to ms milliseconds; true when the render has ended (finished,
  // stopped or failed).
  bool WaitForCompletion(int ms);
  // Timeline seconds rendered so far (the slower of the two groups).
  double CurrentPosition() const;
  // Asks the workers to stop and waits for them.
  void Stop();
  // Ends the file (index and headers) after the workers are done; raises
  // the first failure of the render, if any.
  void Finish();
  // A write to the output failed: the file is incomplete.
  bool OutputIncomplete() const;
  // The output was begun (its header written).
  bool Started() const;
  // The video encoder's set-up (its extradata: H.264's SPS and PPS, Annex B
  // or a record as the encoder gives it) once the output was begun.
  std::vector<uint8_t> VideoSets() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel
