// Audio path of the recompressing join.
#include "recompress/AudioPath.h"

#include <algorithm>
#include <cmath>

#include "base/Exceptions.h"
#include "recompress/SourceDecoder.h"

namespace vantrel {
namespace {

// Samples of an uncompressed encoder frame, and of a block of silence.
constexpr int kPcmFrame = 4096;
constexpr int kSilenceBlock = 4096;

// Sample buffers from av_samples_alloc_array_and_samples.
struct SampleBuffers {
  uint8_t** data = nullptr;
  ~SampleBuffers() {
    if (data) {
      av_freep(&data[0]);
      av_freep(&data);
    }
  }
};

}  // namespace

TAudioPath::TAudioPath(TMuxer& muxer, int64_t totalSamples, const std::atomic<bool>& stop,
                       std::atomic<int64_t>& samplesDone)
    : muxer_(muxer),
      enc_(muxer.AudioEncoder()),
      total_samples_(totalSamples),
      rate_(enc_->sample_rate),
      channels_(enc_->ch_layout.nb_channels),
      // Sound within 10 ms of where its stamp places it follows on unchanged.
      tolerance_(rate_ / 100),
      stop_(stop),
      samples_done_(samplesDone),
      fifo_(av_audio_fifo_alloc(enc_->sample_fmt, channels_, rate_)),
      frame_size_(enc_->frame_size > 0 ? enc_->frame_size : kPcmFrame) {
  if (!fifo_) throw Exception("Out of memory");
}

void TAudioPath::Silence(int64_t count) {
  SampleBuffers b;
  int lines = 0;
  if (av_samples_alloc_array_and_samples(&b.data, &lines, channels_, kSilenceBlock, enc_->sample_fmt, 0) < 0)
    throw Exception("Out of memory");
  av_samples_set_silence(b.data, 0, kSilenceBlock, channels_, enc_->sample_fmt);
  while (count > 0) {
    int n = static_cast<int>(std::min<int64_t>(count, kSilenceBlock));
    if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(b.data), n) < n) throw Exception("Out of memory");
    count -= n;
    Drain(false);
  }
}

void TAudioPath::Drain(bool last) {
  for (;;) {
    if (stop_) throw TRenderStopped();
    int avail = av_audio_fifo_size(fifo_.get());
    if (avail == 0 || (avail < frame_size_ && !last)) return;
    int n = std::min(avail, frame_size_);
    av::FramePtr f = av::NewFrame();
    // Encoders of fixed frames get whole ones, the last padded with
    // silence: a short last frame would share its time in AVI (which times
    // such sound by frames) with the frame before. Where packets carry
    // their own times and the encoder takes it, the last frame is as short
    // as the sound: padded, the sound would end after the picture, and a
    // copy joining the file after others would start the next file late.
    const bool shortLast = muxer_.TimesPackets() && (enc_->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    f->nb_samples = n < frame_size_ && enc_->frame_size > 0 && !shortLast ? frame_size_ : n;
    f->format = enc_->sample_fmt;
    f->sample_rate = rate_;
    av_channel_layout_copy(&f->ch_layout, &enc_->ch_layout);
    if (av_frame_get_buffer(f.get(), 0) < 0) throw Exception("Out of memory");
    av_samples_set_silence(f->data, 0, f->nb_samples, channels_, enc_->sample_fmt);
    av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(f->data), n);
    f->pts = sent_;
    sent_ += f->nb_samples;
    muxer_.EncodeAudio(f.get());
    samples_done_ = std::min(sent_, total_samples_);
  }
}

int64_t TAudioPath::RenderSource(const TTimelineSource& src, int64_t want) {
  TSourceDecoder dec;
  if (!dec.Open(src.MediaName, AVMEDIA_TYPE_AUDIO, src.File.get())) return 0;
  const AVCodecContext* in_ctx = dec.Codec();
  SwrContext* raw = nullptr;
  AVChannelLayout inLayout{};  // zeroed: the copy below frees what it holds first
  if (in_ctx->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_default(&inLayout, in_ctx->ch_layout.nb_channels);
  else
    av_channel_layout_copy(&inLayout, &in_ctx->ch_layout);
  int rc = swr_alloc_set_opts2(&raw, &enc_->ch_layout, enc_->sample_fmt, rate_, &inLayout,
                               in_ctx->sample_fmt, in_ctx->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  av::SwrPtr swr(raw);
  if (rc < 0 || (rc = swr_init(raw)) < 0) av::Fail("Unable to convert the sound of " + src.MediaName, rc);
  av::FramePtr in = av::NewFrame();
  const int bytesPerSample = av_get_bytes_per_sample(enc_->sample_fmt);
  const bool planar = av_sample_fmt_is_planar(enc_->sample_fmt);
  int64_t written = 0;  // samples of the span placed so far
  bool flushedSwr = false;
  while (written < want && !flushedSwr) {
    if (stop_) throw TRenderStopped();
    bool got = dec.Next(in.get());
    // Where the sound converted now belongs in the span: the frame's time,
    // less what the converter still holds.
    int64_t at = -1;
    bool timed = false;
    if (got) {
      const double t = dec.TimeOf(in.get()) - src.MStart;
      if (!std::isnan(t)) {
        at = std::llround(t * rate_) - swr_get_delay(swr.get(), rate_);
        timed = true;
      }
    }
    av::FramePtr out = av::NewFrame();
    out->format = enc_->sample_fmt;
    out->sample_rate = rate_;
    av_channel_layout_copy(&out->ch_layout, &enc_->ch_layout);
    if (got) {
      // A change of format inside the stream: start the converter anew.
      rc = swr_convert_frame(swr.get(), out.get(), in.get());
      if (rc == AVERROR_INPUT_CHANGED) {
        swr_close(swr.get());
        rc = swr_config_frame(swr.get(), out.get(), in.get());
        if (rc >= 0) rc = swr_convert_frame(swr.get(), out.get(), in.get());
      }
    } else {
      rc = swr_convert_frame(swr.get(), out.get(), nullptr);
      flushedSwr = true;
    }
    av_frame_unref(in.get());
    if (rc < 0) av::Fail("Unable to convert the sound of " + src.MediaName, rc);
    // As a player does: a gap before the sound is silence, sound that
    // overlaps what was placed (or comes before the picture) is dropped;
    // differences within the tolerance are the stamps' rounding.
    int64_t skip = 0;
    if (timed && at > written + tolerance_) {
      const int64_t gap = std::min(at - written, want - written);
      Silence(gap);
      written += gap;
    } else if (timed && at < written - tolerance_) {
      skip = std::min<int64_t>(written - at, out->nb_samples);
    }
    const int64_t n = std::min<int64_t>(out->nb_samples - skip, want - written);
    if (n > 0) {
      uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
      const int64_t step = skip * bytesPerSample * (planar ? 1 : channels_);
      for (int p = 0; p < (planar ? channels_ : 1); ++p) planes[p] = out->data[p] + step;
      if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), static_cast<int>(n)) < n)
        throw Exception("Out of memory");
      written += n;
      Drain(false);
    }
  }
  return written;
}

void TAudioPath::Finish() {
  Drain(true);
  muxer_.EncodeAudio(nullptr);
}

}  // namespace vantrel
