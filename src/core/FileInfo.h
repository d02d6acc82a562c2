// What an input file is: the media type from its signature, and the probe
// result that the file list and the join job read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

inline constexpr const char* kMediaAVI = "AVI";
inline constexpr const char* kMediaMPEG1 = "MPEG1";
inline constexpr const char* kMediaMPEG2 = "MPEG2";
inline constexpr const char* kMediaWMV = "WMV";
inline constexpr const char* kMediaRealMedia = "RealMedia";
inline constexpr const char* kMediaDirectShow = "DirectShow";

// Format code of a file; raises EOSError when it cannot be opened.
uint8_t DetectFileFormat(const std::string& fileName);
// Format code of a signature block (fewer than 20 bytes give 0).
uint8_t DetectFormatFromSignature(const uint8_t* bytes, size_t count);
const char* MediaTypeOfFormat(uint8_t code);
std::string GetMediaType(const std::string& fileName);

struct TVideoFileInfo {
  std::string FileName;
  std::string MediaType;
  double FrameRate = 0;
  uint16_t Width = 0;
  uint16_t Height = 0;
  bool HasAudio = false;
  uint8_t Channels = 0;
  int32_t SampleRate = 0;
  int16_t BitsPerSample = 0;
  uint16_t AudioFormatTag = 0;
  double Duration = 0;
  uint32_t VideoFourCC = 0;
  bool VideoDiffers = false;
  bool TypeDiffers = false;
  bool FrameSizeDiffers = false;
  bool FrameRateDiffers = false;
  bool AudioDiffers = false;

  // Fills every field from the file: the media type from its signature,
  // everything else from the media detector. Raises EOSError when the file
  // cannot be opened, and the detector's error for a file it cannot read.
  // With measureLengths false, lengths the container does not state
  // reliably are taken as estimated rather than measured (quicker, for
  // callers that do not show Duration).
  void ReadInfo(const std::string& fileName, bool measureLengths = true);
  // Sets the three video difference flags against other; true when none set.
  bool SameVideo(const TVideoFileInfo& other);
  bool SameAudio(const TVideoFileInfo& other) const;
};

// Probes a file; raises what ReadInfo raises, and then returns nothing.
TVideoFileInfo GetVideoFileInfo(const std::string& fileName, bool measureLengths = true);

// The media detector's part of ReadInfo (everything but the file name and
// the media type), installed by the media services; the engines themselves
// do not load the media framework.
using TFileProber = std::function<void(TVideoFileInfo& info, const std::string& fileName, bool measureLengths)>;
void SetFileProber(TFileProber prober);

}  // namespace vantrel
