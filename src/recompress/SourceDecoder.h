// One input of a recompressing join opened for decoding: the best stream of
// one kind, decoded frame by frame with its time on the file's own clock.
#pragma once

#include <memory>
#include <string>

#include "ffmpeg/AvOwners.h"

namespace vantrel {

class TSourceDecoder {
 public:
  TSourceDecoder();
  ~TSourceDecoder();
  TSourceDecoder(const TSourceDecoder&) = delete;
  TSourceDecoder& operator=(const TSourceDecoder&) = delete;

  // False when the file has no stream of that kind; raises when the file
  // cannot be opened or the stream cannot be decoded.
  // file: the input already open (a handle of its own is taken on it);
  // null: opened by its name.
  bool Open(const std::string& fileName, AVMediaType type, const TFile* file = nullptr);
  // The next decoded frame into f; false at the end of the stream. An
  // interlaced picture (DV, a DVD, a broadcast) comes deinterlaced, a frame
  // for a frame at its own time: scaled with its fields woven, it would
  // show combs on everything that moves.
  bool Next(AVFrame* f);
  // The picture is deinterlaced.
  bool Deinterlaced() const { return deint_ != nullptr; }
  // Seconds from the start of the file's picture (or of this stream, in a
  // file without one) to the frame; NaN without a time.
  double TimeOf(const AVFrame* f) const;

  bool AtEnd() const { return eof_; }
  // How the picture is shown: turned clockwise by this many degrees (0, 90,
  // 180 or 270, from the stream's display matrix), each pixel as wide as
  // its sample aspect ratio (the frame's, else the stream's; 1:1 unknown).
  int RotationClockwise() const { return rotation_; }
  AVRational SampleAspect(const AVFrame* f) const;
  AVCodecContext* Codec() const { return ctx_.get(); }
  const std::string& FileName() const { return file_; }

 private:
  struct TDeinterlacer;
  bool Decode(AVFrame* f);
  bool StartDeinterlacing(const AVFrame* first);

  av::InputPtr fmt_;
  av::CodecPtr ctx_;
  av::PacketPtr pkt_;
  int stream_ = -1;
  bool flushed_ = false;
  bool eof_ = false;
  double origin_ = 0;  // media time of the picture's start, seconds
  int rotation_ = 0;
  std::string file_;
  bool checked_ = false;      // the first picture was looked at
  std::unique_ptr<TDeinterlacer> deint_;
};

}  // namespace vantrel
