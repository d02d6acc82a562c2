// The progress contract between the engines and whoever runs them: how far
// the work is, where it is, and whether to stop. The engine reports and
// asks; the front end (a window on another thread, a terminal, a test)
// shows and answers. Nothing here runs the front end's work: a window
// follows the join from its own thread.
#pragma once

#include <cstddef>
#include <string>

namespace vantrel {

class IProgress {
 public:
  virtual ~IProgress() = default;
  // Percent done, 0 to 100.
  virtual void SetProgress(double percent) = 0;
  // Where a join of several files is: "File 2 of 5: name.avi". Shown where
  // the front end can; nothing by default.
  virtual void SetStage(const std::string& /*stage*/) {}
  // Whether the user asked to stop. Once true it stays true.
  virtual bool Cancelled() = 0;
  // Milliseconds an engine's join lets pass between asking Cancelled (0:
  // every time it checks). Long enough that asking costs nothing against
  // the copy, short enough that a stop answers at once.
  virtual int CancelInterval() const { return kCancelInterval; }
  static constexpr int kCancelInterval = 40;
};

// Progress that goes nowhere and never stops: for an engine run alone.
class TNoProgress final : public IProgress {
 public:
  void SetProgress(double) override {}
  bool Cancelled() override { return false; }
};

// Points an engine's progress slot at a progress object for the length of a
// run, and clears it at the end, whatever happens.
class TProgressBinding {
 public:
  TProgressBinding(IProgress*& slot, IProgress& progress) : slot_(slot) { slot_ = &progress; }
  ~TProgressBinding() { slot_ = nullptr; }
  TProgressBinding(const TProgressBinding&) = delete;
  TProgressBinding& operator=(const TProgressBinding&) = delete;

 private:
  IProgress*& slot_;
};

// The texts a front end shows while a join runs.
inline constexpr const char* kJoiningCaption = "Joining...";
inline constexpr const char* kFileBeingJoinedText = "The selected file is being joined. Please wait...";
inline constexpr const char* kFilesBeingJoinedText = "The selected files are being joined. Please wait...";

// "File <index + 1> of <count>: <the path's name part>".
std::string StageText(size_t index, size_t count, const std::string& path);

}  // namespace vantrel
