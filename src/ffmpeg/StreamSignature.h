// A file's streams as a stream copy compares them, in the text form of
// base/CopyFormat.h.
#pragma once

#include <string>

#include "ffmpeg/AvOwners.h"

namespace vantrel::av {

// The streams a stream copy carries: video, audio, subtitles and data;
// not cover pictures, attachments or streams of unknown kind. Both the
// signature and the joiner walk streams through this test, so the n-th
// signature line is the n-th stream it passes.
bool CopiedStream(const AVStream* st);
// The kind a copied stream is compared and paired as (kStreamVideo, ...).
const char* CopiedStreamKind(const AVStream* st);
std::string StreamSignature(const AVFormatContext* fmt);

}  // namespace vantrel::av
