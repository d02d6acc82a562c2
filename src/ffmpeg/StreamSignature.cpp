#include "ffmpeg/StreamSignature.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "base/CopyFormat.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>

namespace vantrel::av {

namespace {

std::string Format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

std::string CodecName(AVCodecID id) { return avcodec_get_name(id); }

std::string ProfileText(const AVCodecParameters* p) {
  const char* name = avcodec_profile_name(p->codec_id, p->profile);
  if (name) return std::string(name) + " profile";
  return p->profile == FF_PROFILE_UNKNOWN ? "no profile" : "profile " + std::to_string(p->profile);
}

// FNV-1a over the codec's extradata: equal parameter sets, equal hash.
std::string ExtradataHash(const AVCodecParameters* p) {
  uint64_t h = 14695981039346656037ull;
  for (int i = 0; i < p->extradata_size; ++i) h = (h ^ p->extradata[i]) * 1099511628211ull;
  char buf[32];
  std::snprintf(buf, sizeof buf, "#%016" PRIx64 "/%d", h, p->extradata_size);
  return buf;
}

std::string TagText(uint32_t tag) {
  char buf[AV_FOURCC_MAX_STRING_SIZE] = {};
  av_fourcc_make_string(buf, tag);
  return std::string("codec tag ") + buf;
}

std::string FieldOrderText(AVFieldOrder f) {
  switch (f) {
    case AV_FIELD_PROGRESSIVE: return "progressive";
    case AV_FIELD_TT:
    case AV_FIELD_TB: return "interlaced, top field first";
    case AV_FIELD_BB:
    case AV_FIELD_BT: return "interlaced, bottom field first";
    default: return "field order not stated";
  }
}

std::string RateText(AVRational r) {
  if (r.num <= 0 || r.den <= 0) return "frame rate not stated";
  return Format("%.2f fps", av_q2d(r));
}

std::string TimeBaseText(AVRational tb) { return "time base " + std::to_string(tb.num) + "/" + std::to_string(tb.den); }

// How a player turns the picture: the display matrix's rotation, in whole
// degrees counterclockwise as the matrix states it.
std::string TurnText(const AVStream* st) {
  const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (!matrix) return "not turned";
  const double angle = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (std::isnan(angle)) return "not turned";
  long degrees = std::lround(angle) % 360;
  if (degrees < 0) degrees += 360;
  return degrees == 0 ? "not turned" : "turned " + std::to_string(degrees) + " degrees";
}

std::string SampleRateText(int rate) {
  if (rate % 1000 == 0) return std::to_string(rate / 1000) + " kHz";
  return Format("%.1f kHz", rate / 1000.0);
}

}  // namespace

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

const char* CopiedStreamKind(const AVStream* st) {
  switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO: return kStreamVideo;
    case AVMEDIA_TYPE_AUDIO: return kStreamAudio;
    case AVMEDIA_TYPE_SUBTITLE: return kStreamSubtitle;
    default: return kStreamData;
  }
}

std::string StreamSignature(const AVFormatContext* fmt) {
  // Transport and program streams repeat the parameter sets in the stream
  // itself; elsewhere a decoder is set up once from the extradata, and
  // every file must bring the same.
  const std::string demuxer = fmt->iformat ? fmt->iformat->name : "";
  const bool inBand = demuxer == "mpegts" || demuxer == "mpeg";
  std::vector<TCopyStream> streams;
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    const AVStream* st = fmt->streams[i];
    if (!CopiedStream(st)) continue;
    const AVCodecParameters* p = st->codecpar;
    TCopyStream s;
    s.Kind = CopiedStreamKind(st);
    auto add = [&s](const char* label, std::string shown) { s.Fields.emplace_back(label, std::move(shown)); };
    if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
      add("codec", CodecName(p->codec_id));
      if (p->codec_tag) add("tag", TagText(p->codec_tag));
      add("profile", ProfileText(p));
      add("frame size", std::to_string(p->width) + "x" + std::to_string(p->height));
      const char* pix = av_get_pix_fmt_name(static_cast<AVPixelFormat>(p->format));
      add("pixel format", std::string("pixel format ") + (pix ? pix : "not stated"));
      AVRational sar = p->sample_aspect_ratio;
      if (sar.num <= 0 || sar.den <= 0) sar = {1, 1};
      av_reduce(&sar.num, &sar.den, sar.num, sar.den, 1 << 30);
      add("sample aspect ratio", "sample aspect ratio " + std::to_string(sar.num) + ":" + std::to_string(sar.den));
      // A file played turned another way cannot share the first file's
      // display matrix.
      add("turn", TurnText(st));
      add("field order", FieldOrderText(p->field_order));
      // Where every frame carries its own time stamp, the average rate is no
      // parameter of the stream: phones jitter it, and dark scenes slow it.
      // The time base the stamps count in is. Transport and program streams
      // count in 90 kHz whatever the rate, so there the rate decides.
      if (inBand)
        add("frame rate", RateText(st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate));
      else
        add("time base", TimeBaseText(st->time_base));
      // Last, so that a difference with a name of its own is named first.
      if (!inBand) add("codec parameter sets", ExtradataHash(p));
    } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
      add("codec", CodecName(p->codec_id));
      add("profile", ProfileText(p));
      add("sample rate", SampleRateText(p->sample_rate));
      char layout[128] = {};
      if (av_channel_layout_describe(&p->ch_layout, layout, sizeof layout) < 0) std::strcpy(layout, "?");
      add("channel layout", std::string(layout) + " (" + std::to_string(p->ch_layout.nb_channels) + " channels)");
      const char* sf = av_get_sample_fmt_name(static_cast<AVSampleFormat>(p->format));
      add("sample format", std::string("sample format ") + (sf ? sf : "not stated"));
      if (!inBand) add("codec parameter sets", ExtradataHash(p));
    } else {
      add("codec", p->codec_id != AV_CODEC_ID_NONE ? CodecName(p->codec_id) : TagText(p->codec_tag));
    }
    streams.push_back(std::move(s));
  }
  return EncodeCopyFormat(streams);
}

}  // namespace vantrel::av
