// A join carried out on a thread of its own, so that a window stays painted
// and answers while it runs: the window reads how far it is and asks it to
// stop from its own thread, and is told when it has ended. Nothing is
// shared with any other join.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "job/JoinCls.h"

namespace vantrel {

class TJoinThread {
 public:
  // Starts the join of the plan made for request at once. ended runs on
  // the join's thread when the join has ended, however: the caller takes
  // it to its own thread.
  TJoinThread(TJoinRequest request, TJoinPlan plan, const IEngines& engines, std::function<void()> ended);
  // Asks the join to stop and waits for it.
  ~TJoinThread();
  TJoinThread(const TJoinThread&) = delete;
  TJoinThread& operator=(const TJoinThread&) = delete;

  // From any thread: the join stops at its next check, keeping what it
  // joined.
  void Stop() { stop_ = true; }
  bool StopAsked() const { return stop_; }
  bool Ended() const { return ended_; }
  // How far it is, as the engine last said.
  double Percent() const { return percent_; }
  std::string Stage() const;

  // Once ended: how, or why it failed (empty when it did not).
  const TJoinOutcome& Outcome() const { return outcome_; }
  const std::string& Error() const { return error_; }
  const TJoinRequest& Request() const { return request_; }

 private:
  class TShared;
  void Run();

  TJoinRequest request_;
  TJoinPlan plan_;
  const IEngines& engines_;
  std::function<void()> ended_callback_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::atomic<double> percent_{0};
  mutable std::mutex mutex_;  // guards stage_
  std::string stage_;
  TJoinOutcome outcome_;
  std::string error_;
  std::thread thread_;
};

}  // namespace vantrel
