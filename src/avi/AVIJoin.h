// Joins AVI files without recompression: the first input's video stream and
// first audio stream are copied, chunk by chunk in time order, from every
// input into one new AVI file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "avi/AVIRead.h"
#include "avi/AVISoundCopy.h"
#include "avi/AVIWrite.h"
#include "base/JoinLoop.h"
#include "base/Progress.h"
#include "avi/AVIProbe.h"

namespace vantrel {

// True when other's sound can be carried under first's stream header and
// format: the same timing (dwScale, dwRate, dwSampleSize) and the same
// format block, but for nAvgBytesPerSec; MPEG audio (tags 0x50, 0x55), whose
// frames describe themselves, needs only the same tag, channels and rate
// (chunk for chunk, exact, also both described by frames).
bool SameAudioFormat(const TAVIStream& first, const TAVIStream& other, bool exact = false);
// The same on what the probe kept of two files' headers; files without
// sound match only each other.
bool SameAudioFormat(const TAviHeaderInfo& first, const TAviHeaderInfo& other, bool exact = false);
// In words, how other's sound format differs from first's ("sound blocks of
// 2048 bytes, the first file 1024").
std::string AudioFormatDifference(const TAviHeaderInfo& first, const TAviHeaderInfo& other);
// True when every file's first audio stream can be carried under the first
// file's (a file without sound cannot); raises what opening a file raises.
bool AviSoundCompatible(const std::vector<std::string>& files, bool exact = false);
// A note for the join's notes when the sound of some file is of a format
// that cannot be padded or cut and does not end with its video (as the
// headers say): each such file (by its path, with the headers it was
// described by) with the difference. Empty otherwise.
std::string AviSoundNote(const std::vector<std::pair<std::string, const TAviHeaderInfo*>>& files);

class TAVIJoiner {
 public:
  TAVIJoiner() = default;
  TAVIJoiner(const TAVIJoiner&) = delete;
  TAVIJoiner& operator=(const TAVIJoiner&) = delete;

  std::vector<std::string> Files;
  std::string OutputFileName;
  bool WithoutSound = false;
  // Chunk for chunk under the first file's headers: nothing added, dropped
  // or cut to keep the sound with the video.
  bool ExactCopy = false;
  // What the probe read of each file's headers, in Files' order: when every
  // file has them, the joiner sizes the output from them and opens each
  // input once, for its copy, checking its sound there; otherwise it reads
  // every input's headers before the output is touched.
  std::vector<TAviHeaderInfo> Described;

  // Joins; returns normally on success and on cancel, raises on failure.
  // Whatever happens after the output's streams are registered, the output
  // is closed as a complete AVI file holding everything copied. Without a
  // progress object, nothing is reported and nothing stops it.
  void Run();
  void Run(IProgress& progress);

  uint64_t FramesDone() const { return frames_done_; }
  uint64_t TotalFrames() const { return total_frames_; }
  int64_t TotalSize() const { return total_size_; }
  bool WasCancelled() const { return cancelled_; }
  // Chunks written to the output's video (0) and sound (1) streams.
  uint32_t ChunksWritten(int id) const { return id == 0 || id == 1 ? chunks_written_[id] : 0; }
  // Per input copied, the sound's end minus the video's end left after it,
  // in seconds (what could not be padded or cut).
  const std::vector<double>& SoundMismatch() const { return sound_mismatch_; }
  // One note per input that gave less than its headers promised ("File 2
  // (b.avi) is damaged: only 00:04 of 00:08 could be read").
  const std::vector<std::string>& DamagedNotes() const { return damaged_; }
  // Lets tests drive the file-part logic with a smaller limit.
  TAVIFileWriter& Writer() { return writer_; }

 private:
  void JoinFiles();
  void CalcTotals();
  bool UseDescribed() const;
  // Opens an input; one that cannot be opened is named in the error.
  static void OpenInput(TAVIFileReader& reader, const std::string& name, bool headersOnly);
  void CheckSoundOf(const std::string& name, const TAviHeaderInfo& first, const TMpegAudioHeader& firstFrame);
  // The way the sound is carried, from the first file's audio stream;
  // findFirstFrame reads its first MPEG audio frame.
  void ChooseSoundKind(const TAVIFileReader& first, const std::function<bool(TMpegAudioHeader&)>& findFirstFrame);
  void CreateOutput();
  void CopyChunks();
  // After input i was copied: notes it when it gave fewer frames than its
  // video stream header states or its index lists; raises when it gave
  // none at all.
  void CheckWhole(size_t i);
  void ReportProgress(int64_t bytePos);
  // Seconds of output video after this many frames.
  double VideoEnd(uint64_t frames) const;

  TAVIFileReader reader_;
  TAVIFileWriter writer_;
  IProgress* progress_ = nullptr;
  TJoinLoop* loop_ = nullptr;  // the run's, while the inputs are copied
  uint64_t frames_done_ = 0;
  uint64_t total_frames_ = 0;
  int64_t total_size_ = 0;
  int64_t bytes_before_ = 0;  // sizes of the inputs already copied
  bool cancelled_ = false;
  bool output_has_audio_ = false;
  TSoundKind sound_kind_ = TSoundKind::Other;
  TMpegAudioHeader first_frame_;
  std::unique_ptr<TAVISoundCopy> sound_;
  std::vector<double> sound_mismatch_;
  std::vector<std::string> damaged_;
  // Of the input being copied: video frames written, index entries passed
  // over as beyond the file, and whether a read failed.
  uint64_t input_frames_ = 0;
  uint64_t skipped_frames_ = 0;
  uint64_t places_ = 0;  // of frames passed over, not yet kept
  bool read_failed_ = false;
  uint32_t chunks_written_[2] = {0, 0};
  uint32_t video_scale_ = 0, video_rate_ = 0, video_start_ = 0;
};

}  // namespace vantrel
