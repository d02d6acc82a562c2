// Joins AVI files without recompression: the first input's video stream and
// first audio stream are copied, chunk by chunk in time order, from every
// input into one new AVI file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avi/AVIRead.h"
#include "avi/AVIWrite.h"
#include "base/Progress.h"

namespace vantrel {

// True when other's sound can be carried under first's stream header and
// format: the same timing (dwScale, dwRate, dwSampleSize) and the same
// format block, but for nAvgBytesPerSec; MPEG audio (tags 0x50, 0x55), whose
// frames describe themselves, needs only the same tag, channels and rate.
bool SameAudioFormat(const TAVIStream& first, const TAVIStream& other);
// True when every file's first audio stream can be carried under the first
// file's (a file without sound cannot); raises what opening a file raises.
bool AviSoundCompatible(const std::vector<std::string>& files);

class TAVIJoiner {
 public:
  TAVIJoiner() = default;
  TAVIJoiner(const TAVIJoiner&) = delete;
  TAVIJoiner& operator=(const TAVIJoiner&) = delete;

  std::vector<std::string> Files;
  std::string OutputFileName;
  bool WithoutSound = false;

  // Joins; returns normally on success and on cancel, raises on failure.
  // Whatever happens after the output's streams are registered, the output
  // is closed as a complete AVI file holding everything copied. Without a
  // progress object, one is made by the installed factory for the run.
  void Run();
  void Run(IProgress& progress);

  uint64_t FramesDone() const { return frames_done_; }
  uint64_t TotalFrames() const { return total_frames_; }
  int64_t TotalSize() const { return total_size_; }
  bool WasCancelled() const { return cancelled_; }
  // Lets tests drive the file-part logic with a smaller limit.
  TAVIFileWriter& Writer() { return writer_; }

 private:
  void JoinFiles();
  void CalcTotals();
  void CreateOutput();
  void CopyChunks();
  void ReportProgress(int64_t bytePos);

  TAVIFileReader reader_;
  TAVIFileWriter writer_;
  IProgress* progress_ = nullptr;
  uint64_t frames_done_ = 0;
  uint64_t total_frames_ = 0;
  int64_t total_size_ = 0;
  int64_t bytes_before_ = 0;  // sizes of the inputs already copied
  bool cancelled_ = false;
  bool output_has_audio_ = false;
};

}  // namespace vantrel
