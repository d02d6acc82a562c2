// The join plan: what the files allow, then the route for the request.
#include "plan/JoinPlan.h"

#include <algorithm>
#include <atomic>

#include "base/Names.h"
#include "plan/JoinOptions.h"
#include "plan/Routes.h"

namespace vantrel {

namespace {

class TNoEncoders final : public IEncoderCatalog {
 public:
  const TCompressorList& AviCompressors(bool) const override { return none_; }
  std::vector<std::string> Available(TContainerId, bool) const override { return {}; }
  bool Has(const std::string&) const override { return false; }
  std::string FrameSizeProblem(const std::string&, int, int) const override { return ""; }

 private:
  TCompressorList none_;
};

std::string AddLine(const std::string& text, const std::string& line) { return text.empty() ? line : text + "\n" + line; }

// What the files allow without recompression, before an output is named.
TAnswer WhatFilesAllow(const TJoinRequest& r, TJoinPlan& p) {
  TJoinRequest unnamed = r;
  unnamed.OutputFileName.clear();
  const TAnswer copy = CopyAnswer(unnamed);
  p.CopyFormat = copy.Verdict != TAnswer::OtherFormat;
  p.CanCopy = copy.Accepts();
  p.CopyLosesSound = copy.Verdict == TAnswer::JoinsWithoutSound;
  p.FirstDifference = copy.Reason;
  p.CopyExtension = copy.Output.Extension;
  // The AVI and MPEG-1 joiners write their own formats; any other copy is
  // a copy of a container, whose texts name the difference.
  p.ContainerCopy = copy.Route == TPlanRoute::ContainerCopy || copy.Route == TPlanRoute::StreamPieces;
  // A set that can be joined only by losing its sound opens unchecked.
  p.CopyByDefault = JoinWithoutRecompressionState(p.CanCopy, p.CopyLosesSound, p.NoAudio).Checked;
  p.DialogNote = JoinNotes(p.CanCopy, p.CopyLosesSound, p.NoAudio, r.Files.front().MediaType, p.FirstDifference,
                           p.ContainerCopy);
  if (p.CanCopy)
    for (const std::string& n : copy.Notes) p.DialogNote = AddLine(p.DialogNote, n);
  return copy;
}

// The copy route with the output's name: true when it takes the request
// (the plan then holds it), false when Auto should recompress instead.
bool PlanCopy(const TJoinRequest& r, const TAnswer& unnamed, TJoinPlan& p) {
  // The container the name asks for must hold the streams. An AVI name
  // keeps the recompressing join unless a copy was asked for.
  const TAnswer named = r.OutputFileName.empty() ? unnamed : CopyAnswer(r);
  if (!named.Accepts()) {
    if (r.Route == TJoinRoute::Auto && LowerExtension(r.OutputFileName) == ".avi") {
      p.WhyRecompress = "the output is an AVI file, which a copy of these files does not write";
      return false;
    }
    p.Refusal = "Unable to join these files without recompression: " + named.Reason;
    return true;
  }
  p.Route = named.Route;
  p.Output = named.Output;
  p.Streams = named.Streams;
  p.WithoutSound = r.WithoutSound || named.Verdict == TAnswer::JoinsWithoutSound;
  if (!r.WithoutSound) p.WhyWithoutSound = named.Reason;
  // Left out without being asked: said, with the first difference.
  if (!r.WithoutSound && p.WithoutSound && !p.NoAudio)
    p.Notes.push_back(kNoteWithoutSound + (p.WhyWithoutSound.empty() ? "" : "\n- " + p.WhyWithoutSound));
  for (const std::string& n : named.Notes) p.Notes.push_back(n);
  return true;
}

// Why a copy was not the route, for Auto's line before a recompression.
std::string WhyNotCopied(const TJoinPlan& p) {
  if (!p.CanCopy)
    return p.CopyFormat ? p.FirstDifference
                        : "only AVI, MPEG-1 and files of one container family with identical streams are joined "
                          "without recompression";
  if (p.CopyLosesSound) return "a copy would leave the sound out: " + p.FirstDifference;
  return "";
}

void PlanRecompress(const TJoinRequest& r, const IEncoderCatalog& encoders, TJoinPlan& p) {
  const TAnswer answer = RecompressAnswer(r, encoders, p);
  if (!answer.Accepts()) {
    p.Refusal = answer.Reason;
    // Said with why the files were not simply copied, which a name
    // recompression cannot write hides otherwise.
    if (r.Route == TJoinRoute::Auto && !p.CanCopy && p.CopyFormat && !p.FirstDifference.empty())
      p.Refusal += " (and they cannot be joined without recompression: " + p.FirstDifference + ")";
    return;
  }
  p.Route = TPlanRoute::Recompress;
  p.Output = answer.Output;
  p.WithoutSound = r.WithoutSound;
  for (TFilePlan& f : p.Files) f.Role = TFileRole::Reencoded;
  if (r.Route == TJoinRoute::Auto && p.WhyRecompress.empty()) p.WhyRecompress = WhyNotCopied(p);
  for (const std::string& n : answer.Notes) p.Notes.push_back(n);
}

// Takes each file's trim into its plan; false, with the refusal, for a trim
// that leaves nothing of a file.
bool PlanTrims(const TJoinRequest& r, TJoinPlan& p) {
  for (size_t i = 0; i < r.Files.size() && i < r.Trims.size(); ++i) {
    const TTrim& t = r.Trims[i];
    if (t.Empty()) continue;
    const std::string label = FileLabel(i, r.Files[i].FileName);
    const double in = t.In.value_or(0), out = t.Out.value_or(-1), length = r.Files[i].Duration;
    if (t.Out && out <= in) {
      p.Refusal = label + "the in-point " + FormatCutTime(in) + " is not before the out-point " + FormatCutTime(out);
      return false;
    }
    if (length > 0 && in >= length) {
      p.Refusal = label + "the in-point " + FormatCutTime(in) + " is past its end (" + FormatCutTime(length) + ")";
      return false;
    }
    TFilePlan& f = p.Files[i];
    f.In = in;
    // An out-point past the end: to the end.
    f.Out = length > 0 && out >= length ? -1 : out;
    p.Trimmed = p.Trimmed || f.Trimmed();
  }
  return true;
}

// Whether the copy route can take the trims: the container copy cuts at
// key frames; exact cuts, and the AVI, MPEG-1 and piece copies, re-encode.
std::string WhyTrimsNotCopied(const TJoinRequest& r, const TAnswer& copy) {
  if (r.Cut == TCutMode::Exact) return "exact cuts re-encode the files; cuts at key frames copy them";
  if (copy.Route != TPlanRoute::ContainerCopy)
    return "AVI and MPEG-1 files are cut by re-encoding; only files of a container family are cut at key frames";
  return "";
}

}  // namespace

const IEncoderCatalog& NoEncoders() {
  static const TNoEncoders none;
  return none;
}

TEngineKind TJoinPlan::Kind() const {
  switch (Route) {
    case TPlanRoute::Smart: return TEngineKind::Mixed;
    case TPlanRoute::Recompress: return TEngineKind::Recompress;
    default: return TEngineKind::Copy;
  }
}

std::vector<bool> TJoinPlan::Reencoded() const {
  std::vector<bool> v(Files.size(), false);
  if (Route == TPlanRoute::Smart)
    for (size_t i = 0; i < Files.size(); ++i) v[i] = Files[i].Role == TFileRole::Reencoded;
  return v;
}

TJoinPlan MakeJoinPlan(const TJoinRequest& r, const IEncoderCatalog& encoders) {
  static std::atomic<uint64_t> made{0};
  TJoinPlan p;
  p.Id = ++made;
  p.Files.resize(r.Files.size());
  p.CorrectTimeStamps = r.CorrectTimeStamps;
  p.ExactCopy = r.ExactCopy;
  p.VerifyFully = r.VerifyFully;
  for (const TVideoFileInfo& f : r.Files)
    if (f.HasAudio) p.NoAudio = false;
  if (r.Files.empty()) {
    p.Refusal = "There are no files to join";
    return p;
  }
  p.MpegFrameRate = r.Files.front().FrameRate;
  MarkDifferences(r, p);
  if (!PlanTrims(r, p)) return p;
  const TAnswer copy = WhatFilesAllow(r, p);
  const std::string firstType = r.Files.front().MediaType;

  const bool copyRoute = r.Route == TJoinRoute::Copy || (r.Route == TJoinRoute::Auto && p.CopyByDefault);
  const std::string trimsNotCopied = p.Trimmed ? WhyTrimsNotCopied(r, copy) : "";
  if (copyRoute && p.CanCopy && !trimsNotCopied.empty()) {
    if (r.Route == TJoinRoute::Copy) {
      p.Refusal = "Unable to join these files without recompression: " + trimsNotCopied;
      return p;
    }
    p.WhyRecompress = trimsNotCopied;
  }
  if (copyRoute && !p.CanCopy) {
    p.Refusal = p.CopyFormat ? "Unable to join these files without recompression: " + p.FirstDifference
                             : "Unable to join " + firstType + " files without recompression";
    return p;
  }
  if (copyRoute && trimsNotCopied.empty() && PlanCopy(r, copy, p)) {
    p.KeyFrameCuts = p.Trimmed && p.Route == TPlanRoute::ContainerCopy;
    p.Extension = p.Output.Extension;
    return p;
  }
  // Most of the files alike: those are copied, the others re-encoded to
  // their format; the default where it applies, or asked for.
  if (p.Trimmed && r.Route == TJoinRoute::Smart) {
    p.Refusal = "Unable to join these files with a smart join: a smart join takes whole files";
    return p;
  }
  if (!p.Trimmed && (r.Route == TJoinRoute::Auto || r.Route == TJoinRoute::Smart)) {
    const TAnswer smart = SmartAnswer(r, encoders, p);
    if (smart.Accepts()) {
      if (r.Route == TJoinRoute::Auto && !p.CanCopy) p.WhyRecompress = p.FirstDifference;
      p.Notes.push_back(p.SmartDescription);
      p.DialogNote = AddLine(p.DialogNote, "Smart join: " + p.SmartDescription);
      p.Extension = p.Output.Extension;
      return p;
    }
    if (r.Route == TJoinRoute::Smart) {
      p.Refusal = "Unable to join these files with a smart join: " + smart.Reason;
      return p;
    }
  }
  PlanRecompress(r, encoders, p);
  p.Extension = p.Output.Extension;
  return p;
}

std::string SwitchOutputExtension(const std::string& name, const TJoinPlan& plan, bool copy) {
  size_t first = name.find_first_not_of(" \t");
  if (first == std::string::npos) return name;
  const std::string ext = copy && !plan.CopyExtension.empty() ? plan.CopyExtension : ".avi";
  // The extension is what follows the last dot of the file name part.
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + ext;
  return name.substr(0, dot) + ext;
}

std::string OutputExtensionProblem(const TJoinPlan& plan, const std::string& output) {
  const std::string ext = LowerExtension(output);
  if (ext.empty() || plan.Extension.empty() || ext == plan.Extension) return "";
  // An MPEG stream goes by several names.
  const std::vector<std::string>& mpeg = ContainerOf(TContainerId::Mpeg1).Extensions;
  auto mpegName = [&mpeg](const std::string& e) { return std::find(mpeg.begin(), mpeg.end(), e) != mpeg.end(); };
  if (mpegName(plan.Extension) && mpegName(ext)) return "";
  const TContainer* family = ContainerOfFileName("x" + plan.Extension);
  const std::string kind = plan.Route == TPlanRoute::MpegCopy ? "MPEG" : family ? family->Shown : "AVI";
  return "This join writes " + ArticleFor(kind) + kind + " file: name the output " + plan.Extension + ", not " + ext;
}

}  // namespace vantrel
