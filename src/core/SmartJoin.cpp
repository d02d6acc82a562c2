// The smart join's plan.
#include "core/SmartJoin.h"

#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "remux/RemuxJoin.h"

namespace vantrel {

namespace {

// More re-encoded files than this would not find parameter set ids of
// their own beside the copied files' (an avcC lists at most 31).
constexpr size_t kMostReencoded = 16;

std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string Field(const TCopyStream& s, const std::string& label) {
  for (const auto& [l, shown] : s.Fields)
    if (l == label) return shown;
  return "";
}

bool HaveEncoder(const std::string& name) { return avcodec_find_encoder_by_name(name.c_str()) != nullptr; }

// The sound encoder that writes what the copied files hold.
std::string AudioEncoderFor(const std::string& codec) {
  static const std::map<std::string, std::string> kEncoders = {
      {"aac", "aac"}, {"opus", "libopus"}, {"mp3", "libmp3lame"}, {"ac3", "ac3"}};
  auto it = kEncoders.find(codec);
  return it == kEncoders.end() ? "" : it->second;
}

// How a re-encoded file differs from the target, in a few words.
std::string Difference(const TVideoFileInfo& target, const TVideoFileInfo& f) {
  if (f.CopyFormat.empty()) return f.ContainerName.empty() ? f.MediaType : f.ContainerName;
  const TCopyFormatDiff d = CompareCopyFormat(target.CopyFormat, f.CopyFormat);
  std::string why = !d.Video.empty() ? d.Video : !d.Audio.empty() ? d.Audio : "";
  if (why.empty()) {
    const TCopyFamily* family = CopyFamilyOf(f.ContainerName);
    why = family ? family->Shown : f.ContainerName;
  }
  const size_t cut = why.find(", the first file");
  return cut == std::string::npos ? why : why.substr(0, cut);
}

}  // namespace

TSmartPlan PlanSmartJoin(const TJoinRequest& r) {
  TSmartPlan p;
  const size_t n = r.Files.size();
  if (n < 2) {
    p.WhyNot = "a smart join takes two files or more";
    return p;
  }
  // Groups of identical files: the same container family and streams.
  std::map<std::string, std::pair<double, size_t>> groups;  // key: time, first file
  std::vector<std::string> keys(n);
  double total = 0;
  for (size_t i = 0; i < n; ++i) {
    const TVideoFileInfo& f = r.Files[i];
    const TCopyFamily* family = CopyFamilyOf(f.ContainerName);
    keys[i] = family && !f.CopyFormat.empty() ? std::string(family->Container) + "\n" + f.CopyFormat
                                               : "#" + std::to_string(i);  // in no group
    auto& g = groups.try_emplace(keys[i], 0.0, i).first->second;
    g.first += std::max(0.0, f.Duration);
    total += std::max(0.0, f.Duration);
  }
  const auto& first = groups.at(keys[0]);
  std::pair<double, size_t> best = first;
  for (const auto& [key, g] : groups)
    if (g.first > best.first) best = g;
  p.Target = best.second;
  const TVideoFileInfo& target = r.Files[p.Target];
  if (keys[p.Target][0] == '#' || !(best.first * 2 > total)) {
    p.WhyNot = "no files with identical streams hold most of the playing time";
    return p;
  }
  p.Reencode.assign(n, false);
  size_t odd = 0;
  for (size_t i = 0; i < n; ++i)
    if (keys[i] != keys[p.Target]) {
      p.Reencode[i] = true;
      ++odd;
    }
  if (odd == 0) {
    p.WhyNot = "the files can be joined without recompression";
    return p;
  }
  if (odd > kMostReencoded) {
    p.WhyNot = "a smart join re-encodes at most " + std::to_string(kMostReencoded) + " files";
    return p;
  }
  p.Family = CopyFamilyOf(target.ContainerName);
  const std::string container = p.Family->Container;
  if (container != "MP4" && container != "QuickTime" && container != "Matroska" && container != "WebM" &&
      container != "MPEG-TS") {
    p.WhyNot = std::string("a smart join copies MP4, MOV, Matroska, WebM and MPEG-TS files, not ") + p.Family->Shown +
               " files";
    return p;
  }
  const TCopyStream* video = nullptr;
  const TCopyStream* audio = nullptr;
  const std::vector<TCopyStream> streams = DecodeCopyFormat(target.CopyFormat);
  for (const TCopyStream& s : streams) {
    if (s.Kind == kStreamVideo && !video) video = &s;
    else if (s.Kind == kStreamAudio && !audio) audio = &s;
    else {
      p.WhyNot = "a smart join takes files of one video stream and at most one sound stream";
      return p;
    }
  }
  const std::string codec = video ? Field(*video, "codec") : "";
  if (codec != "h264" && codec != "hevc" && codec != "vp9" && codec != "av1") {
    p.WhyNot = "a smart join encodes H.264, HEVC, VP9 and AV1 only, and the files that would be copied hold " +
               (video ? codec : std::string("no video"));
    return p;
  }
  const char* shown = codec == "hevc" ? "HEVC" : codec == "vp9" ? "VP9" : codec == "av1" ? "AV1" : "H.264";
  if (Field(*video, "pixel format") != "pixel format yuv420p" ||
      Field(*video, "field order").rfind("interlaced", 0) == 0) {
    p.WhyNot = std::string("a smart join encodes 8-bit 4:2:0 progressive ") + shown + " only, not " +
               Field(*video, "pixel format");
    return p;
  }
  // HEVC's re-encoded files each take a sequence parameter set id beside
  // the copied files' one, of the sixteen there are.
  if (codec == "hevc" && odd > kMostReencoded - 1) {
    p.WhyNot = "a smart join re-encodes at most " + std::to_string(kMostReencoded - 1) + " HEVC files";
    return p;
  }
  p.VideoEncoder = codec == "hevc"  ? "libx265"
                   : codec == "vp9" ? "libvpx-vp9"
                   : codec == "av1" ? (HaveEncoder("libsvtav1") ? "libsvtav1" : "libaom-av1")
                                    : "libx264";
  if (audio && !r.WithoutSound) {
    p.AudioEncoder = AudioEncoderFor(Field(*audio, "codec"));
    if (p.AudioEncoder.empty()) {
      p.WhyNot = "a smart join encodes AAC, Opus, MP3 and AC-3 sound, not " + Field(*audio, "codec");
      return p;
    }
  }
  for (const std::string& e : {p.VideoEncoder, p.AudioEncoder})
    if (!e.empty() && !HaveEncoder(e)) {
      p.WhyNot = "this system has no " + e + " encoder";
      return p;
    }
  if (!r.OutputFileName.empty()) {
    const TCopyFamily* out = CopyFamilyOfFileName(r.OutputFileName);
    if (!out) {
      p.WhyNot = std::string("a smart join of these files writes ") + p.Family->Extension + " files, not " +
                 LowerExtension(r.OutputFileName);
      return p;
    }
    const std::string problem = RemuxOutputProblem(*out, target.CopyFormat, p.AudioEncoder.empty());
    if (!problem.empty()) {
      p.WhyNot = problem;
      return p;
    }
  }
  std::string list;
  for (size_t i = 0; i < n; ++i)
    if (p.Reencode[i]) list += (list.empty() ? "" : ", ") + Name(r.Files[i].FileName) + " (" + Difference(target, r.Files[i]) + ")";
  const size_t copied = n - odd;
  p.Description = std::to_string(copied) + (copied == 1 ? " file" : " files") + " copied, " + std::to_string(odd) +
                  " re-encoded to " + std::to_string(target.Width) + "x" + std::to_string(target.Height) +
                  " " + shown + ": " + list;
  p.Applies = true;
  return p;
}

}  // namespace vantrel
