// Probe of AVI and MPEG-1 files from their own headers.
#include "core/NativeProbe.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include "avi/AVIRead.h"
#include "avi/AVIUtils.h"
#include "core/PosixFile.h"
#include "mpeg/MPEG1SysRead.h"

namespace vantrel {
namespace {

constexpr double kMpegRates[16] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};

bool ProbeAvi(const std::string& fileName, TVideoFileInfo& info) {
  TAVIFileReader r;
  try {
    r.Open(fileName, true);
  } catch (const std::exception&) {
    return false;
  }
  bool video = false;
  for (int i = 0; i < r.StreamCount(); ++i) {
    const TAVIStream& s = r.Streams(i);
    const AVISTREAMHEADER& h = s.Header;
    if (h.fccType == ckIavs) return false;  // DV: the detector knows it better
    if (h.fccType == ckVids) {
      if (s.Format.size() < kBitmapInfoHeaderSize || h.dwRate == 0 || h.dwScale == 0) return false;
      // With several streams of a kind, the last one wins.
      video = true;
      int64_t width = static_cast<int32_t>(ReadLE32(s.Format.data() + kBiWidthOffset));
      int64_t height = static_cast<int32_t>(ReadLE32(s.Format.data() + kBiHeightOffset));
      // Magnitudes in 64 bits: the most negative 32-bit value has none in 32.
      info.Width = static_cast<uint16_t>(std::llabs(width) & 0xFFFF);
      info.Height = static_cast<uint16_t>(std::llabs(height) & 0xFFFF);  // negative: top-down rows
      info.VideoFourCC = ReadLE32(s.Format.data() + kBiCompressionOffset);
      info.FrameRate = static_cast<double>(h.dwRate) / h.dwScale;
    } else if (h.fccType == ckAuds) {
      if (s.Format.size() < 16) return false;
      const uint8_t* f = s.Format.data();
      uint16_t tag = ReadLE16(f);
      if (tag == 0 || tag == 0xFFFE) return false;  // unknown or extensible: the detector decides
      info.HasAudio = true;
      info.AudioFormatTag = tag;
      info.Channels = static_cast<uint8_t>(ReadLE16(f + 2) & 0xFF);
      info.SampleRate = static_cast<int32_t>(ReadLE32(f + 4));
      info.BitsPerSample = static_cast<int16_t>(ReadLE16(f + 14));
    }
  }
  return video;
}

// Size and rate from a video sequence header (b points at 00 00 01 B3).
bool SequenceHeader(const uint8_t* b, size_t n, TVideoFileInfo& info) {
  if (n < 8) return false;
  double rate = kMpegRates[b[7] & 0x0F];
  if (rate <= 0) return false;
  info.Width = static_cast<uint16_t>((b[4] << 4) | (b[5] >> 4));
  info.Height = static_cast<uint16_t>(((b[5] & 0x0F) << 8) | b[6]);
  info.FrameRate = rate;
  return true;
}

bool FindSequenceHeader(const std::vector<uint8_t>& d, TVideoFileInfo& info) {
  for (size_t i = 0; i + 8 <= d.size(); ++i)
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB3) return SequenceHeader(&d[i], d.size() - i, info);
  return false;
}

struct AudioFormat {
  int sampleRate = 0;
  int channels = 0;
  uint16_t tag = 0;
};

// The first MPEG audio frame header of a payload: layer II (0x50) and
// layer III (0x55) are described; anything else is the detector's.
bool MpegAudioHeader(const std::vector<uint8_t>& d, AudioFormat& a) {
  static const int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  for (size_t i = 0; i + 4 <= d.size(); ++i) {
    if (d[i] != 0xFF || (d[i + 1] & 0xE0) != 0xE0) continue;
    int version = (d[i + 1] >> 3) & 3;
    int layer = (d[i + 1] >> 1) & 3;  // 3: I, 2: II, 1: III
    int rateIndex = (d[i + 2] >> 2) & 3;
    int bitrate = d[i + 2] >> 4;
    if (version == 1 || layer == 0 || rateIndex == 3 || bitrate == 15) continue;
    if (layer == 3) return false;
    a.sampleRate = kRates[version][rateIndex];
    a.channels = ((d[i + 3] >> 6) & 3) == 3 ? 1 : 2;
    a.tag = layer == 2 ? 0x50 : 0x55;
    return true;
  }
  return false;
}

bool ProbeMpeg(const std::string& fileName, TVideoFileInfo& info) {
  uint8_t head[4];
  {
    TFile f = TFile::OpenRead(fileName);
    if (f.ReadAt(head, 4, 0) < 4) return false;
  }
  if (head[3] == 0xB3) {  // a video elementary stream
    TFile f = TFile::OpenRead(fileName);
    std::vector<uint8_t> d(64);
    d.resize(f.ReadAt(d.data(), d.size(), 0));
    return FindSequenceHeader(d, info);
  }
  // A system stream: the first video payload with a sequence header, and
  // the first frame header of every audio stream, in the streams' order.
  TMPEG1SystemReader r;
  r.Open(fileName);
  bool video = false;
  std::vector<uint8_t> payload;
  std::vector<uint8_t> order;
  std::map<uint8_t, AudioFormat> audio;
  const int64_t kScan = 4 << 20;
  while (r.Next() && r.UnitStart < kScan) {
    if (r.UnitKind != ukPacket) continue;
    uint8_t id = r.Packet.StreamId;
    if (id == kPrivateStream2 || id == 0xBE) continue;  // navigation data, padding
    if (id < 0xC0 || id > 0xEF) return false;           // private streams: the detector's
    if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
    const bool isVideo = id >= 0xE0;
    if ((isVideo && video) || (!isVideo && audio.count(id))) continue;
    payload.resize(r.Packet.PayloadLength);
    payload.resize(r.ReadPayloadBytes(payload.data()));
    if (isVideo) {
      video = FindSequenceHeader(payload, info);
    } else {
      AudioFormat a;
      if (MpegAudioHeader(payload, a)) audio[id] = a;
    }
  }
  if (!video) return false;
  for (uint8_t id : order) {
    if (id >= 0xE0) continue;
    auto it = audio.find(id);
    if (it == audio.end()) return false;  // an audio stream not described
    info.HasAudio = true;
    info.SampleRate = it->second.sampleRate;
    info.Channels = static_cast<uint8_t>(it->second.channels);
    info.AudioFormatTag = it->second.tag;
    info.BitsPerSample = 0;
  }
  return true;
}

}  // namespace

bool NativeProbe(const std::string& fileName, TVideoFileInfo& info) {
  TVideoFileInfo i;
  try {
    i.FileName = fileName;
    uint8_t code = DetectFileFormat(fileName);
    i.MediaType = MediaTypeOfFormat(code);
    bool ok = false;
    if (code == kFormatAVI)
      ok = ProbeAvi(fileName, i);
    else if (code == kFormatMPEGVideo || code == kFormatMPEG1System)
      ok = ProbeMpeg(fileName, i);
    if (!ok) return false;
  } catch (const std::exception&) {
    return false;
  }
  info = i;
  return true;
}

}  // namespace vantrel
