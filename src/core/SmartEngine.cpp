// The smart join: the files that differ from the target are rendered one
// by one to exactly its format, beside the output, then every file, copied
// or rendered, is joined by the container copy.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include "base/Exceptions.h"
#include "base/JoinLoop.h"
#include "core/RecompressEngine.h"
#include "core/SmartJoin.h"
#include "ffmpeg/AvOwners.h"
#include "ffmpeg/HevcSets.h"
#include "ffmpeg/ParameterSets.h"
#include "recompress/Compressors.h"
#include "recompress/DSJoin.h"
#include "remux/RemuxJoin.h"

namespace vantrel {

namespace {

std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// What the target's streams are, as the encoders must make them.
struct TTarget {
  bool Hevc = false;
  // VP9 and AV1: each key frame carries what a decoder needs (AV1 its
  // sequence header), so the copied files' record serves the others too.
  bool SelfContained = false;
  int Width = 0, Height = 0;
  double FrameRate = 0;
  std::string Profile, Level;
  std::string Colour;  // x264-params for the colour properties it states
  std::vector<uint8_t> VideoSets;
  bool Sound = false;
  int SampleRate = 0, Channels = 0;
  int64_t SoundBitRate = 0;
};

std::string X264Profile(int profile) {
  switch (profile) {
    case FF_PROFILE_H264_BASELINE:
    case FF_PROFILE_H264_CONSTRAINED_BASELINE: return "baseline";
    case FF_PROFILE_H264_MAIN: return "main";
    default: return "high";
  }
}

// The names x264 and libavutil share for the colour properties.
bool X264Knows(const std::string& name) {
  static const char* const kNames[] = {"bt709", "bt470m", "bt470bg", "smpte170m", "smpte240m", "film", "bt2020",
                                       "linear", "iec61966-2-1", "bt2020nc", "bt2020c", "smpte2084", "arib-std-b67",
                                       "fcc", "GBR", "YCgCo", "bt2020-10", "bt2020-12"};
  for (const char* n : kNames)
    if (name == n) return true;
  return false;
}

TTarget ReadTarget(const std::string& file) {
  av::InputPtr in = av::OpenInput(file);
  TTarget t;
  for (unsigned s = 0; s < in->nb_streams; ++s) {
    const AVStream* st = in->streams[s];
    const AVCodecParameters* p = st->codecpar;
    if (p->codec_type == AVMEDIA_TYPE_VIDEO && t.Width == 0 && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      t.Width = p->width;
      t.Height = p->height;
      const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
      t.FrameRate = av_q2d(rate);
      t.Hevc = p->codec_id == AV_CODEC_ID_HEVC;
      t.SelfContained = p->codec_id == AV_CODEC_ID_VP9 || p->codec_id == AV_CODEC_ID_AV1;
      // 8-bit 4:2:0 HEVC is Main; general_level_idc is 30 times the level.
      t.Profile = t.Hevc ? "main" : X264Profile(p->profile);
      if (p->level > 0) {
        char level[16];
        if (t.Hevc)
          std::snprintf(level, sizeof level, "%d.%d", p->level / 30, p->level % 30 / 3);
        else
          std::snprintf(level, sizeof level, "%d.%d", p->level / 10, p->level % 10);
        t.Level = level;
      }
      auto colour = [&t](const char* key, const char* name) {
        if (name && X264Knows(name)) t.Colour += std::string(":") + key + "=" + name;
      };
      if (p->color_primaries != AVCOL_PRI_UNSPECIFIED) colour("colorprim", av_color_primaries_name(p->color_primaries));
      if (p->color_trc != AVCOL_TRC_UNSPECIFIED) colour("transfer", av_color_transfer_name(p->color_trc));
      if (p->color_space != AVCOL_SPC_UNSPECIFIED) colour("colormatrix", av_color_space_name(p->color_space));
      if (p->color_range == AVCOL_RANGE_JPEG) t.Colour += t.Hevc ? ":range=full" : ":fullrange=on";
      t.VideoSets.assign(p->extradata, p->extradata + p->extradata_size);
    } else if (p->codec_type == AVMEDIA_TYPE_AUDIO && !t.Sound) {
      t.Sound = true;
      t.SampleRate = p->sample_rate;
      t.Channels = p->ch_layout.nb_channels;
      t.SoundBitRate = p->bit_rate;
    }
  }
  if (t.Width <= 0 || t.Height <= 0 || !(t.FrameRate > 0)) throw Exception("Unable to read the video format of " + file);
  return t;
}

// The parameter set ids the target's H.264 frames use; the re-encoded files
// get others, so that one avcC (or the sets in band) serves every frame.
int FirstFreeId(const std::vector<uint8_t>& sets) {
  av::TAvcConfig c;
  int used = -1;
  if (av::ParseAvcConfig(sets, c)) {
    for (const auto& s : c.Sps) used = std::max(used, av::SpsId(s));
    for (const auto& s : c.Pps) used = std::max(used, av::PpsId(s));
  } else {
    used = 0;  // sets in band (a transport stream): x264's and most encoders' 0
  }
  return used + 1;
}

// The rendered HEVC file copied to another of the same container, its
// parameter sets and slices given ids that used does not hold (x265 always
// numbers its sets 0); the ids it took are added to used, its hvcC returned.
std::vector<uint8_t> RenumberHevcFile(const std::string& from, const std::string& to, av::THevcIdsUsed& used,
                                      const std::string& shown) {
  const std::string failed = "The parameter sets of " + shown + " re-encoded cannot be given ids of their own";
  av::InputPtr in = av::OpenInput(from);
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, nullptr, to.c_str()) < 0) throw Exception(failed);
  av::OutputPtr out(raw);
  int video = -1, lengthSize = 4;
  av::THevcIds ids;
  std::vector<uint8_t> config;
  // The picture and the sound; the chapters' text track is left out (the
  // join gives its chapters from the list).
  std::vector<int> mapped(in->nb_streams, -1);
  for (unsigned s = 0; s < in->nb_streams; ++s) {
    const AVCodecParameters* p = in->streams[s]->codecpar;
    if (p->codec_type != AVMEDIA_TYPE_VIDEO && p->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    AVStream* os = avformat_new_stream(out.get(), nullptr);
    if (!os || avcodec_parameters_copy(os->codecpar, p) < 0) throw Exception(failed);
    mapped[s] = os->index;
    os->time_base = in->streams[s]->time_base;
    if (p->codec_id != AV_CODEC_ID_HEVC || video >= 0) continue;
    video = static_cast<int>(s);
    const std::vector<uint8_t> old(p->extradata, p->extradata + p->extradata_size);
    av::THevcConfig c;
    if (!av::ParseHevcConfig(old, c)) throw Exception(failed);
    lengthSize = c.LengthSize();
    const av::THevcIdsUsed own = av::HevcIdsOf(c);
    if (own.Pps.size() != 1 || !av::FreeHevcIds(used, *own.Pps.begin(), ids) ||
        !av::RenumberHevcConfig(old, ids, config))
      throw Exception(failed);
    av::ReplaceExtradata(os->codecpar, config);
  }
  if (video < 0) throw Exception(failed);
  used.Vps.insert(ids.Vps);
  used.Sps.insert(ids.Sps);
  used.Pps.insert(ids.Pps);
  int rc = av::OpenOutput(&out->pb, to);
  if (rc >= 0) rc = avformat_write_header(out.get(), nullptr);
  av::PacketPtr pkt = av::NewPacket();
  std::vector<uint8_t> data;
  while (rc >= 0) {
    const int read = av_read_frame(in.get(), pkt.get());
    if (read == AVERROR_EOF) break;
    if (read < 0) throw Exception("Unable to read " + shown + " re-encoded: " + av::ErrorText(read));
    const int index = mapped[static_cast<size_t>(pkt->stream_index)];
    if (index < 0) {
      av_packet_unref(pkt.get());
      continue;
    }
    if (pkt->stream_index == video) {
      data.clear();
      if (!av::RenumberHevcSample(pkt->data, static_cast<size_t>(pkt->size), lengthSize, ids, data))
        throw Exception(failed);
      av::PacketPtr renumbered = av::NewPacket();
      if (av_new_packet(renumbered.get(), static_cast<int>(data.size())) < 0) throw Exception("Out of memory");
      std::copy(data.begin(), data.end(), renumbered->data);
      av_packet_copy_props(renumbered.get(), pkt.get());
      av_packet_unref(pkt.get());
      av_packet_move_ref(pkt.get(), renumbered.get());
    }
    av_packet_rescale_ts(pkt.get(), in->streams[pkt->stream_index]->time_base, out->streams[index]->time_base);
    pkt->stream_index = index;
    rc = av_interleaved_write_frame(out.get(), pkt.get());
  }
  if (rc >= 0) rc = av_write_trailer(out.get());
  if (rc < 0) throw Exception("Unable to write " + shown + " re-encoded: " + av::ErrorText(rc));
  return config;
}

// A file made for the join beside the output, removed when the join ends.
class TPartFile {
 public:
  TPartFile(const std::string& output, size_t index, const std::string& ext, const char* step = "") {
    const size_t slash = output.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : output.substr(0, slash + 1);
    path_ = dir + "." + Name(output) + "-part" + std::to_string(index + 1) + step + "-" + std::to_string(::getpid()) +
            ext;
  }
  ~TPartFile() { ::unlink(path_.c_str()); }
  TPartFile(const TPartFile&) = delete;
  TPartFile& operator=(const TPartFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// text with the names of the part files made for the join replaced by
// those of the files they were made of.
std::string WithNames(std::string text, const std::vector<std::pair<std::string, std::string>>& names) {
  for (const auto& [part, name] : names)
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + name.size()))
      text.replace(at, part.size(), name);
  return text;
}

// The join's progress seen through one stage: its percent within a span of
// the whole, its stage texts naming the files the user listed.
class TStageProgress final : public IProgress {
 public:
  TStageProgress(IProgress& whole, double from, double to) : whole_(whole), from_(from), to_(to) {}
  std::vector<std::pair<std::string, std::string>> Names;  // part file's name, the file's
  bool IgnoreCancel = false;
  // Not stopped before the first file is begun: a stop during the encoding
  // lets the copy begin, so that the output holds something to play.
  bool IgnoreCancelUntilStage = false;

  void SetCaption(const std::string& c) override { whole_.SetCaption(c); }
  void SetText(const std::string& t) override { whole_.SetText(t); }
  void Show() override { whole_.Show(); }
  void SetProgress(double percent) override { whole_.SetProgress(from_ + (to_ - from_) * percent / 100); }
  bool Cancelled() override {
    return !IgnoreCancel && !(IgnoreCancelUntilStage && !staged_) && whole_.Cancelled();
  }
  void SetStage(const std::string& stage) override {
    staged_ = true;
    whole_.SetStage(WithNames(stage, Names));
  }
  int CancelInterval() const override { return whole_.CancelInterval(); }

 private:
  IProgress& whole_;
  double from_, to_;
  bool staged_ = false;
};

class TSmartEngine final : public IJoinEngine {
 public:
  TEngineKind Kind() const override { return TEngineKind::Mixed; }

  TEngineAnswer Answer(const TJoinRequest& r) const override {
    TEngineAnswer a;
    const TSmartPlan p = PlanSmartJoin(r);
    a.Verdict = p.Applies ? TEngineAnswer::Joins : TEngineAnswer::OtherParameters;
    a.Reason = p.Applies ? p.Description : p.WhyNot;
    if (p.Applies) {
      a.Notes.push_back(p.Description);
      const std::string ext = LowerExtension(r.OutputFileName);
      a.Extension = ext.empty() ? p.Family->Extension : ext;
      a.Reencoded = p.Reencode;
    }
    return a;
  }

  TJoinReport Join(const TJoinRequest& r, IProgress& progress) override {
    const TSmartPlan plan = PlanSmartJoin(r);
    if (!plan.Applies) throw Exception("Unable to join these files with a smart join: " + plan.WhyNot);
    const TVideoFileInfo& target = r.Files[plan.Target];
    const TTarget t = ReadTarget(target.FileName);
    const bool sound = t.Sound && !plan.AudioEncoder.empty();
    const std::string container = plan.Family->Muxer == std::string("mpegts") ? "mpegts"
                                  : plan.AudioEncoder == "libopus" || t.SelfContained ? "matroska"
                                                                               : "mp4";
    const std::string ext = container == "mpegts" ? ".ts" : container == "matroska" ? ".mkv" : ".mp4";

    double oddTime = 0, allTime = 0;
    for (size_t i = 0; i < r.Files.size(); ++i) {
      allTime += std::max(0.0, r.Files[i].Duration);
      if (plan.Reencode[i]) oddTime += std::max(0.0, r.Files[i].Duration);
    }
    // Encoding takes most of the time; the copy is bound by the disk.
    const double encodeShare = allTime > 0 ? 95.0 * oddTime / allTime : 0;

    std::vector<std::unique_ptr<TPartFile>> parts;
    std::vector<std::string> files, titles;
    std::vector<std::pair<std::string, std::string>> names;
    std::vector<uint8_t> sets = t.VideoSets;
    int id = FirstFreeId(t.VideoSets);  // H.264's next sps-id
    av::THevcConfig hvcc;
    av::THevcIdsUsed hevcIds;
    if (t.Hevc && av::ParseHevcConfig(t.VideoSets, hvcc)) hevcIds = av::HevcIdsOf(hvcc);
    double done = 0;
    bool cancelled = false;
    size_t reencoded = 0;
    for (size_t i = 0; i < r.Files.size() && !cancelled; ++i) {
      const TVideoFileInfo& f = r.Files[i];
      titles.push_back(f.FileName);
      if (!plan.Reencode[i]) {
        files.push_back(f.FileName);
        continue;
      }
      parts.push_back(std::make_unique<TPartFile>(r.OutputFileName, i, ext));
      const std::string& part = parts.back()->Path();
      const double share = oddTime > 0 ? encodeShare * std::max(0.0, f.Duration) / oddTime : 0;
      TStageProgress stage(progress, done, done + share);
      done += share;
      TDSVideoJoiner j;
      j.Files = {f.FileName};
      j.OutputFileName = part;
      j.FrameWidth = t.Width;
      j.FrameHeight = t.Height;
      j.FrameRate = t.FrameRate;
      j.ResizeMethod = rmLetterbox;
      j.Container = container;
      j.SampleRate = t.SampleRate;
      j.Channels = t.Channels;
      auto video = MakeCompressorFilter(plan.VideoEncoder);
      video->Options = r.VideoEncoder.Encoder == plan.VideoEncoder ? r.VideoEncoder.Options
                                                                    : std::map<std::string, std::string>{};
      // VP9 and AV1 have nothing to match but the frame size, rate and
      // pixel format the render gives them.
      if (!t.SelfContained) video->Options["profile"] = t.Profile;
      if (t.Hevc) {
        // Closed groups of pictures, as the recompressing join makes them.
        video->Options["x265-params"] =
            "open-gop=0:log-level=error" + (t.Level.empty() ? "" : ":level-idc=" + t.Level) + t.Colour;
      } else if (!t.SelfContained) {
        if (!t.Level.empty()) video->Options["level"] = t.Level;
        // Parameter sets of its own ids; the copied files keep theirs.
        video->Options["x264-params"] = "sps-id=" + std::to_string(id++) + t.Colour;
      }
      j.VideoCompressor = video;
      if (sound) {
        auto audio = MakeCompressorFilter(plan.AudioEncoder);
        if (t.SoundBitRate > 0) audio->Options["b"] = std::to_string(t.SoundBitRate);
        j.AudioCompressor = audio;
      }
      TJoinLoop loop(stage, j.Files);
      stage.SetStage("Re-encoding file " + std::to_string(i + 1) + " of " + std::to_string(r.Files.size()) + ": " +
                     Name(f.FileName));
      j.OnProgress = [&loop](TDSVideoJoiner&, bool& cancel, double percent) {
        loop.SetProgress(percent);
        cancel = loop.Cancelled();
      };
      j.Join();
      cancelled = j.WasCancelled();
      ++reencoded;
      names.emplace_back(Name(part), Name(f.FileName));
      std::vector<uint8_t> more;
      if (t.Hevc && container != "mpegts") {
        parts.push_back(std::make_unique<TPartFile>(r.OutputFileName, i, ext, "-ids"));
        more = RenumberHevcFile(part, parts.back()->Path(), hevcIds, f.FileName);
        names.emplace_back(Name(parts.back()->Path()), Name(f.FileName));
      }
      files.push_back(parts.back()->Path());
      // The re-encoded file's sets beside the target's (in band in a
      // transport stream, where there is no record to list them in).
      if (container == "mpegts" || t.SelfContained) continue;
      if (!t.Hevc) {
        av::InputPtr made = av::OpenInput(part);
        for (unsigned s = 0; s < made->nb_streams && more.empty(); ++s) {
          const AVCodecParameters* p = made->streams[s]->codecpar;
          if (p->codec_type == AVMEDIA_TYPE_VIDEO) more.assign(p->extradata, p->extradata + p->extradata_size);
        }
      }
      if (sets.empty() || more.empty() || !(t.Hevc ? av::MergeHevcConfig(sets, more) : av::MergeAvcConfig(sets, more)))
        throw Exception("The parameter sets of " + f.FileName + " re-encoded cannot be listed with the others");
    }

    TRemuxJoiner copy;
    copy.Files = files;
    copy.CopyFormats.assign(files.size(), target.CopyFormat);
    copy.InputFamily = plan.Family;
    copy.OutputFileName = r.OutputFileName;
    copy.WithoutSound = !sound;
    copy.VerifyFully = r.VerifyFully;
    av::TAvcConfig avcc;
    if (container != "mpegts" && !t.SelfContained &&
        (t.Hevc ? av::ParseHevcConfig(sets, hvcc) : av::ParseAvcConfig(sets, avcc)))
      copy.VideoExtradata = sets;
    copy.Titles = titles;
    // Encoded apart, with sets of their own ids (listed above), timed in
    // their own units, which the copy rescales, and perhaps kept in another
    // container (whose codec tag the output's muxer chooses anew).
    // x265 leaves the field order unsaid where the copied files say
    // progressive, or the other way round; the plan takes progressive
    // targets only, and the encoders write whole frames.
    copy.Tolerated = {"codec parameter sets", "time base", "tag", "field order"};
    TStageProgress stage(progress, encodeShare, 100);
    stage.Names = names;
    // Stopped while a file was re-encoded: what was made so far is joined.
    // Stopped after: the copy stops too, once it has begun.
    stage.IgnoreCancel = cancelled;
    stage.IgnoreCancelUntilStage = true;

    // Notes and errors name the files the user listed, not the parts made
    // for them.
    TJoinReport report;
    try {
      report = JoinReportOf(copy.Run(stage));
    } catch (const Exception& e) {
      const std::string shown = WithNames(e.Message(), names);
      if (shown == e.Message()) throw;
      throw Exception(shown);
    }
    for (std::string& n : report.Notes) n = WithNames(n, names);
    const size_t copied = files.size() - reencoded;
    report.Notes.push_back(std::to_string(copied) + (copied == 1 ? " file" : " files") + " copied, " +
                           std::to_string(reencoded) + " re-encoded");
    return report;
  }
};

}  // namespace

std::unique_ptr<IJoinEngine> MakeSmartEngine() { return std::make_unique<TSmartEngine>(); }

}  // namespace vantrel
