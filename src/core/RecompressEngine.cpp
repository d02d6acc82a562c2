// The recompressing joiner behind the engine interface.
#include "core/RecompressEngine.h"

#include "dshow/Compressors.h"
#include "dshow/DSJoin.h"

#include <algorithm>

namespace vantrel {

namespace {

class TRecompressEngine final : public IJoinEngine {
 public:
  bool CopiesStreams() const override { return false; }
  std::string WhyNot(const TJoinOptions&) const override { return ""; }
  const char* ProgressText() const override { return kFilesBeingJoinedText; }
  TJoinReport Join(const TJoinOptions& r, IProgress& progress) override {
    TDSVideoJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    static_cast<TRecompressSettings&>(joiner) = r.Recompress;
    // The job's DSProgress: report, then ask whether to stop.
    const std::vector<std::string> files = joiner.Files;
    joiner.OnProgress = [&progress, &files](TDSVideoJoiner& sender, bool& cancel, double percent) {
      // The file whose span of the timeline the render is in.
      const TTimeline& t = sender.Timeline();
      const double at = percent / 100 * t.Duration();
      for (size_t i = 0; i < t.VideoTrack.size(); ++i)
        if (at < t.VideoTrack[i].TStop || i + 1 == t.VideoTrack.size()) {
          const auto f = std::find(files.begin(), files.end(), t.VideoTrack[i].MediaName);
          progress.SetStage(StageText(static_cast<size_t>(f - files.begin()), files.size(), t.VideoTrack[i].MediaName));
          break;
        }
      progress.SetProgress(percent);
      cancel = progress.Cancelled();
    };
    joiner.VideoCompressor = GetCompressorFilter(r.VideoCompressors, r.VideoCompressorIndex);
    joiner.AudioCompressor = GetCompressorFilter(r.AudioCompressors, r.AudioCompressorIndex);
    joiner.Join();
    return {};
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
