#include "base/CopyFormat.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "base/VideoFileInfo.h"

namespace vantrel {

namespace {

// Fields are separated by tabs, label from shown by the first '=', streams
// by newlines; those characters are replaced in the texts themselves.
std::string Clean(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return s;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

std::vector<const TCopyStream*> OfKind(const std::vector<TCopyStream>& all, const std::string& kind) {
  std::vector<const TCopyStream*> v;
  for (const TCopyStream& s : all)
    if (s.Kind == kind) v.push_back(&s);
  return v;
}

std::string Streams(size_t n, const std::string& kind) {
  if (n == 0) return "no " + kind + " stream";
  return std::to_string(n) + " " + kind + (n == 1 ? " stream" : " streams");
}

// "audio 44.1 kHz, the first file 48 kHz", for streams paired by their
// order; the stream's number among its kind is named when there are several.
std::string FirstDifference(const std::vector<const TCopyStream*>& first, const std::vector<const TCopyStream*>& other,
                            const std::string& kind) {
  for (size_t i = 0; i < first.size(); ++i) {
    const auto& a = first[i]->Fields;
    const auto& b = other[i]->Fields;
    const std::string who = first.size() > 1 ? kind + " stream " + std::to_string(i + 1) : kind;
    for (size_t f = 0; f < std::max(a.size(), b.size()); ++f) {
      if (f < a.size() && f < b.size() && a[f] == b[f]) continue;
      if (f >= a.size() || f >= b.size() || a[f].first != b[f].first) return who + " format differs from the first file's";
      if (!a[f].second.empty() && a[f].second[0] == '#')
        return who + " " + a[f].first + " differ from the first file's";
      return who + " " + b[f].second + ", the first file " + a[f].second;
    }
  }
  return "";
}

std::string CountDifference(size_t firstCount, size_t otherCount, const std::string& kind) {
  return Streams(otherCount, kind) + ", the first file " + (firstCount == 0 ? "none" : std::to_string(firstCount));
}

}  // namespace

std::string EncodeCopyFormat(const std::vector<TCopyStream>& streams) {
  std::string text;
  for (const TCopyStream& s : streams) {
    if (!text.empty()) text += '\n';
    text += Clean(s.Kind);
    for (const auto& [label, shown] : s.Fields) {
      std::string l = Clean(label);
      std::replace(l.begin(), l.end(), '=', ' ');
      text += '\t' + l + '=' + Clean(shown);
    }
  }
  return text;
}

std::vector<TCopyStream> DecodeCopyFormat(const std::string& text) {
  std::vector<TCopyStream> streams;
  if (text.empty()) return streams;
  for (const std::string& line : Split(text, '\n')) {
    std::vector<std::string> parts = Split(line, '\t');
    if (parts[0].empty()) continue;
    TCopyStream s;
    s.Kind = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) {
      size_t eq = parts[i].find('=');
      if (eq == std::string::npos) continue;
      s.Fields.emplace_back(parts[i].substr(0, eq), parts[i].substr(eq + 1));
    }
    streams.push_back(std::move(s));
  }
  return streams;
}

TCopyFormatDiff CompareCopyFormat(const std::string& firstText, const std::string& otherText) {
  const std::vector<TCopyStream> first = DecodeCopyFormat(firstText), other = DecodeCopyFormat(otherText);
  TCopyFormatDiff d;
  for (const char* kind : {kStreamVideo, kStreamAudio}) {
    auto a = OfKind(first, kind), b = OfKind(other, kind);
    std::string& out = kind == kStreamVideo ? d.Video : d.Audio;
    out = a.size() != b.size() ? CountDifference(a.size(), b.size(), kind) : FirstDifference(a, b, kind);
  }
  // Subtitle and data streams pair up by their order among their kind.
  for (const char* kind : {kStreamSubtitle, kStreamData}) {
    auto b = OfKind(other, kind);
    size_t nth = 0;
    for (size_t i = 0; i < first.size(); ++i) {
      if (first[i].Kind != kind) continue;
      if (nth >= b.size() || b[nth]->Fields != first[i].Fields) d.OthersDiffering.push_back(i);
      ++nth;
    }
  }
  return d;
}

const std::vector<TCopyFamily>& CopyFamilies() {
  // MPEG-2 program streams go out as MPEG-2 packs ("vob"); the plain
  // "mpeg" muxer would write MPEG-1 system packs.
  static const std::vector<TCopyFamily> kFamilies = {
      {"MP4", ".mp4", "mp4", "MP4"},          {"QuickTime", ".mov", "mov", "MOV"},
      {"3GP", ".3gp", "3gp", "3GP"},          {"Matroska", ".mkv", "matroska", "Matroska"},
      {"WebM", ".webm", "webm", "WebM"},      {"MPEG-TS", ".ts", "mpegts", "MPEG-TS"},
      {"MPEG-PS", ".mpg", "vob", "MPEG-PS"},  {"FLV", ".flv", "flv", "FLV"},
  };
  return kFamilies;
}

std::string ArticleFor(const std::string& name) {
  // Initialisms read letter by letter take "an" before a vowel sound (an
  // MP4, an AVI, an FLV); MOV and the names read as words take "a".
  if (name.empty() || name == "MOV") return "a ";
  const bool initialism = name.size() > 1 && (std::isupper(static_cast<unsigned char>(name[1])) ||
                                               std::isdigit(static_cast<unsigned char>(name[1])));
  const char c = name[0];
  if (initialism) return std::string("AEFHILMNORSX").find(c) != std::string::npos ? "an " : "a ";
  return std::string("AEIOU").find(c) != std::string::npos ? "an " : "a ";
}

const TCopyFamily* CopyFamilyOf(const std::string& containerName) {
  for (const TCopyFamily& f : CopyFamilies())
    if (containerName == f.Container) return &f;
  return nullptr;
}

std::string LowerExtension(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = fileName.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

const TCopyFamily* CopyFamilyOfFileName(const std::string& fileName) {
  std::string ext = LowerExtension(fileName);
  if (ext.empty()) return nullptr;
  // Other names users give these containers.
  static const std::pair<const char*, const char*> kAliases[] = {
      {".m4v", ".mp4"}, {".m2ts", ".ts"}, {".mts", ".ts"}, {".mpeg", ".mpg"}, {".vob", ".mpg"}, {".qt", ".mov"}};
  for (const auto& [alias, ext2] : kAliases)
    if (ext == alias) ext = ext2;
  for (const TCopyFamily& f : CopyFamilies())
    if (ext == f.Extension) return &f;
  return nullptr;
}

std::string FileLabel(size_t index, const std::string& path) {
  return "File " + std::to_string(index + 1) + " (" + path.substr(path.rfind('/') + 1) + "): ";
}

std::string WithoutFields(const std::string& text, const std::vector<std::string>& labels) {
  if (labels.empty()) return text;
  std::vector<TCopyStream> streams = DecodeCopyFormat(text);
  for (TCopyStream& st : streams)
    std::erase_if(st.Fields, [&labels](const auto& f) {
      return std::find(labels.begin(), labels.end(), f.first) != labels.end();
    });
  return EncodeCopyFormat(streams);
}

namespace {

std::string MinutesSeconds(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char text[32];
  if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

std::string DamagedNote(size_t index, const std::string& path, double readSeconds, double promisedSeconds) {
  const std::string said = "File " + std::to_string(index + 1) + " (" + path.substr(path.rfind('/') + 1) + ") is damaged: ";
  // Within a minute, or where whole seconds would read the same ("00:01 of
  // 00:01"), to the millisecond.
  const bool fine = std::max(readSeconds, promisedSeconds) < 60 ||
                    MinutesSeconds(readSeconds) == MinutesSeconds(promisedSeconds);
  auto shown = [fine](double seconds) {
    if (!fine) return MinutesSeconds(seconds);
    seconds = std::max(0.0, seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%02ld:%06.3f", static_cast<long>(seconds) / 60, std::fmod(seconds, 60.0));
    return std::string(text);
  };
  if (promisedSeconds > 0) return said + "only " + shown(readSeconds) + " of " + shown(promisedSeconds) + " could be read";
  return said + "it could be read for " + shown(readSeconds) + " only";
}

TCopySet CompareCopySet(const std::vector<const TVideoFileInfo*>& files) {
  TCopySet set;
  if (files.empty()) return set;
  const TVideoFileInfo& first = *files.front();
  if (first.MediaType == kMediaAVI || first.MediaType == kMediaMPEG1 || first.CopyFormat.empty()) return set;
  set.Family = CopyFamilyOf(first.ContainerName);
  if (!set.Family) return set;
  for (size_t i = 1; i < files.size(); ++i) {
    const TVideoFileInfo& f = *files[i];
    const std::string label = FileLabel(i, f.FileName);
    const TCopyFamily* family = CopyFamilyOf(f.ContainerName);
    if (family != set.Family) {
      if (set.WhyNot.empty())
      {
        const std::string shown = family ? family->Shown : f.ContainerName.empty() ? f.MediaType : f.ContainerName;
        set.WhyNot = label + ArticleFor(shown) + shown + " file, the first file " + set.Family->Shown;
      }
      continue;
    }
    const TCopyFormatDiff d = CompareCopyFormat(first.CopyFormat, f.CopyFormat);
    if (set.WhyNot.empty() && !d.Video.empty()) set.WhyNot = label + d.Video;
    if (set.SoundDiffers.empty() && !d.Audio.empty()) set.SoundDiffers = label + d.Audio;
  }
  return set;
}

}  // namespace vantrel
