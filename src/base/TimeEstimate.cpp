// Remaining-time estimate for progress displays.
#include "base/TimeEstimate.h"

#include <chrono>
#include <cmath>
#include <utility>

namespace vantrel {

TTimeEstimate::TTimeEstimate(TClock clock) : clock_(std::move(clock)) {
  if (!clock_) {
    clock_ = [] {
      using namespace std::chrono;
      return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
  }
}

void TTimeEstimate::Reset() {
  last_position_ = 0;
  percent_ = 0;
  has_estimate_time_ = false;
  estimate_time_ = 0;
  estimate_percent_ = 0;
}

void TTimeEstimate::SetProgress(double percent) {
  percent_ = percent;
  // Truncation toward zero; out-of-range values are the display's to clamp.
  double t = std::trunc(percent);
  int p = t > 2147483647.0 ? 2147483647 : t < -2147483647.0 ? -2147483647 : static_cast<int>(t);
  if (p != last_position_) last_position_ = p;
  if (show_time_) Estimate();
}

std::string TTimeEstimate::FormatRemaining(long long seconds) {
  if (seconds < 60) return std::to_string(seconds) + " seconds remaining";
  if (seconds >= 10800) return std::to_string(seconds / 3600) + " hours remaining";
  return std::to_string(seconds / 60) + " minutes remaining";
}

void TTimeEstimate::Estimate() {
  double now = clock_();
  if (!has_estimate_time_) {
    estimate_time_ = now;
    has_estimate_time_ = true;
  }
  // While the reference is 0 it follows the current percentage.
  if (estimate_percent_ == 0) estimate_percent_ = percent_;
  double elapsed = now - estimate_time_;
  if (!(elapsed > 3)) return;
  if (estimate_percent_ == percent_) return;
  double rate = (percent_ - estimate_percent_) / elapsed;
  double remaining = (100 - percent_) / rate;
  if (!std::isfinite(remaining)) return;
  // nearbyint rounds halves to even under the default rounding mode.
  double rounded = std::nearbyint(remaining);
  if (rounded > 9.0e15) rounded = 9.0e15;
  long long seconds = static_cast<long long>(rounded);
  if (seconds < 0) {
    show_time_ = false;
  }
  time_text_ = FormatRemaining(seconds);
  estimate_time_ = now;
  estimate_percent_ = percent_;
}

}  // namespace vantrel
