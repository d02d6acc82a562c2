// Encoders and muxer of the recompressing join.
#include "recompress/Muxer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>

#include "base/Exceptions.h"
#include "ffmpeg/MuxQuirks.h"

namespace vantrel {

void TMuxer::OpenVideoEncoder(int width, int height, AVRational fps, const std::shared_ptr<TCompressorFilter>& comp) {
  const std::string name = comp ? comp->EncoderName : "rawvideo";
  const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
  if (!codec) throw Exception("The video compressor " + name + " is not available");
  venc_.reset(avcodec_alloc_context3(codec));
  if (!venc_) throw Exception("Out of memory");
  av::Dictionary opts;
  SetupVideoEncoder(venc_.get(), codec, oc_->oformat->name, width, height, fps, comp ? comp->Options : TOptionValues(), opts.Address());
  if (oc_->oformat->flags & AVFMT_GLOBALHEADER) venc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int rc = avcodec_open2(venc_.get(), codec, opts.Address());
  CheckLeftovers(opts.Get(), name);
  if (rc < 0) av::Fail("Unable to start the video compressor " + name, rc);
}

void TMuxer::OpenAudioEncoder(const std::shared_ptr<TCompressorFilter>& comp, int sampleRate, int channels) {
  const std::string name = comp ? comp->EncoderName : "pcm_s16le";
  const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
  if (!codec) throw Exception("The audio compressor " + name + " is not available");
  if (codec->supported_samplerates) {
    bool ok = false;
    for (const int* r = codec->supported_samplerates; *r; ++r) ok = ok || *r == sampleRate;
    if (!ok) throw Exception("The audio compressor " + name + " does not take " + std::to_string(sampleRate) + " Hz sound");
  }
  aenc_.reset(avcodec_alloc_context3(codec));
  if (!aenc_) throw Exception("Out of memory");
  av::Dictionary opts;
  SetupAudioEncoder(aenc_.get(), codec, comp ? comp->Options : TOptionValues(), opts.Address(), sampleRate, channels);
  if (oc_->oformat->flags & AVFMT_GLOBALHEADER) aenc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int rc = avcodec_open2(aenc_.get(), codec, opts.Address());
  CheckLeftovers(opts.Get(), name);
  if (rc < 0) av::Fail("Unable to start the audio compressor " + name, rc);
}

void TMuxer::Open(const std::string& outputFile, const std::string& container, int width, int height, AVRational fps,
                  const std::shared_ptr<TCompressorFilter>& video, const std::shared_ptr<TCompressorFilter>& audio,
                  int sampleRate, int channels) {
  out_file_ = outputFile;
  AVFormatContext* raw = nullptr;
  int rc = avformat_alloc_output_context2(&raw, nullptr, container.c_str(), outputFile.c_str());
  if (rc < 0 || !raw) av::Fail("Unable to create " + outputFile, rc);
  oc_.reset(raw);
  OpenVideoEncoder(width, height, fps, video);
  OpenAudioEncoder(audio, sampleRate, channels);
  vst_ = avformat_new_stream(raw, nullptr);
  ast_ = avformat_new_stream(raw, nullptr);
  if (!vst_ || !ast_) throw Exception("Out of memory");
  avcodec_parameters_from_context(vst_->codecpar, venc_.get());
  avcodec_parameters_from_context(ast_->codecpar, aenc_.get());
  vst_->time_base = venc_->time_base;
  vst_->avg_frame_rate = fps;
  vst_->r_frame_rate = fps;
  ast_->time_base = aenc_->time_base;
  rc = av::OpenOutput(&raw->pb, outputFile);
  if (rc < 0) av::Fail("Unable to create " + outputFile, rc);
  // AVI stores no time stamps: a sound encoder's delay (MP3's first packet
  // before 0) would otherwise move every stream later, the picture by one
  // empty frame at the start.
  if (container == "avi") raw->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
  // Uncompressed RGB bottom-up, as AVI bitmaps are (positive biHeight); the
  // video path hands the rows over in that order.
  av::Dictionary muxOpts;
  if (BottomUp()) av_dict_set(muxOpts.Address(), "flipped_raw_rgb", "1", 0);
  // The index at the front, so that a browser plays the file while it
  // downloads (the trailer moves it there).
  if (FastStart && (container == "mp4" || container == "mov"))
    av_dict_set(muxOpts.Address(), "movflags", "+faststart", 0);
  rc = avformat_write_header(raw, muxOpts.Address());
  if (rc < 0) {
    write_failed_ = true;
    av::Fail("Unable to write " + outputFile, rc);
  }
  header_written_ = true;
  audio_delay_ = av::MatroskaCodecDelay(raw, ast_);
}

namespace {

// How far the sound may run ahead of the picture while they are encoded.
constexpr double kSoundLead = 1.0;

double Seconds(int64_t t, AVRational tb) { return static_cast<double>(t) * av_q2d(tb); }

}  // namespace

void TMuxer::ReleaseAudio() {
  while (!held_audio_.empty()) {
    AVPacket* p = held_audio_.front().get();
    if (!video_done_ && Seconds(p->pts, ast_->time_base) >= video_end_) break;
    int rc = av_interleaved_write_frame(oc_.get(), p);
    held_audio_.pop_front();
    if (rc < 0) {
      write_failed_ = true;
      av::Fail("Unable to write " + out_file_, rc);
    }
  }
}

void TMuxer::Write(AVCodecContext* enc, AVStream* st, AVPacket* pkt) {
  av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
  pkt->stream_index = st->index;
  std::unique_lock<std::mutex> lock(mutex_);
  if (st == vst_) {
    const double end = Seconds(pkt->pts + std::max<int64_t>(pkt->duration, 1), st->time_base);
    int rc = av_interleaved_write_frame(oc_.get(), pkt);
    if (rc < 0) {
      write_failed_ = true;
      av::Fail("Unable to write " + out_file_, rc);
    }
    video_end_ = std::max(video_end_, end);
    ReleaseAudio();
    paced_.notify_all();
    return;
  }
  if (audio_delay_ != 0) {
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += audio_delay_;
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += audio_delay_;
  }
  av::PacketPtr held = av::NewPacket();
  av_packet_move_ref(held.get(), pkt);
  held_audio_.push_back(std::move(held));
  ReleaseAudio();
  while (!video_done_ && !woken_ && !held_audio_.empty() &&
         Seconds(held_audio_.back()->pts, ast_->time_base) > video_end_ + kSoundLead)
    paced_.wait_for(lock, std::chrono::milliseconds(50));
}

void TMuxer::VideoDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  video_done_ = true;
  ReleaseAudio();
  paced_.notify_all();
}

void TMuxer::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  woken_ = true;
  paced_.notify_all();
}

void TMuxer::Encode(AVCodecContext* enc, AVStream* st, AVFrame* frame) {
  int rc = avcodec_send_frame(enc, frame);
  if (rc < 0) av::Fail(std::string("The compressor ") + enc->codec->name + " failed", rc);
  av::PacketPtr pkt = av::NewPacket();
  for (;;) {
    rc = avcodec_receive_packet(enc, pkt.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
    if (rc < 0) av::Fail(std::string("The compressor ") + enc->codec->name + " failed", rc);
    Write(enc, st, pkt.get());
  }
}

std::string TMuxer::Finish() {
  if (finished_ || !header_written_) return "";
  finished_ = true;
  std::string error;
  // A render that stopped before its picture was done ends its sound where
  // the picture ends: the sound held back past it is not written.
  held_audio_.clear();
  for (size_t i = 0; i < chapters_.size(); ++i) {
    AVChapter* c = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (!c || av_dynarray_add_nofree(&oc_->chapters, reinterpret_cast<int*>(&oc_->nb_chapters), c) < 0) {
      av_free(c);
      break;  // the file is still whole without them
    }
    c->id = static_cast<int64_t>(i) + 1;
    c->time_base = {1, 1000};
    c->start = std::llround(chapters_[i].Start * 1000);
    c->end = std::llround(chapters_[i].End * 1000);
    av_dict_set(&c->metadata, "title", chapters_[i].Title.c_str(), 0);
  }
  // The trailer writes the index and the final headers: a stopped or
  // failed render still leaves a file that plays as far as it got.
  int rc = av_write_trailer(oc_.get());
  if (rc < 0) error = "Unable to write " + out_file_ + ": " + av::ErrorText(rc);
  if (oc_->pb) {
    if (oc_->pb->error < 0 && error.empty()) error = "Unable to write " + out_file_ + ": " + av::ErrorText(oc_->pb->error);
    rc = avio_closep(&oc_->pb);
    if (rc < 0 && error.empty()) error = "Unable to write " + out_file_ + ": " + av::ErrorText(rc);
  }
  if (!error.empty()) write_failed_ = true;
  return error;
}

}  // namespace vantrel
