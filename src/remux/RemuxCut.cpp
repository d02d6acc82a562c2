// Key-frame cuts of one input of a container copy.
#include "remux/RemuxCut.h"

#include <cmath>

#include "base/Names.h"

namespace vantrel {

namespace {

constexpr AVRational kMicro = {1, AV_TIME_BASE};
// Packets held while the in-point's key frame is not known yet: a GOP of
// any sensible length with its sound.
constexpr size_t kMostHeld = 8192;
// After the out-point's key frame, sound interleaved up to this far behind
// the picture is still taken.
constexpr int64_t kLateSoundUs = 2 * AV_TIME_BASE;

int64_t Micro(double seconds) { return std::llround(seconds * AV_TIME_BASE); }

}  // namespace

TKeyFrameCut::TKeyFrameCut(AVFormatContext* in, double inSeconds, double outSeconds)
    : in_(in),
      inUs_(Micro(std::max(0.0, inSeconds))),
      outUs_(outSeconds < 0 ? -1 : Micro(outSeconds)),
      phase_(inSeconds > 0 ? TPhase::Before : TPhase::Pass) {
  video_ = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  // Times count from the first picture, as a player's position does; the
  // sound's encoder delay may start the file a little earlier.
  const AVStream* v = video_ >= 0 ? in->streams[video_] : nullptr;
  if (v && v->start_time != AV_NOPTS_VALUE)
    origin_ = av_rescale_q(v->start_time, v->time_base, kMicro);
  else
    origin_ = in->start_time != AV_NOPTS_VALUE ? in->start_time : 0;
  // Without a picture to find key frames in, nothing is cut.
  if (video_ < 0) phase_ = TPhase::Pass, outUs_ = -1;
}

int64_t TKeyFrameCut::TimeOf(const AVPacket* pkt) const {
  const int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
  if (t == AV_NOPTS_VALUE || pkt->stream_index < 0 || pkt->stream_index >= static_cast<int>(in_->nb_streams))
    return INT64_MIN;
  return av_rescale_q(t, in_->streams[pkt->stream_index]->time_base, kMicro) - origin_;
}

void TKeyFrameCut::Begin(int64_t at) {
  startUs_ = at;
  phase_ = TPhase::Pass;
  // What was held from the key frame on is kept, the picture whole and the
  // sound from the key frame's time.
  for (av::PacketPtr& p : held_) {
    const int64_t t = TimeOf(p.get());
    if (IsVideo(p.get()) || (t != INT64_MIN && t >= at)) ready_.push_back(std::move(p));
  }
  held_.clear();
}

int TKeyFrameCut::Read(AVPacket* pkt) {
  for (;;) {
    if (!ready_.empty()) {
      av_packet_move_ref(pkt, ready_.front().get());
      ready_.pop_front();
      return 0;
    }
    if (ended_) return AVERROR_EOF;
    const int rc = av_read_frame(in_, pkt);
    if (rc < 0) {
      if (FileEnded()) continue;
      return rc;
    }
    const bool now = phase_ == TPhase::Before ? TakeBefore(pkt) : phase_ == TPhase::Pass ? TakeBetween(pkt) : TakeAfter(pkt);
    if (now) return 0;
  }
}

bool TKeyFrameCut::FileEnded() {
  // No key frame after the out-point: the cut runs to the end, with the
  // sound held back.
  if (!late_.empty()) {
    for (av::PacketPtr& p : late_) ready_.push_back(std::move(p));
    late_.clear();
    ended_ = true;
    return true;
  }
  // The file ended before a picture after the in-point: what was held from
  // its last key frame is the cut.
  if (phase_ == TPhase::Before && !held_.empty() && startUs_ != INT64_MIN) {
    Begin(startUs_);
    ended_ = true;
    return true;
  }
  return false;
}

void TKeyFrameCut::Hold(std::deque<av::PacketPtr>& into, AVPacket* pkt) {
  into.push_back(av::NewPacket());
  av_packet_move_ref(into.back().get(), pkt);
}

bool TKeyFrameCut::TakeBefore(AVPacket* pkt) {
  const bool video = IsVideo(pkt), key = video && (pkt->flags & AV_PKT_FLAG_KEY);
  const int64_t t = TimeOf(pkt);
  if (key && t != INT64_MIN && t <= inUs_) {
    // A later key frame before the in-point: what came before it goes, but
    // for sound of its time or later (interleaved ahead of it).
    std::deque<av::PacketPtr> kept;
    for (av::PacketPtr& p : held_) {
      const int64_t pt = TimeOf(p.get());
      if (!IsVideo(p.get()) && pt != INT64_MIN && pt >= t) kept.push_back(std::move(p));
    }
    held_.swap(kept);
    startUs_ = t;
  } else if (video && t != INT64_MIN && t > inUs_ && (startUs_ != INT64_MIN || key)) {
    // The picture has passed the in-point: its key frame is final (or,
    // with none before it, this one starts the cut).
    if (startUs_ == INT64_MIN) startUs_ = t;
    Hold(held_, pkt);
    Begin(startUs_);
    return false;
  } else if (video && startUs_ == INT64_MIN) {
    av_packet_unref(pkt);  // a picture before any key frame: undecodable
    return false;
  }
  Hold(held_, pkt);
  if (held_.size() > kMostHeld) {
    // A GOP longer than any sensible one: the cut starts at its key frame
    // rather than holding more; without one yet, the oldest sound goes.
    if (startUs_ != INT64_MIN) Begin(startUs_);
    else held_.pop_front();
  }
  return false;
}

bool TKeyFrameCut::TakeBetween(AVPacket* pkt) {
  const bool video = IsVideo(pkt), key = video && (pkt->flags & AV_PKT_FLAG_KEY);
  const int64_t t = TimeOf(pkt);
  if (key && outUs_ >= 0 && t != INT64_MIN && t >= outUs_) {
    endUs_ = t;
    phase_ = TPhase::End;
    av_packet_unref(pkt);
    // The sound held back is kept up to the key frame's time.
    for (av::PacketPtr& p : late_)
      if (TimeOf(p.get()) < endUs_) ready_.push_back(std::move(p));
    late_.clear();
    return false;
  }
  if (video || t == INT64_MIN) return true;
  // Muxers interleave by decoding time, so sound can come after the
  // picture shown with it, or ahead of it. Sound from before the start's
  // key frame goes; sound past the out-point waits for the key frame that
  // ends the cut.
  if (startUs_ != INT64_MIN && t < startUs_) {
    av_packet_unref(pkt);
    return false;
  }
  if (outUs_ >= 0 && t >= outUs_) {
    Hold(late_, pkt);
    if (late_.size() > kMostHeld) {
      ready_.push_back(std::move(late_.front()));
      late_.pop_front();
    }
    return false;
  }
  return true;
}

bool TKeyFrameCut::TakeAfter(AVPacket* pkt) {
  // After the out-point's key frame: only sound from before it.
  const int64_t t = TimeOf(pkt);
  if (!IsVideo(pkt) && t != INT64_MIN && t < endUs_) return true;
  if (t != INT64_MIN && t >= endUs_ + kLateSoundUs) ended_ = true;
  av_packet_unref(pkt);
  return false;
}

double TKeyFrameCut::Start() const {
  return startUs_ == INT64_MIN ? 0.0 : static_cast<double>(startUs_) / AV_TIME_BASE;
}

double TKeyFrameCut::End() const { return endUs_ == INT64_MIN ? -1.0 : static_cast<double>(endUs_) / AV_TIME_BASE; }

std::string TKeyFrameCut::StartNote() const {
  if (inUs_ == 0 || startUs_ == INT64_MIN || std::llabs(startUs_ - inUs_) < 1000) return "";
  const double in = static_cast<double>(inUs_) / AV_TIME_BASE;
  return "starts at " + FormatCutTime(Start()) + ", the key frame " + (startUs_ < inUs_ ? "before " : "after ") +
         FormatCutTime(in);
}

std::string TKeyFrameCut::EndNote() const {
  if (outUs_ < 0 || std::llabs(endUs_ - outUs_) < 1000) return "";
  const double out = static_cast<double>(outUs_) / AV_TIME_BASE;
  if (endUs_ == INT64_MIN) return "ends at its end, the last key frame being before " + FormatCutTime(out);
  return "ends at " + FormatCutTime(End()) + ", the key frame after " + FormatCutTime(out);
}

}  // namespace vantrel
