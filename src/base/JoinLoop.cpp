// The join skeleton.
#include "base/JoinLoop.h"

#include <exception>
#include <utility>

#include "base/PosixFile.h"

namespace vantrel {

TJoinLoop::TJoinLoop(IProgress& progress, const std::vector<std::string>& files, TClock clock)
    : progress_(progress), files_(files), clock_(std::move(clock)) {
  if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

void TJoinLoop::ForEachInput(const std::function<void(size_t index)>& copy) {
  for (size_t i = 0; i < files_.size(); ++i) {
    // Between inputs the front end is always asked.
    if (CancelledNow()) break;
    Announce(i);
    copy(i);
    if (cancelled_) break;
  }
}

void TJoinLoop::Run(const std::string& output, const std::function<void(size_t index)>& copy,
                    const std::function<void()>& close, const std::function<bool()>& incomplete) {
  Guarded(output, [&] { ForEachInput(copy); }, close, incomplete);
}

void TJoinLoop::Announce(size_t index) { progress_.SetStage(StageText(index, files_.size(), files_[index])); }

bool TJoinLoop::CancelledNow() {
  if (cancelled_) return true;
  last_asked_ = clock_();
  asked_ = true;
  cancelled_ = progress_.Cancelled();
  return cancelled_;
}

bool TJoinLoop::Cancelled() {
  if (cancelled_) return true;
  const int interval = progress_.CancelInterval();
  if (asked_ && interval > 0 && clock_() - last_asked_ < std::chrono::milliseconds(interval)) return false;
  return CancelledNow();
}

void TJoinLoop::Guarded(const std::string& output, const std::function<void()>& work, const std::function<void()>& close,
                        const std::function<bool()>& incomplete) {
  try {
    work();
  } catch (...) {
    try {
      close();
    } catch (...) {
      // The first failure is the one to report.
    }
    if (incomplete()) RaiseWithOutputRemoved(std::current_exception(), output);
    throw;
  }
}

}  // namespace vantrel
