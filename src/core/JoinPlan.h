// The join plan: made once from the probed files and the request, it says
// how the files are joined (which engine), whether their sound is kept and
// why not, the first difference in words when they cannot be copied, the
// output's extension and the notes to show. The file list's flags, the join
// options dialog, the command line and the job all read it; nothing else
// decides.
#pragma once

#include <string>
#include <vector>

#include "core/JoinEngine.h"

namespace vantrel {

struct TJoinPlan {
  // What the files allow, whatever the request's route.
  // A copy engine takes the first file's format (the check box is shown
  // enabled only when CanCopy).
  bool CopyFormat = false;
  bool CanCopy = false;         // joined without recompression, maybe without sound
  bool CopyLosesSound = false;  // ... only by leaving the sound out
  bool NoAudio = true;          // no file has sound
  bool CopyByDefault = false;   // the check box opens ticked; Auto copies
  // Why the files cannot be copied, or why a copy leaves the sound out:
  // the first difference in words; empty when there is none.
  std::string FirstDifference;
  std::string CopyExtension;       // what a copy writes: ".avi", ".mpeg", ".mp4", ...
  bool ContainerCopy = false;      // the copy is the container stream copy

  // The decision for the request.
  IJoinEngine* Engine = nullptr;  // null: refused, see Refusal
  TEngineKind Kind = TEngineKind::Copy;
  std::string Refusal;            // why the request cannot be done
  bool WithoutSound = false;      // the sound is left out ...
  std::string WhyWithoutSound;    // ... because of this (empty when asked)
  // Auto chose to recompress: why not without recompression, in words.
  std::string WhyRecompress;
  std::string Extension;          // the output's extension for the route
  // A smart join (kind Mixed): by file, whether it is re-encoded; empty
  // for every other kind. The list marks these files.
  std::vector<bool> Reencoded;
  // Shown before the join (the dialog's note; the command line's lines).
  std::vector<std::string> Notes;

  // The join options dialog's note beside "Join without recompression".
  std::string DialogNote;
};

// The plan for the request's files with the engines offered (in the order
// they are asked). Reads only the probe results: no file is opened.
TJoinPlan MakeJoinPlan(const TJoinRequest& request, const TJoinEngines& engines);

// The output name with its extension switched to the one the plan proposes
// for a join with (copy) or without recompression; a blank name stays.
std::string SwitchOutputExtension(const std::string& name, const TJoinPlan& plan, bool copy);

// Empty when the output's name fits what the plan's engine writes (a name
// without an extension fits); else what to name it, in words: "This join
// writes an AVI file: name the output .avi, not .mp4".
std::string OutputExtensionProblem(const TJoinPlan& plan, const std::string& output);

// For the list: sets each file's difference flags against the first file,
// with what a copy of AVI sound needs counted as the audio format.
void UpdateDifferenceFlags(std::vector<TVideoFileInfo*>& files);

}  // namespace vantrel
