// Progress on a terminal: a one-line bar with the remaining-time text on
// stderr, and Ctrl+C as the Cancel button.
#pragma once

#include <cstdio>
#include <string>

#include "base/Progress.h"
#include "base/TimeEstimate.h"

namespace vantrel::cli {

// Installs a handler of SIGINT, SIGTERM and SIGHUP whose first signal asks
// running engines to stop; a second one ends the program the usual way.
void InstallInterruptHandler();
bool InterruptRequested();

class TTerminalProgress final : public IProgress {
 public:
  // visible: draw on the stream (a terminal); otherwise only cancellation.
  TTerminalProgress(std::FILE* stream, bool visible);
  ~TTerminalProgress() override;

  // The line's caption and the text printed above it when it is shown.
  void SetCaption(const std::string& caption) { caption_ = caption; }
  void SetText(const std::string& text) { text_ = text; }
  void Show();
  void SetProgress(double percent) override;
  bool Cancelled() override;

  // The line drawn for the current state, without the carriage return.
  std::string Line() const;

 private:
  void Draw();

  std::FILE* stream_;
  bool visible_;
  bool drawn_ = false;
  std::string caption_;
  std::string text_;
  TTimeEstimate estimate_;
  std::string last_line_;
};

}  // namespace vantrel::cli
