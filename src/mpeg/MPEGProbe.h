// The header-only description of an MPEG-1 system stream or MPEG video
// elementary stream: frame size and rate from the first sequence header,
// the sound format from the first frame header of every audio stream.
#pragma once

#include <string>

#include "base/VideoFileInfo.h"

namespace vantrel {

// Fills the video and audio fields of info as the media detector reports
// them (Duration is left alone). False when there is no sequence header near
// the start, or something only the detector can describe (private streams,
// layer I sound, an audio stream without a frame header).
bool DescribeMPEGFile(const std::string& fileName, TVideoFileInfo& info);

}  // namespace vantrel
