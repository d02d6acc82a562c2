// What a caller of libavformat's muxers must do itself, depending on the
// library's version.
#pragma once

#include <cstdint>

#include "ffmpeg/AvOwners.h"

namespace vantrel::av {

// Matroska states a sound codec's delay (Opus's pre-skip) as CodecDelay,
// and its demuxer moves every block of the track that much earlier; a muxer
// that writes the element must add it back. libavformat 59.31 and later do;
// older ones shift the whole file instead, which puts the picture 6.5 ms
// late against the sound. Returns what to add to the stream's time stamps
// (its time base, after the header is written), 0 where the muxer does it.
int64_t MatroskaCodecDelay(const AVFormatContext* oc, const AVStream* st);

}  // namespace vantrel::av
