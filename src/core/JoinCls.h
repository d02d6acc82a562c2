// The join job: turns the ordered file list and the join options into one run
// of one engine.
#pragma once

#include <string>
#include <vector>

#include "core/FileInfo.h"

namespace vantrel {

// What the front end hands the job: the files in join order with their probe
// results, and the options of the join options dialog.
struct TJoinOptions {
  std::vector<TVideoFileInfo> Files;
  std::string OutputFileName;
  bool JoinWithoutRecompression = true;
  bool JoinWithoutSound = false;
  // MPEG-1 only: shift clock references and time stamps so that every file
  // continues the previous one. The desktop application keeps it off.
  bool CorrectTimeStamps = false;
};

class TJoinWrapper {
 public:
  explicit TJoinWrapper(const TJoinOptions& options) : options_(options) {}
  void Execute();
  void JoinAVI();
  void JoinMPEG(double frameRate);
  void FillFileList(std::vector<std::string>& list) const;

 private:
  void CheckOutputIsNotAnInput() const;
  const TJoinOptions& options_;
};

// Runs one join to its end; returns on success and on cancel, raises on
// failure with the message to show after "Join fails: ".
void RunJoin(const TJoinOptions& options);

}  // namespace vantrel
