// What an input file is: the media type from its signature, and the two ways
// of describing a file, from its own headers (AVI and MPEG-1, without the
// media framework) or by the media detector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/VideoFileInfo.h"

namespace vantrel {

// Format codes decided by the first 20 bytes of a file.
enum : uint8_t {
  kFormatUnknown = 0,
  kFormatAVI = 1,
  kFormatMPEGVideo = 2,
  kFormatMPEG1System = 3,
  kFormatMPEG2Program = 4,
  kFormatASF = 6,
  kFormatRealMedia = 7,
};

// Format code of a file; raises EOSError when it cannot be opened.
uint8_t DetectFileFormat(const std::string& fileName);
// Format code of a signature block (fewer than 20 bytes give 0).
uint8_t DetectFormatFromSignature(const uint8_t* bytes, size_t count);
const char* MediaTypeOfFormat(uint8_t code);
std::string GetMediaType(const std::string& fileName);

// Probes a file with the media detector (TVideoFileInfo::ReadInfo); raises
// what ReadInfo raises. Linked from the FFmpeg side of the job
// (vantrel_core_media).
TVideoFileInfo GetVideoFileInfo(const std::string& fileName, bool measureLengths = true);

// Fills info (except Duration, left 0) from an AVI file's stream headers or
// an MPEG-1 stream's sequence and audio headers, the way the media detector
// reports them. False when the file is of another type or holds something
// only the detector can describe.
bool NativeProbe(const std::string& fileName, TVideoFileInfo& info);

}  // namespace vantrel
