// The progress contract between the engines and the front ends.
//
// An engine asks the installed factory for a progress object, sets its two
// texts, shows it, reports percentages with SetProgress and polls Cancelled
// at least once per unit of work. The GUI, the command line and the tests
// each install their own factory.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vantrel {

class IProgress {
 public:
  virtual ~IProgress() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void Show() = 0;
  // Percent done, 0 to 100; does not let pending work run.
  virtual void SetProgress(double percent) = 0;
  // Lets the front end do its pending work, then says whether the user asked
  // to stop. Once true it stays true.
  virtual bool Cancelled() = 0;
  // Where a join of several files is: "File 2 of 5: name.avi". Shown where
  // the front end can; nothing by default.
  virtual void SetStage(const std::string& /*stage*/) {}
  // Milliseconds an engine's join lets pass between asking Cancelled (0:
  // every time it checks). Long enough that asking costs nothing against
  // the copy, short enough that a stop answers at once.
  virtual int CancelInterval() const { return kCancelInterval; }
  static constexpr int kCancelInterval = 40;
};

using TProgressFactory = std::function<std::unique_ptr<IProgress>()>;

// Installs the factory the engines use; an empty function restores the
// default, which reports nowhere and never cancels.
void SetProgressFactory(TProgressFactory factory);
std::unique_ptr<IProgress> CreateProgress();

// A progress object from the installed factory, captioned "Joining...",
// with the given text, shown.
std::unique_ptr<IProgress> ShowJoinProgress(const char* text);

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

// The texts the engines set.
inline constexpr const char* kJoiningCaption = "Joining...";
inline constexpr const char* kFileBeingJoinedText = "The selected file is being joined. Please wait...";
inline constexpr const char* kFilesBeingJoinedText = "The selected files are being joined. Please wait...";

// "File <index + 1> of <count>: <the path's name part>".
std::string StageText(size_t index, size_t count, const std::string& path);

}  // namespace vantrel
