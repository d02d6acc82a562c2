// Video path of the recompressing join.
#include "recompress/VideoPath.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>

#include "base/Exceptions.h"
#include "recompress/SourceDecoder.h"

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

av::FramePtr TurnedClockwise(const AVFrame* src, int degrees, av::SwsPtr& sws) {
  // Turned in 4:2:0, whose chroma is subsampled alike both ways.
  av::FramePtr yuv = av::NewFrame();
  yuv->format = AV_PIX_FMT_YUV420P;
  yuv->width = src->width & ~1;
  yuv->height = src->height & ~1;
  if (av_frame_get_buffer(yuv.get(), 0) < 0) throw Exception("Out of memory");
  sws.reset(sws_getCachedContext(sws.release(), src->width, src->height, static_cast<AVPixelFormat>(src->format),
                                 yuv->width, yuv->height, AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr));
  if (!sws) throw Exception("Unable to turn the picture");
  sws_scale(sws.get(), src->data, src->linesize, 0, src->height, yuv->data, yuv->linesize);
  av::FramePtr out = av::NewFrame();
  out->format = AV_PIX_FMT_YUV420P;
  const bool quarter = degrees == 90 || degrees == 270;
  out->width = quarter ? yuv->height : yuv->width;
  out->height = quarter ? yuv->width : yuv->height;
  if (av_frame_get_buffer(out.get(), 0) < 0) throw Exception("Out of memory");
  for (int p = 0; p < 3; ++p) {
    const int w = p ? yuv->width / 2 : yuv->width, h = p ? yuv->height / 2 : yuv->height;
    const uint8_t* in = yuv->data[p];
    const int il = yuv->linesize[p], ol = out->linesize[p];
    uint8_t* o = out->data[p];
    const int ow = quarter ? h : w, oh = quarter ? w : h;
    for (int y = 0; y < oh; ++y)
      for (int x = 0; x < ow; ++x) {
        int sx, sy;  // the source pixel shown at (x, y)
        if (degrees == 90) {
          sx = y;
          sy = h - 1 - x;
        } else if (degrees == 270) {
          sx = w - 1 - y;
          sy = x;
        } else {
          sx = w - 1 - x;
          sy = h - 1 - y;
        }
        o[y * ol + x] = in[sy * il + sx];
      }
  }
  out->sample_aspect_ratio = quarter ? av_inv_q(src->sample_aspect_ratio) : src->sample_aspect_ratio;
  return out;
}

void TVideoPath::Convert(const AVFrame* frame, TResizeMethod method, int rotation, AVRational sar) {
  out_ = NewOutputFrame();
  // The picture as a player shows it: turned by the display matrix, each
  // pixel as wide as its sample aspect ratio says.
  av::FramePtr turned;
  const AVFrame* src = frame;
  if (rotation != 0) {
    av::FramePtr copy = av::NewFrame();
    if (av_frame_ref(copy.get(), frame) < 0) throw Exception("Out of memory");
    copy->sample_aspect_ratio = sar;
    turned = TurnedClockwise(copy.get(), rotation, turn_sws_);
    sar = turned->sample_aspect_ratio;
    src = turned.get();
  }
  const double aspect = av_q2d(sar) > 0 ? av_q2d(sar) : 1.0;
  const AVPixFmtDescriptor* sd = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(src->format));
  const AVPixFmtDescriptor* dd = av_pix_fmt_desc_get(pix_fmt_);
  if (!sd || !dd) throw Exception("Unsupported picture format");
  int ax = 1 << std::max(sd->log2_chroma_w, dd->log2_chroma_w);
  int ay = 1 << std::max(sd->log2_chroma_h, dd->log2_chroma_h);
  const int shownW = std::max(1, static_cast<int>(std::lround(src->width * aspect)));
  TPlacement p = PlaceSource(shownW, src->height, width_, height_, method, 1, ay);
  // Back from the shown width to the stored pixels.
  auto stored = [&](int x) { return static_cast<int>(std::lround(x / aspect)); };
  p.SrcX = AlignDown(stored(p.SrcX), ax);
  p.SrcW = std::clamp(AlignDown(stored(p.SrcW), ax), std::min(ax, src->width), src->width - p.SrcX);
  p.DstW = std::max(AlignDown(p.DstW, ax), std::min(ax, width_));
  p.DstX = AlignDown((width_ - p.DstW) / 2, ax);
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
  for (int i = 0; i < 4; ++i)
    if (in[i]) in[i] += shift(sd, i, p.SrcX, p.SrcY, src->linesize[i]);
  if (p.DstX == 0 && p.DstY == 0 && p.DstW == width_ && p.DstH == height_) {
    sws_scale(sws_.get(), in, src->linesize, 0, p.SrcH, out, out_->linesize);
    return;
  }
  // Into a picture of the rectangle's own size, then into the frame: the
  // scaler may write past the width it is given, which would spill into
  // the black band beside the rectangle.
  av::FramePtr part = av::NewFrame();
  part->format = pix_fmt_;
  part->width = p.DstW;
  part->height = p.DstH;
  if (av_frame_get_buffer(part.get(), 0) < 0) throw Exception("Out of memory");
  sws_scale(sws_.get(), in, src->linesize, 0, p.SrcH, part->data, part->linesize);
  for (int i = 0; i < 4 && part->data[i]; ++i) {
    const bool planar = dd->flags & AV_PIX_FMT_FLAG_PLANAR;
    const bool chroma = planar && (i == 1 || i == 2);
    const int rows = chroma ? AV_CEIL_RSHIFT(p.DstH, dd->log2_chroma_h) : p.DstH;
    const int bytes = av_image_get_linesize(pix_fmt_, p.DstW, i);
    if (bytes <= 0) continue;
    av_image_copy_plane(out[i] + shift(dd, i, p.DstX, p.DstY, out_->linesize[i]), out_->linesize[i], part->data[i],
                        part->linesize[i], bytes, rows);
  }
}

void TVideoPath::Emit(AVFrame* f, int64_t n) {
  if (stop_) throw TRenderStopped();
  f->pts = n;
  // A fixed quantizer is each frame's quality too: encoders read it there.
  const AVCodecContext* enc = muxer_.VideoEncoder();
  f->quality = (enc->flags & AV_CODEC_FLAG_QSCALE) ? enc->global_quality : 0;
  if (muxer_.BottomUp()) {
    // The same picture seen from its last row up.
    av::FramePtr flipped = av::NewFrame();
    if (av_frame_ref(flipped.get(), f) < 0) throw Exception("Out of memory");
    flipped->data[0] += static_cast<ptrdiff_t>(flipped->linesize[0]) * (flipped->height - 1);
    flipped->linesize[0] = -flipped->linesize[0];
    muxer_.EncodeVideo(flipped.get());
  } else {
    muxer_.EncodeVideo(f);
  }
  frames_done_ = n + 1;
}

void TVideoPath::EmitBlack(int64_t n) {
  if (stop_) throw TRenderStopped();
  if (!black_) black_ = NewOutputFrame();
  Emit(black_.get(), n);
}

void TVideoPath::RenderSource(const TTimelineSource& src, int64_t n0, int64_t n1) {
  TSourceDecoder dec;
  bool has = dec.Open(src.MediaName, AVMEDIA_TYPE_VIDEO, src.File.get());
  av::FramePtr cur = av::NewFrame(), ahead = av::NewFrame();
  bool haveCur = false, haveAhead = false;
  const double rate = av_q2d(fps_);
  for (int64_t n = n0; n < n1; ++n) {
    if (stop_) throw TRenderStopped();
    if (!has) {
      EmitBlack(n);
      continue;
    }
    // A source frame belongs to the output slot its time is nearest to:
    // taken while it is before the middle between this slot and the next.
    // (A source at the output's rate maps one to one, even with its times
    // rounded to milliseconds.)
    const double target = src.MStart + ((static_cast<double>(n) + 0.5) / rate - src.TStart) - 1e-6;
    bool changed = false;
    while (!dec.AtEnd()) {
      if (!haveAhead) {
        av_frame_unref(ahead.get());
        haveAhead = dec.Next(ahead.get());
        if (!haveAhead) break;
      }
      const double t = dec.TimeOf(ahead.get());
      if (!haveCur || std::isnan(t) || t < target) {
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
    if (changed || !out_) Convert(cur.get(), src.ResizeMethod, dec.RotationClockwise(), dec.SampleAspect(cur.get()));
    Emit(out_.get(), n);
  }
}

void TVideoPath::Finish() {
  muxer_.EncodeVideo(nullptr);
  muxer_.VideoDone();
}

}  // namespace vantrel
