// Sound of the AVI stream-copy join.
#include "avi/AVISoundCopy.h"

#include <algorithm>
#include <cmath>

#include "avi/AVIUtils.h"

namespace vantrel {
namespace {

constexpr uint16_t kTagPCM = 0x0001;
constexpr uint16_t kTagFloat = 0x0003;
constexpr uint16_t kTagMpeg = 0x0050;
constexpr uint16_t kTagMp3 = 0x0055;
// How far into a file's sound its first frame is looked for.
constexpr uint32_t kFrameSearch = 64 * 1024;
// Silence is written in chunks of at most this many seconds' worth.
constexpr double kSilenceChunkSeconds = 0.5;

uint16_t TagOf(const TAVIStream& s) { return s.Format.size() >= 2 ? ReadLE16(s.Format.data()) : 0; }

}  // namespace

bool FirstMpegAudioFrame(const std::string& fileName, TMpegAudioHeader& header) {
  TAVIFileReader r;
  r.Open(fileName, false);
  return FirstMpegAudioFrame(r, header);
}

bool FirstMpegAudioFrame(const TAVIFileReader& r, TMpegAudioHeader& header) {
  const TAVIStream* a = r.AudioStream();
  if (!a) return false;
  bool found = false;
  TMpegAudioSplitter splitter([&](const uint8_t*, const TMpegAudioHeader& h) {
    if (!found) header = h;
    found = true;
  });
  std::vector<uint8_t> d;
  uint32_t read = 0;
  for (uint32_t i = 0; i < a->IndexCount() && !found && read < kFrameSearch; ++i) {
    TIndexEntry e;
    if (!a->GetIndexEntry(i, e) || e.Size > kFrameSearch) break;
    d.resize(e.Size);
    if (!a->ReadChunk(i, d.data())) break;
    splitter.Feed(d.data(), d.size());
    read += e.Size;
  }
  if (!found) splitter.End();
  return found;
}

TSoundKind SoundKindOf(const TAVIStream& audio, bool exact) { return SoundKindOf(audio.Format, exact); }

TSoundKind SoundKindOf(const std::vector<uint8_t>& format, bool exact) {
  if (exact) return TSoundKind::Exact;
  const uint16_t tag = format.size() >= 2 ? ReadLE16(format.data()) : 0;
  if (tag == kTagMpeg || tag == kTagMp3) return TSoundKind::MPEG;
  // PCM needs whole sample frames in every chunk: nBlockAlign bytes each.
  if ((tag == kTagPCM || tag == kTagFloat) && format.size() >= kWaveFormatSize &&
      ReadLE16(format.data() + kBlockAlignOffset) > 0 && ReadLE32(format.data() + kWfSamplesPerSecOffset) > 0)
    return TSoundKind::PCM;
  return TSoundKind::Other;
}

TAVISoundCopy::TAVISoundCopy(TAVIFileWriter& writer, int id, const TAVIStream& first, TSoundKind kind,
                             const TMpegAudioHeader& mpeg)
    : writer_(writer),
      id_(id),
      kind_(kind),
      header_(first.Header),
      mpeg_(mpeg),
      splitter_([this](const uint8_t* frame, const TMpegAudioHeader& h) { WriteFrame(frame, h); }) {
  std::vector<uint8_t> format = first.Format;
  if (kind_ == TSoundKind::PCM) {
    block_align_ = ReadLE16(format.data() + kBlockAlignOffset);
    sample_rate_ = ReadLE32(format.data() + kWfSamplesPerSecOffset);
    // 8-bit PCM is unsigned: its silence is the middle value.
    silence_byte_ = TagOf(first) == kTagPCM && ReadLE16(format.data() + kWfBitsPerSampleOffset) == 8 ? 0x80 : 0;
  } else if (kind_ == TSoundKind::MPEG) {
    // Described by frames: one frame per chunk, dwScale samples each at
    // dwRate samples per second, whatever the inputs' headers said.
    sample_rate_ = mpeg_.SampleRate;
    header_.dwSampleSize = 0;
    header_.dwScale = mpeg_.SamplesPerFrame;
    header_.dwRate = mpeg_.SampleRate;
    header_.dwInitialFrames = 0;
    if (format.size() >= kBlockAlignOffset + 2) {
      const uint16_t align = static_cast<uint16_t>(mpeg_.SamplesPerFrame);
      std::copy_n(reinterpret_cast<const uint8_t*>(&align), 2, format.begin() + kBlockAlignOffset);
    }
    silent_frame_ = SilentMpegAudioFrame(mpeg_);
  }
  writer_.AddStream(id_, header_, static_cast<uint32_t>(format.size()), format.data());
  if (kind_ == TSoundKind::MPEG) writer_.SetAverageRateAtClose(id_);
}

double TAVISoundCopy::SoundEnd() const {
  switch (kind_) {
    case TSoundKind::PCM: return static_cast<double>(samples_) / sample_rate_;
    case TSoundKind::MPEG: return static_cast<double>(frames_ * mpeg_.SamplesPerFrame) / sample_rate_;
    default: return other_seconds_;
  }
}

void TAVISoundCopy::SetTarget(double videoEnd) {
  target_samples_ = sample_rate_ > 0 ? static_cast<uint64_t>(std::llround(videoEnd * sample_rate_)) : 0;
}

void TAVISoundCopy::BeginInput(double videoEnd) {
  SetTarget(videoEnd);
  if (kind_ == TSoundKind::MPEG) splitter_.Restart();
}

void TAVISoundCopy::WriteFrame(const uint8_t* frame, const TMpegAudioHeader& h) {
  // A frame that starts at or past the input's video end lies wholly past it.
  if (frames_ * mpeg_.SamplesPerFrame >= target_samples_) return;
  writer_.WriteChunk(id_, frame, true, h.FrameSize);
  ++frames_;
}

bool TAVISoundCopy::CopyChunk(const TAVIStream& stream, uint32_t entry, const TIndexEntry& e) {
  switch (kind_) {
    case TSoundKind::PCM: {
      // Whole sample frames up to the video's end; what lies past it is cut.
      const uint64_t room = target_samples_ > samples_ ? target_samples_ - samples_ : 0;
      const uint64_t whole = e.Size / block_align_;
      const uint32_t keep = static_cast<uint32_t>(std::min(whole, room) * block_align_);
      if (keep == 0) return true;
      uint8_t* dest = writer_.BeginChunk(id_, keep);
      if (!stream.ReadChunkPart(entry, dest, keep)) {
        writer_.CancelChunk();
        return false;
      }
      writer_.EndChunk(e.KeyFrame != 0);
      samples_ += keep / block_align_;
      return true;
    }
    case TSoundKind::MPEG: {
      buffer_.resize(e.Size);
      if (!stream.ReadChunk(entry, buffer_.data())) return false;
      splitter_.Feed(buffer_.data(), buffer_.size());
      return true;
    }
    default: {
      uint8_t* dest = writer_.BeginChunk(id_, e.Size);
      if (!stream.ReadChunk(entry, dest)) {
        writer_.CancelChunk();
        return false;
      }
      writer_.EndChunk(e.KeyFrame != 0);
      // As a reader times it: bytes at nAvgBytesPerSec, or one dwScale per chunk.
      const AVISTREAMHEADER& h = stream.Header;
      const uint32_t avg =
          stream.Format.size() >= kBlockAlignOffset ? ReadLE32(stream.Format.data() + kWfAvgBytesPerSecOffset) : 0;
      if (h.dwSampleSize > 0 && avg > 0)
        other_seconds_ += static_cast<double>(e.Size) / avg;
      else if (h.dwRate > 0)
        other_seconds_ += static_cast<double>(h.dwScale) / h.dwRate;
      return true;
    }
  }
}

void TAVISoundCopy::PadPCM(uint64_t samples) {
  const uint64_t perChunk = std::max<uint64_t>(1, static_cast<uint64_t>(kSilenceChunkSeconds * sample_rate_));
  while (samples > 0) {
    const uint64_t n = std::min(samples, perChunk);
    const uint32_t bytes = static_cast<uint32_t>(n * block_align_);
    uint8_t* dest = writer_.BeginChunk(id_, bytes);
    std::fill_n(dest, bytes, silence_byte_);
    writer_.EndChunk(true);
    samples_ += n;
    samples -= n;
  }
}

double TAVISoundCopy::EndInput(double videoEnd) {
  if (kind_ == TSoundKind::MPEG) splitter_.End();  // the input's last frame
  SetTarget(videoEnd);  // from the video actually written
  if (kind_ == TSoundKind::PCM) {
    if (samples_ < target_samples_) PadPCM(target_samples_ - samples_);
  } else if (kind_ == TSoundKind::MPEG) {
    // Silent frames while a frame's worth or more is missing, rounded to the
    // nearest frame: what is left is less than half a frame.
    const uint64_t spf = mpeg_.SamplesPerFrame;
    while (frames_ * spf + spf / 2 < target_samples_) {
      writer_.WriteChunk(id_, silent_frame_.data(), true, static_cast<uint32_t>(silent_frame_.size()));
      ++frames_;
    }
  }
  return SoundEnd() - videoEnd;
}

}  // namespace vantrel
