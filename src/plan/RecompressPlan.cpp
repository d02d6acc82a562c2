// Recompression's part of the plan: the output's format from its name, the
// frame size, rate and resize method, and the encoders, each the user's
// where set, else the default for the format: for AVI the join options
// dialog's (the smallest size and rate, Xvid and MP3 where present), for
// today's containers those of the files that hold most of the playing time
// and the format's own encoders.
#include "base/Exceptions.h"
#include "plan/JoinOptions.h"
#include "plan/Routes.h"

namespace vantrel {

namespace {

std::vector<const TVideoFileInfo*> Infos(const TJoinRequest& r) {
  std::vector<const TVideoFileInfo*> v;
  for (const TVideoFileInfo& f : r.Files) v.push_back(&f);
  return v;
}

// The defaults of the join options dialog for AVI.
TRecompressSettings AviDefaults(const TJoinRequest& r) {
  TRecompressSettings s;
  const auto files = Infos(r);
  TFrameRateItems rates = FillFrameRates(files);
  const TJoinDefaults d = ComputeDefaults(files, rates.Items);
  s.FrameWidth = d.FrameWidth;
  s.FrameHeight = d.FrameHeight;
  // The rate as the dialog's list shows it, to two decimals.
  try {
    s.FrameRate = StrToFloat(rates.Items[static_cast<size_t>(d.FrameRateIndex)]);
  } catch (const EConvertError&) {
  }
  s.ResizeMethod = d.ResizeMethod;
  return s;
}

std::string EncoderAt(const TCompressorList& list, int index) {
  return index >= 0 && index < static_cast<int>(list.Encoders.size()) ? list.Encoders[static_cast<size_t>(index)] : "";
}

// H.264 as everything plays it is 8-bit 4:2:0: deeper pictures (HDR,
// 10-bit phone clips) lose their depth, which is said before the join.
void NoteShallower(const TJoinRequest& r, const std::string& video, std::vector<std::string>& notes) {
  if (video != "libx264" && video != "mpeg4" && video != "libxvid") return;
  for (size_t i = 0; i < r.Files.size(); ++i)
    for (const TStreamFormat& s : r.Files[i].Streams)
      if (s.Kind == TStreamKind::Video &&
          (s.PixelFormat.find("p10") != std::string::npos || s.PixelFormat.find("p12") != std::string::npos))
        notes.push_back(FileLabel(i, r.Files[i].FileName) + "its " + s.PixelFormat +
                        " picture is encoded in 8 bits (yuv420p) for " + video);
}

}  // namespace

TAnswer RecompressAnswer(const TJoinRequest& r, const IEncoderCatalog& encoders, TJoinPlan& p) {
  TAnswer a;
  const TContainer* format = RecompressContainerOfFileName(r.OutputFileName);
  if (!format) {
    a.Verdict = TAnswer::OtherParameters;
    a.Reason = "A recompressing join writes " + RecompressExtensionsText() + " files, not " +
               LowerExtension(r.OutputFileName);
    return a;
  }
  const bool avi = format->IsAvi();
  TRecompressSettings s = avi ? AviDefaults(r) : MajorityFormat(Infos(r));
  if (r.FrameWidth) s.FrameWidth = *r.FrameWidth;
  if (r.FrameHeight) s.FrameHeight = *r.FrameHeight;
  if (r.FrameRate) s.FrameRate = *r.FrameRate;
  if (r.ResizeMethod) s.ResizeMethod = *r.ResizeMethod;
  p.Recompress = s;

  TEncoderChoice video, audio;
  if (avi) {
    const TCompressorList& v = encoders.AviCompressors(false);
    video.Encoder = EncoderAt(v, ChooseVideoCompressor(v.Names, -1, &p.NoOptimumVideoCompressor));
    // The first item, "No-compressing", stands for none.
    TCompressorList sound = encoders.AviCompressors(true);
    sound.Names.insert(sound.Names.begin(), kNoCompressingItem);
    sound.Encoders.insert(sound.Encoders.begin(), "");
    audio.Encoder = EncoderAt(sound, ChooseAudioCompressor(sound.Names, -1));
  } else {
    const std::vector<std::string> v = encoders.Available(format->Id, false), s2 = encoders.Available(format->Id, true);
    video.Encoder = v.empty() ? "" : v.front();
    audio.Encoder = s2.empty() ? "" : s2.front();
  }
  if (r.VideoEncoder) video = *r.VideoEncoder;
  if (r.AudioEncoder) audio = *r.AudioEncoder;
  for (const auto& [k, v] : r.VideoOptions) video.Options[k] = v;
  for (const auto& [k, v] : r.AudioOptions) audio.Options[k] = v;
  // Today's containers have encoders of their own; AVI takes the
  // compressors as chosen (none: uncompressed).
  if (!avi && (video.Encoder.empty() || audio.Encoder.empty())) {
    a.Verdict = TAnswer::OtherParameters;
    a.Reason = "This system has no " + std::string(video.Encoder.empty() ? "video" : "audio") + " compressor for " +
               ArticleFor(format->Name) + format->Name + " file";
    return a;
  }
  p.VideoEncoder = video;
  p.AudioEncoder = audio;
  p.Uses = {true, true, true, true, true};
  p.SettingsProblem = encoders.FrameSizeProblem(video.Encoder, s.FrameWidth, s.FrameHeight);
  NoteShallower(r, video.Encoder, a.Notes);
  // The name's own spelling of the format (.m4v stays .m4v).
  const std::string ext = LowerExtension(r.OutputFileName);
  a.Output = {format->Id, format->RecompressMuxer, ext.empty() ? format->Extensions.front() : ext, format->Name,
              format->Chapters};
  a.Verdict = TAnswer::Joins;
  a.Route = TPlanRoute::Recompress;
  return a;
}

}  // namespace vantrel
