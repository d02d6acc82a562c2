// The audio path of a recompressing join: each source's sound decoded and
// resampled to the output's format, spans without sound filled with
// silence, handed to the encoder in whole encoder frames.
#pragma once

#include <atomic>
#include <cstdint>

#include "recompress/Muxer.h"
#include "recompress/Timeline.h"
#include "ffmpeg/AvOwners.h"

namespace vantrel {

class TAudioPath {
 public:
  // samplesDone counts the samples handed to the encoder, at most
  // totalSamples; stop is polled before every encoder frame.
  TAudioPath(TMuxer& muxer, int64_t totalSamples, const std::atomic<bool>& stop, std::atomic<int64_t>& samplesDone);

  // Writes up to `want` samples of the source's sound; returns how many
  // (0 for a source without sound).
  int64_t RenderSource(const TTimelineSource& source, int64_t want);
  void Silence(int64_t count);
  // Hands the rest to the encoder (padded with silence where it needs full
  // frames) and drains it.
  void Finish();

 private:
  // Hands whole encoder frames from the FIFO to the encoder; with last, the
  // remainder too.
  void Drain(bool last);

  TMuxer& muxer_;
  AVCodecContext* enc_;
  int64_t total_samples_;
  int rate_, channels_;
  int64_t tolerance_;
  const std::atomic<bool>& stop_;
  std::atomic<int64_t>& samples_done_;
  av::FifoPtr fifo_;
  int64_t sent_ = 0;  // samples handed to the encoder
  int frame_size_;
};

}  // namespace vantrel
