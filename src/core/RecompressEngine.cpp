// The recompressing joiner behind the engine interface.
#include "core/RecompressEngine.h"

#include "dshow/Compressors.h"
#include "dshow/DSJoin.h"

namespace vantrel {

namespace {

class TRecompressEngine final : public IJoinEngine {
 public:
  bool CopiesStreams() const override { return false; }
  std::string WhyNot(const TJoinOptions&) const override { return ""; }
  const char* ProgressText() const override { return kFilesBeingJoinedText; }
  void Join(const TJoinOptions& r, IProgress& progress) override {
    TDSVideoJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    static_cast<TRecompressSettings&>(joiner) = r.Recompress;
    // The job's DSProgress: report, then ask whether to stop.
    joiner.OnProgress = [&progress](TDSVideoJoiner&, bool& cancel, double percent) {
      progress.SetProgress(percent);
      cancel = progress.Cancelled();
    };
    joiner.VideoCompressor = GetCompressorFilter(r.VideoCompressors, r.VideoCompressorIndex);
    joiner.AudioCompressor = GetCompressorFilter(r.AudioCompressors, r.AudioCompressorIndex);
    joiner.Join();
  }
};

}  // namespace

std::unique_ptr<IJoinEngine> MakeRecompressEngine() { return std::make_unique<TRecompressEngine>(); }

TJoinEngines AllEngines() {
  TJoinEngines engines;
  AddCopyEngines(engines);
  engines.push_back(MakeRecompressEngine());
  return engines;
}

}  // namespace vantrel
