// The join job.
#include "job/JoinCls.h"

#include "base/Exceptions.h"
#include "base/OutputSwap.h"
#include "base/PosixFile.h"

namespace vantrel {

TJoinOutcome RunJoin(const TJoinRequest& request, const TJoinPlan& plan, const IEngines& engines, IProgress& progress) {
  TJoinWrapper wrapper(request, plan, engines);
  return wrapper.Execute(progress);
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

TJoinOutcome TJoinWrapper::Execute(IProgress& shown) {
  if (request_.Files.empty()) throw Exception("There are no files to join");
  CheckOutputIsNotAnInput();
  TJoinOutcome outcome;
  outcome.Plan = plan_;
  const TJoinPlan& plan = outcome.Plan;
  if (!plan.Accepted()) throw Exception(plan.Refusal);
  if (!engines_.Runs(plan.Route)) throw Exception("This program has no engine for this join");
  // A device, a FIFO or a socket is no place for a join (nor is a name to
  // be taken from one).
  CheckRegularOutput(request_.OutputFileName);
  // Written under a hidden name; the output's name is given when the join
  // has ended, done or stopped.
  TOutputSwap swap(request_.OutputFileName);
  TPercentKept progress(shown);
  try {
    outcome.Report = engines_.Join(plan, request_.Files, swap.Path(), progress);
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
  outcome.Cancelled = shown.Cancelled();
  double total = 0;
  for (const TVideoFileInfo& f : request_.Files) total += f.Duration;
  outcome.Seconds = outcome.Report.Duration >= 0 ? outcome.Report.Duration
                    : outcome.Cancelled          ? total * progress.Percent() / 100
                                                 : total;
  return outcome;
}

}  // namespace vantrel
