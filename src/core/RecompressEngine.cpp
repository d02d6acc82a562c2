// The recompressing joiner behind the engine interface.
#include "core/RecompressEngine.h"

#include "recompress/Compressors.h"
#include "recompress/DSJoin.h"

#include <algorithm>

#include "base/Exceptions.h"
#include "base/JoinLoop.h"

namespace vantrel {

namespace {

// A compressor instance with the request's option values.
std::shared_ptr<TCompressorFilter> Compressor(const TEncoderChoice& choice) {
  if (choice.Encoder.empty()) return nullptr;
  auto filter = MakeCompressorFilter(choice.Encoder);
  if (!filter) throw Exception("The compressor " + choice.Encoder + " is not available");
  filter->Options = choice.Options;
  return filter;
}

class TRecompressEngine final : public IJoinEngine {
 public:
  TEngineKind Kind() const override { return TEngineKind::Recompress; }
  TEngineAnswer Answer(const TJoinRequest&) const override {
    TEngineAnswer a;
    a.Verdict = TEngineAnswer::Joins;
    a.Extension = ".avi";
    return a;
  }
  TJoinReport Join(const TJoinRequest& r, IProgress& progress) override {
    TDSVideoJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    static_cast<TRecompressSettings&>(joiner) = r.Recompress;
    joiner.Container = "avi";
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
    joiner.VideoCompressor = Compressor(r.VideoEncoder);
    joiner.AudioCompressor = Compressor(r.AudioEncoder);
    joiner.Join();
    TJoinReport report;
    // What a player shows: the timeline, or the part of it rendered.
    report.Duration = joiner.WasCancelled() ? joiner.Rendered() : joiner.Timeline().Duration();
    return report;
  }
};

}  // namespace

std::unique_ptr<IJoinEngine> MakeRecompressEngine() { return std::make_unique<TRecompressEngine>(); }

TJoinEngines AllEngines() {
  TJoinEngines engines;
  AddCopyEngines(engines);
  engines.push_back(MakeRemuxEngine());
  engines.push_back(MakeRecompressEngine());
  return engines;
}

}  // namespace vantrel
