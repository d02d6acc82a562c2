// The smart join: the files that differ from the target are rendered one by
// one to exactly its format beside the output, then every file, copied or
// rendered, is joined by the container copy. What is re-encoded, and into
// what, is given: this engine decides nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "remux/RemuxJoin.h"

namespace vantrel {

class TSmartJoiner {
 public:
  std::vector<std::string> Files;
  std::vector<double> Durations;  // seconds, by file: how progress is shared
  std::vector<bool> Reencode;     // by file
  std::string OutputFileName;
  // The container the copy writes.
  std::string Muxer, Shown;
  bool Chapters = false;
  bool VerifyFully = false;

  // What the re-encoded files are made as: the target's picture, its
  // parameter sets (an avcC or hvcC; none for VP9 and AV1, whose key frames
  // carry what a decoder needs) and sound.
  std::string Codec;  // "h264", "hevc", "vp9", "av1"
  int Width = 0, Height = 0;
  double FrameRate = 0;
  std::vector<uint8_t> VideoSets;
  bool Sound = false;
  int SampleRate = 0, Channels = 0;
  std::string VideoEncoder, AudioEncoder;
  std::map<std::string, std::string> VideoOptions, AudioOptions;
  // The container the re-encoded parts are written in.
  std::string PartMuxer, PartExtension;

  // Returns on success and on cancel (the output then holds what was made
  // and copied so far); raises on failure.
  TRemuxReport Run(IProgress& progress);
};

}  // namespace vantrel
