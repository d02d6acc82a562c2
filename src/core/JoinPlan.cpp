// The join plan.
#include "core/JoinPlan.h"

#include "avi/AVIJoin.h"
#include "base/CopyFormat.h"
#include "core/JoinOptions.h"

namespace vantrel {

namespace {

// The first engine of a kind whose format the files are, and its answer.
IJoinEngine* FirstOfKind(const TJoinEngines& engines, TEngineKind kind, const TJoinRequest& r, TEngineAnswer& answer) {
  for (const auto& e : engines) {
    if (e->Kind() != kind) continue;
    TEngineAnswer a = e->Answer(r);
    if (a.Verdict == TEngineAnswer::OtherFormat) continue;
    answer = a;
    return e.get();
  }
  return nullptr;
}

// The AVI and MPEG-1 joiners write their own formats; any other copy is
// the container stream copy, whose texts name the difference.
bool IsContainerExtension(const std::string& ext) { return !ext.empty() && ext != ".avi" && ext != ".mpeg"; }

}  // namespace

TJoinPlan MakeJoinPlan(const TJoinRequest& r, const TJoinEngines& engines) {
  TJoinPlan p;
  for (const TVideoFileInfo& f : r.Files)
    if (f.HasAudio) p.NoAudio = false;
  if (r.Files.empty()) {
    p.Refusal = "There are no files to join";
    return p;
  }
  const std::string firstType = r.Files.front().MediaType;

  // What the files allow, before an output is named.
  TJoinRequest unnamed = r;
  unnamed.OutputFileName.clear();
  TEngineAnswer copy;
  IJoinEngine* copier = FirstOfKind(engines, TEngineKind::Copy, unnamed, copy);
  p.CopyFormat = copier != nullptr;
  p.CanCopy = copy.Accepts();
  p.CopyLosesSound = copy.Verdict == TEngineAnswer::JoinsWithoutSound;
  p.FirstDifference = copy.Reason;
  p.CopyExtension = copy.Extension;
  p.ContainerCopy = IsContainerExtension(copy.Extension);
  // A set that can be joined only by losing its sound opens unchecked.
  p.CopyByDefault = JoinWithoutRecompressionState(p.CanCopy, p.CopyLosesSound, p.NoAudio).Checked;
  p.DialogNote = JoinNotes(p.CanCopy, p.CopyLosesSound, p.NoAudio, firstType, p.FirstDifference, p.ContainerCopy);
  if (p.CanCopy)
    for (const std::string& n : copy.Notes) p.DialogNote += (p.DialogNote.empty() ? "" : "\n") + n;

  bool copyRoute = r.Route == TJoinRoute::Copy || (r.Route == TJoinRoute::Auto && p.CopyByDefault);
  if (copyRoute && !p.CanCopy) {
    p.Refusal = p.CopyFormat ? "Unable to join these files without recompression: " + p.FirstDifference
                             : "Unable to join " + firstType + " files without recompression";
    return p;
  }
  if (copyRoute) {
    // With the output's name: the container it asks for must hold the
    // streams. An AVI name keeps the recompressing join unless a copy was
    // asked for.
    const TEngineAnswer named = r.OutputFileName.empty() ? copy : copier->Answer(r);
    if (!named.Accepts()) {
      if (r.Route == TJoinRoute::Auto && LowerExtension(r.OutputFileName) == ".avi") {
        copyRoute = false;
        p.WhyRecompress = "the output is an AVI file, which a copy of these files does not write";
      } else {
        p.Refusal = "Unable to join these files without recompression: " + named.Reason;
        return p;
      }
    } else {
      p.Engine = copier;
      p.Kind = TEngineKind::Copy;
      p.Extension = named.Extension;
      p.WithoutSound = r.WithoutSound || named.Verdict == TEngineAnswer::JoinsWithoutSound;
      if (!r.WithoutSound) p.WhyWithoutSound = named.Reason;
      // Left out without being asked: said, with the first difference.
      if (!r.WithoutSound && p.WithoutSound && !p.NoAudio)
        p.Notes.push_back(kNoteWithoutSound + (p.WhyWithoutSound.empty() ? "" : "\n- " + p.WhyWithoutSound));
      for (const std::string& n : named.Notes) p.Notes.push_back(n);
      return p;
    }
  }
  // Most of the files alike: those are copied, the others re-encoded to
  // their format; the default where it applies, or asked for.
  if (r.Route == TJoinRoute::Auto || r.Route == TJoinRoute::Smart) {
    TEngineAnswer smart;
    IJoinEngine* mixed = FirstOfKind(engines, TEngineKind::Mixed, r, smart);
    if (mixed && smart.Accepts()) {
      p.Engine = mixed;
      p.Kind = TEngineKind::Mixed;
      p.Extension = smart.Extension;
      p.Reencoded = smart.Reencoded;
      p.WithoutSound = r.WithoutSound;
      if (r.Route == TJoinRoute::Auto && !p.CanCopy) p.WhyRecompress = p.FirstDifference;
      for (const std::string& n : smart.Notes) p.Notes.push_back(n);
      p.DialogNote += (p.DialogNote.empty() ? "" : "\n") + std::string("Smart join: ") + smart.Reason;
      return p;
    }
    if (r.Route == TJoinRoute::Smart) {
      p.Refusal = "Unable to join these files with a smart join: " +
                  (mixed ? smart.Reason : std::string("there is no smart join here"));
      return p;
    }
  }
  TEngineAnswer recompress;
  p.Engine = FirstOfKind(engines, TEngineKind::Recompress, r, recompress);
  if (!p.Engine || !recompress.Accepts()) {
    p.Engine = nullptr;
    p.Refusal = recompress.Reason.empty() ? "The media framework is not loaded" : recompress.Reason;
    return p;
  }
  p.Kind = TEngineKind::Recompress;
  p.Extension = recompress.Extension;
  p.WithoutSound = r.WithoutSound;
  if (r.Route == TJoinRoute::Auto && p.WhyRecompress.empty()) {
    if (!p.CanCopy)
      p.WhyRecompress = p.CopyFormat ? p.FirstDifference : "only AVI, MPEG-1 and files of one container family "
                                                           "with identical streams are joined without recompression";
    else if (p.CopyLosesSound)
      p.WhyRecompress = "a copy would leave the sound out: " + p.FirstDifference;
  }
  for (const std::string& n : recompress.Notes) p.Notes.push_back(n);
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
  const bool mpeg = plan.Extension == ".mpeg" || plan.Extension == ".mpg";
  if (mpeg && (ext == ".mpeg" || ext == ".mpg" || ext == ".m1v" || ext == ".mpv" || ext == ".vob")) return "";
  const TCopyFamily* family = CopyFamilyOfFileName("x" + plan.Extension);
  const std::string kind = family ? family->Shown : plan.Extension == ".mpeg" ? "MPEG" : "AVI";
  return "This join writes " + ArticleFor(kind) + kind + " file: name the output " + plan.Extension + ", not " + ext;
}

void UpdateDifferenceFlags(std::vector<TVideoFileInfo*>& files) {
  if (files.empty()) return;
  const TVideoFileInfo first = *files.front();
  for (TVideoFileInfo* f : files) {
    f->VideoDiffers = !f->SameVideo(first);
    // AVI sound is copied under the first file's stream header: a format
    // that only looks the same (another ADPCM block size) differs.
    f->AudioDiffers = !f->SameAudio(first) || (f->AviHeaders.Known && first.AviHeaders.Known &&
                                               !SameAudioFormat(first.AviHeaders, f->AviHeaders));
  }
}

}  // namespace vantrel
