// Encoder set-up of the recompressing join.
#include "recompress/EncoderSetup.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "base/Exceptions.h"

namespace vantrel {
namespace {

// The options the settings dialog offers that must be numbers.
bool IsNumericOption(const std::string& key) {
  return key == "b" || key == "g" || key == "quality" || key == "crf" || key == "bf";
}

double Number(const std::string& key, const std::string& value) {
  const char* s = value.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s, &end);
  if (value.empty() || end == s || *end != '\0' || errno == ERANGE)
    throw Exception(key + ": " + value + " is not a number");
  return v;
}

bool HasPrivateOption(const AVCodec* codec, const char* name) {
  const AVClass* priv = codec->priv_class;
  return priv && av_opt_find2(&priv, name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr) != nullptr;
}

// Encoders whose libavcodec default is a fixed bit rate (200 kb/s whatever
// the picture) and that take a quantizer instead: everything lossy without
// a rate factor of its own.
bool WantsQuantizer(const AVCodec* codec) {
  if (codec->id == AV_CODEC_ID_RAWVIDEO || HasPrivateOption(codec, "crf")) return false;
  const AVCodecDescriptor* d = avcodec_descriptor_get(codec->id);
  return !(d && (d->props & AV_CODEC_PROP_LOSSLESS) && !(d->props & AV_CODEC_PROP_LOSSY));
}

void SetQuantizer(AVCodecContext* c, double q) {
  c->flags |= AV_CODEC_FLAG_QSCALE;
  c->global_quality = static_cast<int>(q * FF_QP2LAMBDA);
}

// The stored options onto the encoder: "quality" is a fixed quantizer (each
// frame carries it too), everything else an option of the encoder by name.
void ApplyOptions(AVCodecContext* c, const std::string& encoder, const TOptionValues& options, AVDictionary** opts) {
  if (options.count("b") && options.count("crf"))
    throw Exception("The compressor " + encoder +
                    " takes a bit rate or a constant rate factor, not both: set one of b and crf");
  for (const auto& [key, value] : options) {
    if (IsNumericOption(key)) Number(key, value);
    if (key == "quality") {
      const double q = Number(key, value);
      if (q > 0) SetQuantizer(c, q);
    } else {
      av_dict_set(opts, key.c_str(), value.c_str(), 0);
    }
  }
}

AVPixelFormat PixelFormatOf(const AVCodec* codec) {
  if (codec->id == AV_CODEC_ID_RAWVIDEO) return AV_PIX_FMT_BGR24;  // uncompressed 24-bit RGB
  // 4:2:0 as most players expect it; JPEG-based encoders take it in full range.
  const bool jpeg = codec->id == AV_CODEC_ID_MJPEG || codec->id == AV_CODEC_ID_LJPEG || codec->id == AV_CODEC_ID_AMV;
  const AVPixelFormat want = jpeg ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
  // Else the first the scaler can write (not a palette).
  AVPixelFormat f = AV_PIX_FMT_NONE;
  for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
    if (*p == want) return *p;
    if (f == AV_PIX_FMT_NONE && sws_isSupportedOutput(*p)) f = *p;
  }
  return f != AV_PIX_FMT_NONE ? f : codec->pix_fmts[0];
}

// Defaults for the containers people share today, where the user's own
// options leave a value open: a constant quality that looks like the
// source, key frames at least every 10 s in closed groups of pictures (so
// every group decodes on its own, and a later copy can cut there).
void ModernVideoDefaults(AVCodecContext* c, const AVCodec* codec, const std::string& container, AVRational fps,
                         const TOptionValues& options, AVDictionary** opts) {
  auto def = [&](const char* key, const char* value) {
    if (options.count(key)) return;
    // A bit rate asked for replaces the constant quality.
    if ((std::string(key) == "crf") && options.count("b")) return;
    av_dict_set(opts, key, value, 0);
  };
  const std::string name = codec->name;
  if (!options.count("g")) c->gop_size = std::max(1, static_cast<int>(10 * av_q2d(fps)));
  c->flags |= AV_CODEC_FLAG_CLOSED_GOP;
  if (name == "libx264") {
    def("crf", "20");
    def("preset", "medium");
    def("profile", "high");
    // medium looks 40 frames ahead: above 720p that alone holds half a
    // gigabyte; 20 frames keep a join of 1080p clips well below it, for a
    // picture that differs by a few hundredths of a dB.
    if (c->width * c->height > 1280 * 720) def("rc-lookahead", "20");
  } else if (name == "libx265") {
    def("crf", "24");
    def("preset", "medium");
    def("x265-params", "open-gop=0:log-level=error");
    // hvc1: the parameter sets in the sample entry, as Apple's players want.
    if (container == "mp4" || container == "mov") c->codec_tag = MKTAG('h', 'v', 'c', '1');
  } else if (name == "libvpx-vp9" || name == "libvpx") {
    def("crf", "32");
    if (!options.count("b")) c->bit_rate = 0;  // constant quality
    def("deadline", "good");
    def("cpu-used", "4");
    if (name == "libvpx-vp9") def("row-mt", "1");
  } else if (name == "libsvtav1") {
    // SVT-AV1 writes its whole set-up to the error output at info level;
    // errors only, unless the user's environment asks for more.
    ::setenv("SVT_LOG", "1", 0);
    def("crf", "35");
    def("preset", "8");
  } else if (name == "libaom-av1") {
    def("crf", "32");
    def("cpu-used", "6");
    def("row-mt", "1");
  }
}

}  // namespace

void SetupVideoEncoder(AVCodecContext* c, const AVCodec* codec, const std::string& container, int width, int height,
                       AVRational fps, const TOptionValues& options, AVDictionary** opts) {
  c->width = width;
  c->height = height;
  c->time_base = av_inv_q(fps);
  c->framerate = fps;
  c->sample_aspect_ratio = AVRational{1, 1};
  c->pix_fmt = PixelFormatOf(codec);
  c->thread_count = 0;
  // AVI has no time stamps to carry H.264's or HEVC's reorder delay: with
  // B-frames the picture would play late against its sound. (A user's own
  // "bf" option still decides.)
  if (container == "avi" && (codec->id == AV_CODEC_ID_H264 || codec->id == AV_CODEC_ID_HEVC)) c->max_b_frames = 0;
  if (WantsQuantizer(codec) && !options.count("b") && !options.count("quality")) SetQuantizer(c, kDefaultQuantizer);
  if (container != "avi") ModernVideoDefaults(c, codec, container, fps, options, opts);
  ApplyOptions(c, codec->name, options, opts);
}

void SetupAudioEncoder(AVCodecContext* c, const AVCodec* codec, const TOptionValues& options, AVDictionary** opts,
                       int sampleRate, int channels) {
  c->sample_rate = sampleRate;
  av_channel_layout_default(&c->ch_layout, channels);
  c->sample_fmt = codec->sample_fmts[0];
  bool fixed = false;  // a 16-bit format the encoder takes
  for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P) {
      c->sample_fmt = *f;
      fixed = true;
    }
  // The encoders of today's formats work in floating point (AAC's only so).
  if (!fixed)
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == AV_SAMPLE_FMT_FLTP || *f == AV_SAMPLE_FMT_FLT) c->sample_fmt = *f;
  c->time_base = AVRational{1, sampleRate};
  if (codec->id != AV_CODEC_ID_PCM_S16LE) c->bit_rate = 128000;
  // AAC at 192 kb/s is transparent for most sound; Opus is there at 128.
  if (codec->id == AV_CODEC_ID_AAC || codec->id == AV_CODEC_ID_AC3) c->bit_rate = channels == 1 ? 96000 : 192000;
  if (codec->id == AV_CODEC_ID_OPUS && channels == 1) c->bit_rate = 64000;
  ApplyOptions(c, codec->name, options, opts);
}

std::string FrameSizeProblem(const std::string& encoder, int width, int height) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide)
    return "The frame size " + size + " is not possible";
  const AVCodec* codec = encoder.empty() ? nullptr : avcodec_find_encoder_by_name(encoder.c_str());
  if (!codec) return "";
  // The bitstream's own size fields: 12 bits in MPEG-1's sequence header,
  // 13 in MPEG-4 Part 2's video object layer.
  const int most = codec->id == AV_CODEC_ID_MPEG1VIDEO ? 4095 : codec->id == AV_CODEC_ID_MPEG4 ? 8191 : kMaxFrameSide;
  if (width > most || height > most)
    return "The compressor " + encoder + " takes frames of at most " + std::to_string(most) + "x" +
           std::to_string(most) + ", not " + size;
  // The encoding libraries outside FFmpeg take subsampled chroma only in
  // whole samples; FFmpeg's own encoders pad the picture themselves.
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(PixelFormatOf(codec));
  if (codec->wrapper_name && d) {
    const int w = 1 << d->log2_chroma_w, h = 1 << d->log2_chroma_h;
    if (width % w != 0 || height % h != 0)
      return "The compressor " + encoder + " takes frame sizes in steps of " + std::to_string(w) + "x" +
             std::to_string(h) + ", not " + size;
  }
  return "";
}

void CheckLeftovers(AVDictionary*& opts, const std::string& encoder) {
  const AVDictionaryEntry* e = av_dict_get(opts, "", nullptr, AV_DICT_IGNORE_SUFFIX);
  std::string key = e ? e->key : "";
  av_dict_free(&opts);
  if (!key.empty()) throw Exception("The compressor " + encoder + " has no option \"" + key + "\"");
}

bool EncoderOpens(const AVCodec* codec) {
  av::CodecPtr c(avcodec_alloc_context3(codec));
  if (!c) return false;
  av::Dictionary opts;
  try {
    if (codec->type == AVMEDIA_TYPE_VIDEO) {
      // Small, but not a size of the fixed-size formats (DV, H.261, H.263).
      SetupVideoEncoder(c.get(), codec, "avi", 96, 64, AVRational{25, 1}, {}, opts.Address());
      // One thread: libvpx's threads can deadlock on a picture this small.
      c->thread_count = 1;
    } else {
      SetupAudioEncoder(c.get(), codec, {}, opts.Address());
    }
  } catch (const std::exception&) {
    return false;
  }
  if (codec->type == AVMEDIA_TYPE_AUDIO && codec->supported_samplerates) {
    bool ok = false;
    for (const int* r = codec->supported_samplerates; *r; ++r) ok = ok || *r == kOutputSampleRate;
    if (!ok) return false;
  }
  const int rc = avcodec_open2(c.get(), codec, opts.Address());
  if (rc < 0) return false;
  // One frame, black or silent, then the end of the stream, drained: what
  // opens but cannot encode is no compressor, and some libraries (SVT-AV1)
  // cannot be closed before they had a frame and the end.
  av::FramePtr f = av::NewFrame();
  if (codec->type == AVMEDIA_TYPE_VIDEO) {
    f->format = c->pix_fmt;
    f->width = c->width;
    f->height = c->height;
  } else {
    f->format = c->sample_fmt;
    f->sample_rate = c->sample_rate;
    f->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
    if (av_channel_layout_copy(&f->ch_layout, &c->ch_layout) < 0) return false;
  }
  if (av_frame_get_buffer(f.get(), 0) < 0) return false;
  if (codec->type == AVMEDIA_TYPE_VIDEO) {
    ptrdiff_t lines[4] = {f->linesize[0], f->linesize[1], f->linesize[2], f->linesize[3]};
    av_image_fill_black(f->data, lines, c->pix_fmt, AVCOL_RANGE_MPEG, c->width, c->height);
  } else {
    av_samples_set_silence(f->data, 0, f->nb_samples, c->ch_layout.nb_channels, c->sample_fmt);
  }
  f->pts = 0;
  if (c->flags & AV_CODEC_FLAG_QSCALE) f->quality = c->global_quality;
  // Into an AVI file in memory, as the join writes it: the muxer takes
  // what the encoder gives (not every codec it claims, FLAC for one).
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, "avi", nullptr) < 0 || !raw) return false;
  av::OutputPtr oc(raw);
  if (avio_open_dyn_buf(&oc->pb) < 0) return false;
  struct DynBuf {
    AVFormatContext* oc;
    ~DynBuf() {
      uint8_t* data = nullptr;
      if (oc->pb) avio_close_dyn_buf(oc->pb, &data);
      oc->pb = nullptr;
      av_free(data);
    }
  } dyn{oc.get()};
  AVStream* st = avformat_new_stream(oc.get(), nullptr);
  if (!st || avcodec_parameters_from_context(st->codecpar, c.get()) < 0) return false;
  st->time_base = c->time_base;
  av::Dictionary muxOpts;
  if (codec->id == AV_CODEC_ID_RAWVIDEO) av_dict_set(muxOpts.Address(), "flipped_raw_rgb", "1", 0);
  const int header = avformat_write_header(oc.get(), muxOpts.Address());
  if (header < 0) return false;
  av::PacketPtr pkt = av::NewPacket();
  bool ok = avcodec_send_frame(c.get(), f.get()) >= 0 && avcodec_send_frame(c.get(), nullptr) >= 0;
  int got;
  while ((got = avcodec_receive_packet(c.get(), pkt.get())) >= 0) {
    av_packet_rescale_ts(pkt.get(), c->time_base, st->time_base);
    pkt->stream_index = st->index;
    if (av_interleaved_write_frame(oc.get(), pkt.get()) < 0) ok = false;
    av_packet_unref(pkt.get());
  }
  return ok && got == AVERROR_EOF && av_write_trailer(oc.get()) >= 0;
}

AVRational ExactFrameRate(double fps) {
  if (!(fps > 0) || !std::isfinite(fps)) return AVRational{0, 1};
  const double whole = std::round(fps);
  if (std::abs(fps - whole) < 0.001) return AVRational{static_cast<int>(whole), 1};
  // Rates shown with two decimals (23.98, 29.97, 59.94) are the NTSC ones.
  const double ntsc = std::round(fps * 1.001);
  if (ntsc >= 1 && std::abs(fps - ntsc / 1.001) < 0.006) return AVRational{static_cast<int>(ntsc) * 1000, 1001};
  AVRational r;
  av_reduce(&r.num, &r.den, std::llround(fps * 1000), 1000, 1 << 30);
  return r;
}

}  // namespace vantrel
