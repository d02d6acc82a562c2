// MPEG audio frames.
#include "base/MpegAudioFrame.h"

#include <algorithm>

namespace vantrel {
namespace {

// kbit/s by bitrate_index, for MPEG-1 layers I, II, III and MPEG-2/2.5
// layer I and layers II/III; index 0 (free format) and 15 are not used.
constexpr uint16_t kBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
// Hz by sampling_frequency index, for MPEG-1; MPEG-2 halves, MPEG-2.5 quarters.
constexpr uint32_t kSampleRates[3] = {44100, 48000, 32000};

}  // namespace

bool ParseMpegAudioHeader(const uint8_t* b, TMpegAudioHeader& h) {
  if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return false;  // syncword
  h.Version = (b[1] >> 3) & 3;
  const uint8_t layerBits = (b[1] >> 1) & 3;
  h.Protected = (b[1] & 1) == 0;  // protection_bit 0: a CRC follows
  h.BitrateIndex = b[2] >> 4;
  h.SampleRateIndex = (b[2] >> 2) & 3;
  h.Padding = (b[2] >> 1) & 1;
  h.Mode = b[3] >> 6;
  if (h.Version == 1 || layerBits == 0 || h.BitrateIndex == 0 || h.BitrateIndex == 15 || h.SampleRateIndex == 3)
    return false;
  if ((b[3] & 3) == 2) return false;  // reserved emphasis
  h.Layer = static_cast<uint8_t>(4 - layerBits);
  const bool mpeg1 = h.Version == 3;
  const int table = mpeg1 ? h.Layer - 1 : (h.Layer == 1 ? 3 : 4);
  h.Bitrate = kBitrates[table][h.BitrateIndex] * 1000u;
  h.SampleRate = kSampleRates[h.SampleRateIndex] >> (mpeg1 ? 0 : h.Version == 2 ? 1 : 2);
  if (h.Layer == 1) {
    h.SamplesPerFrame = 384;
    h.FrameSize = (12 * h.Bitrate / h.SampleRate + (h.Padding ? 1 : 0)) * 4;
  } else {
    h.SamplesPerFrame = h.Layer == 3 && !mpeg1 ? 576 : 1152;
    h.FrameSize = h.SamplesPerFrame / 8 * h.Bitrate / h.SampleRate + (h.Padding ? 1 : 0);
  }
  return h.FrameSize > 4 + (h.Protected ? 2 : 0) && h.FrameSize <= kMaxMpegAudioFrame;
}

bool SameMpegAudioFormat(const TMpegAudioHeader& a, const TMpegAudioHeader& b) {
  return a.Version == b.Version && a.Layer == b.Layer && a.SampleRate == b.SampleRate && a.Channels() == b.Channels();
}

std::vector<uint8_t> SilentMpegAudioFrame(const TMpegAudioHeader& like) {
  TMpegAudioHeader h = like;
  h.Padding = false;
  h.FrameSize = h.Layer == 1 ? 12 * h.Bitrate / h.SampleRate * 4 : h.SamplesPerFrame / 8 * h.Bitrate / h.SampleRate;
  // The header without CRC or padding; everything after it zero: for
  // layers I and II every allocation is 0 (no samples), for layer III the
  // side information gives main_data_begin 0 and part2_3_length 0.
  std::vector<uint8_t> f(h.FrameSize, 0);
  f[0] = 0xFF;
  f[1] = static_cast<uint8_t>(0xE0 | h.Version << 3 | (4 - h.Layer) << 1 | 1);
  f[2] = static_cast<uint8_t>(h.BitrateIndex << 4 | h.SampleRateIndex << 2);
  f[3] = static_cast<uint8_t>(h.Mode << 6);
  return f;
}

bool TMpegAudioSplitter::Acceptable(const TMpegAudioHeader& h) const {
  return !locked_ || SameMpegAudioFormat(format_, h);
}

void TMpegAudioSplitter::Feed(const uint8_t* data, size_t count) {
  pending_.insert(pending_.end(), data, data + count);
  Scan(false);
}

void TMpegAudioSplitter::End() {
  Scan(true);
  dropped_ += pending_.size();
  pending_.clear();
}

void TMpegAudioSplitter::Restart() {
  dropped_ += pending_.size();
  pending_.clear();
}

void TMpegAudioSplitter::Scan(bool atEnd) {
  size_t pos = 0;
  const size_t n = pending_.size();
  while (pos + 4 <= n) {
    TMpegAudioHeader h;
    if (!ParseMpegAudioHeader(&pending_[pos], h) || !Acceptable(h)) {
      ++pos;
      ++dropped_;
      continue;
    }
    const size_t end = pos + h.FrameSize;
    bool confirmed;
    if (end + 4 <= n) {
      // Before the format is known a header needs the next frame's after
      // it; once known, a frame of that format followed by a tag or junk
      // still counts.
      TMpegAudioHeader next;
      confirmed = locked_ || (ParseMpegAudioHeader(&pending_[end], next) && SameMpegAudioFormat(h, next));
    } else if (atEnd) {
      confirmed = end <= n;  // the last frame, whole
    } else {
      break;  // wait for the bytes after the frame
    }
    if (!confirmed) {
      ++pos;
      ++dropped_;
      continue;
    }
    if (!locked_) {
      locked_ = true;
      format_ = h;
    }
    sink_(&pending_[pos], h);
    ++frames_;
    pos = end;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(std::min(pos, n)));
  // A header that is never confirmed cannot hold back more than a frame.
  if (!atEnd && pending_.size() > 2 * kMaxMpegAudioFrame + 4) {
    const size_t drop = pending_.size() - (kMaxMpegAudioFrame + 4);
    dropped_ += drop;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(drop));
  }
}

}  // namespace vantrel
