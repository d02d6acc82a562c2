// What the front end asks of a join, and the one interface every engine
// offers the join job: "can you join these probed files, and if not, why"
// and "join them, reporting to this progress".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "base/VideoFileInfo.h"
#include "dshow/RecompressSettings.h"

namespace vantrel {

// The files in join order with their probe results, and the options of the
// join options dialog.
struct TJoinOptions {
  std::vector<TVideoFileInfo> Files;
  std::string OutputFileName;
  bool JoinWithoutRecompression = true;
  bool JoinWithoutSound = false;
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

  // Recompression only. The frame-rate box's text is converted by the job
  // into Recompress.FrameRate before an engine runs; empty leaves the rate
  // as set.
  TRecompressSettings Recompress;
  std::string FrameRateText;
  char DecimalSeparator = '.';
  std::vector<std::string> VideoCompressors;  // monikers, in the list's order
  int VideoCompressorIndex = -1;
  std::vector<std::string> AudioCompressors;  // entry 0 is "No-compressing"
  int AudioCompressorIndex = -1;
};

// What an engine that copies streams wrote and found when it read the
// output back.
struct TJoinReport {
  bool Counted = false;  // the fields below are set
  int64_t VideoPackets = 0;
  int64_t AudioPackets = 0;
  double Duration = 0;    // seconds; negative when not known
  bool Verified = false;  // read back and matched what was written
  std::vector<std::string> Notes;  // what was left out, and why
};

class IJoinEngine {
 public:
  virtual ~IJoinEngine() = default;
  // True for the engines that copy streams without recompression: the job
  // takes one of them when "Join without recompression" is checked, and a
  // recompressing one otherwise.
  virtual bool CopiesStreams() const = 0;
  // Empty when this engine joins the request's files; else why not, in words.
  virtual std::string WhyNot(const TJoinOptions& request) const = 0;
  // True when the first file is of the format this engine joins, so that
  // its WhyNot is the reason the files cannot be joined this way.
  virtual bool TakesFormatOf(const TJoinOptions& /*request*/) const { return false; }
  // The progress object's text while this engine joins.
  virtual const char* ProgressText() const = 0;
  // Joins; returns on success and on cancel, raises on failure.
  virtual TJoinReport Join(const TJoinOptions& request, IProgress& progress) = 0;
};

// The engines a front end offers the job, in the order they are asked.
using TJoinEngines = std::vector<std::unique_ptr<IJoinEngine>>;

// The paths of the request's files, in join order.
std::vector<std::string> FileNames(const TJoinOptions& request);

}  // namespace vantrel
