// What an input file is: the media type from its signature, and the two ways
// of describing a file, from its own headers (AVI and MPEG-1, without the
// media framework) or by the media detector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/PosixFile.h"
#include "mpeg/MPEGProbe.h"
#include "probe/VideoFileInfo.h"

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
// what ReadInfo raises. Linked from the probe on the media framework
// (vantrel_probe).
TVideoFileInfo GetVideoFileInfo(const std::string& fileName, bool measureLengths = true);
// The same on a file already open (for its name), which it takes: the file
// is opened once for its signature, its own headers and the detector.
TVideoFileInfo ProbeFile(TFile file, const std::string& fileName, bool measureLengths = true);

// What the muxers of the containers a stream copy writes say of a stream:
// its Holders and Refusers (probe on the media framework).
void AskContainers(TStreamFormat& stream);

// How many bytes of a file's start its signature and its EBML header are
// read from.
inline constexpr size_t kHeadBytes = 4096;
// The DocType of a Matroska file's EBML header ("matroska", "webm") in the
// file's first bytes; empty when there is none.
std::string MatroskaDocType(const uint8_t* bytes, size_t count);

// Fills info (except Duration, left 0) from an AVI file's stream headers or
// an MPEG-1 stream's sequence and audio headers, the way the media detector
// reports them. False when the file is of another type or holds something
// only the detector can describe.
bool NativeProbe(const std::string& fileName, TVideoFileInfo& info);
bool NativeProbe(TFile file, const std::string& fileName, TVideoFileInfo& info);
// The description an engine read from a file's own headers, into info.
void TakeDescription(const TAviDescription& d, TVideoFileInfo& info);
void TakeDescription(const TMpegDescription& d, TVideoFileInfo& info);

}  // namespace vantrel
