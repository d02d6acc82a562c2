// Joins files of one container family with identical streams by copying
// their packets into one file of that family (or of the container the
// output's name asks for), without decoding: each input's streams are
// shifted by one offset so that it starts where the previous one ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/CopyFormat.h"
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
  // The inputs' CopyFormat texts, in the order of Files; decide, before the
  // output is begun, which subtitle and data streams every file has alike.
  std::vector<std::string> CopyFormats;
  std::string OutputFileName;
  // The first input's container family; the output's name may ask for
  // another one of the families.
  const TCopyFamily* InputFamily = nullptr;
  bool WithoutSound = false;
  // Read every packet of the output back, not only its index, where the
  // container has one.
  bool VerifyFully = false;
  // The output's video parameter sets, in place of the first input's (a
  // join of files encoded apart lists every file's sets in one avcC).
  std::vector<uint8_t> VideoExtradata;
  // The names its chapters take, in the order of Files (a file made for
  // the join is named after the file it stands for); empty: the files'.
  std::vector<std::string> Titles;
  // Stream fields (by their labels: "codec parameter sets", "time base")
  // in which later files may differ from the first: files encoded apart for
  // the join, whose sets VideoExtradata lists and whose stamps are rescaled.
  std::vector<std::string> Tolerated;

  // Returns on success and on cancel (the output then holds the files, or
  // the part of one, joined so far); raises on failure with the output
  // removed.
  TRemuxReport Run(IProgress& progress);
};

// The output format the join writes for this output name and first-input
// family: the name's family when it is one, else the input's.
const TCopyFamily& RemuxOutputFamily(const std::string& outputFileName, const TCopyFamily& inputFamily);
// Empty when the output family's container can hold the streams of this
// CopyFormat text; else why not ("a WebM file cannot hold h264 video").
// Subtitle and data streams it cannot hold are left out, not refused.
std::string RemuxOutputProblem(const TCopyFamily& output, const std::string& copyFormat, bool withoutSound);

}  // namespace vantrel
