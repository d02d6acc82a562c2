// Decoding one source of a recompressing join.
#include "recompress/SourceDecoder.h"

#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/display.h>
}

#include "base/Exceptions.h"

namespace vantrel {

bool TSourceDecoder::Open(const std::string& name, AVMediaType type) {
  file_ = name;
  fmt_ = av::OpenInput(name);
  pkt_ = av::NewPacket();
  const AVCodec* codec = nullptr;
  stream_ = av_find_best_stream(fmt_.get(), type, -1, -1, &codec, 0);
  if (stream_ < 0 || !codec) return false;
  AVStream* st = fmt_->streams[stream_];
  ctx_.reset(avcodec_alloc_context3(codec));
  if (!ctx_) throw Exception("Out of memory");
  int rc = avcodec_parameters_to_context(ctx_.get(), st->codecpar);
  if (rc < 0) av::Fail("Unable to decode " + name, rc);
  ctx_->thread_count = 0;
  ctx_->pkt_timebase = st->time_base;
  rc = avcodec_open2(ctx_.get(), codec, nullptr);
  if (rc < 0) av::Fail("Unable to decode " + name, rc);
  // Every stream of a file is timed from the start of its picture, so that
  // sound that starts later than the picture keeps its place.
  const AVStream* clock = st;
  const int video = av_find_best_stream(fmt_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video >= 0 && fmt_->streams[video]->start_time != AV_NOPTS_VALUE) clock = fmt_->streams[video];
  if (clock->start_time != AV_NOPTS_VALUE)
    origin_ = static_cast<double>(clock->start_time) * av_q2d(clock->time_base);
  for (unsigned i = 0; i < fmt_->nb_streams; ++i)
    if (static_cast<int>(i) != stream_) fmt_->streams[i]->discard = AVDISCARD_ALL;
  rotation_ = type == AVMEDIA_TYPE_VIDEO ? StreamRotation(st) : 0;
  return true;
}

int StreamRotation(const AVStream* st) {
  size_t size = 0;
  const uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (!m || size < 9 * sizeof(int32_t)) return 0;
  // The matrix turns counterclockwise; players turn the picture back.
  const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(m));
  if (std::isnan(angle)) return 0;
  const int quarter = static_cast<int>(std::lround(angle / 90.0));
  return ((quarter % 4) + 4) % 4 * 90;
}

AVRational TSourceDecoder::SampleAspect(const AVFrame* f) const {
  AVRational sar = f->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = fmt_->streams[stream_]->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = fmt_->streams[stream_]->codecpar->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
  return sar;
}

bool TSourceDecoder::Next(AVFrame* f) {
  for (;;) {
    int rc = avcodec_receive_frame(ctx_.get(), f);
    if (rc == 0) return true;
    if (rc == AVERROR_EOF) {
      eof_ = true;
      return false;
    }
    if (rc != AVERROR(EAGAIN)) av::Fail("Unable to decode " + file_, rc);
    if (flushed_) {
      eof_ = true;
      return false;
    }
    rc = av_read_frame(fmt_.get(), pkt_.get());
    if (rc < 0) {
      // The end of the file, or a read error: decode what is buffered.
      avcodec_send_packet(ctx_.get(), nullptr);
      flushed_ = true;
      continue;
    }
    if (pkt_->stream_index == stream_) {
      rc = avcodec_send_packet(ctx_.get(), pkt_.get());
      // A damaged packet is skipped, as players do.
      if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA) {
        av_packet_unref(pkt_.get());
        av::Fail("Unable to decode " + file_, rc);
      }
    }
    av_packet_unref(pkt_.get());
  }
}

double TSourceDecoder::TimeOf(const AVFrame* f) const {
  int64_t t = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
  if (t == AV_NOPTS_VALUE) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(t) * av_q2d(fmt_->streams[stream_]->time_base) - origin_;
}

}  // namespace vantrel
