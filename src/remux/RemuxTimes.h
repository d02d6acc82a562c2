// Where each input of a stream-copy join starts and ends, read from its
// packets' time stamps.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ffmpeg/AvOwners.h"

namespace vantrel {

inline constexpr AVRational kMicro = {1, AV_TIME_BASE};

// The length the file's own header states (MP4's, Matroska's), in
// microseconds; 0 when it states none (one guessed from the bit rate or
// the time stamps promises nothing).
int64_t StatedDuration(const AVFormatContext* in);
// How far a whole file's streams may end before its stated length: a
// frame, an encoder's delay.
int64_t Slack(int64_t duration);

// An input's first times per output stream, in microseconds, from a look at
// its head. Packets the demuxer marks to be discarded (the encoder delay an
// edit list hides) do not start the input.
struct THeadTimes {
  std::vector<int64_t> FirstPts, FirstDts;  // AV_NOPTS_VALUE where not seen
  // The first pts with the discarded packets counted: where the stream's
  // data starts rather than where a player of this file alone starts it.
  std::vector<int64_t> FirstDataPts;
  int64_t Start = 0;                        // the earliest first pts
  bool Eof = false;                         // the look read the whole file
};
// map: input stream -> output stream or -1. The packets read are kept in
// head, for the join to write first. read: av_read_frame on in, or what
// stands for it (a cut).
using TReadPacket = std::function<int(AVPacket*)>;
THeadTimes ReadHead(AVFormatContext* in, const TReadPacket& read, const std::vector<int>& map, size_t outputs,
                    const std::string& fileName, std::deque<av::PacketPtr>& head);

// The offset, in microseconds, that makes a later input start where the
// previous one ended (endUs), and later still where some stream's decoding
// times would go back: nextDtsUs is, per output stream, the earliest
// decoding time the next packet may have (AV_NOPTS_VALUE: any).
int64_t NextOffset(int64_t endUs, const THeadTimes& head, const std::vector<int64_t>& nextDtsUs);

// When a later input is the next piece of one recording (a camera's
// chapters, a stream cut at key frames), each of its streams' data starts
// where that stream of the previous piece ended, the packets an edit list
// hides included: those are the recording's own sound, not encoder delay.
// Returns the one offset that continues every stream, in microseconds, or
// nothing when at least two streams do not agree on it within a
// millisecond. streamEndUs: per output stream, where the previous input's
// data ended (INT64_MIN: it had none).
std::optional<int64_t> ContinuingOffset(const THeadTimes& head, const std::vector<int64_t>& streamEndUs);

// Whether the packet whose bytes reach the end of the file is whole: it is
// when the file gave all its header promised with it. (In a file cut short
// it is cut too: a demuxer hands over what there is.)
bool LastPacketWhole(const AVFormatContext* in, const AVPacket* last);

}  // namespace vantrel
