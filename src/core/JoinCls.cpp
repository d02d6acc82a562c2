// The join job.
#include "core/JoinCls.h"

#include <charconv>
#include <cmath>

#include "base/Exceptions.h"
#include "base/OutputSwap.h"
#include "base/PosixFile.h"

namespace vantrel {

TJoinOutcome RunJoin(const TJoinRequest& request, const TJoinEngines& engines, const TJoinPlan* plan) {
  TJoinWrapper wrapper(request, engines, plan);
  return wrapper.Execute();
}

void TJoinWrapper::FillFileList(std::vector<std::string>& list) const {
  for (const TVideoFileInfo& f : request_.Files) list.push_back(f.FileName);
}

void TJoinWrapper::CheckOutputIsNotAnInput() const {
  // By identity, not by name: a hard link, a symbolic link or another
  // spelling of an input's path is still that input, and the engines delete
  // an existing output before writing it.
  for (const TVideoFileInfo& f : request_.Files)
    if (f.FileName == request_.OutputFileName || SameFile(f.FileName, request_.OutputFileName))
      throw Exception("The output file is one of the input files");
}

namespace {

// Passes everything on and remembers the last percent reported.
class TPercentKept final : public IProgress {
 public:
  explicit TPercentKept(IProgress& inner) : inner_(inner) {}
  void SetCaption(const std::string& caption) override { inner_.SetCaption(caption); }
  void SetText(const std::string& text) override { inner_.SetText(text); }
  void Show() override { inner_.Show(); }
  void SetProgress(double percent) override {
    percent_ = percent;
    inner_.SetProgress(percent);
  }
  void SetStage(const std::string& stage) override { inner_.SetStage(stage); }
  bool Cancelled() override { return inner_.Cancelled(); }
  int CancelInterval() const override { return inner_.CancelInterval(); }
  double Percent() const { return percent_; }

 private:
  IProgress& inner_;
  double percent_ = 0;
};

}  // namespace

TJoinOutcome TJoinWrapper::Execute() {
  if (request_.Files.empty()) throw Exception("There are no files to join");
  CheckOutputIsNotAnInput();
  TJoinOutcome outcome;
  outcome.Plan = plan_ ? *plan_ : MakeJoinPlan(request_, engines_);
  const TJoinPlan& plan = outcome.Plan;
  if (!plan.Engine) throw Exception(plan.Refusal);
  // A device, a FIFO or a socket is no place for a join (nor is a name to
  // be taken from one).
  CheckRegularOutput(request_.OutputFileName);
  TJoinRequest settled = request_;
  settled.WithoutSound = plan.WithoutSound;
  // Written under a hidden name; the output's name is given when the join
  // has ended, done or stopped.
  TOutputSwap swap(request_.OutputFileName);
  settled.OutputFileName = swap.Path();
  // The dialog speaks of files when there are several.
  std::unique_ptr<IProgress> shown =
      ShowJoinProgress(request_.Files.size() > 1 ? kFilesBeingJoinedText : kFileBeingJoinedText);
  TPercentKept progress(*shown);
  try {
    outcome.Report = plan.Engine->Join(settled, progress);
  } catch (const std::exception& e) {
    // What an engine kept after a failure it finished as a whole file (an
    // AVI file of the inputs before a broken one) takes the output's name;
    // what it removed as incomplete, nothing does.
    swap.KeepWhatWasFinished(request_.Overwrite);
    // Said of the output, not of the hidden name it was written under.
    const std::string named = swap.Named(e.what());
    if (named == e.what()) throw;
    if (const auto* os = dynamic_cast<const EOSError*>(&e)) throw EOSError::Retold(os->Code(), named);
    throw Exception(named);
  }
  for (std::string& note : outcome.Report.Notes) note = swap.Named(note);
  swap.Commit(request_.Overwrite);
  outcome.Cancelled = shown->Cancelled();
  double total = 0;
  for (const TVideoFileInfo& f : request_.Files) total += f.Duration;
  outcome.Seconds = outcome.Report.Duration >= 0 ? outcome.Report.Duration
                    : outcome.Cancelled          ? total * progress.Percent() / 100
                                                 : total;
  return outcome;
}

double StrToFloat(const std::string& text, char decimalSeparator) {
  std::string s = text;
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  s = a == std::string::npos ? "" : s.substr(a, b - a + 1);
  bool ok = !s.empty();
  for (char& c : s) {
    if (c == decimalSeparator)
      c = '.';
    else if (c == '.')
      ok = false;  // a point where the separator is another character
  }
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  double v = 0;
  if (ok) {
    // from_chars does not depend on the process's locale.
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    ok = ec == std::errc() && end == s.data() + s.size() && std::isfinite(v);
  }
  if (!ok) throw EConvertError("'" + text + "' is not a valid floating point value");
  return v;
}

namespace {

// The dialog's list, in its order.
constexpr TResizeMethod kResizeOfItem[] = {rmLetterbox, rmCrop, rmStretch, rmNoResize};

}  // namespace

TResizeMethod ResizeMethodOfItem(int itemIndex, TResizeMethod otherwise) {
  if (itemIndex < 0 || itemIndex >= static_cast<int>(std::size(kResizeOfItem))) return otherwise;
  return kResizeOfItem[itemIndex];
}

int ItemOfResizeMethod(TResizeMethod method) {
  for (int i = 0; i < static_cast<int>(std::size(kResizeOfItem)); ++i)
    if (kResizeOfItem[i] == method) return i;
  return 0;
}

}  // namespace vantrel
