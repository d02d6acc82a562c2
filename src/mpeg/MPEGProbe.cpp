// Header-only description of MPEG-1 streams.
#include "mpeg/MPEGProbe.h"

#include <algorithm>
#include <map>
#include <vector>

#include "base/MpegAudioFrame.h"
#include "base/PosixFile.h"
#include "mpeg/MPEG1SysRead.h"

namespace vantrel {
namespace {

// frame_rate_code of a sequence header.
constexpr double kMpegRates[16] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};
// How far into a system stream the headers are looked for.
constexpr int64_t kScanLimit = 4 << 20;
// How much of an elementary stream holds its first sequence header.
constexpr size_t kElementaryHead = 64;

// Size and rate from a video sequence header (b points at 00 00 01 B3):
// horizontal_size_value (12 bits), vertical_size_value (12 bits),
// aspect_ratio_information (4 bits), frame_rate_code (4 bits).
bool SequenceHeader(const uint8_t* b, size_t n, TMpegDescription& info) {
  if (n < 8) return false;
  double rate = kMpegRates[b[7] & 0x0F];
  if (rate <= 0) return false;
  info.Width = static_cast<uint16_t>((b[4] << 4) | (b[5] >> 4));
  info.Height = static_cast<uint16_t>(((b[5] & 0x0F) << 8) | b[6]);
  info.FrameRate = rate;
  return true;
}

bool FindSequenceHeader(const std::vector<uint8_t>& d, TMpegDescription& info) {
  for (size_t i = 0; i + 8 <= d.size(); ++i)
    if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == kSequenceHeaderCode)
      return SequenceHeader(&d[i], d.size() - i, info);
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
  for (size_t i = 0; i + 4 <= d.size(); ++i) {
    TMpegAudioHeader h;
    if (!ParseMpegAudioHeader(&d[i], h)) continue;
    if (h.Layer == 1) return false;
    a.sampleRate = static_cast<int>(h.SampleRate);
    a.channels = h.Channels();
    a.tag = h.Layer == 2 ? 0x50 : 0x55;
    return true;
  }
  return false;
}

}  // namespace

bool DescribeMPEGFile(const std::string& fileName, TMpegDescription& info) {
  return DescribeMPEGFile(TFile::OpenRead(fileName), fileName, info);
}

bool DescribeMPEGFile(TFile file, const std::string& fileName, TMpegDescription& info) {
  uint8_t head[4];
  if (file.ReadAt(head, 4, 0) < 4) return false;
  if (head[3] == kSequenceHeaderCode) {  // a video elementary stream
    std::vector<uint8_t> d(kElementaryHead);
    d.resize(file.ReadAt(d.data(), d.size(), 0));
    return FindSequenceHeader(d, info);
  }
  // A system stream: the first video payload with a sequence header, and
  // the first frame header of every audio stream, in the streams' order.
  TMPEG1SystemReader r;
  r.Open(std::move(file), fileName);
  bool video = false;
  std::vector<uint8_t> payload;
  std::vector<uint8_t> order;
  std::map<uint8_t, AudioFormat> audio;
  while (r.Next() && r.UnitStart < kScanLimit) {
    if (r.UnitKind != ukPacket) continue;
    uint8_t id = r.Packet.StreamId;
    if (id == kPrivateStream2 || id == kPaddingStream) continue;  // navigation data, padding
    if (id < kFirstAudioStream || id > kLastVideoStream) return false;  // private streams: the detector's
    if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
    const bool isVideo = id >= kFirstVideoStream;
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
    if (id >= kFirstVideoStream) continue;
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

}  // namespace vantrel
