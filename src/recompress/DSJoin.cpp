// The recompressing joiner.
#include "recompress/DSJoin.h"

#include <algorithm>
#include <cmath>

#include <unistd.h>

#include "base/Exceptions.h"
#include "base/JoinLoop.h"
#include "base/PosixFile.h"
#include "ffmpeg/DSErrors.h"
#include "recompress/EncoderSetup.h"
#include "ffmpeg/MediaDet.h"

namespace vantrel {

TDSMediaInfo ProbeMediaFile(const std::string& fileName) { return ProbeMediaFile(TFile::OpenRead(fileName), fileName); }

TDSMediaInfo ProbeMediaFile(TFile file, const std::string& fileName) {
  TDSMediaInfo info;
  for (const TDetStream& s : DetectStreams(std::move(file), fileName).Streams) {
    if (s.Type.MajorType == TMajorType::Video) {
      // The last video stream's length is the file's.
      info.HasVideo = true;
      info.Duration = s.Length;
      info.FrameRate = s.FrameRate;
      info.Width = s.Type.Video.biWidth;
      info.Height = s.Type.Video.biHeight;
    } else if (s.Type.MajorType == TMajorType::Audio) {
      info.HasAudio = true;
      info.Channels = s.Type.Audio.nChannels;
    }
  }
  return info;
}

std::shared_ptr<const TFile> TDSVideoJoiner::OpenSource(const std::string& fileName) {
  try {
    return std::make_shared<const TFile>(TFile::OpenRead(fileName));
  } catch (const EOSError& e) {
    RaiseCannotOpen(e.Code(), fileName);
  }
}

void TDSVideoJoiner::AddSourceFile(const std::string& fileName, size_t index) {
  std::shared_ptr<const TFile> file = OpenSource(fileName);
  const TDSMediaInfo info = Described.size() == Files.size() ? Described[index] : ProbeMediaFile(file->Duplicate(), fileName);
  double from = 0, to = info.Duration;
  if (index < Spans.size()) {
    // The frames whose times lie in [in, out): at a constant rate, the cuts
    // move up to the next frame's time, so that the first output frame is
    // the first at or after the in-point and none before it slips in.
    auto frameUp = [&info](double t) {
      return info.FrameRate > 0 ? std::ceil(t * info.FrameRate - 1e-6) / info.FrameRate : t;
    };
    from = std::clamp(frameUp(Spans[index].first), 0.0, to);
    if (Spans[index].second >= 0) to = std::clamp(frameUp(Spans[index].second), from, to);
  }
  const double d = to - from;
  // An input without video has no length and adds nothing.
  if (d > 0) {
    TTimelineSource v;
    v.MediaName = fileName;
    v.File = file;
    v.FileIndex = index;
    v.TStart = position_;
    v.TStop = position_ + d;
    v.MStart = from;
    v.MStop = to;
    v.ResizeMethod = ResizeMethod;
    timeline_.VideoTrack.push_back(v);
    if (info.HasAudio) {
      TTimelineSource a = v;
      timeline_.AudioTrack.push_back(a);
      if (info.Channels != 1) allMono_ = false;
    }
  }
  position_ += d;
}

void TDSVideoJoiner::BuildTimeline() {
  timeline_ = TTimeline();
  timeline_.Width = FrameWidth;
  timeline_.Height = FrameHeight;
  timeline_.OutputFPS = FrameRate;
  position_ = 0;
  allMono_ = true;
  for (size_t i = 0; i < Files.size(); ++i) AddSourceFile(Files[i], i);
  timeline_.Channels = MonoWhenAllMono && allMono_ && !timeline_.AudioTrack.empty() ? 1 : 2;
  if (Channels > 0) timeline_.Channels = Channels;
  timeline_.SampleRate = SampleRate;
  timeline_.Chapters = Chapters;
  timeline_.FastStart = !Intermediate;
}

void TDSVideoJoiner::CheckOutputFile() {
  try {
    TFile f = TFile::Create(OutputFileName);
    f.Close();
  } catch (const EOSError& e) {
    RaiseCannotCreate(e.Code(), OutputFileName);
  }
}

void TDSVideoJoiner::RenderToFile(const std::string& fileName) {
  if (!Intermediate) CheckOutputFile();
  TRenderEngine engine(timeline_, fileName, VideoCompressor, AudioCompressor, Container);
  // A render that never began leaves only the empty file made above: it
  // goes. A failed write leaves a file without its index: it is removed,
  // and the error says so.
  TJoinLoop::Guarded(
      fileName, [&] { RunEngine(engine); },
      [&] {
        engine.Stop();
        if (!engine.Started()) ::unlink(fileName.c_str());
      },
      [&] { return engine.OutputIncomplete(); });
}

void TDSVideoJoiner::RunEngine(TRenderEngine& engine) {
  engine.Run();
  video_sets_ = engine.VideoSets();
  const double total = timeline_.Duration();
  while (!engine.WaitForCompletion(PollInterval)) {
    if (!OnProgress) continue;
    bool cancel = false;
    // A timeline without length is done as soon as it starts.
    double percent = total > 0 ? 100.0 * engine.CurrentPosition() / total : 100.0;
    OnProgress(*this, cancel, percent);
    if (cancel) {
      cancelled_ = true;
      engine.Stop();
      break;
    }
  }
  // Measured once the workers are done: what the pipeline held when the
  // stop came is in the file too.
  engine.Finish();
  rendered_ = engine.CurrentPosition();
}

void TDSVideoJoiner::Join() {
  cancelled_ = false;
  BuildTimeline();
  // What the compressor cannot take is refused before the output is touched.
  const std::string problem = FrameSizeProblem(VideoCompressor ? VideoCompressor->EncoderName : "", FrameWidth, FrameHeight);
  if (!problem.empty()) throw Exception(problem);
  RenderToFile(OutputFileName);
}

}  // namespace vantrel
