// Bar position and remaining-time text of a progress display.
//
// The estimate divides the remaining percentage by the rate measured over the
// last stretch of at least three seconds, and is refreshed at most once per
// stretch. A falling percentage hides the estimate for good.
#pragma once

#include <functional>
#include <string>

namespace vantrel {

class TTimeEstimate {
 public:
  // The clock returns seconds on any steady scale.
  using TClock = std::function<double()>;
  explicit TTimeEstimate(TClock clock = {});

  // Start of a run: counters back to zero (the dialog's FormShow).
  void Reset();
  void SetProgress(double percent);

  int Position() const { return last_position_; }
  double Percent() const { return percent_; }
  bool ShowTime() const { return show_time_; }
  void SetShowTime(bool value) { show_time_ = value; }
  // Empty until the first estimate.
  const std::string& TimeText() const { return time_text_; }

  // The label text for a number of seconds remaining.
  static std::string FormatRemaining(long long seconds);

 private:
  void Estimate();

  TClock clock_;
  int last_position_ = 0;
  double percent_ = 0;
  bool show_time_ = true;
  bool has_estimate_time_ = false;
  double estimate_time_ = 0;
  double estimate_percent_ = 0;
  std::string time_text_;
};

}  // namespace vantrel
