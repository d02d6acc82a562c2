// Media services of the recompressing join: a timeline of a video group and
// an audio group, each with one track of sources laid end to end, rendered
// through decoders, scaling, frame-rate conversion, resampling and the
// chosen encoders into one AVI file by libavformat's muxer. The render runs
// on worker threads; the caller polls it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dshow/Compressors.h"

namespace vantrel {

// How a video source is fitted into the group's frame.
enum TStretchMode : int {
  RESIZEF_STRETCH = 0,                         // whole picture to the whole frame
  RESIZEF_CROP = 1,                            // no scaling, centred, cut or black bands
  RESIZEF_PRESERVEASPECTRATIO = 2,             // fit, black bands
  RESIZEF_PRESERVEASPECTRATIO_NOLETTERBOX = 3  // cover, what overhangs is cut
};

struct TTimelineSource {
  std::string MediaName;
  double TStart = 0;  // timeline span, seconds
  double TStop = 0;
  double MStart = 0;  // media span, seconds
  double MStop = 0;
  int StretchMode = -1;  // -1: none set (stretch)
};

struct TTimeline {
  // Video group: uncompressed frames of this size at this rate.
  int Width = 320;
  int Height = 240;
  double OutputFPS = 24;
  std::vector<TTimelineSource> VideoTrack;
  // Audio group: 16-bit stereo PCM at 44100 Hz.
  std::vector<TTimelineSource> AudioTrack;

  // End of the last source of either track, seconds.
  double Duration() const;
};

// Where a stretch mode puts a source picture: the part of the source taken
// and the rectangle of the frame it fills (the rest of the frame is black).
struct TPlacement {
  int SrcX = 0, SrcY = 0, SrcW = 0, SrcH = 0;
  int DstX = 0, DstY = 0, DstW = 0, DstH = 0;
};
// alignX/alignY: positions and sizes are kept multiples of these (chroma
// subsampling of the frame's pixel format).
TPlacement PlaceSource(int srcW, int srcH, int dstW, int dstH, int stretchMode, int alignX = 1, int alignY = 1);

class TRenderEngine {
 public:
  // video/audio: the compressors; null writes raw BGR24 / 16-bit PCM.
  TRenderEngine(TTimeline timeline, std::string outputFile, std::shared_ptr<TCompressorFilter> video,
                std::shared_ptr<TCompressorFilter> audio);
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

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel
