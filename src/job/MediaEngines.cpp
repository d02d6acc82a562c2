// The engines on the media framework, as the job runs them: the container
// copy, the smart join and recompression, each set up from the plan alone.
#include "base/Exceptions.h"
#include "base/JoinLoop.h"
#include "job/Engines.h"
#include "recompress/Compressors.h"
#include "recompress/DSJoin.h"
#include "remux/RemuxJoin.h"
#include "smart/SmartJoin.h"

namespace vantrel {

namespace {

// What a container copy wrote and read back, with what the plan left out.
TJoinReport ReportOf(const TRemuxReport& done, const TJoinPlan& plan) {
  TJoinReport report;
  report.Counted = true;
  report.VideoPackets = done.VideoPackets;
  report.AudioPackets = done.AudioPackets;
  report.Duration = done.Duration;
  report.Verified = done.Verified;
  report.Damaged = done.Damaged;
  for (const TStreamPlan& s : plan.Streams)
    if (!s.Note.empty()) report.Notes.push_back(s.Note);
  report.Notes.insert(report.Notes.end(), done.Notes.begin(), done.Notes.end());
  return report;
}

TJoinReport JoinContainers(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                           IProgress& progress) {
  TRemuxJoiner joiner;
  joiner.Files = FileNames(files);
  joiner.OutputFileName = out;
  joiner.Muxer = plan.Output.Muxer;
  joiner.Shown = plan.Output.Shown;
  joiner.Chapters = plan.Output.Chapters;
  for (const TStreamPlan& s : plan.Streams) joiner.Keep.push_back(s.Kept);
  for (const TFilePlan& f : plan.Files) joiner.Cuts.emplace_back(f.In, f.Out);
  joiner.WithoutSound = plan.WithoutSound;
  joiner.VerifyFully = plan.VerifyFully;
  return ReportOf(joiner.Run(progress), plan);
}

TJoinReport JoinSmart(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                      IProgress& progress) {
  const TSmartTarget& t = plan.Smart;
  TSmartJoiner joiner;
  joiner.Files = FileNames(files);
  for (size_t i = 0; i < files.size(); ++i) {
    joiner.Durations.push_back(files[i].Duration);
    joiner.Reencode.push_back(plan.Files[i].Role == TFileRole::Reencoded);
  }
  joiner.OutputFileName = out;
  joiner.Muxer = plan.Output.Muxer;
  joiner.Shown = plan.Output.Shown;
  joiner.Chapters = plan.Output.Chapters;
  joiner.VerifyFully = plan.VerifyFully;
  joiner.Codec = t.Codec;
  joiner.Width = t.Width;
  joiner.Height = t.Height;
  joiner.FrameRate = t.RateDen > 0 ? static_cast<double>(t.RateNum) / t.RateDen : 0;
  joiner.VideoSets = t.VideoSets;
  joiner.Sound = !plan.WithoutSound;
  joiner.SampleRate = t.SampleRate;
  joiner.Channels = t.Channels;
  joiner.VideoEncoder = plan.VideoEncoder.Encoder;
  joiner.VideoOptions = plan.VideoEncoder.Options;
  joiner.AudioEncoder = plan.AudioEncoder.Encoder;
  joiner.AudioOptions = plan.AudioEncoder.Options;
  joiner.PartMuxer = t.PartMuxer;
  joiner.PartExtension = t.PartExtension;
  TJoinReport report = ReportOf(joiner.Run(progress), plan);
  return report;
}

// A compressor instance with the plan's option values; none for an empty
// name (uncompressed).
std::shared_ptr<TCompressorFilter> Compressor(const TEncoderChoice& choice) {
  if (choice.Encoder.empty()) return nullptr;
  auto filter = MakeCompressorFilter(choice.Encoder);
  if (!filter) throw Exception("The compressor " + choice.Encoder + " is not available");
  filter->Options = choice.Options;
  return filter;
}

TJoinReport JoinRecompressed(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                             IProgress& progress) {
  TDSVideoJoiner joiner;
  joiner.Files = FileNames(files);
  for (const TFilePlan& f : plan.Files) joiner.Spans.emplace_back(f.In, f.Out);
  joiner.OutputFileName = out;
  static_cast<TRecompressSettings&>(joiner) = plan.Recompress;
  const TContainer& format = ContainerOf(plan.Output.Container);
  joiner.Container = plan.Output.Muxer;
  joiner.Chapters = plan.Output.Chapters;
  joiner.SampleRate = format.SampleRate;
  joiner.MonoWhenAllMono = !format.IsAvi();
  // The job's DSProgress: the file the render is in, the percent, then
  // whether to stop.
  TJoinLoop loop(progress, joiner.Files);
  joiner.OnProgress = [&loop](TDSVideoJoiner& sender, bool& cancel, double percent) {
    const TTimeline& t = sender.Timeline();
    const double at = percent / 100 * t.Duration();
    for (size_t i = 0; i < t.VideoTrack.size(); ++i)
      if (at < t.VideoTrack[i].TStop || i + 1 == t.VideoTrack.size()) {
        loop.Announce(t.VideoTrack[i].FileIndex);
        break;
      }
    loop.SetProgress(percent);
    cancel = loop.Cancelled();
  };
  joiner.VideoCompressor = Compressor(plan.VideoEncoder);
  joiner.AudioCompressor = Compressor(plan.AudioEncoder);
  joiner.Join();
  TJoinReport report;
  // What a player shows: the timeline, or the part of it rendered.
  report.Duration = joiner.WasCancelled() ? joiner.Rendered() : joiner.Timeline().Duration();
  return report;
}

class TAllEngines final : public IEngines {
 public:
  bool Runs(TPlanRoute route) const override { return route != TPlanRoute::None; }
  TJoinReport Join(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                   IProgress& progress) const override {
    switch (plan.Route) {
      case TPlanRoute::ContainerCopy: return JoinContainers(plan, files, out, progress);
      case TPlanRoute::Smart: return JoinSmart(plan, files, out, progress);
      case TPlanRoute::Recompress: return JoinRecompressed(plan, files, out, progress);
      default: return CopyEngines().Join(plan, files, out, progress);
    }
  }
};

}  // namespace

const IEngines& AllEngines() {
  static const TAllEngines engines;
  return engines;
}

}  // namespace vantrel
