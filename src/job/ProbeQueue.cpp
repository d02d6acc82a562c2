// Probing on a thread of its own.
#include "job/ProbeQueue.h"

namespace vantrel {

TProbeQueue::TProbeQueue(std::function<TFileListRow(const std::string&)> probe, std::function<void()> ready)
    : probe_(std::move(probe)), ready_(std::move(ready)) {
  thread_ = std::thread([this] { Run(); });
}

TProbeQueue::~TProbeQueue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    waiting_.clear();
  }
  wake_.notify_all();
  thread_.join();
}

void TProbeQueue::Add(const std::vector<std::string>& files) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.insert(waiting_.end(), files.begin(), files.end());
  }
  wake_.notify_all();
}

bool TProbeQueue::Take(TResult& result) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (done_.empty()) return false;
  result = std::move(done_.front());
  done_.pop_front();
  return true;
}

size_t TProbeQueue::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiting_.size() + probing_ + done_.size();
}

void TProbeQueue::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.clear();
  done_.clear();
  ++generation_;
}

void TProbeQueue::Run() {
  for (;;) {
    std::string file;
    uint64_t generation = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || !waiting_.empty(); });
      if (quit_) return;
      file = waiting_.front();
      waiting_.pop_front();
      probing_ = 1;
      generation = generation_;
    }
    TResult r;
    r.FileName = file;
    try {
      r.Row = probe_(file);
      r.Probed = true;
    } catch (const std::exception& e) {
      r.Error = e.what();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      probing_ = 0;
      if (quit_) return;
      if (generation != generation_) continue;
      done_.push_back(std::move(r));
    }
    if (ready_) ready_();
  }
}

}  // namespace vantrel
