// Header-only description of AVI files.
#include "avi/AVIProbe.h"

#include <cstdlib>

#include "avi/AVIRead.h"
#include "avi/AVIUtils.h"

namespace vantrel {

void KeepSound(const TAVIStream& audio, TAviHeaderInfo& info) {
  const AVISTREAMHEADER& h = audio.Header;
  info.HasSound = true;
  info.SoundScale = h.dwScale;
  info.SoundRate = h.dwRate;
  info.SoundSampleSize = h.dwSampleSize;
  if (h.dwRate > 0) info.SoundEnd = (static_cast<double>(h.dwStart) + h.dwLength) * h.dwScale / h.dwRate;
  info.SoundFormat = audio.Format;
}

bool DescribeAVIFile(const std::string& fileName, TAviDescription& info) {
  try {
    return DescribeAVIFile(TFile::OpenRead(fileName), info);
  } catch (const std::exception&) {
    return false;
  }
}

bool DescribeAVIFile(TFile file, TAviDescription& info) {
  TAVIFileReader r;
  try {
    r.Open(std::move(file), true);
  } catch (const std::exception&) {
    return false;
  }
  TAviHeaderInfo& kept = info.Headers;
  kept = TAviHeaderInfo();
  kept.FileSize = r.FileSize();
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
      kept.VideoFrames = h.dwLength;
      kept.FrameSeconds = static_cast<double>(h.dwScale) / h.dwRate;
      kept.VideoEnd = (static_cast<double>(h.dwStart) + h.dwLength) * kept.FrameSeconds;
    } else if (h.fccType == ckAuds && !info.HasAudio) {
      // The first audio stream describes the sound: the one the joiner copies.
      if (s.Format.size() < kWaveFormatSize) return false;
      const uint8_t* f = s.Format.data();
      uint16_t tag = ReadLE16(f + kWfFormatTagOffset);
      if (tag == 0 || tag == 0xFFFE) return false;  // unknown or extensible: the detector decides
      info.HasAudio = true;
      info.AudioFormatTag = tag;
      info.Channels = static_cast<uint8_t>(ReadLE16(f + kWfChannelsOffset) & 0xFF);
      info.SampleRate = static_cast<int32_t>(ReadLE32(f + kWfSamplesPerSecOffset));
      info.BitsPerSample = static_cast<int16_t>(ReadLE16(f + kWfBitsPerSampleOffset));
      KeepSound(s, kept);
    }
  }
  kept.Known = video;
  return video;
}

}  // namespace vantrel
