// The join job: turns the ordered file list and the join options into one run
// of one engine, chosen from the engines the front end offers.
#pragma once

#include <string>
#include <vector>

#include "core/JoinEngine.h"

namespace vantrel {

// Text to double with the given decimal separator; raises EConvertError
// "'<text>' is not a valid floating point value".
double StrToFloat(const std::string& text, char decimalSeparator = '.');
// The resize method for an item index of the dialog's list ("Letterbox",
// "Crop", "Stretch", "No resize"); otherwise for any other index.
TResizeMethod ResizeMethodOfItem(int itemIndex, TResizeMethod otherwise = TRecompressSettings{}.ResizeMethod);
// The dialog's item index of a resize method.
int ItemOfResizeMethod(TResizeMethod method);

// How a join that did not fail ended.
struct TJoinOutcome {
  bool Cancelled = false;  // the output holds what was joined before the stop
  TJoinReport Report;
};

class TJoinWrapper {
 public:
  TJoinWrapper(const TJoinOptions& options, const TJoinEngines& engines) : options_(options), engines_(engines) {}
  // Chooses the engine and runs it with a progress object of its own.
  TJoinOutcome Execute();
  void FillFileList(std::vector<std::string>& list) const;
  // The engine that would join the options' files, or null.
  IJoinEngine* ChooseEngine() const;

 private:
  void CheckOutputIsNotAnInput() const;
  const TJoinOptions& options_;
  const TJoinEngines& engines_;
};

// Runs one join to its end; returns on success and on cancel, raises on
// failure with the message to show after "Join fails: ".
TJoinOutcome RunJoin(const TJoinOptions& options, const TJoinEngines& engines);

}  // namespace vantrel
