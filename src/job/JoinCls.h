// The join job: carries out one plan with the engine of its route, under a
// hidden name beside the output that takes the output's name when the join
// has ended, and says how it ended.
#pragma once

#include <string>
#include <vector>

#include "job/Engines.h"
#include "plan/JoinPlan.h"

namespace vantrel {

// How a join that did not fail ended: what the front ends show afterwards.
struct TJoinOutcome {
  bool Cancelled = false;  // the output holds what was joined before the stop
  TJoinReport Report;
  TJoinPlan Plan;          // as it was carried out
  // Seconds the output plays: as the engine measured them, else estimated
  // from the inputs' lengths and the part of the work done.
  double Seconds = 0;
};

class TJoinWrapper {
 public:
  // plan: made by MakeJoinPlan for this request; the job decides nothing.
  TJoinWrapper(const TJoinRequest& request, const TJoinPlan& plan, const IEngines& engines)
      : request_(request), plan_(plan), engines_(engines) {}
  // Runs the plan's engine, reporting to progress.
  TJoinOutcome Execute(IProgress& progress);
  void FillFileList(std::vector<std::string>& list) const;

 private:
  void CheckOutputIsNotAnInput() const;
  const TJoinRequest& request_;
  const TJoinPlan& plan_;
  const IEngines& engines_;
};

// Runs one join to its end; returns on success and on cancel, raises on
// failure with the message to show after "Join fails: ".
TJoinOutcome RunJoin(const TJoinRequest& request, const TJoinPlan& plan, const IEngines& engines, IProgress& progress);

}  // namespace vantrel
