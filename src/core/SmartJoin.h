// The smart join: when most of the playing time is in files with identical
// streams, those are copied packet for packet and only the others are
// decoded and encoded again, to exactly their format, so that one stream
// copy joins them all. Its plan reads only the probe results.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/CopyFormat.h"
#include "core/JoinEngine.h"

namespace vantrel {

struct TSmartPlan {
  bool Applies = false;
  std::string WhyNot;  // when it does not apply, in words
  // The file whose format every other takes (the first of the group of
  // identical files that plays longest; the first file's group on a tie).
  size_t Target = 0;
  std::vector<bool> Reencode;  // by file
  const TCopyFamily* Family = nullptr;  // the target's container family
  std::string VideoEncoder, AudioEncoder;  // what the re-encoded files get; no audio encoder: no sound
  // "7 files copied, 2 re-encoded to 1920x1080 H.264: clip3.mp4 (video
  // 1280x720), clip8.mov (video hevc)".
  std::string Description;
};

TSmartPlan PlanSmartJoin(const TJoinRequest& request);

// The engine of kind Mixed.
std::unique_ptr<IJoinEngine> MakeSmartEngine();

}  // namespace vantrel
