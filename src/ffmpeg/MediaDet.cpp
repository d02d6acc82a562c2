// Media detector on FFmpeg.
#include "ffmpeg/MediaDet.h"

#include "base/Exceptions.h"
#include "ffmpeg/AvOwners.h"
#include "ffmpeg/StreamSignature.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include <chrono>
#include <cstring>
#include <mutex>

namespace vantrel {
namespace {

using Clock = std::chrono::steady_clock;

struct Deadline {
  Clock::time_point at;
  static int Passed(void* opaque) { return Clock::now() > static_cast<Deadline*>(opaque)->at ? 1 : 0; }
};

void QuietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

bool IsOutputStream(const AVStream* st) {
  const AVCodecParameters* p = st->codecpar;
  if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
    // Cover pictures in audio files are not video.
    if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) return false;
  } else if (p->codec_type != AVMEDIA_TYPE_AUDIO) {
    return false;
  }
  return avcodec_find_decoder(p->codec_id) != nullptr;
}

}  // namespace

struct TMediaDet::Context {
  av::InputPtr fmt;
  Deadline deadline;
};

TMediaDet::TMediaDet() { QuietLibraries(); }
TMediaDet::~TMediaDet() = default;

HRESULT TMediaDet::put_Filename(const std::string& fileName) {
  TFile file;
  try {
    file = TFile::OpenRead(fileName);
  } catch (const EOSError& e) {
    ctx_.reset();
    streams_.clear();
    return AVERROR(e.Code());
  }
  return put_File(std::move(file), fileName);
}

HRESULT TMediaDet::put_File(TFile file, const std::string& fileName) {
  ctx_.reset();
  streams_.clear();
  current_ = 0;
  measured_ = false;
  auto ctx = std::make_unique<Context>();
  // Read through our own handle: the name is never opened again, nor taken
  // for a protocol.
  AVFormatContext* raw = av::NewFileInput(std::move(file));
  AVIOContext* io = raw->pb;
  ctx->deadline.at = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(OpenTimeLimit));
  raw->interrupt_callback.callback = &Deadline::Passed;
  raw->interrupt_callback.opaque = &ctx->deadline;
  if (!MeasureUnstatedLengths) {
    // A quick look: a second of the streams tells their formats and rates.
    raw->max_analyze_duration = AV_TIME_BASE;
  }
  // avformat_open_input frees the context when it fails, not our reader.
  int rc = avformat_open_input(&raw, fileName.c_str(), nullptr, nullptr);
  if (rc < 0) {
    av::FreeFileReader(io);
    return rc;
  }
  ctx->fmt.reset(raw);
  rc = avformat_find_stream_info(raw, nullptr);
  if (rc < 0) return rc;
  for (unsigned i = 0; i < ctx->fmt->nb_streams; ++i)
    if (IsOutputStream(ctx->fmt->streams[i])) streams_.push_back(static_cast<int>(i));
  if (streams_.empty()) return VFW_E_INVALID_FILE_FORMAT;
  ctx_ = std::move(ctx);
  return S_OK;
}

HRESULT TMediaDet::get_OutputStreams(int32_t* count) {
  if (!count) return E_INVALIDARG;
  if (!ctx_) return E_UNEXPECTED;
  *count = static_cast<int32_t>(streams_.size());
  return S_OK;
}

HRESULT TMediaDet::put_CurrentStream(int32_t index) {
  if (!ctx_) return E_UNEXPECTED;
  if (index < 0 || index >= static_cast<int32_t>(streams_.size())) return E_INVALIDARG;
  current_ = index;
  return S_OK;
}

void TMediaDet::MeasureLengths() {
  measured_ = true;
  AVFormatContext* fmt = ctx_->fmt.get();
  const unsigned n = fmt->nb_streams;
  measured_lengths_.assign(n, 0.0);
  std::vector<int64_t> first(n, AV_NOPTS_VALUE), last(n, AV_NOPTS_VALUE), packets(n, 0);
  // The packets read while probing are still queued: reading on starts at
  // the first packet of the file, without a seek.
  auto start = Clock::now();
  auto limit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(MeasureTimeLimit));
  ctx_->deadline.at = start + limit + std::chrono::seconds(2);
  av::PacketPtr owner(av_packet_alloc());
  if (!owner) return;
  AVPacket* pkt = owner.get();
  bool cut = false;
  for (uint64_t count = 0;; ++count) {
    if ((count & 255) == 0 && Clock::now() - start > limit) {
      cut = true;
      break;
    }
    if (av_read_frame(fmt, pkt) < 0) break;
    unsigned s = static_cast<unsigned>(pkt->stream_index);
    if (s < n) ++packets[s];
    if (s < n) {
      int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
      if (t != AV_NOPTS_VALUE) {
        int64_t d = pkt->duration;
        const AVStream* st = fmt->streams[s];
        if (d <= 0 && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
          AVRational fr = av_guess_frame_rate(fmt, const_cast<AVStream*>(st), nullptr);
          if (fr.num > 0 && fr.den > 0) d = av_rescale_q(1, av_inv_q(fr), st->time_base);
        }
        if (first[s] == AV_NOPTS_VALUE || t < first[s]) first[s] = t;
        if (last[s] == AV_NOPTS_VALUE || t + d > last[s]) last[s] = t + d;
      }
    }
    av_packet_unref(pkt);
  }
  double scale = 1.0;
  if (cut && fmt->pb) {
    int64_t pos = avio_tell(fmt->pb);
    int64_t size = avio_size(fmt->pb);
    if (pos > 0 && size > pos) scale = static_cast<double>(size) / static_cast<double>(pos);
  }
  for (unsigned s = 0; s < n; ++s) {
    if (first[s] != AV_NOPTS_VALUE && last[s] > first[s])
      measured_lengths_[s] = static_cast<double>(last[s] - first[s]) * av_q2d(fmt->streams[s]->time_base) * scale;
    // Video packets are whole frames: where the last ones carry only a
    // decoding time (MPEG program streams), the stamps fall a frame or more
    // short, the count does not.
    AVStream* st = fmt->streams[s];
    if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      AVRational fr = av_guess_frame_rate(fmt, st, nullptr);
      if (fr.num > 0 && fr.den > 0)
        measured_lengths_[s] = std::max(measured_lengths_[s], static_cast<double>(packets[s]) / av_q2d(fr) * scale);
    }
  }
}

double TMediaDet::StreamLengthOf(int avIndex) {
  AVFormatContext* fmt = ctx_->fmt.get();
  const AVStream* st = fmt->streams[avIndex];
  // A length estimated from the bit rate can be far off (for an elementary
  // stream, many times), an MPEG program stream states none, and a stream
  // without a length of its own (PCM in AVI, Matroska tracks) must not take
  // the container's, which may be another stream's: measure those.
  const bool fromBitRate = fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
  const bool programStream = std::strcmp(fmt->iformat->name, "mpeg") == 0;
  if (!fromBitRate && !programStream && st->duration != AV_NOPTS_VALUE && st->duration > 0)
    return static_cast<double>(st->duration) * av_q2d(st->time_base);
  if (!MeasureUnstatedLengths) {
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
      return static_cast<double>(st->duration) * av_q2d(st->time_base);
    return fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0 ? static_cast<double>(fmt->duration) / AV_TIME_BASE
                                                                  : 0.0;
  }
  if (!measured_) MeasureLengths();
  double measured = measured_lengths_[static_cast<size_t>(avIndex)];
  if (measured <= 0 && !fromBitRate && fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
    return static_cast<double>(fmt->duration) / AV_TIME_BASE;
  return measured;
}

HRESULT TMediaDet::get_StreamLength(double* seconds) {
  if (!seconds) return E_INVALIDARG;
  if (!ctx_) return E_UNEXPECTED;
  *seconds = StreamLengthOf(streams_[static_cast<size_t>(current_)]);
  return S_OK;
}

HRESULT TMediaDet::get_StreamMediaType(TDetMediaType* type) {
  if (!type) return E_INVALIDARG;
  if (!ctx_) return E_UNEXPECTED;
  *type = TDetMediaType();
  const AVStream* st = ctx_->fmt->streams[streams_[static_cast<size_t>(current_)]];
  const AVCodecParameters* p = st->codecpar;
  if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
    type->MajorType = TMajorType::Video;
    type->Video.biWidth = p->width;
    type->Video.biHeight = p->height;
    type->Video.biCompression = p->codec_tag;
  } else {
    type->MajorType = TMajorType::Audio;
    // The wave format as the file gives it where the container is RIFF
    // (AVI, WAVE: the codec tag is wFormatTag); elsewhere the codec tag is
    // the container's own (an MPEG-TS stream_type, an MP4 object type), so
    // the codec's WAVE tag is taken, and the same sound compares equal
    // whatever holds it.
    const char* container = ctx_->fmt->iformat->name;
    const bool riff = std::strcmp(container, "avi") == 0 || std::strcmp(container, "wav") == 0;
    uint32_t tag = riff ? p->codec_tag : 0;
    if (tag == 0 || tag > 0xFFFF) {
      const AVCodecTag* tables[] = {avformat_get_riff_audio_tags(), nullptr};
      tag = av_codec_get_tag(tables, p->codec_id);
    }
    type->Audio.wFormatTag = static_cast<uint16_t>(tag);
    type->Audio.nChannels = static_cast<uint16_t>(p->ch_layout.nb_channels);
    type->Audio.nSamplesPerSec = static_cast<uint32_t>(p->sample_rate);
    int bits = p->bits_per_coded_sample;
    if (bits <= 0) bits = av_get_bits_per_sample(p->codec_id);
    type->Audio.wBitsPerSample = static_cast<uint16_t>(bits > 0 ? bits : 0);
  }
  return S_OK;
}

HRESULT TMediaDet::get_FrameRate(double* rate) {
  if (!rate) return E_INVALIDARG;
  if (!ctx_) return E_UNEXPECTED;
  AVStream* st = ctx_->fmt->streams[streams_[static_cast<size_t>(current_)]];
  if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return VFW_E_INVALIDMEDIATYPE;
  AVRational fr = av_guess_frame_rate(ctx_->fmt.get(), st, nullptr);
  *rate = (fr.num > 0 && fr.den > 0) ? av_q2d(fr) : 0.0;
  return S_OK;
}

HRESULT TMediaDet::get_DisplaySize(int32_t* width, int32_t* height) {
  if (!width || !height) return E_INVALIDARG;
  if (!ctx_) return E_UNEXPECTED;
  AVStream* st = ctx_->fmt->streams[streams_[static_cast<size_t>(current_)]];
  if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return VFW_E_INVALIDMEDIATYPE;
  AVRational sar = av_guess_sample_aspect_ratio(ctx_->fmt.get(), st, nullptr);
  const double aspect = sar.num > 0 && sar.den > 0 ? av_q2d(sar) : 1.0;
  int32_t w = static_cast<int32_t>(std::lround(st->codecpar->width * aspect));
  int32_t h = st->codecpar->height;
  const int turn = av::DisplayRotation(st);
  if (turn == 90 || turn == 270) std::swap(w, h);
  *width = w;
  *height = h;
  return S_OK;
}

std::string TMediaDet::Demuxer() const { return ctx_ ? ctx_->fmt->iformat->name : ""; }

std::string TMediaDet::MajorBrand() const {
  if (!ctx_) return "";
  const AVDictionaryEntry* brand = av_dict_get(ctx_->fmt->metadata, "major_brand", nullptr, 0);
  return brand ? brand->value : "";
}

TStreamFormats TMediaDet::Streams() const { return ctx_ ? av::StreamFormats(ctx_->fmt.get()) : TStreamFormats(); }

namespace {

std::vector<TDetStream> ReadStreams(TMediaDet& det) {
  int32_t count = 0;
  DSCheck(det.get_OutputStreams(&count));
  std::vector<TDetStream> streams(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    TDetStream& s = streams[static_cast<size_t>(i)];
    DSCheck(det.put_CurrentStream(i));
    DSCheck(det.get_StreamLength(&s.Length));
    DSCheck(det.get_StreamMediaType(&s.Type));
    if (s.Type.MajorType == TMajorType::Video) {
      DSCheck(det.get_FrameRate(&s.FrameRate));
      DSCheck(det.get_DisplaySize(&s.DisplayWidth, &s.DisplayHeight));
    }
  }
  return streams;
}

}  // namespace

TDetected DetectStreams(TFile file, const std::string& fileName, bool measureLengths) {
  TMediaDet det;
  det.MeasureUnstatedLengths = measureLengths;
  DSCheck(det.put_File(std::move(file), fileName));
  TDetected found;
  found.Demuxer = det.Demuxer();
  found.MajorBrand = det.MajorBrand();
  found.Formats = det.Streams();
  found.Streams = ReadStreams(det);
  return found;
}

std::vector<TDetStream> DetectStreams(const std::string& fileName, bool measureLengths) {
  TMediaDet det;
  det.MeasureUnstatedLengths = measureLengths;
  DSCheck(det.put_Filename(fileName));
  return ReadStreams(det);
}

}  // namespace vantrel
