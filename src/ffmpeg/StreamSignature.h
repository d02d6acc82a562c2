// A file's streams as a stream copy compares them, typed (base/StreamFormat.h),
// read from FFmpeg's description of the opened file.
#pragma once

#include "base/StreamFormat.h"
#include "ffmpeg/AvOwners.h"

namespace vantrel::av {

// The streams a stream copy carries: video, audio, subtitles and data;
// not cover pictures, attachments or streams of unknown kind. Both the
// probe and the joiner walk streams through this test, so the n-th format
// is the n-th stream it passes.
bool CopiedStream(const AVStream* st);
// The kind a copied stream is compared and paired as.
TStreamKind CopiedStreamKind(const AVStream* st);
// How far a player turns a video stream's picture back, by its display
// matrix: 0, 90, 180 or 270 degrees clockwise.
int DisplayRotation(const AVStream* st);
// The formats of the copied streams, in the file's order.
TStreamFormats StreamFormats(const AVFormatContext* fmt);

}  // namespace vantrel::av
