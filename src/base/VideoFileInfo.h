// The probe result of one input file: what the file list shows and the join
// job and the engines decide on. Filled by an engine's header-only
// description of its own format or by the media detector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// Media types, decided by a file's first 20 bytes; compared exactly.
inline constexpr const char* kMediaAVI = "AVI";
inline constexpr const char* kMediaMPEG1 = "MPEG1";
inline constexpr const char* kMediaMPEG2 = "MPEG2";
inline constexpr const char* kMediaWMV = "WMV";
inline constexpr const char* kMediaRealMedia = "RealMedia";
inline constexpr const char* kMediaDirectShow = "DirectShow";

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

// Where an MPEG program stream's clock starts and ends, in 90 kHz ticks.
struct TProgramStreamClock {
  bool Known = false;
  int64_t FirstSCR = 0;  // the first pack's system clock reference
  int64_t LastSCR = 0;   // the last pack's
  int64_t FirstPTS = 0;  // the earliest video presentation time near the start
  int64_t LastPTS = 0;   // the latest near the end
};

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
  // The picture as a player shows it (the frame size widened by its sample
  // aspect ratio, turned by its display matrix); 0 when not known, then
  // Width and Height.
  uint16_t DisplayWidth = 0;
  uint16_t DisplayHeight = 0;
  // What the media framework found the file to be ("MP4", "Matroska",
  // "MPEG-TS", ...); empty when it was not asked.
  std::string ContainerName;
  // The streams as a stream copy compares them (see CopyFormat.h); empty
  // when the media framework was not asked.
  std::string CopyFormat;
  // AVI files only.
  TAviHeaderInfo AviHeaders;
  // MPEG-2 program streams only.
  TProgramStreamClock StreamClock;
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
  // callers that do not show Duration). Defined with the media detector.
  void ReadInfo(const std::string& fileName, bool measureLengths = true);
  // Sets the three video difference flags against other; true when none set.
  bool SameVideo(const TVideoFileInfo& other);
  bool SameAudio(const TVideoFileInfo& other) const;
};

}  // namespace vantrel
