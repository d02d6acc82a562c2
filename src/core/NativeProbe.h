// A probe of AVI and MPEG-1 files from their own headers, without the media
// framework: enough for the command line to decide a join without
// recompression quickly. Anything it does not cover is left to the media
// detector.
#pragma once

#include <string>

#include "core/FileInfo.h"

namespace vantrel {

// Fills info (except Duration, left 0) from an AVI file's stream headers or
// an MPEG-1 stream's sequence and audio headers, the way the media detector
// reports them. False when the file is of another type or holds something
// only the detector can describe.
bool NativeProbe(const std::string& fileName, TVideoFileInfo& info);

}  // namespace vantrel
