// The header-only description of an AVI file: frame size, rate, FOURCC and
// sound format from its stream headers, without reading the index.
#pragma once

#include <string>

#include "base/PosixFile.h"
#include "base/VideoFileInfo.h"

namespace vantrel {

// Fills the video and audio fields of info as the media detector reports
// them (Duration is left alone). False when the file is not an AVI file this
// reader opens, or holds something only the detector can describe (DV,
// extensible or unknown sound formats).
class TAVIStream;
// Keeps an audio stream's stream header timing and strf block in info (the
// sound fields of TAviHeaderInfo).
void KeepSound(const TAVIStream& audio, TAviHeaderInfo& info);

// The AVI headers the copy join decides on are kept in info.AviHeaders.
bool DescribeAVIFile(const std::string& fileName, TVideoFileInfo& info);
// The same on a file already open for reading.
bool DescribeAVIFile(TFile file, TVideoFileInfo& info);

}  // namespace vantrel
