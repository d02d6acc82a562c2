// Owners of FFmpeg's library objects, and the error text of an FFmpeg
// result, for every part of Vantrel that uses the libraries.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>
#include <vector>

#include "base/PosixFile.h"

namespace vantrel::av {

// An input context; one that reads through a file of ours (OpenInput)
// frees that reader and closes the file too.
struct InputDeleter {
  void operator()(AVFormatContext* c) const;
};
struct CodecDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoDeleter {
  void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
// An output context with its I/O: closes the file, then frees the context.
struct OutputDeleter {
  void operator()(AVFormatContext* c) const {
    if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
    avformat_free_context(c);
  }
};

// An options dictionary, freed with its owner; the calls that fill or
// consume one take its address.
class Dictionary {
 public:
  Dictionary() = default;
  ~Dictionary() { av_dict_free(&d_); }
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  AVDictionary** Address() { return &d_; }
  AVDictionary*& Get() { return d_; }

 private:
  AVDictionary* d_ = nullptr;
};

using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;

// FFmpeg's own text of a result code.
std::string ErrorText(int code);
// Raises Exception("<what>: <FFmpeg's text of code>").
[[noreturn]] void Fail(const std::string& what, int code);

// New objects; raise "Out of memory" when the library cannot make them.
FramePtr NewFrame();
PacketPtr NewPacket();

// The URL libavformat opens a file by: its name is a file's name, never a
// protocol ("file:in.mp4", "10:30.mp4" and "http:x" are names of files).
inline std::string FileUrl(const std::string& fileName) { return "file:" + fileName; }

// A new input context that reads file (owned from here on, closed with the
// context): the demuxer never opens a name itself, so a file is opened
// once, by us, and only a regular file at that. Open it with
// avformat_open_input(&raw, name, ...) keeping the given pb.
AVFormatContext* NewFileInput(TFile file);
// Frees the reader of a context NewFileInput made, when avformat_open_input
// has failed and freed the context but not the reader.
void FreeFileReader(AVIOContext* io);

// Opens a file for writing (avio_open): emptied when it holds something, as
// TFile::Create does; returns avio_open's result.
int OpenOutput(AVIOContext** pb, const std::string& fileName);

// Opens a file for reading and reads its stream information; raises
// "Unable to open <name>: ..." / "Unable to read <name>: ...".
InputPtr OpenInput(const std::string& fileName);
// The same on a file already open.
InputPtr OpenInput(TFile file, const std::string& fileName);

// Sets the parameters' extradata to a copy of bytes (padded as the codecs
// want it); raises "Out of memory".
void ReplaceExtradata(AVCodecParameters* p, const std::vector<uint8_t>& bytes);

}  // namespace vantrel::av
