// AVI joiner.
#include "avi/AVIJoin.h"

#include <unistd.h>

#include "avi/AVIProbe.h"
#include "avi/AVIUtils.h"
#include "base/Names.h"
#include "base/Exceptions.h"
#include "base/JoinLoop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/PosixFile.h"

namespace vantrel {

namespace {

// The comparison on the stream headers' dwScale, dwRate, dwSampleSize and
// the strf blocks.
bool SameSound(uint32_t scaleA, uint32_t rateA, uint32_t sizeA, const std::vector<uint8_t>& fa, uint32_t scaleB,
                     uint32_t rateB, uint32_t sizeB, const std::vector<uint8_t>& fb, bool exact) {
  if (fa.size() < 8 || fb.size() < 8) return fa == fb && scaleA == scaleB && rateA == rateB;
  const uint16_t tag = ReadLE16(fa.data());
  if (tag != ReadLE16(fb.data())) return false;
  // wFormatTag, nChannels, nSamplesPerSec.
  const bool sameBasics = std::equal(fa.begin(), fa.begin() + 8, fb.begin());
  // MPEG audio frames carry their own timing: copied frame by frame, only
  // the layer, rate and channels must agree, however the headers time them.
  // Chunk for chunk, both must be described by frames.
  if ((tag == 0x50 || tag == 0x55) && (!exact || (sizeA == 0 && sizeB == 0))) return sameBasics;
  if (scaleA != scaleB || rateA != rateB || sizeA != sizeB) return false;
  // A WAVEFORMATEX whose cbSize is 0 says no more than the 16-byte
  // PCMWAVEFORMAT other writers store (mencoder the one, ffmpeg the other).
  auto said = [](const std::vector<uint8_t>& f) {
    return f.size() == 18 && f[16] == 0 && f[17] == 0 ? size_t{16} : f.size();
  };
  const size_t n = said(fa);
  if (n != said(fb)) return false;
  // Everything but nAvgBytesPerSec (bytes 8 to 11), which follows from the rest.
  return sameBasics && (n <= 12 || std::equal(fa.begin() + 12, fa.begin() + static_cast<ptrdiff_t>(n), fb.begin() + 12));
}

}  // namespace

bool SameAudioFormat(const TAVIStream& first, const TAVIStream& other, bool exact) {
  return SameSound(first.Header.dwScale, first.Header.dwRate, first.Header.dwSampleSize, first.Format,
                         other.Header.dwScale, other.Header.dwRate, other.Header.dwSampleSize, other.Format, exact);
}

bool SameAudioFormat(const TAviHeaderInfo& first, const TAviHeaderInfo& other, bool exact) {
  if (first.HasSound != other.HasSound) return false;
  return !first.HasSound ||
         SameSound(first.SoundScale, first.SoundRate, first.SoundSampleSize, first.SoundFormat, other.SoundScale,
                         other.SoundRate, other.SoundSampleSize, other.SoundFormat, exact);
}

std::string AudioFormatDifference(const TAviHeaderInfo& first, const TAviHeaderInfo& other) {
  const std::vector<uint8_t>& a = first.SoundFormat;
  const std::vector<uint8_t>& b = other.SoundFormat;
  if (a.size() >= kWaveFormatSize && b.size() >= kWaveFormatSize &&
      ReadLE16(a.data() + kBlockAlignOffset) != ReadLE16(b.data() + kBlockAlignOffset))
    return "sound blocks of " + std::to_string(ReadLE16(b.data() + kBlockAlignOffset)) + " bytes, the first file " +
           std::to_string(ReadLE16(a.data() + kBlockAlignOffset));
  if (first.SoundScale != other.SoundScale || first.SoundRate != other.SoundRate ||
      first.SoundSampleSize != other.SoundSampleSize)
    return "sound timed otherwise in its stream header than the first file's";
  return "a sound format block other than the first file's";
}

bool AviSoundCompatible(const std::vector<std::string>& files, bool exact) {
  if (files.empty()) return true;
  TAVIFileReader first, other;
  first.Open(files.front(), true);
  const TAVIStream* a = first.AudioStream();
  for (size_t i = 1; i < files.size(); ++i) {
    other.Open(files[i], true);
    const TAVIStream* b = other.AudioStream();
    if ((a == nullptr) != (b == nullptr)) return false;
    if (a && !SameAudioFormat(*a, *b, exact)) return false;
  }
  return true;
}

std::string AviSoundNote(const std::vector<std::pair<std::string, const TAviHeaderInfo*>>& files) {
  std::string late;
  for (const auto& [path, headers] : files) {
    const TAviHeaderInfo& h = *headers;
    if (!h.Known || !h.HasSound) return "";
    if (SoundKindOf(h.SoundFormat, false) != TSoundKind::Other) return "";
    if (h.FrameSeconds <= 0 || h.SoundRate == 0) continue;
    if (std::abs(h.SoundEnd - h.VideoEnd) < h.FrameSeconds) continue;
    char text[64];
    std::snprintf(text, sizeof text, " %+.3f s", h.SoundEnd - h.VideoEnd);
    late += (late.empty() ? "" : ",") + std::string(" ") + path.substr(path.rfind('/') + 1) + text;
  }
  if (late.empty()) return "";
  return "- the sound of these files cannot be padded or cut to its video, so later files' sound is shifted "
         "(sound minus video):" + late;
}

void TAVIJoiner::Run() {
  TNoProgress none;
  Run(none);
}

void TAVIJoiner::Run(IProgress& progress) {
  TProgressBinding binding(progress_, progress);
  JoinFiles();
}

namespace {

// The first frame of a file's MPEG audio; false also when the file's index
// cannot be read (the copy pass reports that).
bool FindFirstFrame(const std::string& name, TMpegAudioHeader& h) {
  try {
    return FirstMpegAudioFrame(name, h);
  } catch (const std::exception&) {
    return false;
  }
}

// The same in a file open with its index.
bool FindFirstFrame(const TAVIFileReader& r, TMpegAudioHeader& h) {
  try {
    return FirstMpegAudioFrame(r, h);
  } catch (const std::exception&) {
    return false;
  }
}

std::string SoundRefusal(const std::string& name) {
  return "The sound of " + name + " is not of the first file's format; join without sound or with recompression";
}

}  // namespace

void TAVIJoiner::OpenInput(TAVIFileReader& reader, const std::string& name, bool headersOnly) {
  try {
    reader.Open(name, headersOnly);
  } catch (const EOSError& e) {
    RaiseCannotOpen(e.Code(), name);
  } catch (const EAVIReadError& e) {
    // Of five inputs, the one whose index is missing.
    throw EAVIReadError(name + ": " + e.what());
  } catch (const Exception& e) {
    if (std::string(e.what()).find(name) != std::string::npos) throw;
    throw Exception(name + ": " + e.what());
  }
}

bool TAVIJoiner::UseDescribed() const {
  if (Described.size() != Files.size() || Files.empty()) return false;
  for (const TAviHeaderInfo& d : Described)
    if (!d.Known) return false;
  return true;
}

void TAVIJoiner::ChooseSoundKind(const TAVIFileReader& first,
                                 const std::function<bool(TMpegAudioHeader&)>& findFirstFrame) {
  const TAVIStream* v = first.VideoStream();
  // Without the video's timing there is no end to keep the sound to.
  const bool timed = v->Header.dwScale != 0 && v->Header.dwRate != 0;
  sound_kind_ = first.AudioStream() ? SoundKindOf(*first.AudioStream(), ExactCopy || !timed) : TSoundKind::Other;
  // MPEG audio copied by frames needs a frame to describe the output.
  if (sound_kind_ == TSoundKind::MPEG && !findFirstFrame(first_frame_)) sound_kind_ = TSoundKind::Other;
}

void TAVIJoiner::CheckSoundOf(const std::string& name, const TAviHeaderInfo& first, const TMpegAudioHeader& firstFrame) {
  const TAVIStream* other = reader_.AudioStream();
  if (WithoutSound || !first.HasSound || !other) return;
  TMpegAudioHeader h;
  const bool otherFrames =
      sound_kind_ == TSoundKind::MPEG && FindFirstFrame(reader_, h) && !SameMpegAudioFormat(h, firstFrame);
  TAviHeaderInfo sound;
  KeepSound(*other, sound);
  if (otherFrames || !SameAudioFormat(first, sound, ExactCopy))
    throw Exception(SoundRefusal(name));
}

void TAVIJoiner::CalcTotals() {
  total_frames_ = 0;
  total_size_ = 0;
  TAVIFileReader first;
  TMpegAudioHeader firstFrame;
  for (const std::string& name : Files) {
    OpenInput(reader_, name, true);
    if (!reader_.VideoStream()) {
      reader_.Close();
      throw Exception("There is no video stream in the file " + name);
    }
    // Sound copied under the first file's header must be of its format, or
    // players cannot decode it: refuse before the output is touched.
    if (!WithoutSound) {
      const std::string refusal = SoundRefusal(name);
      if (&name == &Files.front()) {
        OpenInput(first, name, true);
        // Opened for its headers only: the first frame is looked for in the file.
        ChooseSoundKind(first, [&name](TMpegAudioHeader& h) { return FindFirstFrame(name, h); });
        firstFrame = first_frame_;
      } else if (first.AudioStream() && reader_.AudioStream()) {
        TMpegAudioHeader h;
        // A file whose sound cannot be read here fails in the copy pass,
        // with what was joined before it kept.
        const bool other = sound_kind_ == TSoundKind::MPEG && FindFirstFrame(name, h) && !SameMpegAudioFormat(h, firstFrame);
        if (!SameAudioFormat(*first.AudioStream(), *reader_.AudioStream(), ExactCopy) || other) {
          reader_.Close();
          throw Exception(refusal);
        }
      }
    }
    total_frames_ += reader_.VideoStream()->Header.dwLength;
    total_size_ += reader_.FileSize();
    reader_.Close();
  }
}

void TAVIJoiner::CreateOutput() {
  if (FileExists(OutputFileName)) {
    ::unlink(OutputFileName.c_str());
    if (FileExists(OutputFileName))
      throw Exception("Unable to overwrite the file " + OutputFileName +
                      ".\r\nPossible the file is blocked by other application.");
  }
  try {
    writer_.Open(OutputFileName, AVIF_HASINDEX);
  } catch (const EOSError& e) {
    RaiseCannotCreate(e.Code(), OutputFileName);
  }
  try {
    const TAVIStream& video = *reader_.VideoStream();
    writer_.AddStream(0, video.Header, static_cast<uint32_t>(video.Format.size()), video.Format.data());
    video_scale_ = video.Header.dwScale;
    video_rate_ = video.Header.dwRate;
    video_start_ = video.Header.dwStart;
    output_has_audio_ = reader_.AudioStream() && !WithoutSound;
    sound_.reset();
    sound_mismatch_.clear();
    if (output_has_audio_)
      sound_ = std::make_unique<TAVISoundCopy>(writer_, 1, *reader_.AudioStream(), sound_kind_, first_frame_);
  } catch (...) {
    // Nothing was copied yet: release the half-made output and remove it
    // rather than leave a broken file behind.
    const bool writeFailed = writer_.WriteFailed();
    writer_.Discard();
    if (writeFailed) RaiseWithOutputRemoved(std::current_exception(), OutputFileName);
    ::unlink(OutputFileName.c_str());
    try {
      throw;
    } catch (const EOSError&) {
      throw;
    } catch (const Exception& e) {
      // The first file's streams were refused ("Invalid video format").
      throw Exception(Files.front() + ": " + e.what());
    }
  }
}

void TAVIJoiner::JoinFiles() {
  frames_done_ = 0;
  bytes_before_ = 0;
  cancelled_ = false;
  damaged_.clear();
  // Described inputs are opened once each: the first one's headers make
  // the output, and its chunks are copied from the same opening.
  const bool described = UseDescribed();
  if (described) {
    total_frames_ = 0;
    total_size_ = 0;
    for (const TAviHeaderInfo& d : Described) {
      total_frames_ += d.VideoFrames;
      total_size_ += d.FileSize;
    }
  } else {
    CalcTotals();
  }
  writer_.IndexMode = total_size_ < kOpenDMLThreshold ? TAVIIndexMode::imLegacy : TAVIIndexMode::imBoth;

  OpenInput(reader_, Files.front(), !described);
  if (!reader_.VideoStream()) throw Exception("There is no video stream in the file " + Files.front());
  if (described && !WithoutSound)
    ChooseSoundKind(reader_, [this](TMpegAudioHeader& h) { return FindFirstFrame(reader_, h); });
  // What later inputs' sound is checked against, while each is copied.
  TAviHeaderInfo firstSound;
  if (const TAVIStream* a = reader_.AudioStream()) KeepSound(*a, firstSound);
  const TMpegAudioHeader firstFrame = first_frame_;
  CreateOutput();
  if (!described) reader_.Close();

  TJoinLoop loop(*progress_, Files);
  loop_ = &loop;
  loop.Run(
      OutputFileName,
      [&](size_t i) {
        const std::string& name = Files[i];
        if (!described || i > 0) {
          OpenInput(reader_, name, false);
          if (!reader_.VideoStream()) throw Exception("There is no video stream in the file " + name);
          if (described) CheckSoundOf(name, firstSound, firstFrame);
        }
        if (sound_) sound_->BeginInput(VideoEnd(frames_done_ + reader_.VideoStream()->IndexCount()));
        CopyChunks();
        CheckWhole(i);
        // The sound ends with the video written, a cancelled input's too.
        if (sound_) sound_mismatch_.push_back(sound_->EndInput(VideoEnd(frames_done_)));
        bytes_before_ += reader_.FileSize();
        reader_.Close();
      },
      [&] {
        reader_.Close();
        writer_.Close();
      },
      // A failed write leaves nothing to finish: no half-patched file stays.
      [&] { return writer_.WriteFailed(); });
  loop_ = nullptr;
  cancelled_ = loop.WasCancelled();
  for (int id = 0; id < 2; ++id) chunks_written_[id] = writer_.ChunkCount(id);
  try {
    writer_.Close();
  } catch (...) {
    if (writer_.WriteFailed()) RaiseWithOutputRemoved(std::current_exception(), OutputFileName);
    throw;
  }
  if (!cancelled_) progress_->SetProgress(100);
}

double TAVIJoiner::VideoEnd(uint64_t frames) const {
  if (video_rate_ == 0) return 0;
  return (static_cast<double>(video_start_) + static_cast<double>(frames)) * video_scale_ / video_rate_;
}

void TAVIJoiner::ReportProgress(int64_t bytePos) {
  if (total_frames_ > 0) {
    progress_->SetProgress(static_cast<double>(frames_done_ * 100 / total_frames_));
  } else if (total_size_ > 0) {
    // No input declares its frame count: measure by position in the inputs.
    progress_->SetProgress(static_cast<double>((bytes_before_ + bytePos) * 100 / total_size_));
  }
}

void TAVIJoiner::CheckWhole(size_t i) {
  if (loop_->WasCancelled()) return;
  const std::string& name = Files[i];
  if (input_frames_ == 0 && input_frames_ + skipped_frames_ + reader_.VideoStream()->Header.dwLength > 0)
    throw Exception(FileLabel(i, name) + "nothing of it could be read");
  const uint32_t promised = reader_.VideoStream()->Header.dwLength;
  if (input_frames_ >= promised && skipped_frames_ == 0 && !read_failed_) return;
  const double frame = video_rate_ ? static_cast<double>(video_scale_) / video_rate_ : 0;
  // Without a stated length, what the index listed is what was promised.
  const uint64_t listed = std::max<uint64_t>(promised, input_frames_ + skipped_frames_);
  damaged_.push_back(DamagedNote(i, name, static_cast<double>(input_frames_) * frame,
                                 listed > input_frames_ ? static_cast<double>(listed) * frame : 0));
}

void TAVIJoiner::CopyChunks() {
  input_frames_ = 0;
  skipped_frames_ = 0;
  places_ = 0;
  read_failed_ = false;
  reader_.ResetCursors();
  TAVIStream* video = reader_.VideoStream();
  // Sound goes where the output has a sound stream: a later file's sound is
  // passed over when the first file had none.
  TAVIStream* audio = WithoutSound || !output_has_audio_ ? nullptr : reader_.AudioStream();
  const int videoIndex = reader_.IndexOf(video);
  const int audioIndex = audio ? reader_.IndexOf(audio) : -1;
  const int64_t fileSize = reader_.FileSize();
  int64_t pos = 0;
  // Without a sound stream in the output nothing is done with the sound.
  for (;;) {
    int s;
    uint32_t entryIndex;
    reader_.NextChunk(s, entryIndex);
    if (s < 0) break;
    if (s == videoIndex || s == audioIndex) {
      TAVIStream& stream = reader_.Streams(s);
      TIndexEntry e;
      if (!stream.GetIndexEntry(entryIndex, e)) break;
      // An entry reaching past the end of the file lists data the file
      // does not have: it is passed over (and said), the chunks the file
      // does hold are still copied, and no buffer is sized by it.
      const bool within = e.Offset >= 0 && e.Offset <= fileSize && e.Size <= fileSize - e.Offset &&
                          e.Size <= TAVIFileWriter::kMaxChunkSize;
      if (!within) {
        if (s == videoIndex) ++skipped_frames_, ++places_;
      } else if (s == videoIndex) {
        // Frames passed over between frames that are there keep their
        // places as empty chunks (the previous picture held), so the sound
        // after them stays in sync; lost at the end, they are not added.
        for (; places_ > 0; --places_) {
          writer_.BeginChunk(0, 0);
          writer_.EndChunk(false);
        }
        uint8_t* dest = writer_.BeginChunk(0, e.Size);
        if (!stream.ReadChunk(entryIndex, dest)) {
          // The file shrank or could not be read while it was copied.
          writer_.CancelChunk();
          read_failed_ = true;
          break;
        }
        writer_.EndChunk(e.KeyFrame != 0);
        ++input_frames_;
        pos = e.Offset;
      } else if (!sound_->CopyChunk(stream, entryIndex, e)) {
        read_failed_ = true;
        break;
      } else {
        pos = e.Offset;
      }
    }
    if (s == videoIndex) ++frames_done_;
    ReportProgress(pos);
    if (loop_->Cancelled()) break;
  }
}

}  // namespace vantrel
