// The engines as the job runs them: each route of a plan to the engine that
// carries it out, set up from the plan and the probe results alone. An
// engine decides nothing: what is copied, re-encoded, kept or left out is
// the plan's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "plan/JoinPlan.h"

namespace vantrel {

// What an engine wrote and found when it read the output back.
struct TJoinReport {
  bool Counted = false;  // the packet counts below are set
  int64_t VideoPackets = 0;
  int64_t AudioPackets = 0;
  double Duration = -1;   // seconds of the output; negative when not known
  bool Verified = false;  // read back and matched what was written
  // An input gave less than it promised; Notes say which and how much.
  bool Damaged = false;
  std::vector<std::string> Notes;  // what was left out, and why
};

class IEngines {
 public:
  virtual ~IEngines() = default;
  // Whether this set has the engine of the route.
  virtual bool Runs(TPlanRoute route) const = 0;
  // Carries the plan out on the probed files into output (the hidden file
  // the job writes); returns on success and on cancel, raises on failure.
  virtual TJoinReport Join(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& output,
                           IProgress& progress) const = 0;
};

// The engines that need no media framework: AVI, MPEG-1 and pieces of one
// program stream.
const IEngines& CopyEngines();
// Every engine; linked with the media framework (vantrel_job).
const IEngines& AllEngines();

// The paths of the files, in join order.
std::vector<std::string> FileNames(const std::vector<TVideoFileInfo>& files);

}  // namespace vantrel
