// Files probed on a thread of their own, in the order they were given, so
// that a window stays painted and answers while a folder of clips is added.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "job/FileList.h"

namespace vantrel {

class TProbeQueue {
 public:
  // One file's probe: its row, or why it could not be probed.
  struct TResult {
    std::string FileName;
    bool Probed = false;
    TFileListRow Row;
    std::string Error;
  };

  // probe: how a file becomes a row (TFileList::ProbeRow). ready runs on
  // the queue's thread each time a result is ready: the caller takes it to
  // its own thread and Takes it there.
  TProbeQueue(std::function<TFileListRow(const std::string&)> probe, std::function<void()> ready);
  ~TProbeQueue();
  TProbeQueue(const TProbeQueue&) = delete;
  TProbeQueue& operator=(const TProbeQueue&) = delete;

  void Add(const std::vector<std::string>& files);
  // The next result in the order the files were added; false when none is
  // ready yet.
  bool Take(TResult& result);
  // Files added and not taken yet.
  size_t Pending() const;
  // Drops the files not probed yet, and the results not taken.
  void Clear();

 private:
  void Run();

  std::function<TFileListRow(const std::string&)> probe_;
  std::function<void()> ready_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> waiting_;
  std::deque<TResult> done_;
  size_t probing_ = 0;  // 1 while a file is being probed
  uint64_t generation_ = 0;  // Clear() makes results of files taken before it void
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace vantrel
