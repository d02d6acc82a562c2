#include "recompress/OutputFormats.h"

#include <algorithm>
#include <cctype>

#include "ffmpeg/AvOwners.h"

namespace vantrel {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

const std::vector<TRecompressFormat>& RecompressFormats() {
  // H.264 and AAC play everywhere; HEVC and AV1 are smaller at the cost of
  // time. Matroska takes Opus by default: its CodecDelay element states
  // the encoder's delay, so the picture still starts at 0.
  static const std::vector<TRecompressFormat> formats = {
      {"avi", "AVI", {".avi"}, {}, {}, 44100, false},
      {"mp4",
       "MP4",
       {".mp4", ".m4v"},
       {"libx264", "libx265", "libsvtav1", "libaom-av1", "mpeg4"},
       {"aac", "libopus", "libmp3lame", "ac3"},
       48000,
       true},
      {"mov", "QuickTime", {".mov"}, {"libx264", "libx265", "mpeg4"}, {"aac", "ac3", "pcm_s16le"}, 48000, true},
      {"matroska",
       "Matroska",
       {".mkv"},
       {"libx264", "libx265", "libvpx-vp9", "libsvtav1", "libaom-av1", "mpeg4"},
       {"libopus", "aac", "libvorbis", "flac", "ac3", "libmp3lame"},
       48000,
       true},
      {"webm", "WebM", {".webm"}, {"libvpx-vp9", "libsvtav1", "libaom-av1", "libvpx"}, {"libopus", "libvorbis"}, 48000,
       true},
  };
  return formats;
}

const TRecompressFormat* RecompressFormatOfFileName(const std::string& outputFileName) {
  const size_t slash = outputFileName.rfind('/');
  const size_t dot = outputFileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return &RecompressFormats().front();
  const std::string ext = Lower(outputFileName.substr(dot));
  for (const TRecompressFormat& f : RecompressFormats())
    if (std::find(f.Extensions.begin(), f.Extensions.end(), ext) != f.Extensions.end()) return &f;
  return nullptr;
}

const TRecompressFormat* RecompressFormatNamed(const std::string& name) {
  const std::string n = Lower(name);
  for (const TRecompressFormat& f : RecompressFormats()) {
    if (f.Muxer == n) return &f;
    for (const std::string& e : f.Extensions)
      if (e == n || e.substr(1) == n) return &f;
  }
  return nullptr;
}

std::string RecompressExtensionsText() {
  std::vector<std::string> all;
  for (const TRecompressFormat& f : RecompressFormats()) all.insert(all.end(), f.Extensions.begin(), f.Extensions.end());
  std::string s;
  for (size_t i = 0; i < all.size(); ++i) s += (i == 0 ? "" : i + 1 == all.size() ? " and " : ", ") + all[i];
  return s;
}

std::vector<std::string> AvailableEncoders(const TRecompressFormat& format, bool audio) {
  std::vector<std::string> r;
  const AVOutputFormat* muxer = av_guess_format(format.Muxer.c_str(), nullptr, nullptr);
  for (const std::string& name : audio ? format.AudioEncoders : format.VideoEncoders) {
    const AVCodec* c = avcodec_find_encoder_by_name(name.c_str());
    if (c && muxer && avformat_query_codec(muxer, c->id, FF_COMPLIANCE_NORMAL) == 1) r.push_back(name);
  }
  return r;
}

std::string DefaultEncoder(const TRecompressFormat& format, bool audio) {
  const std::vector<std::string> r = AvailableEncoders(format, audio);
  return r.empty() ? std::string() : r.front();
}

}  // namespace vantrel
