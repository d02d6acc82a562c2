// The join job: turns the ordered file list and the join options into one run
// of one engine, chosen from the engines the front end offers.
#pragma once

#include <string>
#include <vector>

#include "core/JoinEngine.h"
#include "core/JoinPlan.h"

namespace vantrel {

// Text to double with the given decimal separator; raises EConvertError
// "'<text>' is not a valid floating point value".
double StrToFloat(const std::string& text, char decimalSeparator = '.');
// The resize method for an item index of the dialog's list ("Letterbox",
// "Crop", "Stretch", "No resize"); otherwise for any other index.
TResizeMethod ResizeMethodOfItem(int itemIndex, TResizeMethod otherwise = TRecompressSettings{}.ResizeMethod);
// The dialog's item index of a resize method.
int ItemOfResizeMethod(TResizeMethod method);

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
  TJoinWrapper(const TJoinRequest& request, const TJoinEngines& engines, const TJoinPlan* plan = nullptr)
      : request_(request), engines_(engines), plan_(plan) {}
  // Makes the plan (unless the front end made it for this request and these
  // engines) and runs its engine with a progress object of its own.
  TJoinOutcome Execute();
  void FillFileList(std::vector<std::string>& list) const;

 private:
  void CheckOutputIsNotAnInput() const;
  const TJoinRequest& request_;
  const TJoinEngines& engines_;
  const TJoinPlan* plan_;
};

// Runs one join to its end; returns on success and on cancel, raises on
// failure with the message to show after "Join fails: ".
// plan: the plan of this request with these engines, when the front end
// made it already.
TJoinOutcome RunJoin(const TJoinRequest& request, const TJoinEngines& engines, const TJoinPlan* plan = nullptr);

}  // namespace vantrel
