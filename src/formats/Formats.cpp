// The registry of containers and codecs.
#include "formats/Formats.h"

#include <algorithm>
#include <cctype>

#include "base/Names.h"

namespace vantrel {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TContainer& Add(std::vector<TContainer>& v, TContainerId id, const char* name, const char* shown) {
  TContainer c;
  c.Id = id;
  c.Name = name;
  c.Shown = shown;
  v.push_back(c);
  return v.back();
}

// Files read and recompressed, never written.
void AddReadOnly(std::vector<TContainer>& v) {
  const std::pair<TContainerId, std::pair<const char*, const char*>> kRead[] = {
      {TContainerId::Ogg, {"Ogg", "ogg"}},          {TContainerId::Dv, {"DV", "dv"}},
      {TContainerId::Asf, {"ASF", "asf"}},          {TContainerId::RawH264, {"H.264", "h264"}},
      {TContainerId::RawHevc, {"HEVC", "hevc"}},    {TContainerId::Wave, {"WAVE", "wav"}},
      {TContainerId::Mp3, {"MP3", "mp3"}},          {TContainerId::Ivf, {"IVF", "ivf"}},
      {TContainerId::Nut, {"NUT", "nut"}},          {TContainerId::RealMedia, {"RealMedia", "rm"}},
  };
  for (const auto& [id, names] : kRead) Add(v, id, names.first, names.first).Demuxer = names.second;
  // An MPEG video elementary stream as FFmpeg's demuxer names it.
  Add(v, TContainerId::MpegVideo, "MPEG video", "MPEG video").Demuxer = "mpegvideo";
}

std::vector<TContainer> MakeContainers() {
  std::vector<TContainer> v;
  auto add = [&v](TContainerId id, const char* name, const char* shown) -> TContainer& {
    return Add(v, id, name, shown);
  };
  TContainer* c = &add(TContainerId::Avi, "AVI", "AVI");
  c->Demuxer = "avi";
  c->RecompressMuxer = "avi";
  c->Extensions = {".avi"};
  c->SampleRate = 44100;
  // The MPEG-1 joiner writes a system stream, or a video stream as it is.
  c = &add(TContainerId::Mpeg1, "MPEG1", "MPEG");
  c->Extensions = {".mpeg", ".mpg", ".m1v", ".mpv", ".vob"};
  c->Named = 4;
  // H.264 and AAC play everywhere; HEVC and AV1 are smaller at the cost of
  // time.
  c = &add(TContainerId::MP4, "MP4", "MP4");
  c->Demuxer = "mov,mp4,m4a,3gp,3g2,mj2";
  c->CopyMuxer = c->RecompressMuxer = "mp4";
  c->Extensions = {".mp4", ".m4v"};
  c->Named = 2;
  c->Chapters = c->SmartCopy = true;
  c->VideoEncoders = {"libx264", "libx265", "libsvtav1", "libaom-av1", "mpeg4"};
  c->AudioEncoders = {"aac", "libopus", "libmp3lame", "ac3"};
  c = &add(TContainerId::QuickTime, "QuickTime", "MOV");
  c->Demuxer = "mov,mp4,m4a,3gp,3g2,mj2";
  c->Brand = "qt";
  c->CopyMuxer = c->RecompressMuxer = "mov";
  c->Extensions = {".mov", ".qt"};
  c->Chapters = c->SmartCopy = true;
  c->VideoEncoders = {"libx264", "libx265", "mpeg4"};
  c->AudioEncoders = {"aac", "ac3", "pcm_s16le"};
  c = &add(TContainerId::ThreeGP, "3GP", "3GP");
  c->Demuxer = "mov,mp4,m4a,3gp,3g2,mj2";
  c->Brand = "3g";
  c->CopyMuxer = "3gp";
  c->Extensions = {".3gp"};
  c->Chapters = true;
  // Matroska takes Opus by default: its CodecDelay element states the
  // encoder's delay, so the picture still starts at 0.
  c = &add(TContainerId::Matroska, "Matroska", "Matroska");
  c->Demuxer = "matroska,webm";
  c->DocType = "matroska";
  c->CopyMuxer = c->RecompressMuxer = "matroska";
  c->Extensions = {".mkv"};
  c->Chapters = c->SmartCopy = true;
  c->VideoEncoders = {"libx264", "libx265", "libvpx-vp9", "libsvtav1", "libaom-av1", "mpeg4"};
  c->AudioEncoders = {"libopus", "aac", "libvorbis", "flac", "ac3", "libmp3lame"};
  c = &add(TContainerId::WebM, "WebM", "WebM");
  c->Demuxer = "matroska,webm";
  c->DocType = "webm";
  c->CopyMuxer = c->RecompressMuxer = "webm";
  c->Extensions = {".webm"};
  c->Chapters = c->SmartCopy = true;
  c->VideoEncoders = {"libvpx-vp9", "libsvtav1", "libaom-av1", "libvpx"};
  c->AudioEncoders = {"libopus", "libvorbis"};
  c = &add(TContainerId::MpegTs, "MPEG-TS", "MPEG-TS");
  c->Demuxer = "mpegts";
  c->CopyMuxer = "mpegts";
  c->Extensions = {".ts", ".m2ts", ".mts"};
  c->SmartCopy = true;
  // MPEG-2 program streams go out as MPEG-2 packs ("vob"); the plain
  // "mpeg" muxer would write MPEG-1 system packs.
  c = &add(TContainerId::MpegPs, "MPEG-PS", "MPEG-PS");
  c->Demuxer = "mpeg";
  c->CopyMuxer = "vob";
  c->Extensions = {".mpg", ".mpeg", ".vob"};
  c = &add(TContainerId::Flv, "FLV", "FLV");
  c->Demuxer = "flv";
  c->CopyMuxer = "flv";
  c->Extensions = {".flv"};
  AddReadOnly(v);
  return v;
}

}  // namespace

const std::vector<TContainer>& Containers() {
  static const std::vector<TContainer> containers = MakeContainers();
  return containers;
}

const TContainer& ContainerOf(TContainerId id) {
  for (const TContainer& c : Containers())
    if (c.Id == id) return c;
  static const TContainer unknown;
  return unknown;
}

const TContainer* ContainerOfDemuxer(const std::string& demuxer, const std::string& brand, const std::string& docType) {
  // The entries of one demuxer with a brand or DocType come first, the one
  // that takes any last.
  const TContainer* any = nullptr;
  for (const TContainer& c : Containers()) {
    if (demuxer != c.Demuxer) continue;
    if (*c.Brand && brand.rfind(c.Brand, 0) == 0) return &c;
    if (*c.DocType && docType == c.DocType) return &c;
    if (!*c.Brand && !any && (!*c.DocType || docType.empty())) any = &c;
  }
  return any;
}

const TContainer* ContainerOfFileName(const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext.empty()) return nullptr;
  for (const TContainer& c : Containers())
    if (c.Copies() || c.Id == TContainerId::Avi)
      if (std::find(c.Extensions.begin(), c.Extensions.end(), ext) != c.Extensions.end()) return &c;
  return nullptr;
}

const TContainer* RecompressContainerOfFileName(const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  if (ext.empty()) return &ContainerOf(TContainerId::Avi);
  for (const TContainer& c : Containers()) {
    if (!c.Recompresses()) continue;
    const auto named = c.Extensions.begin() + static_cast<std::ptrdiff_t>(std::min(c.Named, c.Extensions.size()));
    if (std::find(c.Extensions.begin(), named, ext) != named) return &c;
  }
  return nullptr;
}

const TContainer* ContainerNamed(const std::string& name) {
  const std::string n = Lower(name);
  for (const TContainer& c : Containers()) {
    if ((c.Recompresses() && n == c.RecompressMuxer) || (c.Copies() && n == c.CopyMuxer) || n == Lower(c.Name))
      return &c;
    for (const std::string& e : c.Extensions)
      if (e == n || e.substr(1) == n) return &c;
  }
  return nullptr;
}

std::string RecompressExtensionsText() {
  std::vector<std::string> all;
  for (const TContainer& c : Containers())
    if (c.Recompresses()) all.insert(all.end(), c.Extensions.begin(), c.Extensions.begin() + static_cast<std::ptrdiff_t>(c.Named));
  std::string s;
  for (size_t i = 0; i < all.size(); ++i) s += (i == 0 ? "" : i + 1 == all.size() ? " and " : ", ") + all[i];
  return s;
}

std::string CopyContainersText(const char* lastJoin) {
  std::vector<std::string> all;
  for (const TContainer& c : Containers())
    if (c.Copies() && c.Id != TContainerId::ThreeGP) all.push_back(c.Shown);
  std::string s;
  for (size_t i = 0; i < all.size(); ++i)
    s += (i == 0 ? "" : i + 1 == all.size() ? std::string(" ") + lastJoin + " " : ", ") + all[i];
  return s;
}

const TCodec* CodecNamed(const std::string& name) {
  static const std::vector<TCodec> kCodecs = {
      {"h264", "H.264", false, {"libx264"}},
      {"hevc", "HEVC", false, {"libx265"}},
      {"vp9", "VP9", false, {"libvpx-vp9"}},
      // SVT-AV1 is many times faster than the reference encoder.
      {"av1", "AV1", false, {"libsvtav1", "libaom-av1"}},
      {"mpeg4", "MPEG-4 Part 2", false, {}},
      {"mpeg1video", "MPEG-1 video", false, {}},
      {"mpeg2video", "MPEG-2 video", false, {}},
      {"aac", "AAC", true, {"aac"}},
      {"opus", "Opus", true, {"libopus"}},
      {"mp3", "MP3", true, {"libmp3lame"}},
      {"ac3", "AC-3", true, {"ac3"}},
      {"mp2", "MPEG audio layer 2", true, {}},
      {"vorbis", "Vorbis", true, {}},
      {"flac", "FLAC", true, {}},
  };
  for (const TCodec& c : kCodecs)
    if (name == c.Name) return &c;
  return nullptr;
}

const std::vector<TRecompressChoice>& RecompressChoices() {
  static const std::vector<TRecompressChoice> kChoices = {
      {"AVI (the compressors below)", TContainerId::Avi, "", ""},
      {"MP4 (H.264 + AAC)", TContainerId::MP4, "libx264", "aac"},
      {"MP4 (HEVC + AAC)", TContainerId::MP4, "libx265", "aac"},
      {"Matroska (H.264 + Opus)", TContainerId::Matroska, "libx264", "libopus"},
      {"WebM (VP9 + Opus)", TContainerId::WebM, "libvpx-vp9", "libopus"},
  };
  return kChoices;
}

}  // namespace vantrel
