// Joins files of one container family with identical streams by copying
// their packets into one file of that family (or of the container the
// output's name asks for), without decoding: each input's streams are
// shifted by one offset so that it starts where the previous one ended.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/StreamFormat.h"
#include "base/Progress.h"

namespace vantrel {

// What a join wrote, and what reading the output back found.
struct TRemuxReport {
  int64_t VideoPackets = 0;
  int64_t AudioPackets = 0;
  int64_t OtherPackets = 0;
  double Duration = 0;    // seconds, from the first time stamp to the latest end
  bool Verified = false;  // the output was read back and matched
  // Some input gave less than it promised (cut short, damaged): said in
  // Notes, file by file.
  bool Damaged = false;
  std::vector<std::string> Notes;  // streams left out, and why; damaged inputs
};

class TRemuxJoiner {
 public:
  std::vector<std::string> Files;
  std::string OutputFileName;
  // The container written: its muxer, its name in messages, and whether it
  // takes a chapter per input.
  std::string Muxer;
  std::string Shown;
  bool Chapters = false;
  // By copied stream of the first file (in its order), whether it is
  // written; empty: all. Its video always is.
  std::vector<bool> Keep;
  bool WithoutSound = false;
  // By input, the part copied in seconds of the file (out < 0: to its
  // end), cut at key frames; missing: the whole file.
  std::vector<std::pair<double, double>> Cuts;
  // Read every packet of the output back, not only its index, where the
  // container has one.
  bool VerifyFully = false;
  // The output's video parameter sets, in place of the first input's (a
  // join of files encoded apart lists every file's sets in one avcC).
  std::vector<uint8_t> VideoExtradata;
  // The names its chapters take, in the order of Files (a file made for
  // the join is named after the file it stands for); empty: the files'.
  std::vector<std::string> Titles;
  // Stream fields (TFormatField) in which later files may differ from the
  // first: files encoded apart for the join, whose sets VideoExtradata
  // lists and whose stamps are rescaled.
  uint32_t Tolerated = 0;
  // By input, what its video packets are turned into before they are
  // written (parameter set ids renumbered); an empty function, or none:
  // as they are. Returns false when a packet cannot be turned.
  using TRewrite = std::function<bool(const uint8_t* data, size_t size, std::vector<uint8_t>& out)>;
  std::vector<TRewrite> VideoRewrite;

  // Returns on success and on cancel (the output then holds the files, or
  // the part of one, joined so far); raises on failure with the output
  // removed.
  TRemuxReport Run(IProgress& progress);
};

}  // namespace vantrel
