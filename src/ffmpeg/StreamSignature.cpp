// A file's streams, typed, from FFmpeg's description of them.
#include "ffmpeg/StreamSignature.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace vantrel::av {

namespace {

// How a player turns the picture: the display matrix's rotation, in whole
// degrees counterclockwise as the matrix states it.
int TurnOf(const AVStream* st) {
  const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (!matrix) return 0;
  const double angle = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (std::isnan(angle)) return 0;
  long degrees = std::lround(angle) % 360;
  if (degrees < 0) degrees += 360;
  return static_cast<int>(degrees);
}

TFieldOrder FieldOrderOf(AVFieldOrder f) {
  switch (f) {
    case AV_FIELD_PROGRESSIVE: return TFieldOrder::Progressive;
    case AV_FIELD_TT:
    case AV_FIELD_TB: return TFieldOrder::TopFirst;
    case AV_FIELD_BB:
    case AV_FIELD_BT: return TFieldOrder::BottomFirst;
    default: return TFieldOrder::Unknown;
  }
}

std::string NameOr(const char* name) { return name ? name : ""; }

}  // namespace

int DisplayRotation(const AVStream* st) {
  size_t size = 0;
  const uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (!m || size < 9 * sizeof(int32_t)) return 0;
  // The matrix turns counterclockwise; players turn the picture back.
  const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t*>(m));
  if (std::isnan(angle)) return 0;
  const int quarter = static_cast<int>(std::lround(angle / 90.0));
  return ((quarter % 4) + 4) % 4 * 90;
}

bool CopiedStream(const AVStream* st) {
  if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) return false;
  switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
    case AVMEDIA_TYPE_AUDIO:
    case AVMEDIA_TYPE_SUBTITLE:
    case AVMEDIA_TYPE_DATA: return true;
    default: return false;
  }
}

TStreamKind CopiedStreamKind(const AVStream* st) {
  switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO: return TStreamKind::Video;
    case AVMEDIA_TYPE_AUDIO: return TStreamKind::Audio;
    case AVMEDIA_TYPE_SUBTITLE: return TStreamKind::Subtitle;
    default: return TStreamKind::Data;
  }
}

TStreamFormats StreamFormats(const AVFormatContext* fmt) {
  const std::string demuxer = fmt->iformat ? fmt->iformat->name : "";
  const bool inBand = demuxer == "mpegts" || demuxer == "mpeg";
  TStreamFormats streams;
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVStream* st = fmt->streams[i];
    if (!CopiedStream(st)) continue;
    const AVCodecParameters* p = st->codecpar;
    TStreamFormat s;
    s.Kind = CopiedStreamKind(st);
    s.Codec = p->codec_id != AV_CODEC_ID_NONE ? avcodec_get_name(p->codec_id) : "";
    s.Tag = p->codec_tag;
    s.ProfileId = p->profile;
    s.ProfileName = NameOr(avcodec_profile_name(p->codec_id, p->profile));
    s.Level = p->level;
    s.InBand = inBand;
    if (p->extradata && p->extradata_size > 0) s.Sets.assign(p->extradata, p->extradata + p->extradata_size);
    s.BitRate = p->bit_rate;
    if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
      s.Width = p->width;
      s.Height = p->height;
      s.PixelFormat = NameOr(av_get_pix_fmt_name(static_cast<AVPixelFormat>(p->format)));
      AVRational sar = p->sample_aspect_ratio;
      if (sar.num <= 0 || sar.den <= 0) sar = {1, 1};
      av_reduce(&sar.num, &sar.den, sar.num, sar.den, 1 << 30);
      s.AspectNum = sar.num;
      s.AspectDen = sar.den;
      s.Turn = TurnOf(st);
      s.FieldOrder = FieldOrderOf(p->field_order);
      if (p->color_primaries != AVCOL_PRI_UNSPECIFIED) s.Primaries = NameOr(av_color_primaries_name(p->color_primaries));
      if (p->color_trc != AVCOL_TRC_UNSPECIFIED) s.Transfer = NameOr(av_color_transfer_name(p->color_trc));
      if (p->color_space != AVCOL_SPC_UNSPECIFIED) s.Matrix = NameOr(av_color_space_name(p->color_space));
      s.FullRange = p->color_range == AVCOL_RANGE_JPEG;
      const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
      if (rate.num > 0 && rate.den > 0) {
        s.RateNum = rate.num;
        s.RateDen = rate.den;
      }
      s.TimeBaseNum = st->time_base.num;
      s.TimeBaseDen = st->time_base.den;
    } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
      s.SampleRate = p->sample_rate;
      s.Channels = p->ch_layout.nb_channels;
      char layout[128] = {};
      if (av_channel_layout_describe(&p->ch_layout, layout, sizeof layout) >= 0) s.Layout = layout;
      s.SampleFormat = NameOr(av_get_sample_fmt_name(static_cast<AVSampleFormat>(p->format)));
    }
    streams.push_back(std::move(s));
  }
  return streams;
}

}  // namespace vantrel::av
