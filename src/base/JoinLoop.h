// The frame every engine's join runs in: the inputs one after another, each
// announced as "File 2 of 5: name"; progress; a cancel check paced in time
// rather than in units of work (a chunk, a packet and a rendered slice take
// very different times); and, when the join fails, the output ended as far
// as it was written, or removed when what it holds is cut at an arbitrary
// place.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/Progress.h"

namespace vantrel {

class TJoinLoop {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;

  // files: the inputs in join order. clock: the time the cadence is
  // measured in (the steady clock when empty).
  TJoinLoop(IProgress& progress, const std::vector<std::string>& files, TClock clock = {});

  // For each input in order: asks whether to stop, announces the input and
  // runs copy(index); ends early once the user asked to stop.
  void ForEachInput(const std::function<void(size_t index)>& copy);

  // ForEachInput(copy) as Guarded runs its work: the whole copy of a join
  // whose output is ended by close().
  void Run(const std::string& output, const std::function<void(size_t index)>& copy,
           const std::function<void()>& close, const std::function<bool()>& incomplete);

  // Whether the user asked to stop. The front end is asked when its cancel
  // interval has passed since it was last asked (every time for an interval
  // of 0), so a check can sit in the tightest loop at no cost.
  bool Cancelled();
  // The same, asking the front end whatever the time.
  bool CancelledNow();
  bool WasCancelled() const { return cancelled_; }
  void SetProgress(double percent) { progress_.SetProgress(percent); }
  void Announce(size_t index);

  // Runs work. When it raises, close() ends the output as far as it was
  // written (a failure of its own is dropped: the first one is reported);
  // then, when incomplete() says the output is cut at an arbitrary place,
  // the output is removed and the error says so. The error passes on.
  static void Guarded(const std::string& output, const std::function<void()>& work,
                      const std::function<void()>& close, const std::function<bool()>& incomplete);

 private:
  IProgress& progress_;
  const std::vector<std::string>& files_;
  TClock clock_;
  std::chrono::steady_clock::time_point last_asked_{};
  bool asked_ = false;
  bool cancelled_ = false;
};

}  // namespace vantrel
