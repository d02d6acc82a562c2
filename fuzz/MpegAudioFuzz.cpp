// Fuzz target of the MPEG audio frame splitter: any bytes, fed in pieces
// whose sizes the input chooses, give only whole frames of one format, and
// every byte is either in a frame or counted as dropped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "base/MpegAudioFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrel;
  if (size < 1) return 0;
  const size_t piece = 1 + data[0] % 97 * 31;
  ++data;
  --size;
  uint64_t framed = 0;
  bool haveFormat = false;
  TMpegAudioHeader first;
  TMpegAudioSplitter splitter([&](const uint8_t* frame, const TMpegAudioHeader& h) {
    TMpegAudioHeader again;
    if (!ParseMpegAudioHeader(frame, again) || again.FrameSize != h.FrameSize) std::abort();
    if (haveFormat && !SameMpegAudioFormat(first, h)) std::abort();
    if (!haveFormat) first = h;
    haveFormat = true;
    framed += h.FrameSize;
  });
  for (size_t at = 0; at < size; at += piece) splitter.Feed(data + at, size - at < piece ? size - at : piece);
  splitter.End();
  if (framed + splitter.DroppedBytes() != size) std::abort();
  return 0;
}
