// The header-only description of an MPEG-1 system stream or MPEG video
// elementary stream: frame size and rate from the first sequence header,
// the sound format from the first frame header of every audio stream.
#pragma once

#include <string>

#include <cstdint>

#include "base/PosixFile.h"

namespace vantrel {

// What the headers say, as the media detector would report it.
struct TMpegDescription {
  uint16_t Width = 0;
  uint16_t Height = 0;
  double FrameRate = 0;
  bool HasAudio = false;
  uint16_t AudioFormatTag = 0;
  uint8_t Channels = 0;
  int32_t SampleRate = 0;
  int16_t BitsPerSample = 0;
};

// Fills the video and audio fields of info as the media detector reports
// them (Duration is left alone). False when there is no sequence header near
// the start, or something only the detector can describe (private streams,
// layer I sound, an audio stream without a frame header).
bool DescribeMPEGFile(const std::string& fileName, TMpegDescription& info);
// The same on a file already open, which it takes.
bool DescribeMPEGFile(TFile file, const std::string& fileName, TMpegDescription& info);

}  // namespace vantrel
