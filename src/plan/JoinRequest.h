// What a front end asks of a join: the files in join order with their probe
// results, the output, the options, and what the user set of the
// recompression's settings. Each front end turns its widgets or arguments
// into this; the plan (JoinPlan.h) decides everything else.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "probe/VideoFileInfo.h"
#include "recompress/RecompressSettings.h"

namespace vantrel {

// Which way the user asked the files to be joined.
enum class TJoinRoute {
  Auto,        // without recompression when the files allow it with their sound
  Copy,        // without recompression, or not at all
  Recompress,  // decode and re-encode
  Smart,       // copy the files most of the time is in, re-encode the others to match, or not at all
};

// An encoder by its libavcodec name, with the option values it is to be
// opened with ("b", "crf", "preset", ...). An empty name: uncompressed.
struct TEncoderChoice {
  std::string Encoder;
  std::map<std::string, std::string> Options;
  bool operator==(const TEncoderChoice&) const = default;
};

// The part of a file to join, in seconds of the file: from In (its start
// when unset) to Out (its end when unset).
struct TTrim {
  std::optional<double> In, Out;
  bool Empty() const { return !In && !Out; }
  bool operator==(const TTrim&) const = default;
};

// How trims cut: exactly at the frames asked for (re-encoding what must
// be), or at key frames, copying every packet as it is.
enum class TCutMode { Exact, KeyFrame };

struct TJoinRequest {
  std::vector<TVideoFileInfo> Files;
  std::string OutputFileName;
  TJoinRoute Route = TJoinRoute::Auto;
  // Asked for by the user; the plan may leave the sound out on its own.
  bool WithoutSound = false;
  // MPEG-1 only: shift clock references and time stamps so that every file
  // continues the previous one. Off, each file's timeline starts again,
  // which players show as a fraction of the length and cannot seek in.
  bool CorrectTimeStamps = true;
  // AVI only: chunk for chunk under the first file's headers, without the
  // padding and cutting that keep each file's sound with its video.
  bool ExactCopy = false;
  // Joins without recompression: read every packet of the output back, not
  // only its index, before saying it is as written.
  bool VerifyFully = false;
  // A file of the output's name may be replaced (the user agreed); without,
  // one that appears during the join is kept and the join fails.
  bool Overwrite = true;
  // By file, in the order of Files; missing or empty: the whole file.
  std::vector<TTrim> Trims;
  TCutMode Cut = TCutMode::Exact;

  // The recompression's settings the user set; unset, the plan's defaults
  // for the output's format hold. An encoder's options go with it; a set
  // encoder with an empty name is "none" (uncompressed, AVI only).
  std::optional<int> FrameWidth, FrameHeight;
  std::optional<double> FrameRate;
  std::optional<TResizeMethod> ResizeMethod;
  std::optional<TEncoderChoice> VideoEncoder, AudioEncoder;
  // Options for whichever encoder the plan chooses, where none was set.
  std::map<std::string, std::string> VideoOptions, AudioOptions;
};

}  // namespace vantrel
