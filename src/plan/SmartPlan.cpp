// The smart join's part of the plan: when most of the playing time is in
// files with identical streams, those are copied packet for packet and only
// the others are decoded and encoded again, to exactly their format, so that
// one stream copy joins them all. Everything the re-encoding must match is
// read from the probe of the file they match.
#include <algorithm>
#include <cstdio>

#include <optional>

#include "plan/Routes.h"

namespace vantrel {

namespace {

// More re-encoded files than this would not find parameter set ids of
// their own beside the copied files' (an avcC lists at most 31).
constexpr size_t kMostReencoded = 16;

// The profile names x264 takes, for the H.264 profile ids.
std::string X264Profile(int profile) {
  switch (profile) {
    case 66:   // Baseline
    case 578:  // Constrained Baseline
      return "baseline";
    case 77: return "main";
    default: return "high";
  }
}

// The names x264 and x265 share with FFmpeg for the colour properties.
bool EncoderKnows(const std::string& name) {
  static const char* const kNames[] = {"bt709", "bt470m", "bt470bg", "smpte170m", "smpte240m", "film", "bt2020",
                                       "linear", "iec61966-2-1", "bt2020nc", "bt2020c", "smpte2084", "arib-std-b67",
                                       "fcc", "GBR", "YCgCo", "bt2020-10", "bt2020-12"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// The colour properties the target states, as x264-params or x265-params.
std::string ColourParams(const TStreamFormat& v, bool hevc) {
  std::string s;
  auto add = [&s](const char* key, const std::string& name) {
    if (!name.empty() && EncoderKnows(name)) s += std::string(":") + key + "=" + name;
  };
  add("colorprim", v.Primaries);
  add("transfer", v.Transfer);
  add("colormatrix", v.Matrix);
  if (v.FullRange) s += hevc ? ":range=full" : ":fullrange=on";
  return s;
}

const TStreamFormat* FirstOf(const TStreamFormats& streams, TStreamKind kind) {
  for (const TStreamFormat& s : streams)
    if (s.Kind == kind) return &s;
  return nullptr;
}

// The file's group: the files of its container with the same streams, by
// their first member; none for a file a stream copy does not take.
std::vector<size_t> Groups(const TJoinRequest& r) {
  std::vector<size_t> group(r.Files.size());
  for (size_t i = 0; i < r.Files.size(); ++i) {
    const TVideoFileInfo& f = r.Files[i];
    group[i] = i;
    if (!ContainerOf(f.Container).Copies() || f.Streams.empty()) continue;
    for (size_t k = 0; k < i; ++k)
      if (group[k] == k && r.Files[k].Container == f.Container && SameStreams(r.Files[k].Streams, f.Streams)) {
        group[i] = k;
        break;
      }
  }
  return group;
}

bool Groupable(const TVideoFileInfo& f) { return ContainerOf(f.Container).Copies() && !f.Streams.empty(); }

// How a re-encoded file differs from the target, in a few words.
std::string Difference(const TVideoFileInfo& target, const TVideoFileInfo& f) {
  if (f.Streams.empty()) return f.ContainerName.empty() ? f.MediaType : f.ContainerName;
  const TStreamsDiff d = CompareStreams(target.Streams, f.Streams);
  std::string why = d.Video ? d.Video.Words : d.Audio ? d.Audio.Words : "";
  if (why.empty()) {
    const TContainer& c = ContainerOf(f.Container);
    why = c.Copies() ? c.Shown : f.ContainerName;
  }
  const size_t cut = why.find(", the first file");
  return cut == std::string::npos ? why : why.substr(0, cut);
}

std::string LevelText(const TStreamFormat& v, bool hevc) {
  if (v.Level <= 0) return "";
  char level[16];
  // HEVC's general_level_idc is 30 times the level, H.264's level_idc ten.
  if (hevc)
    std::snprintf(level, sizeof level, "%d.%d", v.Level / 30, v.Level % 30 / 3);
  else
    std::snprintf(level, sizeof level, "%d.%d", v.Level / 10, v.Level % 10);
  return level;
}

// The first encoder of the codec's that the machine has.
std::string EncoderFor(const std::string& codec, const IEncoderCatalog& encoders) {
  const TCodec* c = CodecNamed(codec);
  if (!c) return "";
  for (const std::string& e : c->Encoders)
    if (encoders.Has(e)) return e;
  return c->Encoders.empty() ? "" : c->Encoders.front();
}

struct TWhyNot {
  std::string Text;
};

// What the target is and how it is encoded again; throws TWhyNot.
void PlanTarget(const TJoinRequest& r, const IEncoderCatalog& encoders, size_t odd, TJoinPlan& p) {
  const TVideoFileInfo& target = r.Files[p.Smart.File];
  const TContainer& family = ContainerOf(target.Container);
  if (!family.SmartCopy)
    throw TWhyNot{"a smart join copies MP4, MOV, Matroska, WebM and MPEG-TS files, not " + std::string(family.Shown) +
                  " files"};
  const TStreamFormat* video = FirstOf(target.Streams, TStreamKind::Video);
  const TStreamFormat* audio = FirstOf(target.Streams, TStreamKind::Audio);
  for (const TStreamFormat& s : target.Streams)
    if ((s.Kind == TStreamKind::Video && &s != video) || (s.Kind == TStreamKind::Audio && &s != audio) ||
        s.Kind == TStreamKind::Subtitle || s.Kind == TStreamKind::Data)
      throw TWhyNot{"a smart join takes files of one video stream and at most one sound stream"};
  const std::string codec = video ? video->Codec : "";
  const TCodec* known = CodecNamed(codec);
  if (!known || known->Audio || known->Encoders.empty())
    throw TWhyNot{"a smart join encodes H.264, HEVC, VP9 and AV1 only, and the files that would be copied hold " +
                  (video ? codec : std::string("no video"))};
  if (video->PixelFormat != "yuv420p" || video->FieldOrder == TFieldOrder::TopFirst ||
      video->FieldOrder == TFieldOrder::BottomFirst)
    throw TWhyNot{std::string("a smart join encodes 8-bit 4:2:0 progressive ") + known->Shown + " only, not " +
                  FieldText(*video, ffPixelFormat)};
  const bool hevc = codec == "hevc";
  // HEVC's re-encoded files each take a sequence parameter set id beside
  // the copied files' one, of the sixteen there are.
  if (hevc && odd > kMostReencoded - 1)
    throw TWhyNot{"a smart join re-encodes at most " + std::to_string(kMostReencoded - 1) + " HEVC files"};
  TSmartTarget& t = p.Smart;
  t.Codec = codec;
  t.Width = video->Width;
  t.Height = video->Height;
  t.RateNum = video->RateNum;
  t.RateDen = video->RateDen;
  // 8-bit 4:2:0 HEVC is Main.
  t.Profile = hevc ? "main" : X264Profile(video->ProfileId);
  t.Level = LevelText(*video, hevc);
  t.VideoSets = video->Sets;
  if (t.Width <= 0 || t.Height <= 0 || !(video->FrameRate() > 0))
    throw TWhyNot{"the video format of " + FileNamePart(target.FileName) + " is not known"};
  p.VideoEncoder.Encoder = EncoderFor(codec, encoders);
  p.AudioEncoder = {};
  if (audio && !r.WithoutSound) {
    const TCodec* sound = CodecNamed(audio->Codec);
    p.AudioEncoder.Encoder = sound && !sound->Encoders.empty() ? EncoderFor(audio->Codec, encoders) : "";
    if (p.AudioEncoder.Encoder.empty())
      throw TWhyNot{"a smart join encodes AAC, Opus, MP3 and AC-3 sound, not " + audio->Codec};
    t.Sound = true;
    t.SampleRate = audio->SampleRate;
    t.Channels = audio->Channels;
    t.SoundBitRate = audio->BitRate;
    if (t.SoundBitRate > 0) p.AudioEncoder.Options["b"] = std::to_string(t.SoundBitRate);
  }
  for (const std::string& e : {p.VideoEncoder.Encoder, p.AudioEncoder.Encoder})
    if (!e.empty() && !encoders.Has(e)) throw TWhyNot{"this system has no " + e + " encoder"};
  // The user's options of that encoder; then what matches the target. VP9
  // and AV1 have nothing to match but the frame size, rate and pixel
  // format the render gives them: each key frame carries what a decoder
  // needs.
  if (r.VideoEncoder && r.VideoEncoder->Encoder == p.VideoEncoder.Encoder) p.VideoEncoder.Options = r.VideoEncoder->Options;
  for (const auto& [k, v] : r.VideoOptions) p.VideoEncoder.Options[k] = v;
  const bool selfContained = codec == "vp9" || codec == "av1";
  if (!selfContained) p.VideoEncoder.Options["profile"] = t.Profile;
  if (hevc) {
    // Closed groups of pictures, as the recompressing join makes them.
    p.VideoEncoder.Options["x265-params"] =
        "open-gop=0:log-level=error" + (t.Level.empty() ? "" : ":level-idc=" + t.Level) + ColourParams(*video, true);
  } else if (!selfContained) {
    if (!t.Level.empty()) p.VideoEncoder.Options["level"] = t.Level;
    // The engine puts each part's sps-id before these.
    const std::string colour = ColourParams(*video, false);
    if (!colour.empty()) p.VideoEncoder.Options["x264-params"] = colour.substr(1);
  }
  // The parts are made in a container the copy reads back: a transport
  // stream for a transport stream, Matroska for Opus and for VP9 and AV1,
  // else MP4.
  const bool ts = family.Id == TContainerId::MpegTs;
  const bool mkv = !ts && (p.AudioEncoder.Encoder == "libopus" || selfContained);
  t.PartMuxer = ts ? "mpegts" : mkv ? "matroska" : "mp4";
  t.PartExtension = ts ? ".ts" : mkv ? ".mkv" : ".mp4";
}

// The group of identical files that plays longest, the first file's on a
// tie, when it holds most of the playing time.
std::optional<size_t> LongestGroup(const TJoinRequest& r, const std::vector<size_t>& group) {
  const size_t n = r.Files.size();
  std::vector<double> time(n, 0.0);
  double total = 0;
  for (size_t i = 0; i < n; ++i) {
    time[group[i]] += std::max(0.0, r.Files[i].Duration);
    total += std::max(0.0, r.Files[i].Duration);
  }
  size_t best = group[0];
  for (size_t i = 0; i < n; ++i)
    if (group[i] == i && time[i] > time[best]) best = i;
  if (!Groupable(r.Files[best]) || !(time[best] * 2 > total)) return std::nullopt;
  return best;
}

// Why the output's name does not suit a smart join of the target's format:
// another container family, or one that cannot hold a copied stream.
std::string OutputRefusal(const TJoinRequest& r, const TVideoFileInfo& target, bool sound) {
  if (r.OutputFileName.empty()) return {};
  const TContainer& family = ContainerOf(target.Container);
  const TContainer* named = ContainerOfFileName(r.OutputFileName);
  if (!named || !named->Copies())
    return std::string("a smart join of these files writes ") + family.Extensions.front() + " files, not " +
           LowerExtension(r.OutputFileName);
  const uint64_t bit = uint64_t{1} << static_cast<unsigned>(named->Id);
  for (const TStreamFormat& s : target.Streams)
    if ((s.Kind == TStreamKind::Video || (s.Kind == TStreamKind::Audio && sound)) && (s.Refusers & bit))
      return ArticleFor(named->Shown) + named->Shown + " file cannot hold " + FieldText(s, ffCodec) + " " +
             StreamKindName(s.Kind);
  return {};
}

}  // namespace

TAnswer SmartAnswer(const TJoinRequest& r, const IEncoderCatalog& encoders, TJoinPlan& p) {
  TAnswer a;
  a.Verdict = TAnswer::OtherParameters;
  const size_t n = r.Files.size();
  if (n < 2) {
    a.Reason = "a smart join takes two files or more";
    return a;
  }
  // Groups of identical files: the same container and streams.
  const std::vector<size_t> group = Groups(r);
  const std::optional<size_t> longest = LongestGroup(r, group);
  if (!longest) {
    a.Reason = "no files with identical streams hold most of the playing time";
    return a;
  }
  const size_t best = *longest;
  size_t odd = 0;
  for (size_t i = 0; i < n; ++i) odd += group[i] != best;
  if (odd == 0) {
    a.Reason = "the files can be joined without recompression";
    return a;
  }
  if (odd > kMostReencoded) {
    a.Reason = "a smart join re-encodes at most " + std::to_string(kMostReencoded) + " files";
    return a;
  }
  TJoinPlan plan = p;
  plan.Smart = TSmartTarget();
  plan.Smart.File = best;
  try {
    PlanTarget(r, encoders, odd, plan);
  } catch (const TWhyNot& why) {
    a.Reason = why.Text;
    return a;
  }
  const TVideoFileInfo& target = r.Files[best];
  const TContainer* named = ContainerOfFileName(r.OutputFileName);
  const TContainer& out = named && named->Copies() ? *named : ContainerOf(target.Container);
  a.Reason = OutputRefusal(r, target, plan.Smart.Sound);
  if (!a.Reason.empty()) return a;
  std::string list;
  for (size_t i = 0; i < n; ++i) {
    TFilePlan& f = plan.Files[i];
    f.Role = i == best ? TFileRole::Target : group[i] == best ? TFileRole::Copied : TFileRole::Reencoded;
    if (f.Role != TFileRole::Reencoded) continue;
    f.WhyReencoded = Difference(target, r.Files[i]);
    list += (list.empty() ? "" : ", ") + FileNamePart(r.Files[i].FileName) + " (" + f.WhyReencoded + ")";
  }
  const size_t copied = n - odd;
  plan.SmartDescription = std::to_string(copied) + (copied == 1 ? " file" : " files") + " copied, " +
                          std::to_string(odd) + " re-encoded to " + std::to_string(plan.Smart.Width) + "x" +
                          std::to_string(plan.Smart.Height) + " " + CodecNamed(plan.Smart.Codec)->Shown + ": " + list;
  plan.Output = {out.Id, out.CopyMuxer, out.Extensions.front(), out.Shown, out.Chapters};
  const std::string ext = LowerExtension(r.OutputFileName);
  if (!ext.empty()) plan.Output.Extension = ext;
  plan.WithoutSound = r.WithoutSound || !plan.Smart.Sound;
  plan.Route = TPlanRoute::Smart;
  p = std::move(plan);
  a.Verdict = TAnswer::Joins;
  a.Route = TPlanRoute::Smart;
  a.Reason = p.SmartDescription;
  a.Output = p.Output;
  return a;
}

}  // namespace vantrel
