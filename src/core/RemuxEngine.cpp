// The container stream copy behind the engine interface.
#include "base/CopyFormat.h"
#include "core/RecompressEngine.h"
#include "remux/RemuxJoin.h"

namespace vantrel {

namespace {

std::vector<const TVideoFileInfo*> Infos(const TJoinRequest& r) {
  std::vector<const TVideoFileInfo*> v;
  for (const TVideoFileInfo& f : r.Files) v.push_back(&f);
  return v;
}

class TRemuxEngine final : public IJoinEngine {
 public:
  TEngineKind Kind() const override { return TEngineKind::Copy; }
  TEngineAnswer Answer(const TJoinRequest& r) const override {
    TEngineAnswer a;
    const TCopySet set = CompareCopySet(Infos(r));
    if (!set.Family) {
      a.Reason = "the first file is not an MP4, MOV, Matroska, WebM, MPEG-TS, MPEG-PS or FLV file";
      return a;
    }
    a.Extension = set.Family->Extension;
    a.Verdict = TEngineAnswer::OtherParameters;
    if (!set.WhyNot.empty()) {
      a.Reason = set.WhyNot;
      return a;
    }
    const bool withoutSound = r.WithoutSound || !set.SoundDiffers.empty();
    // The output's name, once chosen, picks the container written.
    const std::string ext = LowerExtension(r.OutputFileName);
    if (!ext.empty() && !CopyFamilyOfFileName(r.OutputFileName)) {
      a.Reason = "the output's extension " + ext + " is not one this join can write without recompression; name the output " +
                 set.Family->Extension;
      return a;
    }
    if (!r.OutputFileName.empty()) {
      a.Reason = RemuxOutputProblem(RemuxOutputFamily(r.OutputFileName, *set.Family), r.Files.front().CopyFormat,
                                    withoutSound);
      if (!a.Reason.empty()) return a;
      a.Extension = RemuxOutputFamily(r.OutputFileName, *set.Family).Extension;
    }
    a.Verdict = set.SoundDiffers.empty() || r.WithoutSound ? TEngineAnswer::Joins : TEngineAnswer::JoinsWithoutSound;
    if (!r.WithoutSound) a.Reason = set.SoundDiffers;
    return a;
  }
  TJoinReport Join(const TJoinRequest& r, IProgress& progress) override {
    TRemuxJoiner joiner;
    for (const TVideoFileInfo& f : r.Files) {
      joiner.Files.push_back(f.FileName);
      joiner.CopyFormats.push_back(f.CopyFormat);
    }
    joiner.OutputFileName = r.OutputFileName;
    joiner.InputFamily = CompareCopySet(Infos(r)).Family;
    joiner.WithoutSound = r.WithoutSound;
    joiner.VerifyFully = r.VerifyFully;
    return JoinReportOf(joiner.Run(progress));
  }
};

}  // namespace

TJoinReport JoinReportOf(const TRemuxReport& done) {
  TJoinReport report;
  report.Counted = true;
  report.VideoPackets = done.VideoPackets;
  report.AudioPackets = done.AudioPackets;
  report.Duration = done.Duration;
  report.Verified = done.Verified;
  report.Damaged = done.Damaged;
  report.Notes = done.Notes;
  return report;
}

std::unique_ptr<IJoinEngine> MakeRemuxEngine() { return std::make_unique<TRemuxEngine>(); }

}  // namespace vantrel
