// One input of a container copy cut at key frames: from the last video key
// frame at or before the in-point to the first one at or after the
// out-point, every packet between copied as it is.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "ffmpeg/AvOwners.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace vantrel {

class TKeyFrameCut {
 public:
  // In and out in seconds of the file (from its first picture); out < 0: to
  // its end.
  TKeyFrameCut(AVFormatContext* in, double inSeconds, double outSeconds);

  // av_read_frame, less the packets outside the cut: AVERROR_EOF once the
  // out-point's key frame and the sound before it have passed.
  int Read(AVPacket* pkt);

  // Where the kept part starts and ends, in seconds of the file; the end
  // is < 0 while the cut runs to the file's end.
  double Start() const;
  double End() const;
  // What the cuts became, for the report ("starts at 00:01.000, the key
  // frame before 00:01.500"); empty where a cut fell on a key frame.
  std::string StartNote() const;
  std::string EndNote() const;

 private:
  enum class TPhase { Before, Pass, End };
  int64_t TimeOf(const AVPacket* pkt) const;  // microseconds of the file, or INT64_MIN
  bool IsVideo(const AVPacket* pkt) const { return pkt->stream_index == video_; }
  void Begin(int64_t at);  // the key frame where the kept part starts
  // What to do with a packet read in each phase: true to hand it out now;
  // otherwise it was held or dropped.
  bool TakeBefore(AVPacket* pkt);
  bool TakeBetween(AVPacket* pkt);
  bool TakeAfter(AVPacket* pkt);
  // At the file's end: true when packets held are now to be handed out.
  bool FileEnded();
  static void Hold(std::deque<av::PacketPtr>& into, AVPacket* pkt);

  AVFormatContext* in_;
  int video_ = -1;
  int64_t origin_ = 0;  // the first picture's time, microseconds
  int64_t inUs_, outUs_;
  int64_t startUs_ = INT64_MIN, endUs_ = INT64_MIN;
  TPhase phase_;
  bool ended_ = false;
  std::deque<av::PacketPtr> held_;   // read before the start is known
  std::deque<av::PacketPtr> late_;   // sound past the out-point, until its key frame
  std::deque<av::PacketPtr> ready_;  // kept, to hand out
};

}  // namespace vantrel
