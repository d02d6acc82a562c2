// Where an MPEG program stream's clock starts and ends: the system clock
// references (SCR) of its first and last packs and the presentation times
// (PTS) of the video near its start and end. A DVD stores one title as
// pieces cut at 2048-byte sectors (VTS_01_1.VOB, VTS_01_2.VOB, ...); a piece
// whose clock continues the previous piece's is the same stream, and is
// joined byte for byte.
#pragma once

#include <cstdint>
#include <string>

#include "base/VideoFileInfo.h"

namespace vantrel {

// Reads the first and last 256 KiB of the file (no more, whatever its
// size); false when it holds no MPEG-2 pack header with a video time stamp
// in either. Raises EOSError when the file cannot be read.
bool ReadProgramStreamClock(const std::string& fileName, TProgramStreamClock& clock);

// True when next continues previous: its first pack's SCR within one frame
// period of previous's last, and its earliest video PTS within a GOP's
// reordering of previous's latest.
bool ContinuesStream(const TProgramStreamClock& previous, const TProgramStreamClock& next, double frameRate);

}  // namespace vantrel
