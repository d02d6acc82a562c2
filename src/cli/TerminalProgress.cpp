// Terminal progress line and Ctrl+C handling.
#include "cli/TerminalProgress.h"

#include <signal.h>

#include <algorithm>
#include <atomic>

namespace vantrel::cli {
namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

void InstallInterruptHandler() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  // The second Ctrl+C gets the default action and ends the program.
  sa.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &sa, nullptr);
  // A session that ends (SIGHUP) or a stop asked for by another program
  // (SIGTERM) stops the join as Ctrl+C does: the output ends where it got,
  // whole, under its name.
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

bool InterruptRequested() { return g_interrupted != 0; }

TTerminalProgress::TTerminalProgress(std::FILE* stream, bool visible) : stream_(stream), visible_(visible) {}

TTerminalProgress::~TTerminalProgress() {
  if (visible_ && drawn_) {
    std::fputc('\n', stream_);
    std::fflush(stream_);
  }
}

void TTerminalProgress::Show() {
  estimate_.Reset();
  if (visible_ && !text_.empty()) {
    std::fprintf(stream_, "%s\n", text_.c_str());
    std::fflush(stream_);
  }
  Draw();
}

std::string TTerminalProgress::Line() const {
  int p = std::clamp(estimate_.Position(), 0, 100);
  constexpr int kWidth = 30;
  int filled = p * kWidth / 100;
  std::string line = caption_.empty() ? std::string() : caption_ + " ";
  line += "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kWidth - filled), ' ') +
          "] " + std::to_string(p) + "%";
  if (estimate_.ShowTime() && !estimate_.TimeText().empty()) line += "  " + estimate_.TimeText();
  return line;
}

void TTerminalProgress::Draw() {
  if (!visible_) return;
  std::string line = Line();
  if (line == last_line_) return;
  // Pad over the remains of a longer previous line.
  std::string padded = line;
  if (last_line_.size() > line.size()) padded.append(last_line_.size() - line.size(), ' ');
  std::fprintf(stream_, "\r%s", padded.c_str());
  std::fflush(stream_);
  last_line_ = line;
  drawn_ = true;
}

void TTerminalProgress::SetProgress(double percent) {
  estimate_.SetProgress(percent);
  Draw();
}

bool TTerminalProgress::Cancelled() { return InterruptRequested(); }

}  // namespace vantrel::cli
