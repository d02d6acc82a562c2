// Media services of the recompressing join, on FFmpeg's libraries.
#include "dshow/MediaServices.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <stdexcept>

#include "core/Exceptions.h"

namespace vantrel {
namespace {

constexpr int kSampleRate = 44100;
constexpr int kPcmFrame = 4096;

// ---- Owners of library objects.

struct InputDeleter {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoDeleter {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct OutputDeleter {
  void operator()(AVFormatContext* c) const {
    if (c->pb) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;

std::string AvError(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof buf);
  return buf;
}

[[noreturn]] void Fail(const std::string& what, int code) { throw Exception(what + ": " + AvError(code)); }

FramePtr NewFrame() {
  FramePtr f(av_frame_alloc());
  if (!f) throw Exception("Out of memory");
  return f;
}

// Raised inside a worker when the render was asked to stop.
struct Stopped {};

// An opened input with a decoder for its best stream of one kind.
struct Decoder {
  InputPtr fmt;
  CodecPtr ctx;
  int stream = -1;
  PacketPtr pkt{av_packet_alloc()};
  bool flushed = false;
  bool eof = false;
  double origin = 0;  // media time of the stream's start, seconds
  std::string file;

  // False when the file has no stream of that kind.
  bool Open(const std::string& name, AVMediaType type) {
    file = name;
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, name.c_str(), nullptr, nullptr);
    if (rc < 0) Fail("Unable to open " + name, rc);
    fmt.reset(raw);
    rc = avformat_find_stream_info(raw, nullptr);
    if (rc < 0) Fail("Unable to read " + name, rc);
    const AVCodec* codec = nullptr;
    stream = av_find_best_stream(raw, type, -1, -1, &codec, 0);
    if (stream < 0 || !codec) return false;
    AVStream* st = raw->streams[stream];
    ctx.reset(avcodec_alloc_context3(codec));
    if (!ctx) throw Exception("Out of memory");
    rc = avcodec_parameters_to_context(ctx.get(), st->codecpar);
    if (rc < 0) Fail("Unable to decode " + name, rc);
    ctx->thread_count = 0;
    ctx->pkt_timebase = st->time_base;
    rc = avcodec_open2(ctx.get(), codec, nullptr);
    if (rc < 0) Fail("Unable to decode " + name, rc);
    if (st->start_time != AV_NOPTS_VALUE) origin = static_cast<double>(st->start_time) * av_q2d(st->time_base);
    for (unsigned i = 0; i < raw->nb_streams; ++i)
      if (static_cast<int>(i) != stream) raw->streams[i]->discard = AVDISCARD_ALL;
    return true;
  }

  // The next decoded frame into f; false at the end of the stream.
  bool Next(AVFrame* f) {
    for (;;) {
      int rc = avcodec_receive_frame(ctx.get(), f);
      if (rc == 0) return true;
      if (rc == AVERROR_EOF) {
        eof = true;
        return false;
      }
      if (rc != AVERROR(EAGAIN)) Fail("Unable to decode " + file, rc);
      if (flushed) {
        eof = true;
        return false;
      }
      rc = av_read_frame(fmt.get(), pkt.get());
      if (rc < 0) {
        // The end of the file, or a read error: decode what is buffered.
        avcodec_send_packet(ctx.get(), nullptr);
        flushed = true;
        continue;
      }
      if (pkt->stream_index == stream) {
        rc = avcodec_send_packet(ctx.get(), pkt.get());
        // A damaged packet is skipped, as players do.
        if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA) {
          av_packet_unref(pkt.get());
          Fail("Unable to decode " + file, rc);
        }
      }
      av_packet_unref(pkt.get());
    }
  }

  double TimeOf(const AVFrame* f) const {
    int64_t t = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    if (t == AV_NOPTS_VALUE) return -1;
    return static_cast<double>(t) * av_q2d(fmt->streams[stream]->time_base) - origin;
  }
};

int AlignDown(int v, int a) { return a > 1 ? v / a * a : v; }

}  // namespace

double TTimeline::Duration() const {
  double d = 0;
  for (const auto& s : VideoTrack) d = std::max(d, s.TStop);
  for (const auto& s : AudioTrack) d = std::max(d, s.TStop);
  return d;
}

TPlacement PlaceSource(int srcW, int srcH, int dstW, int dstH, int mode, int alignX, int alignY) {
  TPlacement p;
  p.SrcW = srcW;
  p.SrcH = srcH;
  p.DstW = dstW;
  p.DstH = dstH;
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return p;
  switch (mode) {
    case RESIZEF_PRESERVEASPECTRATIO: {  // fit inside, bands
      double scale = std::min(static_cast<double>(dstW) / srcW, static_cast<double>(dstH) / srcH);
      p.DstW = std::clamp(static_cast<int>(std::lround(srcW * scale)), 1, dstW);
      p.DstH = std::clamp(static_cast<int>(std::lround(srcH * scale)), 1, dstH);
      break;
    }
    case RESIZEF_PRESERVEASPECTRATIO_NOLETTERBOX: {  // cover, cut the overhang
      double scale = std::max(static_cast<double>(dstW) / srcW, static_cast<double>(dstH) / srcH);
      p.SrcW = std::clamp(static_cast<int>(std::lround(dstW / scale)), 1, srcW);
      p.SrcH = std::clamp(static_cast<int>(std::lround(dstH / scale)), 1, srcH);
      break;
    }
    case RESIZEF_CROP:  // 1:1 pixels, centred
      p.SrcW = p.DstW = std::min(srcW, dstW);
      p.SrcH = p.DstH = std::min(srcH, dstH);
      break;
    default:  // stretch
      break;
  }
  p.SrcW = std::max(AlignDown(p.SrcW, alignX), std::min(alignX, srcW));
  p.SrcH = std::max(AlignDown(p.SrcH, alignY), std::min(alignY, srcH));
  p.DstW = std::max(AlignDown(p.DstW, alignX), std::min(alignX, dstW));
  p.DstH = std::max(AlignDown(p.DstH, alignY), std::min(alignY, dstH));
  p.SrcX = AlignDown((srcW - p.SrcW) / 2, alignX);
  p.SrcY = AlignDown((srcH - p.SrcH) / 2, alignY);
  p.DstX = AlignDown((dstW - p.DstW) / 2, alignX);
  p.DstY = AlignDown((dstH - p.DstH) / 2, alignY);
  return p;
}

struct TRenderEngine::Impl {
  TTimeline tl;
  std::string outFile;
  std::shared_ptr<TCompressorFilter> vcomp, acomp;

  OutputPtr oc;
  AVStream* vst = nullptr;
  AVStream* ast = nullptr;
  CodecPtr venc, aenc;
  AVRational fps{25, 1};
  int64_t totalFrames = 0;
  int64_t totalSamples = 0;
  bool headerWritten = false;
  bool finished = false;

  std::mutex muxMutex;
  std::thread vthread, athread;
  std::atomic<bool> stop{false};
  std::atomic<int64_t> framesDone{0};
  std::atomic<int64_t> samplesDone{0};

  std::mutex stateMutex;
  std::condition_variable stateCv;
  int running = 0;
  std::string error;

  void SetError(const std::string& e) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (error.empty()) error = e;
    stop = true;
  }

  void WorkerDone() {
    std::lock_guard<std::mutex> lock(stateMutex);
    --running;
    stateCv.notify_all();
  }

  // ---- Setup.

  void OpenVideoEncoder() {
    const std::string name = vcomp ? vcomp->EncoderName : "rawvideo";
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec) throw Exception("The video compressor " + name + " is not available");
    venc.reset(avcodec_alloc_context3(codec));
    if (!venc) throw Exception("Out of memory");
    venc->width = tl.Width;
    venc->height = tl.Height;
    venc->time_base = av_inv_q(fps);
    venc->framerate = fps;
    venc->sample_aspect_ratio = AVRational{1, 1};
    if (!vcomp) {
      venc->pix_fmt = AV_PIX_FMT_BGR24;  // uncompressed 24-bit RGB
    } else {
      venc->pix_fmt = codec->pix_fmts[0];
      for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == AV_PIX_FMT_YUV420P) venc->pix_fmt = *p;
    }
    venc->thread_count = 0;
    AVDictionary* opts = nullptr;
    if (vcomp) ApplyOptions(venc.get(), vcomp->Options, &opts);
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) venc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(venc.get(), codec, &opts);
    CheckLeftovers(opts, name);
    if (rc < 0) Fail("Unable to start the video compressor " + name, rc);
  }

  void OpenAudioEncoder() {
    const std::string name = acomp ? acomp->EncoderName : "pcm_s16le";
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (!codec) throw Exception("The audio compressor " + name + " is not available");
    if (codec->supported_samplerates) {
      bool ok = false;
      for (const int* r = codec->supported_samplerates; *r; ++r) ok = ok || *r == kSampleRate;
      if (!ok) throw Exception("The audio compressor " + name + " does not take 44100 Hz sound");
    }
    aenc.reset(avcodec_alloc_context3(codec));
    if (!aenc) throw Exception("Out of memory");
    aenc->sample_rate = kSampleRate;
    av_channel_layout_default(&aenc->ch_layout, 2);
    aenc->sample_fmt = codec->sample_fmts[0];
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P) aenc->sample_fmt = *f;
    aenc->time_base = AVRational{1, kSampleRate};
    if (acomp) aenc->bit_rate = 128000;
    AVDictionary* opts = nullptr;
    if (acomp) ApplyOptions(aenc.get(), acomp->Options, &opts);
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) aenc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(aenc.get(), codec, &opts);
    CheckLeftovers(opts, name);
    if (rc < 0) Fail("Unable to start the audio compressor " + name, rc);
  }

  static void ApplyOptions(AVCodecContext* c, const std::map<std::string, std::string>& options, AVDictionary** opts) {
    for (const auto& [key, value] : options) {
      if (key == "quality") {
        int q = std::atoi(value.c_str());
        if (q > 0) {
          c->flags |= AV_CODEC_FLAG_QSCALE;
          c->global_quality = q * FF_QP2LAMBDA;
        }
      } else {
        av_dict_set(opts, key.c_str(), value.c_str(), 0);
      }
    }
  }

  static void CheckLeftovers(AVDictionary*& opts, const std::string& encoder) {
    const AVDictionaryEntry* e = av_dict_get(opts, "", nullptr, AV_DICT_IGNORE_SUFFIX);
    std::string key = e ? e->key : "";
    av_dict_free(&opts);
    if (!key.empty()) throw Exception("The compressor " + encoder + " has no option \"" + key + "\"");
  }

  void Open() {
    if (!(tl.OutputFPS > 0) || !std::isfinite(tl.OutputFPS)) throw Exception("The frame rate must be above 0");
    if (tl.Width <= 0 || tl.Height <= 0 || tl.Width > 16384 || tl.Height > 16384)
      throw Exception("The frame size " + std::to_string(tl.Width) + "x" + std::to_string(tl.Height) +
                      " is not possible");
    fps = av_d2q(tl.OutputFPS, 1001000);
    const double duration = tl.Duration();
    totalFrames = std::llround(duration * av_q2d(fps));
    totalSamples = std::llround(duration * kSampleRate);

    AVFormatContext* raw = nullptr;
    int rc = avformat_alloc_output_context2(&raw, nullptr, "avi", outFile.c_str());
    if (rc < 0 || !raw) Fail("Unable to create " + outFile, rc);
    oc.reset(raw);
    OpenVideoEncoder();
    OpenAudioEncoder();
    vst = avformat_new_stream(raw, nullptr);
    ast = avformat_new_stream(raw, nullptr);
    if (!vst || !ast) throw Exception("Out of memory");
    avcodec_parameters_from_context(vst->codecpar, venc.get());
    avcodec_parameters_from_context(ast->codecpar, aenc.get());
    vst->time_base = venc->time_base;
    ast->time_base = aenc->time_base;
    rc = avio_open(&raw->pb, outFile.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) Fail("Unable to create " + outFile, rc);
    rc = avformat_write_header(raw, nullptr);
    if (rc < 0) Fail("Unable to write " + outFile, rc);
    headerWritten = true;
  }

  // ---- Output.

  void Mux(AVCodecContext* enc, AVStream* st, AVPacket* pkt) {
    av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
    pkt->stream_index = st->index;
    std::lock_guard<std::mutex> lock(muxMutex);
    int rc = av_interleaved_write_frame(oc.get(), pkt);
    if (rc < 0) Fail("Unable to write " + outFile, rc);
  }

  void Encode(AVCodecContext* enc, AVStream* st, AVFrame* frame) {
    int rc = avcodec_send_frame(enc, frame);
    if (rc < 0) Fail(std::string("The compressor ") + enc->codec->name + " failed", rc);
    PacketPtr pkt(av_packet_alloc());
    if (!pkt) throw Exception("Out of memory");
    for (;;) {
      rc = avcodec_receive_packet(enc, pkt.get());
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
      if (rc < 0) Fail(std::string("The compressor ") + enc->codec->name + " failed", rc);
      Mux(enc, st, pkt.get());
    }
  }

  // ---- Video.

  struct VideoState {
    SwsPtr sws;
    FramePtr out;  // the converted picture, reused while the source frame repeats
    FramePtr black;
  };

  FramePtr NewVideoFrame() {
    FramePtr f = NewFrame();
    f->format = venc->pix_fmt;
    f->width = tl.Width;
    f->height = tl.Height;
    int rc = av_frame_get_buffer(f.get(), 0);
    if (rc < 0) Fail("Out of memory", rc);
    ptrdiff_t lines[4] = {f->linesize[0], f->linesize[1], f->linesize[2], f->linesize[3]};
    av_image_fill_black(f->data, lines, venc->pix_fmt, AVCOL_RANGE_MPEG, tl.Width, tl.Height);
    return f;
  }

  void Convert(VideoState& vs, const AVFrame* src, int stretchMode) {
    vs.out = NewVideoFrame();
    const AVPixFmtDescriptor* sd = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(src->format));
    const AVPixFmtDescriptor* dd = av_pix_fmt_desc_get(venc->pix_fmt);
    if (!sd || !dd) throw Exception("Unsupported picture format");
    int ax = 1 << std::max(sd->log2_chroma_w, dd->log2_chroma_w);
    int ay = 1 << std::max(sd->log2_chroma_h, dd->log2_chroma_h);
    TPlacement p = PlaceSource(src->width, src->height, tl.Width, tl.Height, stretchMode, ax, ay);
    vs.sws.reset(sws_getCachedContext(vs.sws.release(), p.SrcW, p.SrcH, static_cast<AVPixelFormat>(src->format),
                                      p.DstW, p.DstH, venc->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!vs.sws) throw Exception("Unable to scale the picture");
    const uint8_t* in[4] = {};
    uint8_t* out[4] = {};
    for (int i = 0; i < 4; ++i) {
      in[i] = src->data[i];
      out[i] = vs.out->data[i];
    }
    // Offsets of the source crop and the destination rectangle, per plane.
    auto shift = [](const AVPixFmtDescriptor* d, int plane, int x, int y, int linesize) -> ptrdiff_t {
      bool chroma = plane == 1 || plane == 2;
      bool planar = d->flags & AV_PIX_FMT_FLAG_PLANAR;
      int step = 0;
      for (int c = 0; c < d->nb_components; ++c)
        if (d->comp[c].plane == plane) step = std::max(step, d->comp[c].step);
      int cx = planar && chroma ? x >> d->log2_chroma_w : x;
      int cy = planar && chroma ? y >> d->log2_chroma_h : y;
      return static_cast<ptrdiff_t>(cy) * linesize + static_cast<ptrdiff_t>(cx) * step;
    };
    for (int i = 0; i < 4; ++i) {
      if (in[i]) in[i] += shift(sd, i, p.SrcX, p.SrcY, src->linesize[i]);
      if (out[i]) out[i] += shift(dd, i, p.DstX, p.DstY, vs.out->linesize[i]);
    }
    sws_scale(vs.sws.get(), in, src->linesize, 0, p.SrcH, out, vs.out->linesize);
  }

  void EmitVideo(VideoState& vs, int64_t n, bool black) {
    if (stop) throw Stopped();
    AVFrame* f;
    if (black) {
      if (!vs.black) vs.black = NewVideoFrame();
      f = vs.black.get();
    } else {
      f = vs.out.get();
    }
    f->pts = n;
    Encode(venc.get(), vst, f);
    framesDone = n + 1;
  }

  void RenderVideoSource(VideoState& vs, const TTimelineSource& src, int64_t n0, int64_t n1) {
    Decoder dec;
    bool has = dec.Open(src.MediaName, AVMEDIA_TYPE_VIDEO);
    FramePtr cur = NewFrame(), ahead = NewFrame();
    bool haveCur = false, haveAhead = false;
    const double rate = av_q2d(fps);
    for (int64_t n = n0; n < n1; ++n) {
      if (stop) throw Stopped();
      if (!has) {
        EmitVideo(vs, n, true);
        continue;
      }
      const double target = src.MStart + (static_cast<double>(n) / rate - src.TStart) + 1e-6;
      bool changed = false;
      while (!dec.eof) {
        if (!haveAhead) {
          av_frame_unref(ahead.get());
          haveAhead = dec.Next(ahead.get());
          if (!haveAhead) break;
        }
        if (!haveCur || dec.TimeOf(ahead.get()) <= target) {
          av_frame_unref(cur.get());
          av_frame_move_ref(cur.get(), ahead.get());
          haveAhead = false;
          haveCur = changed = true;
        } else {
          break;
        }
      }
      if (!haveCur) {
        EmitVideo(vs, n, true);
        continue;
      }
      if (changed || !vs.out) Convert(vs, cur.get(), src.StretchMode);
      EmitVideo(vs, n, false);
    }
  }

  void VideoWorker() {
    try {
      VideoState vs;
      const double rate = av_q2d(fps);
      int64_t n = 0;
      std::vector<TTimelineSource> sources = tl.VideoTrack;
      std::sort(sources.begin(), sources.end(),
                [](const TTimelineSource& a, const TTimelineSource& b) { return a.TStart < b.TStart; });
      for (const TTimelineSource& s : sources) {
        int64_t n0 = std::max(n, static_cast<int64_t>(std::llround(s.TStart * rate)));
        int64_t n1 = std::min(totalFrames, static_cast<int64_t>(std::llround(s.TStop * rate)));
        for (; n < n0; ++n) EmitVideo(vs, n, true);
        if (n1 > n0) RenderVideoSource(vs, s, n0, n1);
        n = std::max(n, n1);
      }
      for (; n < totalFrames; ++n) EmitVideo(vs, n, true);
      Encode(venc.get(), vst, nullptr);  // drain
    } catch (const Stopped&) {
    } catch (const std::exception& e) {
      SetError(e.what());
    }
    WorkerDone();
  }

  // ---- Audio.

  struct AudioState {
    FifoPtr fifo;
    int64_t sent = 0;  // samples handed to the encoder
    int frameSize = kPcmFrame;
  };

  void Silence(AudioState& as, int64_t count) {
    uint8_t** data = nullptr;
    int lines = 0;
    const int chunk = 4096;
    if (av_samples_alloc_array_and_samples(&data, &lines, 2, chunk, aenc->sample_fmt, 0) < 0)
      throw Exception("Out of memory");
    av_samples_set_silence(data, 0, chunk, 2, aenc->sample_fmt);
    try {
      while (count > 0) {
        int n = static_cast<int>(std::min<int64_t>(count, chunk));
        if (av_audio_fifo_write(as.fifo.get(), reinterpret_cast<void**>(data), n) < n) throw Exception("Out of memory");
        count -= n;
        Drain(as, false);
      }
    } catch (...) {
      av_freep(&data[0]);
      av_freep(&data);
      throw;
    }
    av_freep(&data[0]);
    av_freep(&data);
  }

  // Hands whole encoder frames from the FIFO to the encoder; with last, the
  // remainder too (padded with silence where the encoder needs full frames).
  void Drain(AudioState& as, bool last) {
    for (;;) {
      if (stop) throw Stopped();
      int avail = av_audio_fifo_size(as.fifo.get());
      if (avail == 0 || (avail < as.frameSize && !last)) return;
      int n = std::min(avail, as.frameSize);
      FramePtr f = NewFrame();
      f->nb_samples = (n < as.frameSize && aenc->frame_size > 0 &&
                       !(aenc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME))
                          ? as.frameSize
                          : n;
      f->format = aenc->sample_fmt;
      f->sample_rate = kSampleRate;
      av_channel_layout_copy(&f->ch_layout, &aenc->ch_layout);
      if (av_frame_get_buffer(f.get(), 0) < 0) throw Exception("Out of memory");
      av_samples_set_silence(f->data, 0, f->nb_samples, 2, aenc->sample_fmt);
      av_audio_fifo_read(as.fifo.get(), reinterpret_cast<void**>(f->data), n);
      f->pts = as.sent;
      as.sent += f->nb_samples;
      Encode(aenc.get(), ast, f.get());
      samplesDone = std::min(as.sent, totalSamples);
    }
  }

  // Writes up to `want` samples of the source's sound; returns how many.
  int64_t RenderAudioSource(AudioState& as, const TTimelineSource& src, int64_t want) {
    Decoder dec;
    if (!dec.Open(src.MediaName, AVMEDIA_TYPE_AUDIO)) return 0;
    SwrContext* raw = nullptr;
    AVChannelLayout inLayout;
    if (dec.ctx->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
      av_channel_layout_default(&inLayout, dec.ctx->ch_layout.nb_channels);
    else
      av_channel_layout_copy(&inLayout, &dec.ctx->ch_layout);
    int rc = swr_alloc_set_opts2(&raw, &aenc->ch_layout, aenc->sample_fmt, kSampleRate, &inLayout,
                                 dec.ctx->sample_fmt, dec.ctx->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    SwrPtr swr(raw);
    if (rc < 0 || (rc = swr_init(raw)) < 0) Fail("Unable to convert the sound of " + src.MediaName, rc);
    FramePtr in = NewFrame();
    int64_t written = 0;
    bool flushedSwr = false;
    while (written < want && !flushedSwr) {
      if (stop) throw Stopped();
      bool got = dec.Next(in.get());
      FramePtr out = NewFrame();
      out->format = aenc->sample_fmt;
      out->sample_rate = kSampleRate;
      av_channel_layout_copy(&out->ch_layout, &aenc->ch_layout);
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
      if (rc < 0) Fail("Unable to convert the sound of " + src.MediaName, rc);
      int n = static_cast<int>(std::min<int64_t>(out->nb_samples, want - written));
      if (n > 0) {
        if (av_audio_fifo_write(as.fifo.get(), reinterpret_cast<void**>(out->data), n) < n)
          throw Exception("Out of memory");
        written += n;
        Drain(as, false);
      }
    }
    return written;
  }

  void AudioWorker() {
    try {
      AudioState as;
      as.fifo.reset(av_audio_fifo_alloc(aenc->sample_fmt, 2, kSampleRate));
      if (!as.fifo) throw Exception("Out of memory");
      if (aenc->frame_size > 0) as.frameSize = aenc->frame_size;
      int64_t pos = 0;
      std::vector<TTimelineSource> sources = tl.AudioTrack;
      std::sort(sources.begin(), sources.end(),
                [](const TTimelineSource& a, const TTimelineSource& b) { return a.TStart < b.TStart; });
      for (const TTimelineSource& s : sources) {
        int64_t s0 = std::max(pos, static_cast<int64_t>(std::llround(s.TStart * kSampleRate)));
        int64_t s1 = std::min(totalSamples, static_cast<int64_t>(std::llround(s.TStop * kSampleRate)));
        // Spans without sound (an input without audio) hold silence, so
        // every later input keeps its place.
        if (s0 > pos) Silence(as, s0 - pos);
        pos = s0;
        if (s1 > s0) {
          int64_t got = RenderAudioSource(as, s, s1 - s0);
          if (got < s1 - s0) Silence(as, s1 - s0 - got);
          pos = s1;
        }
      }
      if (totalSamples > pos) Silence(as, totalSamples - pos);
      Drain(as, true);
      Encode(aenc.get(), ast, nullptr);
    } catch (const Stopped&) {
    } catch (const std::exception& e) {
      SetError(e.what());
    }
    WorkerDone();
  }
};

TRenderEngine::TRenderEngine(TTimeline timeline, std::string outputFile, std::shared_ptr<TCompressorFilter> video,
                             std::shared_ptr<TCompressorFilter> audio)
    : impl_(std::make_unique<Impl>()) {
  impl_->tl = std::move(timeline);
  impl_->outFile = std::move(outputFile);
  impl_->vcomp = std::move(video);
  impl_->acomp = std::move(audio);
}

TRenderEngine::~TRenderEngine() {
  try {
    Stop();
    Finish();
  } catch (...) {
    // Destruction after a failure that was already reported.
  }
}

void TRenderEngine::Run() {
  impl_->Open();
  impl_->running = 2;
  impl_->vthread = std::thread([this] { impl_->VideoWorker(); });
  impl_->athread = std::thread([this] { impl_->AudioWorker(); });
}

bool TRenderEngine::WaitForCompletion(int ms) {
  std::unique_lock<std::mutex> lock(impl_->stateMutex);
  return impl_->stateCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return impl_->running == 0; });
}

double TRenderEngine::CurrentPosition() const {
  double v = static_cast<double>(impl_->framesDone.load()) / av_q2d(impl_->fps);
  double a = static_cast<double>(impl_->samplesDone.load()) / kSampleRate;
  return std::min(v, a);
}

void TRenderEngine::Stop() {
  impl_->stop = true;
  if (impl_->vthread.joinable()) impl_->vthread.join();
  if (impl_->athread.joinable()) impl_->athread.join();
}

void TRenderEngine::Finish() {
  if (impl_->vthread.joinable()) impl_->vthread.join();
  if (impl_->athread.joinable()) impl_->athread.join();
  if (impl_->finished) return;
  impl_->finished = true;
  std::string error = impl_->error;
  if (impl_->headerWritten) {
    // The trailer writes the index and the final headers: a stopped or
    // failed render still leaves a file that plays as far as it got.
    int rc = av_write_trailer(impl_->oc.get());
    if (rc < 0 && error.empty()) error = "Unable to write " + impl_->outFile + ": " + AvError(rc);
    if (impl_->oc->pb) {
      if (impl_->oc->pb->error < 0 && error.empty())
        error = "Unable to write " + impl_->outFile + ": " + AvError(impl_->oc->pb->error);
      rc = avio_closep(&impl_->oc->pb);
      if (rc < 0 && error.empty()) error = "Unable to write " + impl_->outFile + ": " + AvError(rc);
    }
  }
  if (!error.empty()) throw Exception(error);
}

}  // namespace vantrel
