// Where each input of a stream-copy join starts and ends, read from its
// packets' time stamps.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "ffmpeg/AvOwners.h"

namespace vantrel {

inline constexpr AVRational kMicro = {1, AV_TIME_BASE};

// An input's first times per output stream, in microseconds, from a look at
// its head. Packets the demuxer marks to be discarded (the encoder delay an
// edit list hides) do not start the input.
struct THeadTimes {
  std::vector<int64_t> FirstPts, FirstDts;  // AV_NOPTS_VALUE where not seen
  int64_t Start = 0;                        // the earliest first pts
  bool Eof = false;                         // the look read the whole file
};
// map: input stream -> output stream or -1. The packets read are kept in
// head, for the join to write first.
THeadTimes ReadHead(AVFormatContext* in, const std::vector<int>& map, size_t outputs, const std::string& fileName,
                    std::deque<av::PacketPtr>& head);

// The offset, in microseconds, that makes a later input start where the
// previous one ended (endUs), and later still where some stream's decoding
// times would go back: nextDtsUs is, per output stream, the earliest
// decoding time the next packet may have (AV_NOPTS_VALUE: any).
int64_t NextOffset(int64_t endUs, const THeadTimes& head, const std::vector<int64_t>& nextDtsUs);

}  // namespace vantrel
