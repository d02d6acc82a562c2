// The probe result of one input file: what the file list shows and the join
// plan decides on. Filled from the file's own headers (AVI, MPEG-1) or by
// the media detector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avi/AVIProbe.h"
#include "base/StreamFormat.h"
#include "formats/Formats.h"
#include "mpeg/ProgramStreamClock.h"

namespace vantrel {

// Media types, decided by a file's first 20 bytes; compared exactly.
inline constexpr const char* kMediaAVI = "AVI";
inline constexpr const char* kMediaMPEG1 = "MPEG1";
inline constexpr const char* kMediaMPEG2 = "MPEG2";
inline constexpr const char* kMediaWMV = "WMV";
inline constexpr const char* kMediaRealMedia = "RealMedia";
inline constexpr const char* kMediaDirectShow = "DirectShow";

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
  // What the media framework found the file to be, as the registry of
  // containers knows it (Unknown: none it lists, or not asked), and its
  // name as the list shows it ("MP4", "Matroska", FFmpeg's own name for a
  // container the registry does not list); empty when not asked.
  TContainerId Container = TContainerId::Unknown;
  std::string ContainerName;
  // The streams as a stream copy compares them; empty when the media
  // framework was not asked.
  TStreamFormats Streams;
  // The format code of the file's signature (probe/FileInfo.h) and its size
  // in bytes when it was probed.
  uint8_t FormatCode = 0;
  int64_t FileSize = 0;
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
