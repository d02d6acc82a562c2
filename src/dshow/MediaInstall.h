// Connects the engines to the media services on FFmpeg: the probe's media
// detector and the recompressing joiner. Front ends that use FFmpeg call it
// once at start.
#pragma once

namespace vantrel {

void InstallMediaServices();

}  // namespace vantrel
