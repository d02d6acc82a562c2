// Stream formats compared field by field.
#include "base/StreamFormat.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

namespace vantrel {

namespace {

std::string Printf(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

std::string FieldOrderText(TFieldOrder f) {
  switch (f) {
    case TFieldOrder::Progressive: return "progressive";
    case TFieldOrder::TopFirst: return "interlaced, top field first";
    case TFieldOrder::BottomFirst: return "interlaced, bottom field first";
    default: return "field order not stated";
  }
}

// FNV-1a over the decoder's set-up: equal sets, equal text. The '#' marks
// a value compared but not shown.
std::string SetsText(const std::vector<uint8_t>& sets) {
  uint64_t h = 14695981039346656037ull;
  for (uint8_t b : sets) h = (h ^ b) * 1099511628211ull;
  char buf[40];
  std::snprintf(buf, sizeof buf, "#%016" PRIx64 "/%zu", h, sets.size());
  return buf;
}

const char* FieldLabel(TFormatField f) {
  switch (f) {
    case ffCodec: return "codec";
    case ffTag: return "tag";
    case ffProfile: return "profile";
    case ffFrameSize: return "frame size";
    case ffPixelFormat: return "pixel format";
    case ffAspect: return "sample aspect ratio";
    case ffTurn: return "turn";
    case ffFieldOrder: return "field order";
    case ffFrameRate: return "frame rate";
    case ffTimeBase: return "time base";
    case ffSets: return "codec parameter sets";
    case ffSampleRate: return "sample rate";
    case ffLayout: return "channel layout";
    case ffSampleFormat: return "sample format";
    default: return "format";
  }
}

// The fields a stream is compared by, in the order a difference is looked
// for: one with a name of its own is named before the parameter sets.
std::vector<TFormatField> FieldsOf(const TStreamFormat& s) {
  switch (s.Kind) {
    case TStreamKind::Video: {
      std::vector<TFormatField> v = {ffCodec};
      if (s.Tag) v.push_back(ffTag);
      for (TFormatField f : {ffProfile, ffFrameSize, ffPixelFormat, ffAspect, ffTurn, ffFieldOrder}) v.push_back(f);
      // Where every frame carries its own time stamp, the average rate is
      // no parameter of the stream (phones jitter it, dark scenes slow it);
      // the time base the stamps count in is.
      v.push_back(s.InBand ? ffFrameRate : ffTimeBase);
      if (!s.InBand) v.push_back(ffSets);
      return v;
    }
    case TStreamKind::Audio: {
      std::vector<TFormatField> v = {ffCodec, ffProfile, ffSampleRate, ffLayout, ffSampleFormat};
      if (!s.InBand) v.push_back(ffSets);
      return v;
    }
    default: return {ffCodec};
  }
}

std::vector<const TStreamFormat*> OfKind(const TStreamFormats& all, TStreamKind kind) {
  std::vector<const TStreamFormat*> v;
  for (const TStreamFormat& s : all)
    if (s.Kind == kind) v.push_back(&s);
  return v;
}

std::string Streams(size_t n, const std::string& kind) {
  if (n == 0) return "no " + kind + " stream";
  return std::to_string(n) + " " + kind + (n == 1 ? " stream" : " streams");
}

// "audio 44.1 kHz, the first file 48 kHz", for streams paired by their
// order; the stream's number among its kind is named when there are several.
TStreamDifference FirstDifference(const std::vector<const TStreamFormat*>& first,
                                  const std::vector<const TStreamFormat*>& other, const std::string& kind,
                                  uint32_t tolerated) {
  for (size_t i = 0; i < first.size(); ++i) {
    std::vector<TFormatField> a = FieldsOf(*first[i]), b = FieldsOf(*other[i]);
    std::erase_if(a, [tolerated](TFormatField f) { return (f & tolerated) != 0; });
    std::erase_if(b, [tolerated](TFormatField f) { return (f & tolerated) != 0; });
    const std::string who = first.size() > 1 ? kind + " stream " + std::to_string(i + 1) : kind;
    for (size_t f = 0; f < std::max(a.size(), b.size()); ++f) {
      if (f >= a.size() || f >= b.size() || a[f] != b[f])
        return {who + " format differs from the first file's", ffTag, ""};
      const std::string was = FieldText(*first[i], a[f]), is = FieldText(*other[i], b[f]);
      if (was == is) continue;
      if (a[f] == ffSets) return {who + " " + FieldLabel(a[f]) + " differ from the first file's", ffSets, ""};
      return {who + " " + is + ", the first file " + was, a[f], is};
    }
  }
  return {};
}

}  // namespace

const char* StreamKindName(TStreamKind kind) {
  switch (kind) {
    case TStreamKind::Video: return "video";
    case TStreamKind::Audio: return "audio";
    case TStreamKind::Subtitle: return "subtitle";
    default: return "data";
  }
}

std::string TagText(uint32_t tag) {
  // As av_fourcc_make_string prints it.
  std::string s = "codec tag ";
  for (int i = 0; i < 4; ++i) {
    const int c = static_cast<int>((tag >> (8 * i)) & 0xFF);
    const bool printable = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                           c == ' ' || c == '-' || c == '_';
    s += printable ? std::string(1, static_cast<char>(c)) : "[" + std::to_string(c) + "]";
  }
  return s;
}

std::string FieldText(const TStreamFormat& s, TFormatField field) {
  switch (field) {
    case ffCodec:
      if (s.Kind != TStreamKind::Video && s.Kind != TStreamKind::Audio && s.Codec.empty()) return TagText(s.Tag);
      return s.Codec.empty() ? "none" : s.Codec;
    case ffTag: return TagText(s.Tag);
    case ffProfile:
      if (!s.ProfileName.empty()) return s.ProfileName + " profile";
      return s.ProfileId == kNoProfile ? "no profile" : "profile " + std::to_string(s.ProfileId);
    case ffFrameSize: return std::to_string(s.Width) + "x" + std::to_string(s.Height);
    case ffPixelFormat: return "pixel format " + (s.PixelFormat.empty() ? std::string("not stated") : s.PixelFormat);
    case ffAspect: return "sample aspect ratio " + std::to_string(s.AspectNum) + ":" + std::to_string(s.AspectDen);
    case ffTurn: return s.Turn == 0 ? "not turned" : "turned " + std::to_string(s.Turn) + " degrees";
    case ffFieldOrder: return FieldOrderText(s.FieldOrder);
    case ffFrameRate: return s.FrameRate() > 0 ? Printf("%.2f fps", s.FrameRate()) : "frame rate not stated";
    case ffTimeBase: return "time base " + std::to_string(s.TimeBaseNum) + "/" + std::to_string(s.TimeBaseDen);
    case ffSets: return SetsText(s.Sets);
    case ffSampleRate:
      return s.SampleRate % 1000 == 0 ? std::to_string(s.SampleRate / 1000) + " kHz" : Printf("%.1f kHz", s.SampleRate / 1000.0);
    case ffLayout: return (s.Layout.empty() ? "?" : s.Layout) + " (" + std::to_string(s.Channels) + " channels)";
    case ffSampleFormat: return "sample format " + (s.SampleFormat.empty() ? std::string("not stated") : s.SampleFormat);
    default: return "";
  }
}

bool SameStreams(const TStreamFormats& a, const TStreamFormats& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].Kind != b[i].Kind) return false;
    const std::vector<TFormatField> fa = FieldsOf(a[i]), fb = FieldsOf(b[i]);
    if (fa != fb) return false;
    for (TFormatField f : fa)
      if (FieldText(a[i], f) != FieldText(b[i], f)) return false;
  }
  return true;
}

TStreamsDiff CompareStreams(const TStreamFormats& first, const TStreamFormats& other, uint32_t tolerated) {
  TStreamsDiff d;
  for (TStreamKind kind : {TStreamKind::Video, TStreamKind::Audio}) {
    const auto a = OfKind(first, kind), b = OfKind(other, kind);
    const std::string name = StreamKindName(kind);
    TStreamDifference& out = kind == TStreamKind::Video ? d.Video : d.Audio;
    if (a.size() != b.size())
      out = {Streams(b.size(), name) + ", the first file " + (a.empty() ? "none" : std::to_string(a.size())), ffCount,
             Streams(b.size(), name)};
    else
      out = FirstDifference(a, b, name, tolerated);
  }
  // Subtitle and data streams pair up by their order among their kind.
  for (TStreamKind kind : {TStreamKind::Subtitle, TStreamKind::Data}) {
    const auto b = OfKind(other, kind);
    size_t nth = 0;
    for (size_t i = 0; i < first.size(); ++i) {
      if (first[i].Kind != kind) continue;
      if (nth >= b.size() || FieldText(*b[nth], ffCodec) != FieldText(first[i], ffCodec)) d.OthersDiffering.push_back(i);
      ++nth;
    }
  }
  return d;
}

}  // namespace vantrel
