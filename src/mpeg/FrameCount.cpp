#include "mpeg/FrameCount.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

void TPictureCounter::Feed(const uint8_t* data, size_t size) {
  // picture_start_code: 00 00 01 00. The codes that end in the first three
  // bytes began in the previous payload: the window of its last bytes
  // finds them.
  const size_t head = std::min<size_t>(size, 3);
  for (size_t i = 0; i < head; ++i) {
    window_ = (window_ << 8) | data[i];
    if (window_ == 0x00000100) ++count_;
  }
  if (size <= 3) return;
  // The rest, by its 01 bytes (rare in coded pictures), so that the copy
  // is not held up by a look at every byte: a code ending at byte e >= 3
  // has its 01 at e - 1, between 2 and size - 2.
  const uint8_t* p = data + 2;
  const uint8_t* const last = data + size - 2;
  while (p <= last) {
    p = static_cast<const uint8_t*>(std::memchr(p, 0x01, static_cast<size_t>(last - p) + 1));
    if (!p) break;
    if (p[-1] == 0 && p[-2] == 0 && p[1] == 0) ++count_;
    ++p;
  }
  window_ = (uint32_t{data[size - 4]} << 24) | (uint32_t{data[size - 3]} << 16) | (uint32_t{data[size - 2]} << 8) |
            data[size - 1];
}

uint32_t MPEGAudioFrameLength(uint32_t h) {
  if ((h & 0xFFE00000) != 0xFFE00000) return 0;  // frame sync
  const uint32_t version = (h >> 19) & 3;         // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
  const uint32_t layer = (h >> 17) & 3;           // 3: I, 2: II, 1: III
  const uint32_t rateIndex = (h >> 12) & 15;
  const uint32_t freqIndex = (h >> 10) & 3;
  const uint32_t padding = (h >> 9) & 1;
  if (version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 || freqIndex == 3) return 0;
  static constexpr uint16_t kRates[5][15] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 layer II
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 layer III
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 layer I
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 layers II, III
  };
  static constexpr uint32_t kFrequencies[3] = {44100, 48000, 32000};
  const bool mpeg1 = version == 3;
  const int table = mpeg1 ? 3 - static_cast<int>(layer) : (layer == 3 ? 3 : 4);
  const uint32_t bitRate = kRates[table][rateIndex] * 1000u;
  const uint32_t frequency = kFrequencies[freqIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  if (layer == 3) return (12 * bitRate / frequency + padding) * 4;
  // Layer III of MPEG-2 and 2.5 codes half as many samples a frame.
  const uint32_t perFrame = layer == 1 && !mpeg1 ? 72 : 144;
  return perFrame * bitRate / frequency + padding;
}

void TAudioFrameCounter::Feed(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    if (skip_ > 0) {
      const size_t n = std::min<size_t>(skip_, size - i);
      skip_ -= static_cast<uint32_t>(n);
      i += n;
      continue;
    }
    window_ = (window_ << 8) | data[i++];
    if (have_ < 4) ++have_;
    if (have_ < 4) continue;
    const uint32_t length = MPEGAudioFrameLength(window_);
    // A header shorter than itself is no header: look on, a byte at a time.
    if (length < 4) continue;
    ++count_;
    skip_ = length - 4;
    have_ = 0;
  }
}

void TAudioFrameCounter::NewStream() {
  have_ = 0;
  skip_ = 0;
}

}  // namespace vantrel
