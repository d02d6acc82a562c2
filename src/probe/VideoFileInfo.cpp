// Comparison of probe results.
#include "probe/VideoFileInfo.h"

namespace vantrel {

bool TVideoFileInfo::SameVideo(const TVideoFileInfo& other) {
  TypeDiffers = MediaType != other.MediaType || VideoFourCC != other.VideoFourCC;
  FrameSizeDiffers = Width != other.Width || Height != other.Height;
  // Exact comparison on purpose: equal rates come from the same fraction.
  FrameRateDiffers = FrameRate != other.FrameRate;
  return !TypeDiffers && !FrameSizeDiffers && !FrameRateDiffers;
}

bool TVideoFileInfo::SameAudio(const TVideoFileInfo& other) const {
  return HasAudio == other.HasAudio && Channels == other.Channels && SampleRate == other.SampleRate &&
         BitsPerSample == other.BitsPerSample && AudioFormatTag == other.AudioFormatTag;
}

}  // namespace vantrel
