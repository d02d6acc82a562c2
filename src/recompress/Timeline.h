// The timeline of a recompressing join: a video group and an audio group,
// each with one track of sources laid end to end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/PosixFile.h"
#include "recompress/RecompressSettings.h"

namespace vantrel {

struct TTimelineSource {
  std::string MediaName;
  // The input, opened once by the join; each decoder of it reads through a
  // handle of its own on this opening. Null: opened by its name.
  std::shared_ptr<const TFile> File;
  size_t FileIndex = 0;  // the input's place in the join's list
  double TStart = 0;  // timeline span, seconds
  double TStop = 0;
  double MStart = 0;  // media span, seconds
  double MStop = 0;
  TResizeMethod ResizeMethod = rmStretch;  // video sources only
};

struct TTimeline {
  // Video group: uncompressed frames of this size at this rate.
  int Width = 320;
  int Height = 240;
  double OutputFPS = 24;
  std::vector<TTimelineSource> VideoTrack;
  // Audio group: 16-bit PCM at the output's rate, in this many channels.
  int Channels = 2;
  int SampleRate = 0;  // 0: 44.1 kHz
  std::vector<TTimelineSource> AudioTrack;
  // A chapter per video source, named after its file.
  bool Chapters = false;
  // MP4 and QuickTime: the index at the front, for players that read the
  // file as it downloads.
  bool FastStart = true;

  // End of the last source of either track, seconds.
  double Duration() const {
    double d = 0;
    for (const auto& s : VideoTrack) d = std::max(d, s.TStop);
    for (const auto& s : AudioTrack) d = std::max(d, s.TStop);
    return d;
  }
};

// Raised inside a render worker when the render was asked to stop.
struct TRenderStopped {};

}  // namespace vantrel
