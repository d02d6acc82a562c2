// Video path of the recompressing join.
#include "dshow/VideoPath.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>

#include "base/Exceptions.h"
#include "dshow/SourceDecoder.h"

namespace vantrel {
namespace {

int AlignDown(int v, int a) { return a > 1 ? v / a * a : v; }

}  // namespace

TPlacement PlaceSource(int srcW, int srcH, int dstW, int dstH, TResizeMethod method, int alignX, int alignY) {
  TPlacement p;
  p.SrcW = srcW;
  p.SrcH = srcH;
  p.DstW = dstW;
  p.DstH = dstH;
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return p;
  switch (method) {
    case rmLetterbox: {  // fit inside, bands
      double scale = std::min(static_cast<double>(dstW) / srcW, static_cast<double>(dstH) / srcH);
      p.DstW = std::clamp(static_cast<int>(std::lround(srcW * scale)), 1, dstW);
      p.DstH = std::clamp(static_cast<int>(std::lround(srcH * scale)), 1, dstH);
      break;
    }
    case rmCrop: {  // cover, cut the overhang
      double scale = std::max(static_cast<double>(dstW) / srcW, static_cast<double>(dstH) / srcH);
      p.SrcW = std::clamp(static_cast<int>(std::lround(dstW / scale)), 1, srcW);
      p.SrcH = std::clamp(static_cast<int>(std::lround(dstH / scale)), 1, srcH);
      break;
    }
    case rmNoResize:  // 1:1 pixels, centred
      p.SrcW = p.DstW = std::min(srcW, dstW);
      p.SrcH = p.DstH = std::min(srcH, dstH);
      break;
    case rmStretch:
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

TVideoPath::TVideoPath(TMuxer& muxer, int width, int height, AVRational fps, const std::atomic<bool>& stop,
                       std::atomic<int64_t>& framesDone)
    : muxer_(muxer),
      width_(width),
      height_(height),
      fps_(fps),
      pix_fmt_(muxer.VideoEncoder()->pix_fmt),
      stop_(stop),
      frames_done_(framesDone) {}

av::FramePtr TVideoPath::NewOutputFrame() const {
  av::FramePtr f = av::NewFrame();
  f->format = pix_fmt_;
  f->width = width_;
  f->height = height_;
  int rc = av_frame_get_buffer(f.get(), 0);
  if (rc < 0) av::Fail("Out of memory", rc);
  ptrdiff_t lines[4] = {f->linesize[0], f->linesize[1], f->linesize[2], f->linesize[3]};
  av_image_fill_black(f->data, lines, pix_fmt_, AVCOL_RANGE_MPEG, width_, height_);
  return f;
}

void TVideoPath::Convert(const AVFrame* src, TResizeMethod method) {
  out_ = NewOutputFrame();
  const AVPixFmtDescriptor* sd = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(src->format));
  const AVPixFmtDescriptor* dd = av_pix_fmt_desc_get(pix_fmt_);
  if (!sd || !dd) throw Exception("Unsupported picture format");
  int ax = 1 << std::max(sd->log2_chroma_w, dd->log2_chroma_w);
  int ay = 1 << std::max(sd->log2_chroma_h, dd->log2_chroma_h);
  TPlacement p = PlaceSource(src->width, src->height, width_, height_, method, ax, ay);
  sws_.reset(sws_getCachedContext(sws_.release(), p.SrcW, p.SrcH, static_cast<AVPixelFormat>(src->format), p.DstW,
                                  p.DstH, pix_fmt_, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!sws_) throw Exception("Unable to scale the picture");
  const uint8_t* in[4] = {};
  uint8_t* out[4] = {};
  for (int i = 0; i < 4; ++i) {
    in[i] = src->data[i];
    out[i] = out_->data[i];
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
    if (out[i]) out[i] += shift(dd, i, p.DstX, p.DstY, out_->linesize[i]);
  }
  sws_scale(sws_.get(), in, src->linesize, 0, p.SrcH, out, out_->linesize);
}

void TVideoPath::Emit(AVFrame* f, int64_t n) {
  if (stop_) throw TRenderStopped();
  f->pts = n;
  muxer_.EncodeVideo(f);
  frames_done_ = n + 1;
}

void TVideoPath::EmitBlack(int64_t n) {
  if (stop_) throw TRenderStopped();
  if (!black_) black_ = NewOutputFrame();
  Emit(black_.get(), n);
}

void TVideoPath::RenderSource(const TTimelineSource& src, int64_t n0, int64_t n1) {
  TSourceDecoder dec;
  bool has = dec.Open(src.MediaName, AVMEDIA_TYPE_VIDEO);
  av::FramePtr cur = av::NewFrame(), ahead = av::NewFrame();
  bool haveCur = false, haveAhead = false;
  const double rate = av_q2d(fps_);
  for (int64_t n = n0; n < n1; ++n) {
    if (stop_) throw TRenderStopped();
    if (!has) {
      EmitBlack(n);
      continue;
    }
    const double target = src.MStart + (static_cast<double>(n) / rate - src.TStart) + 1e-6;
    bool changed = false;
    while (!dec.AtEnd()) {
      if (!haveAhead) {
        av_frame_unref(ahead.get());
        haveAhead = dec.Next(ahead.get());
        if (!haveAhead) break;
      }
      const double t = dec.TimeOf(ahead.get());
      if (!haveCur || std::isnan(t) || t <= target) {
        av_frame_unref(cur.get());
        av_frame_move_ref(cur.get(), ahead.get());
        haveAhead = false;
        haveCur = changed = true;
      } else {
        break;
      }
    }
    if (!haveCur) {
      EmitBlack(n);
      continue;
    }
    if (changed || !out_) Convert(cur.get(), src.ResizeMethod);
    Emit(out_.get(), n);
  }
}

void TVideoPath::Finish() {
  muxer_.EncodeVideo(nullptr);
  muxer_.VideoDone();
}

}  // namespace vantrel
