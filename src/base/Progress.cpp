// Progress factory registry.
#include "base/Progress.h"

#include <utility>

namespace vantrel {
namespace {

class TSilentProgress final : public IProgress {
 public:
  void SetCaption(const std::string&) override {}
  void SetText(const std::string&) override {}
  void Show() override {}
  void SetProgress(double) override {}
  bool Cancelled() override { return false; }
};

TProgressFactory& Factory() {
  static TProgressFactory factory;
  return factory;
}

}  // namespace

void SetProgressFactory(TProgressFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<IProgress> CreateProgress() {
  if (Factory()) {
    if (auto p = Factory()()) return p;
  }
  return std::make_unique<TSilentProgress>();
}

std::unique_ptr<IProgress> ShowJoinProgress(const char* text) {
  std::unique_ptr<IProgress> p = CreateProgress();
  p->SetCaption(kJoiningCaption);
  p->SetText(text);
  p->Show();
  return p;
}

std::string StageText(size_t index, size_t count, const std::string& path) {
  return "File " + std::to_string(index + 1) + " of " + std::to_string(count) + ": " + path.substr(path.rfind('/') + 1);
}

}  // namespace vantrel
