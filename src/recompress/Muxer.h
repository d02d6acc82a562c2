// The output of a recompressing join: the video and audio encoders, set up
// from the chosen compressors, and the libavformat muxer they write into.
// Both workers encode through it; writing is serialised inside.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "recompress/Compressors.h"
#include "recompress/EncoderSetup.h"
#include "ffmpeg/AvOwners.h"

namespace vantrel {

class TMuxer {
 public:
  // Opens both encoders and the output and writes the header; raises with
  // the cause (the compressor's, the file's) when that fails. A null
  // compressor writes raw BGR24 video / 16-bit PCM sound. container: the
  // muxer's name ("avi").
  // The sound is encoded at sampleRate in this many channels.
  void Open(const std::string& outputFile, const std::string& container, int width, int height, AVRational fps,
            const std::shared_ptr<TCompressorFilter>& video, const std::shared_ptr<TCompressorFilter>& audio,
            int sampleRate = kOutputSampleRate, int channels = kOutputChannels);

  // MP4 and QuickTime: the index moved to the front when the file ends (the
  // file is read through once more for it).
  bool FastStart = true;

  // Chapters written with the trailer (where MP4 and Matroska keep them),
  // for containers that have them.
  struct TChapter {
    std::string Title;
    double Start = 0, End = 0;  // seconds
  };
  void SetChapters(std::vector<TChapter> chapters) { chapters_ = std::move(chapters); }

  AVCodecContext* VideoEncoder() const { return venc_.get(); }
  // Uncompressed video: frames go to the encoder bottom row first.
  bool BottomUp() const { return venc_ && venc_->codec_id == AV_CODEC_ID_RAWVIDEO; }
  AVCodecContext* AudioEncoder() const { return aenc_.get(); }
  // The container times every packet (not AVI, which times sound by its
  // frames).
  bool TimesPackets() const { return oc_ && std::string(oc_->oformat->name) != "avi"; }

  // Sends a frame (null: drains) and writes every packet the encoder gives.
  // Sound is held until the picture has reached it, so the file is
  // interleaved and a stopped render ends its sound with its picture; the
  // sound's encoding waits while it is more than a second ahead.
  void EncodeVideo(AVFrame* frame) { Encode(venc_.get(), vst_, frame); }
  void EncodeAudio(AVFrame* frame) { Encode(aenc_.get(), ast_, frame); }
  // The picture is complete: the sound held back goes out.
  void VideoDone();
  // The render stops: nothing waits any more.
  void Wake();

  // Writes the trailer (index and final headers) and closes the file; the
  // first failure of the writes so far or of the close, empty when none.
  // Once only; nothing when the header was never written.
  std::string Finish();
  // A write to the file failed: what it holds is incomplete.
  bool WriteFailed() const { return write_failed_; }
  // The file's header is written: from here on the file holds the join.
  bool HeaderWritten() const { return header_written_; }

 private:
  void OpenVideoEncoder(int width, int height, AVRational fps, const std::shared_ptr<TCompressorFilter>& comp);
  void OpenAudioEncoder(const std::shared_ptr<TCompressorFilter>& comp, int sampleRate, int channels);
  void Encode(AVCodecContext* enc, AVStream* st, AVFrame* frame);
  void Write(AVCodecContext* enc, AVStream* st, AVPacket* pkt);
  // Writes the held sound that starts before the picture's end (all of it
  // once the picture is done); the lock is held.
  void ReleaseAudio();

  std::string out_file_;
  av::OutputPtr oc_;
  av::CodecPtr venc_, aenc_;
  AVStream* vst_ = nullptr;
  AVStream* ast_ = nullptr;
  std::mutex mutex_;
  std::condition_variable paced_;
  std::deque<av::PacketPtr> held_audio_;
  double video_end_ = 0;  // seconds of picture written
  bool video_done_ = false;
  bool woken_ = false;
  bool header_written_ = false;
  std::atomic<bool> write_failed_{false};
  bool finished_ = false;
  int64_t audio_delay_ = 0;  // added to the sound's stamps (Matroska's CodecDelay)
  std::vector<TChapter> chapters_;
};

}  // namespace vantrel
