// What a caller of libavformat's muxers and demuxers must do itself,
// depending on the library's version or the format.
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

// A transport stream is a run of whole 188-byte packets (192 with a time
// code before each, 204 with error correction after); true when the input
// is one whose size is none of these: it was cut inside its last packet, and
// the demuxer hands over each stream's unfinished PES packet as if whole.
bool TransportStreamCutInsideAPacket(const AVFormatContext* in, int64_t fileSize);

}  // namespace vantrel::av
