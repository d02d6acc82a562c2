// The plan's parts, one per way of joining: each answers, for the request,
// whether it joins the files (perhaps only without their sound), or cannot
// because they are not of its format (another route may take them) or
// because some parameter differs, with the reason in words; and fills the
// plan when it is the one chosen.
#pragma once

#include <string>
#include <vector>

#include "plan/JoinPlan.h"

namespace vantrel {

struct TAnswer {
  enum TVerdict { Joins, JoinsWithoutSound, OtherFormat, OtherParameters };
  TVerdict Verdict = OtherFormat;
  // Why not, or why without sound: the first difference in words ("File 2
  // (b.mp4): audio 44.1 kHz, the first file 48 kHz"); for a smart join that
  // applies, what it does.
  std::string Reason;
  // What the user should know before the join (sync that cannot be kept).
  std::vector<std::string> Notes;
  TPlanRoute Route = TPlanRoute::None;
  TOutputPlan Output;
  std::vector<TStreamPlan> Streams;
  bool Accepts() const { return Verdict == Joins || Verdict == JoinsWithoutSound; }
};

// The copy routes, asked in order (AVI, MPEG-1, pieces of one program
// stream, the container copy): the first whose format the files are.
// An empty output name: not chosen yet.
TAnswer CopyAnswer(const TJoinRequest& request);

// The smart join: whether it applies, and, when it does, the plan's roles,
// target, encoders and output.
TAnswer SmartAnswer(const TJoinRequest& request, const IEncoderCatalog& encoders, TJoinPlan& plan);

// Recompression: the output's format, the settings and encoders (the
// user's, else the defaults for the format), and the notes.
TAnswer RecompressAnswer(const TJoinRequest& request, const IEncoderCatalog& encoders, TJoinPlan& plan);

// Each file's difference from the first, as the list marks it.
void MarkDifferences(const TJoinRequest& request, TJoinPlan& plan);

// "File 2 (b.avi): video 640x480, the first file 320x240": how an AVI or
// MPEG-1 file differs from the first by what their headers say; empty when
// the video is alike. column and shown: where the list shows it, and the
// file's own value.
std::string NativeVideoDifference(const TJoinRequest& r, size_t i, TDiffColumn* column = nullptr,
                                  std::string* shown = nullptr);
std::string NativeSoundDifference(const TJoinRequest& r, size_t i, TDiffColumn* column = nullptr,
                                  std::string* shown = nullptr);
// The container copy's first difference of file i from the first file:
// another container, or a stream that differs; sound apart.
struct TCopyDifference {
  std::string Video;  // another container, or the video (or stream count) differs
  std::string Audio;
  TDiffColumn Column = TDiffColumn::None;
  std::string Shown;
};
TCopyDifference ContainerDifference(const TJoinRequest& r, size_t i);

}  // namespace vantrel
