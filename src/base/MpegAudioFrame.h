// MPEG audio (layers I, II and III of MPEG-1, MPEG-2 and MPEG-2.5) frame
// headers, a splitter that cuts a byte stream into whole frames, and silent
// frames. Frames carry their own timing: samples per frame and sample rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace vantrel {

struct TMpegAudioHeader {
  uint8_t Version = 0;  // the header's field: 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
  uint8_t Layer = 0;    // 1, 2 or 3
  uint8_t BitrateIndex = 0;
  uint8_t SampleRateIndex = 0;
  uint8_t Mode = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
  bool Protected = false;  // a CRC follows the header
  bool Padding = false;
  uint32_t Bitrate = 0;  // bits per second
  uint32_t SampleRate = 0;
  uint32_t FrameSize = 0;  // bytes, the header included
  uint32_t SamplesPerFrame = 0;
  uint8_t Channels() const { return Mode == 3 ? 1 : 2; }
};

// The largest frame any header describes (layer II, 384 kbit/s, 32 kHz,
// padded, is 1729 bytes; layer I at 448 kbit/s and 32 kHz 676).
inline constexpr uint32_t kMaxMpegAudioFrame = 2880;

// Parses the four header bytes at b; false for anything that is not a
// frame header (no syncword, reserved values, free-format bit rates).
bool ParseMpegAudioHeader(const uint8_t* b, TMpegAudioHeader& h);
// The same stream format: version, layer, sample rate and channel count.
bool SameMpegAudioFormat(const TMpegAudioHeader& a, const TMpegAudioHeader& b);
// A frame of the same version, layer, bit rate, sample rate and mode that
// decodes to silence: no bits allocated (layers I and II), no spectral
// values and an empty bit reservoir (layer III).
std::vector<uint8_t> SilentMpegAudioFrame(const TMpegAudioHeader& like);

// Cuts one stream's bytes, fed in pieces of any size, into whole frames.
// The first frame counts when the next frame's header follows it (or the
// stream ends there), so ID3 tags and junk are not taken for frames; it
// fixes the format, and headers of another format are passed over.
class TMpegAudioSplitter {
 public:
  using TFrameSink = std::function<void(const uint8_t* frame, const TMpegAudioHeader& header)>;
  explicit TMpegAudioSplitter(TFrameSink sink) : sink_(std::move(sink)) {}

  void Feed(const uint8_t* data, size_t count);
  // The end of the stream: what is left is a last frame or dropped.
  void End();
  // A new stream of the same format (the next input): the format stays.
  void Restart();

  bool HasFormat() const { return locked_; }
  const TMpegAudioHeader& Format() const { return format_; }
  uint64_t Frames() const { return frames_; }
  // Bytes that were not part of any frame (tags, junk, a cut last frame).
  uint64_t DroppedBytes() const { return dropped_; }

 private:
  // Emits every confirmed frame of pending_; with atEnd a last frame needs
  // no header after it.
  void Scan(bool atEnd);
  bool Acceptable(const TMpegAudioHeader& h) const;

  TFrameSink sink_;
  std::vector<uint8_t> pending_;
  bool locked_ = false;
  TMpegAudioHeader format_;
  uint64_t frames_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace vantrel
