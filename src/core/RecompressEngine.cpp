// The recompressing joiner behind the engine interface.
#include "core/RecompressEngine.h"

#include "core/SmartJoin.h"
#include "recompress/Compressors.h"
#include "recompress/DSJoin.h"
#include "recompress/OutputFormats.h"

#include <algorithm>

#include "base/Exceptions.h"
#include "base/CopyFormat.h"
#include "base/JoinLoop.h"

namespace vantrel {

namespace {

// A compressor instance with the request's option values.
std::shared_ptr<TCompressorFilter> Compressor(const TEncoderChoice& choice) {
  if (choice.Encoder.empty()) return nullptr;
  auto filter = MakeCompressorFilter(choice.Encoder);
  if (!filter) throw Exception("The compressor " + choice.Encoder + " is not available");
  filter->Options = choice.Options;
  return filter;
}

class TRecompressEngine final : public IJoinEngine {
 public:
  TEngineKind Kind() const override { return TEngineKind::Recompress; }
  TEngineAnswer Answer(const TJoinRequest& r) const override {
    TEngineAnswer a;
    const TRecompressFormat* format = RecompressFormatOfFileName(r.OutputFileName);
    if (!format) {
      a.Verdict = TEngineAnswer::OtherParameters;
      a.Reason = "A recompressing join writes " + RecompressExtensionsText() + " files, not " +
                 LowerExtension(r.OutputFileName);
      return a;
    }
    a.Verdict = TEngineAnswer::Joins;
    // H.264 as everything plays it is 8-bit 4:2:0: deeper pictures (HDR,
    // 10-bit phone clips) lose their depth, which is said before the join.
    const std::string video = !r.VideoEncoder.Encoder.empty() ? r.VideoEncoder.Encoder
                              : format->Avi()                ? std::string()
                                                             : DefaultEncoder(*format, false);
    if (video == "libx264" || video == "mpeg4" || video == "libxvid") {
      for (size_t i = 0; i < r.Files.size(); ++i)
        for (const TCopyStream& s : DecodeCopyFormat(r.Files[i].CopyFormat))
          for (const auto& [label, shown] : s.Fields)
            if (s.Kind == kStreamVideo && label == "pixel format" &&
                (shown.find("p10") != std::string::npos || shown.find("p12") != std::string::npos))
              a.Notes.push_back(FileLabel(i, r.Files[i].FileName) + "its " + shown.substr(13) +
                                " picture is encoded in 8 bits (yuv420p) for " + video);
    }
    // The name's own spelling of the format (.m4v stays .m4v).
    const std::string ext = LowerExtension(r.OutputFileName);
    a.Extension = ext.empty() ? format->Extensions.front() : ext;
    return a;
  }
  TJoinReport Join(const TJoinRequest& r, IProgress& progress) override {
    TDSVideoJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    static_cast<TRecompressSettings&>(joiner) = r.Recompress;
    const TRecompressFormat* format = RecompressFormatOfFileName(r.OutputFileName);
    if (!format) throw Exception(Answer(r).Reason);
    joiner.Container = format->Muxer;
    joiner.MonoWhenAllMono = !format->Avi();
    // The job's DSProgress: the file the render is in, the percent, then
    // whether to stop.
    TJoinLoop loop(progress, joiner.Files);
    joiner.OnProgress = [&loop](TDSVideoJoiner& sender, bool& cancel, double percent) {
      const TTimeline& t = sender.Timeline();
      const double at = percent / 100 * t.Duration();
      for (size_t i = 0; i < t.VideoTrack.size(); ++i)
        if (at < t.VideoTrack[i].TStop || i + 1 == t.VideoTrack.size()) {
          loop.Announce(t.VideoTrack[i].FileIndex);
          break;
        }
      loop.SetProgress(percent);
      cancel = loop.Cancelled();
    };
    // Today's containers have encoders of their own by default; AVI takes
    // the compressors as chosen (none: uncompressed).
    TEncoderChoice video = r.VideoEncoder, audio = r.AudioEncoder;
    if (!format->Avi()) {
      if (video.Encoder.empty()) video.Encoder = DefaultEncoder(*format, false);
      if (audio.Encoder.empty()) audio.Encoder = DefaultEncoder(*format, true);
      if (video.Encoder.empty() || audio.Encoder.empty())
        throw Exception("This system has no " + std::string(video.Encoder.empty() ? "video" : "audio") +
                        " compressor for " + ArticleFor(format->Shown) + format->Shown + " file");
    }
    joiner.VideoCompressor = Compressor(video);
    joiner.AudioCompressor = Compressor(audio);
    joiner.Join();
    TJoinReport report;
    // What a player shows: the timeline, or the part of it rendered.
    report.Duration = joiner.WasCancelled() ? joiner.Rendered() : joiner.Timeline().Duration();
    return report;
  }
};

}  // namespace

std::unique_ptr<IJoinEngine> MakeRecompressEngine() { return std::make_unique<TRecompressEngine>(); }

TJoinEngines AllEngines() {
  TJoinEngines engines;
  AddCopyEngines(engines);
  engines.push_back(MakeRemuxEngine());
  engines.push_back(MakeSmartEngine());
  engines.push_back(MakeRecompressEngine());
  return engines;
}

}  // namespace vantrel
