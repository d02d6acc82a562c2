// The smart join: the files to re-encode are rendered one by one, each into
// a part beside the output, written once and read once by the copy that
// joins every file; their parameter sets are listed with the copied files'.
#include "smart/SmartJoin.h"

#include <unistd.h>

#include <algorithm>
#include <memory>

#include "base/Exceptions.h"
#include "base/JoinLoop.h"
#include "ffmpeg/HevcSets.h"
#include "ffmpeg/ParameterSets.h"
#include "recompress/Compressors.h"
#include "recompress/DSJoin.h"

namespace vantrel {

namespace {

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

// A file made for the join beside the output, removed when the join ends.
class TPartFile {
 public:
  TPartFile(const std::string& output, size_t index, const std::string& ext) {
    const size_t slash = output.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : output.substr(0, slash + 1);
    path_ = dir + "." + FileNamePart(output) + "-part" + std::to_string(index + 1) + "-" + std::to_string(::getpid()) + ext;
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

// The sets of the parts and the ids they take beside the copied files'.
class TSetList {
 public:
  TSetList(const TSmartJoiner& j)
      : j_(j), hevc_(j.Codec == "hevc"), listed_(j.Codec == "h264" || j.Codec == "hevc"), sets_(j.VideoSets) {
    nextId_ = FirstFreeId(sets_);
    av::THevcConfig hvcc;
    if (hevc_ && av::ParseHevcConfig(sets_, hvcc)) used_ = av::HevcIdsOf(hvcc);
  }
  // x264 numbers its sets as told; x265 always 0, renumbered in the copy.
  std::string NextX264Params() {
    const auto it = j_.VideoOptions.find("x264-params");
    return "sps-id=" + std::to_string(nextId_++) + (it == j_.VideoOptions.end() ? "" : ":" + it->second);
  }
  // Lists a part's sets (in band in a transport stream, where there is no
  // record to list them in); returns its packets' rewrite, if any.
  TRemuxJoiner::TRewrite Add(const std::vector<uint8_t>& partSets, const std::string& file) {
    if (!listed_ || j_.PartMuxer == "mpegts") return {};
    const std::string failed = "The parameter sets of " + file + " re-encoded cannot be listed with the others";
    std::vector<uint8_t> more;
    TRemuxJoiner::TRewrite rewrite;
    if (hevc_) {
      std::vector<uint8_t> own;
      av::THevcConfig c;
      av::THevcIds ids;
      if (!av::HevcConfigOfExtradata(partSets, sets_, own) || !av::ParseHevcConfig(own, c)) throw Exception(failed);
      const av::THevcIdsUsed theirs = av::HevcIdsOf(c);
      if (theirs.Pps.size() != 1 || !av::FreeHevcIds(used_, *theirs.Pps.begin(), ids) ||
          !av::RenumberHevcConfig(own, ids, more))
        throw Exception("The parameter sets of " + file + " re-encoded cannot be given ids of their own");
      used_.Vps.insert(ids.Vps);
      used_.Sps.insert(ids.Sps);
      used_.Pps.insert(ids.Pps);
      const int lengthSize = c.LengthSize();
      rewrite = [ids, lengthSize](const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
        return av::RenumberHevcSample(data, size, lengthSize, ids, out);
      };
    } else if (!av::AvcConfigOfExtradata(partSets, more)) {
      throw Exception(failed);
    }
    if (sets_.empty() || !(hevc_ ? av::MergeHevcConfig(sets_, more) : av::MergeAvcConfig(sets_, more)))
      throw Exception(failed);
    return rewrite;
  }
  // The record every frame of the output finds its sets in; empty where
  // there is none (sets in band, VP9, AV1).
  std::vector<uint8_t> Sets() const {
    av::TAvcConfig avcc;
    av::THevcConfig hvcc;
    if (!listed_ || j_.PartMuxer == "mpegts") return {};
    return (hevc_ ? av::ParseHevcConfig(sets_, hvcc) : av::ParseAvcConfig(sets_, avcc)) ? sets_ : std::vector<uint8_t>{};
  }

 private:
  const TSmartJoiner& j_;
  bool hevc_, listed_;
  std::vector<uint8_t> sets_;
  int nextId_ = 1;
  av::THevcIdsUsed used_;
};

// Re-encodes file i of the join into the part file, to the target's
// format, with parameter sets of its own; returns how the copy rewrites its
// sets. cancelled: whether it was stopped.
TRemuxJoiner::TRewrite ReencodeOne(const TSmartJoiner& s, size_t i, const std::string& part, TSetList& sets,
                                   IProgress& stage, bool& cancelled) {
  TDSVideoJoiner j;
  j.Files = {s.Files[i]};
  j.OutputFileName = part;
  j.FrameWidth = s.Width;
  j.FrameHeight = s.Height;
  j.FrameRate = s.FrameRate;
  j.ResizeMethod = rmLetterbox;
  j.Container = s.PartMuxer;
  j.Intermediate = true;
  j.SampleRate = s.SampleRate;
  j.Channels = s.Channels;
  auto video = MakeCompressorFilter(s.VideoEncoder);
  if (!video) throw Exception("The compressor " + s.VideoEncoder + " is not available");
  video->Options = s.VideoOptions;
  if (s.Codec == "h264") video->Options["x264-params"] = sets.NextX264Params();
  j.VideoCompressor = video;
  if (s.Sound) {
    auto audio = MakeCompressorFilter(s.AudioEncoder);
    if (!audio) throw Exception("The compressor " + s.AudioEncoder + " is not available");
    audio->Options = s.AudioOptions;
    j.AudioCompressor = audio;
  }
  TJoinLoop loop(stage, j.Files);
  stage.SetStage("Re-encoding file " + std::to_string(i + 1) + " of " + std::to_string(s.Files.size()) + ": " +
                 FileNamePart(s.Files[i]));
  j.OnProgress = [&loop](TDSVideoJoiner&, bool& cancel, double percent) {
    loop.SetProgress(percent);
    cancel = loop.Cancelled();
  };
  j.Join();
  cancelled = j.WasCancelled();
  return sets.Add(j.VideoSets(), s.Files[i]);
}

}  // namespace

TRemuxReport TSmartJoiner::Run(IProgress& progress) {
  double oddTime = 0, allTime = 0;
  for (size_t i = 0; i < Files.size(); ++i) {
    const double d = i < Durations.size() ? std::max(0.0, Durations[i]) : 0;
    allTime += d;
    if (Reencode[i]) oddTime += d;
  }
  // Encoding takes most of the time; the copy is bound by the disk.
  const double encodeShare = allTime > 0 ? 95.0 * oddTime / allTime : 0;

  std::vector<std::unique_ptr<TPartFile>> parts;
  std::vector<std::string> files, titles;
  std::vector<std::pair<std::string, std::string>> names;
  std::vector<TRemuxJoiner::TRewrite> rewrites;
  TSetList sets(*this);
  double done = 0;
  bool cancelled = false;
  size_t reencoded = 0;
  for (size_t i = 0; i < Files.size() && !cancelled; ++i) {
    titles.push_back(Files[i]);
    if (!Reencode[i]) {
      files.push_back(Files[i]);
      rewrites.emplace_back();
      continue;
    }
    parts.push_back(std::make_unique<TPartFile>(OutputFileName, i, PartExtension));
    const std::string& part = parts.back()->Path();
    const double d = i < Durations.size() ? std::max(0.0, Durations[i]) : 0;
    const double share = oddTime > 0 ? encodeShare * d / oddTime : 0;
    TStageProgress stage(progress, done, done + share);
    done += share;
    TRemuxJoiner::TRewrite rewrite = ReencodeOne(*this, i, part, sets, stage, cancelled);
    ++reencoded;
    names.emplace_back(FileNamePart(part), FileNamePart(Files[i]));
    files.push_back(part);
    rewrites.push_back(std::move(rewrite));
  }

  TRemuxJoiner copy;
  copy.Files = files;
  copy.Muxer = Muxer;
  copy.Shown = Shown;
  copy.Chapters = Chapters;
  copy.OutputFileName = OutputFileName;
  copy.WithoutSound = !Sound;
  copy.VerifyFully = VerifyFully;
  copy.VideoExtradata = sets.Sets();
  copy.VideoRewrite = rewrites;
  copy.Titles = titles;
  // Encoded apart, with sets of their own ids (listed above), timed in
  // their own units, which the copy rescales, and perhaps kept in another
  // container (whose codec tag the output's muxer chooses anew). x265
  // leaves the field order unsaid where the copied files say progressive,
  // or the other way round; the plan takes progressive targets only, and
  // the encoders write whole frames.
  copy.Tolerated = ffSets | ffTimeBase | ffTag | ffFieldOrder;
  TStageProgress stage(progress, encodeShare, 100);
  stage.Names = names;
  // Stopped while a file was re-encoded: what was made so far is joined.
  // Stopped after: the copy stops too, once it has begun.
  stage.IgnoreCancel = cancelled;
  stage.IgnoreCancelUntilStage = true;

  // Notes and errors name the files the user listed, not the parts made
  // for them.
  TRemuxReport report;
  try {
    report = copy.Run(stage);
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

}  // namespace vantrel
