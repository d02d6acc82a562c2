// The header-only description of an AVI file: frame size, rate, FOURCC and
// sound format from its stream headers, without reading the index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/PosixFile.h"

namespace vantrel {

// What an AVI file's own headers say, kept from the probe so that the AVI
// copy join decides and sizes itself without opening the file again.
struct TAviHeaderInfo {
  bool Known = false;
  uint32_t VideoFrames = 0;  // the video stream's dwLength
  int64_t FileSize = 0;
  double VideoEnd = 0;      // seconds: (dwStart + dwLength) * dwScale / dwRate
  double FrameSeconds = 0;  // dwScale / dwRate of the video
  // The first audio stream: AVISTREAMHEADER timing and the strf block.
  bool HasSound = false;
  uint32_t SoundScale = 0;
  uint32_t SoundRate = 0;
  uint32_t SoundSampleSize = 0;
  double SoundEnd = 0;  // seconds, as for VideoEnd
  std::vector<uint8_t> SoundFormat;
};

// The stream headers' description of a file, as the media detector would
// report it: the last video stream's frame size, rate and FOURCC, the
// first audio stream's wave format.
struct TAviDescription {
  uint16_t Width = 0;
  uint16_t Height = 0;
  double FrameRate = 0;
  uint32_t VideoFourCC = 0;
  bool HasAudio = false;
  uint16_t AudioFormatTag = 0;
  uint8_t Channels = 0;
  int32_t SampleRate = 0;
  int16_t BitsPerSample = 0;
  TAviHeaderInfo Headers;
};

// Fills the video and audio fields of info as the media detector reports
// them (Duration is left alone). False when the file is not an AVI file this
// reader opens, or holds something only the detector can describe (DV,
// extensible or unknown sound formats).
class TAVIStream;
// Keeps an audio stream's stream header timing and strf block in info (the
// sound fields of TAviHeaderInfo).
void KeepSound(const TAVIStream& audio, TAviHeaderInfo& info);

// The AVI headers the copy join decides on are kept in info.Headers.
bool DescribeAVIFile(const std::string& fileName, TAviDescription& info);
// The same on a file already open for reading.
bool DescribeAVIFile(TFile file, TAviDescription& info);

}  // namespace vantrel
