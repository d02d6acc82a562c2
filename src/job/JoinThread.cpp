// A join on a thread of its own.
#include "job/JoinThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vantrel {

// What the engine reports goes to the thread's atomics; stopping is read
// from them.
class TJoinThread::TShared final : public IProgress {
 public:
  explicit TShared(TJoinThread& t) : t_(t) {}
  void SetProgress(double percent) override { t_.percent_ = percent; }
  void SetStage(const std::string& stage) override {
    std::lock_guard<std::mutex> lock(t_.mutex_);
    t_.stage_ = stage;
  }
  bool Cancelled() override { return t_.stop_; }

 private:
  TJoinThread& t_;
};

TJoinThread::TJoinThread(TJoinRequest request, TJoinPlan plan, const IEngines& engines, std::function<void()> ended)
    : request_(std::move(request)), plan_(std::move(plan)), engines_(engines), ended_callback_(std::move(ended)) {
  thread_ = std::thread([this] { Run(); });
}

TJoinThread::~TJoinThread() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::string TJoinThread::Stage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stage_;
}

void TJoinThread::Run() {
  // The join gives way to the window that follows it: it runs a little
  // nicer than the thread that started it, and so do the threads it starts
  // (the decoders' and encoders'), which take the value from it.
  const id_t self = static_cast<id_t>(::syscall(SYS_gettid));
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, self);
  if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, nice + 4));
  TShared progress(*this);
  try {
    outcome_ = RunJoin(request_, plan_, engines_, progress);
  } catch (const std::exception& e) {
    error_ = e.what();
    if (error_.empty()) error_ = "Unknown error";
  }
  ended_ = true;
  if (ended_callback_) ended_callback_();
}

}  // namespace vantrel
