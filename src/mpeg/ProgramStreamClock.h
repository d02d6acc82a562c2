// Where an MPEG program stream's clock starts and ends: the system clock
// references (SCR) of its first and last packs and the presentation times
// (PTS) of the video near its start and end. A DVD stores one title as
// pieces cut at 2048-byte sectors (VTS_01_1.VOB, VTS_01_2.VOB, ...); a piece
// whose clock continues the previous piece's is the same stream, and is
// joined byte for byte.
#pragma once

#include <cstdint>
#include <string>

#include "base/PosixFile.h"

namespace vantrel {

// Where an MPEG program stream's clock starts and ends, in 90 kHz ticks.
struct TProgramStreamClock {
  bool Known = false;
  int64_t FirstSCR = 0;  // the first pack's system clock reference
  int64_t LastSCR = 0;   // the last pack's
  int64_t FirstPTS = 0;  // the earliest video presentation time near the start
  int64_t LastPTS = 0;   // the latest near the end
};

// Reads the first and last 256 KiB of the file (no more, whatever its
// size); false when it holds no MPEG-2 pack header with a video time stamp
// in either. Raises EOSError when the file cannot be read.
bool ReadProgramStreamClock(const std::string& fileName, TProgramStreamClock& clock);
bool ReadProgramStreamClock(const TFile& file, TProgramStreamClock& clock);

// True when next continues previous: its first pack's SCR within one frame
// period of previous's last, and its earliest video PTS within a GOP's
// reordering of previous's latest.
bool ContinuesStream(const TProgramStreamClock& previous, const TProgramStreamClock& next, double frameRate);

}  // namespace vantrel
