// The container stream copy behind the engine interface.
#include "base/CopyFormat.h"
#include "core/RecompressEngine.h"
#include "remux/RemuxJoin.h"

namespace vantrel {

namespace {

std::vector<const TVideoFileInfo*> Infos(const TJoinOptions& r) {
  std::vector<const TVideoFileInfo*> v;
  for (const TVideoFileInfo& f : r.Files) v.push_back(&f);
  return v;
}

class TRemuxEngine final : public IJoinEngine {
 public:
  bool CopiesStreams() const override { return true; }
  bool TakesFormatOf(const TJoinOptions& r) const override { return CompareCopySet(Infos(r)).Family != nullptr; }
  std::string WhyNot(const TJoinOptions& r) const override {
    const TCopySet set = CompareCopySet(Infos(r));
    if (!set.Family) return "the first file is not an MP4, MOV, Matroska, WebM, MPEG-TS, MPEG-PS or FLV file";
    if (!set.WhyNot.empty()) return set.WhyNot;
    if (!r.JoinWithoutSound && !set.SoundDiffers.empty()) return set.SoundDiffers;
    const std::string ext = LowerExtension(r.OutputFileName);
    if (!ext.empty() && !CopyFamilyOfFileName(r.OutputFileName))
      return "the output's extension " + ext + " is not one this join can write without recompression; name the output " +
             set.Family->Extension;
    return RemuxOutputProblem(RemuxOutputFamily(r.OutputFileName, *set.Family), r.Files.front().CopyFormat,
                              r.JoinWithoutSound);
  }
  const char* ProgressText() const override { return kFilesBeingJoinedText; }
  TJoinReport Join(const TJoinOptions& r, IProgress& progress) override {
    TRemuxJoiner joiner;
    for (const TVideoFileInfo& f : r.Files) {
      joiner.Files.push_back(f.FileName);
      joiner.CopyFormats.push_back(f.CopyFormat);
    }
    joiner.OutputFileName = r.OutputFileName;
    joiner.InputFamily = CompareCopySet(Infos(r)).Family;
    joiner.WithoutSound = r.JoinWithoutSound;
    joiner.VerifyFully = r.VerifyFully;
    const TRemuxReport done = joiner.Run(progress);
    TJoinReport report;
    report.Counted = true;
    report.VideoPackets = done.VideoPackets;
    report.AudioPackets = done.AudioPackets;
    report.Duration = done.Duration;
    report.Verified = done.Verified;
    report.Notes = done.Notes;
    return report;
  }
};

}  // namespace

std::unique_ptr<IJoinEngine> MakeRemuxEngine() { return std::make_unique<TRemuxEngine>(); }

}  // namespace vantrel
