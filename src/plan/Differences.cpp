// How each file differs from the first, as the file list marks it: by what
// its own headers say (AVI, MPEG-1), or field by field as a stream copy
// compares them (every other container), so that a cell is marked exactly
// where the plan finds a difference.
#include "avi/AVIJoin.h"
#include "plan/Routes.h"

namespace vantrel {

namespace {

void Mark(TFilePlan& f, TDiffColumn column, const std::string& shown) {
  switch (column) {
    case TDiffColumn::Type: f.TypeDiffers = f.VideoDiffers = true; break;
    case TDiffColumn::FrameSize: f.FrameSizeDiffers = f.VideoDiffers = true; break;
    case TDiffColumn::FrameRate: f.FrameRateDiffers = f.VideoDiffers = true; break;
    case TDiffColumn::Audio: f.AudioDiffers = true; break;
    default: return;
  }
  std::string& cell = f.Shown[static_cast<size_t>(column)];
  if (cell.empty()) cell = shown;
}

// What the headers of an AVI or MPEG-1 file say against the first file's.
void MarkNative(const TJoinRequest& r, size_t i, TFilePlan& f) {
  TDiffColumn column = TDiffColumn::None;
  std::string shown;
  const std::string video = NativeVideoDifference(r, i, &column, &shown);
  if (!video.empty()) {
    Mark(f, column, shown);
    f.Difference = video;
  }
  const std::string sound = NativeSoundDifference(r, i, &column, &shown);
  if (!sound.empty() && (r.Files[i].HasAudio || r.Files.front().HasAudio)) {
    Mark(f, column, shown);
    if (f.Difference.empty()) f.Difference = sound;
  }
}

void MarkStreams(const TJoinRequest& r, size_t i, TFilePlan& f) {
  const TCopyDifference d = ContainerDifference(r, i);
  const std::string label = FileLabel(i, r.Files[i].FileName);
  if (!d.Video.empty()) {
    f.Difference = label + d.Video;
    Mark(f, d.Column, d.Shown);
  }
  if (!d.Audio.empty()) {
    if (f.Difference.empty()) f.Difference = label + d.Audio;
    // The sound's own value, when the video's difference took the column.
    const TStreamsDiff s = CompareStreams(r.Files.front().Streams, r.Files[i].Streams);
    Mark(f, TDiffColumn::Audio, s.Audio.Shown);
  }
}

}  // namespace

void MarkDifferences(const TJoinRequest& r, TJoinPlan& plan) {
  if (r.Files.empty()) return;
  const TVideoFileInfo& first = r.Files.front();
  for (size_t i = 0; i < r.Files.size(); ++i) {
    TFilePlan& f = plan.Files[i];
    // The flags as the list has always set them: media type, FOURCC, frame
    // size, the exact frame rate, and the sound's format (for AVI, as its
    // stream header carries it).
    TVideoFileInfo info = r.Files[i];
    f.VideoDiffers = !info.SameVideo(first);
    f.TypeDiffers = info.TypeDiffers;
    f.FrameSizeDiffers = info.FrameSizeDiffers;
    f.FrameRateDiffers = info.FrameRateDiffers;
    f.AudioDiffers = !info.SameAudio(first) || (info.AviHeaders.Known && first.AviHeaders.Known &&
                                                !SameAudioFormat(first.AviHeaders, info.AviHeaders));
    if (i == 0) continue;
    const bool native = first.MediaType == kMediaAVI || first.MediaType == kMediaMPEG1 || first.Streams.empty() ||
                        info.Streams.empty();
    if (native)
      MarkNative(r, i, f);
    else
      MarkStreams(r, i, f);
  }
}

}  // namespace vantrel
