// The sound of an AVI stream-copy join. AVI has no time stamps for sound: a
// reader times it by the bytes or frames that precede each chunk, so an
// input whose sound is shorter or longer than its video would shift the
// sound of every later input. After each input the sound written ends where
// its video ends: PCM is padded with silence or cut to the sample, MPEG
// audio is carried one frame per chunk, padded with silent frames or cut at
// frame boundaries. Other formats are copied chunk for chunk, and their
// mismatch is measured for the notes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avi/AVIRead.h"
#include "avi/AVIWrite.h"
#include "base/MpegAudioFrame.h"

namespace vantrel {

// How the sound is carried.
enum class TSoundKind {
  Exact,  // chunk for chunk under the first file's header, nothing added or cut
  PCM,    // padded and cut to the sample
  MPEG,   // one frame per chunk, described by frames; padded and cut by frames
  Other,  // chunk for chunk; a mismatch can only be reported
};

// The first MPEG audio frame among the first chunks of a file's first audio
// stream; false when the file has none (or its sound is not MPEG audio).
bool FirstMpegAudioFrame(const std::string& fileName, TMpegAudioHeader& header);
// The same in a file open with its index.
bool FirstMpegAudioFrame(const TAVIFileReader& reader, TMpegAudioHeader& header);
// The kind a stream's sound is carried as (exact: the chunk-for-chunk copy),
// from the stream or its strf block.
TSoundKind SoundKindOf(const TAVIStream& audio, bool exact);
TSoundKind SoundKindOf(const std::vector<uint8_t>& format, bool exact);

class TAVISoundCopy {
 public:
  // first: the first input's audio stream; mpeg: its first frame (for MPEG
  // audio). Registers output stream `id` with the writer.
  TAVISoundCopy(TAVIFileWriter& writer, int id, const TAVIStream& first, TSoundKind kind,
                const TMpegAudioHeader& mpeg);

  TSoundKind Kind() const { return kind_; }

  // An input starts; its sound is to end at videoEnd seconds of the output
  // (the end of all video written once this input is copied).
  void BeginInput(double videoEnd);
  // One chunk of the input's sound stream; false when it could not be read.
  bool CopyChunk(const TAVIStream& stream, uint32_t entry, const TIndexEntry& e);
  // The input ended with the output's video at videoEnd seconds: pads the
  // sound up to it. Returns the sound's mismatch left, in seconds (positive:
  // the sound runs on past the video).
  double EndInput(double videoEnd);

  // Bytes of MPEG audio streams that were no frame (tags, junk, cut frames)
  // or frames of another format.
  uint64_t DroppedBytes() const { return splitter_.DroppedBytes(); }

 private:
  double SoundEnd() const;
  void SetTarget(double videoEnd);
  void WriteFrame(const uint8_t* frame, const TMpegAudioHeader& h);
  void PadPCM(uint64_t samples);

  TAVIFileWriter& writer_;
  int id_;
  TSoundKind kind_;
  AVISTREAMHEADER header_;  // as registered
  uint32_t block_align_ = 1;
  uint32_t sample_rate_ = 0;
  uint8_t silence_byte_ = 0;
  TMpegAudioHeader mpeg_;
  std::vector<uint8_t> silent_frame_;

  // What was written: PCM samples or MPEG frames; other kinds in seconds.
  uint64_t samples_ = 0;
  uint64_t frames_ = 0;
  double other_seconds_ = 0;
  uint64_t target_samples_ = 0;  // where this input's sound is to end
  std::vector<uint8_t> buffer_;
  TMpegAudioSplitter splitter_;
};

}  // namespace vantrel
