// Decoding one source of a recompressing join.
#include "recompress/SourceDecoder.h"

#include "ffmpeg/StreamSignature.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <type_traits>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavfilter/version.h>
#include <libavutil/display.h>
}

#include "base/Exceptions.h"

namespace vantrel {

// libavfilter is loaded when an interlaced source needs it, not with the
// program: its thirty libraries would add a third to the start-up of every
// join (a copy of MP4 files included) and a dozen megabytes.
struct TFilterLibrary {
  void* handle = nullptr;
  decltype(&avfilter_graph_alloc) graph_alloc = nullptr;
  decltype(&avfilter_graph_free) graph_free = nullptr;
  decltype(&avfilter_get_by_name) get_by_name = nullptr;
  decltype(&avfilter_graph_create_filter) create_filter = nullptr;
  decltype(&avfilter_link) link = nullptr;
  decltype(&avfilter_graph_config) config = nullptr;
  decltype(&av_buffersrc_add_frame_flags) add_frame = nullptr;
  decltype(&av_buffersink_get_frame) get_frame = nullptr;

  // The loaded library, or null when it cannot be (the picture then goes
  // on as it is).
  static const TFilterLibrary* Get() {
    static const TFilterLibrary* loaded = [] () -> const TFilterLibrary* {
      static TFilterLibrary l;
      const std::string name = "libavfilter.so." + std::to_string(LIBAVFILTER_VERSION_MAJOR);
      l.handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!l.handle) return nullptr;
      auto sym = [](void* h, const char* n, auto& f) {
        f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(::dlsym(h, n));
        return f != nullptr;
      };
      const bool all = sym(l.handle, "avfilter_graph_alloc", l.graph_alloc) &&
                       sym(l.handle, "avfilter_graph_free", l.graph_free) &&
                       sym(l.handle, "avfilter_get_by_name", l.get_by_name) &&
                       sym(l.handle, "avfilter_graph_create_filter", l.create_filter) &&
                       sym(l.handle, "avfilter_link", l.link) && sym(l.handle, "avfilter_graph_config", l.config) &&
                       sym(l.handle, "av_buffersrc_add_frame_flags", l.add_frame) &&
                       sym(l.handle, "av_buffersink_get_frame", l.get_frame);
      return all ? &l : nullptr;
    }();
    return loaded;
  }
};

// bwdif between the decoder and the join: one frame out for each frame in,
// a frame later (it looks at the next one).
struct TSourceDecoder::TDeinterlacer {
  const TFilterLibrary& lib;
  AVFilterGraph* graph = nullptr;
  AVFilterContext* src = nullptr;
  AVFilterContext* sink = nullptr;
  bool flushed = false;

  explicit TDeinterlacer(const TFilterLibrary& l) : lib(l) {}
  ~TDeinterlacer() {
    if (graph) lib.graph_free(&graph);
  }
  TDeinterlacer(const TDeinterlacer&) = delete;
  TDeinterlacer& operator=(const TDeinterlacer&) = delete;

  int Add(AVFrame* f, int flags = 0) const { return lib.add_frame(src, f, flags); }
  int Get(AVFrame* f) const { return lib.get_frame(sink, f); }

  // False when the filter cannot take this picture (the join then goes on
  // without it).
  bool Configure(const AVFrame* f, AVRational timeBase, bool allFrames) {
    graph = lib.graph_alloc();
    if (!graph) return false;
    char args[256];
    const AVRational sar = f->sample_aspect_ratio.num > 0 ? f->sample_aspect_ratio : AVRational{1, 1};
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", f->width,
                  f->height, f->format, timeBase.num, timeBase.den, sar.num, sar.den);
    AVFilterContext* filter = nullptr;
    const char* options = allFrames ? "mode=send_frame:parity=auto:deint=all"
                                    : "mode=send_frame:parity=auto:deint=interlaced";
    return lib.create_filter(&src, lib.get_by_name("buffer"), "in", args, nullptr, graph) >= 0 &&
           lib.create_filter(&filter, lib.get_by_name("bwdif"), "deinterlace", options, nullptr, graph) >= 0 &&
           lib.create_filter(&sink, lib.get_by_name("buffersink"), "out", nullptr, nullptr, graph) >= 0 &&
           lib.link(src, 0, filter, 0) >= 0 && lib.link(filter, 0, sink, 0) >= 0 && lib.config(graph, nullptr) >= 0;
  }
};

TSourceDecoder::TSourceDecoder() = default;
TSourceDecoder::~TSourceDecoder() = default;

bool TSourceDecoder::Open(const std::string& name, AVMediaType type, const TFile* file) {
  file_ = name;
  fmt_ = file ? av::OpenInput(file->Duplicate(), name) : av::OpenInput(name);
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
  rotation_ = type == AVMEDIA_TYPE_VIDEO ? av::DisplayRotation(st) : 0;
  return true;
}

AVRational TSourceDecoder::SampleAspect(const AVFrame* f) const {
  AVRational sar = f->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = fmt_->streams[stream_]->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = fmt_->streams[stream_]->codecpar->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = AVRational{1, 1};
  return sar;
}

bool TSourceDecoder::StartDeinterlacing(const AVFrame* first) {
  const AVFieldOrder order = ctx_->field_order;
  const bool stated = order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB || order == AV_FIELD_BT;
  if (!stated && !first->interlaced_frame) return false;
  const TFilterLibrary* lib = TFilterLibrary::Get();
  if (!lib) return false;
  auto d = std::make_unique<TDeinterlacer>(*lib);
  if (!d->Configure(first, fmt_->streams[stream_]->time_base, stated)) return false;
  deint_ = std::move(d);
  return true;
}

bool TSourceDecoder::Next(AVFrame* f) {
  if (!deint_) {
    if (!Decode(f)) return false;
    if (checked_ || ctx_->codec_type != AVMEDIA_TYPE_VIDEO) return true;
    checked_ = true;
    if (!StartDeinterlacing(f)) return true;
    // The first picture goes in; what comes out is taken below.
    if (deint_->Add(f, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
      deint_.reset();
      return true;
    }
    av_frame_unref(f);
  }
  av::FramePtr in = av::NewFrame();
  for (;;) {
    int rc = deint_->Get(f);
    if (rc >= 0) return true;
    if (rc == AVERROR_EOF) {
      eof_ = true;
      return false;
    }
    if (rc != AVERROR(EAGAIN)) av::Fail("Unable to deinterlace the picture of " + file_, rc);
    if (deint_->flushed) {
      eof_ = true;
      return false;
    }
    if (Decode(in.get())) {
      rc = deint_->Add(in.get());
    } else {
      eof_ = false;  // the filter still holds its last picture
      deint_->flushed = true;
      rc = deint_->Add(nullptr);
    }
    av_frame_unref(in.get());
    if (rc < 0) av::Fail("Unable to deinterlace the picture of " + file_, rc);
  }
}

bool TSourceDecoder::Decode(AVFrame* f) {
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
