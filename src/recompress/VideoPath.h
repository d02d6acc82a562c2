// The video path of a recompressing join: each source decoded, fitted into
// the output frame by its resize method and sampled at the output frame
// rate; frames without a picture are black.
#pragma once

#include <atomic>
#include <cstdint>

#include "recompress/Muxer.h"
#include "recompress/Timeline.h"
#include "ffmpeg/AvOwners.h"

namespace vantrel {

// Where a resize method puts a source picture: the part of the source taken
// and the rectangle of the frame it fills (the rest of the frame is black).
struct TPlacement {
  int SrcX = 0, SrcY = 0, SrcW = 0, SrcH = 0;
  int DstX = 0, DstY = 0, DstW = 0, DstH = 0;
};
// alignX/alignY: positions and sizes are kept multiples of these (chroma
// subsampling of the frame's pixel format).
TPlacement PlaceSource(int srcW, int srcH, int dstW, int dstH, TResizeMethod method, int alignX = 1, int alignY = 1);

class TVideoPath {
 public:
  // Frames go to the muxer's video encoder; framesDone counts them; stop is
  // polled before every frame.
  TVideoPath(TMuxer& muxer, int width, int height, AVRational fps, const std::atomic<bool>& stop,
             std::atomic<int64_t>& framesDone);

  // Output frames n0 .. n1-1 from the source; its picture at each frame's
  // time (the source frame nearest to it), black where it has none.
  void RenderSource(const TTimelineSource& source, int64_t n0, int64_t n1);
  void EmitBlack(int64_t n);
  // Drains the encoder.
  void Finish();

 private:
  av::FramePtr NewOutputFrame() const;
  void Convert(const AVFrame* src, TResizeMethod method, int rotation, AVRational sar);
  void Emit(AVFrame* f, int64_t n);

  TMuxer& muxer_;
  int width_, height_;
  AVRational fps_;
  AVPixelFormat pix_fmt_;
  const std::atomic<bool>& stop_;
  std::atomic<int64_t>& frames_done_;
  av::SwsPtr sws_;
  av::SwsPtr turn_sws_;
  av::FramePtr out_;  // the converted picture, reused while the source frame repeats
  av::FramePtr black_;
};

}  // namespace vantrel
