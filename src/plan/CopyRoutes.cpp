// The routes without recompression: AVI chunks, MPEG-1 streams, pieces of
// one program stream, packets between containers of one family.
#include <cstdio>

#include "avi/AVIJoin.h"
#include "mpeg/ProgramStreamClock.h"
#include "plan/Routes.h"

namespace vantrel {

namespace {

std::string Label(const TJoinRequest& r, size_t i) { return FileLabel(i, r.Files[i].FileName); }

std::string RateText(double rate) { return FormatFrameRate(rate) + " fps"; }

// What a file is, in words: the container's name where the media type
// would only say "DirectShow".
std::string TypeWords(const TVideoFileInfo& f) {
  return f.MediaType == kMediaDirectShow && !f.ContainerName.empty() ? f.ContainerName : f.MediaType;
}

std::string KhzText(int32_t rate) {
  char khz[32];
  std::snprintf(khz, sizeof khz, "%g kHz", rate / 1000.0);
  return khz;
}

std::string SoundWords(const TVideoFileInfo& f) {
  if (!f.HasAudio) return "no sound";
  return "sound " + KhzText(f.SampleRate) +
         (f.Channels == 1   ? " mono"
          : f.Channels == 2 ? " stereo"
                            : " " + std::to_string(f.Channels) + " channels") +
         (f.BitsPerSample > 0 ? " " + std::to_string(f.BitsPerSample) + " bits" : "") + " (format tag " +
         std::to_string(f.AudioFormatTag) + ")";
}

// The answer of a joiner of one media type (AVI, MPEG-1): the first file's
// type must be its own, every file the first file's type and video format;
// the sound is left out when some file has none, another format, or (AVI)
// a format that cannot be carried under the first file's stream header.
TAnswer NativeAnswer(const TJoinRequest& r, const char* type, TContainerId container, TPlanRoute route) {
  TAnswer a;
  if (r.Files.empty() || r.Files.front().MediaType != type) {
    a.Reason = std::string("the first file is not ") + type;
    return a;
  }
  const TContainer& c = ContainerOf(container);
  a.Route = route;
  a.Output = {container, "", c.Extensions.front(), c.Shown, false};
  for (size_t i = 1; i < r.Files.size(); ++i) {
    const std::string why = NativeVideoDifference(r, i);
    if (why.empty()) continue;
    a.Verdict = TAnswer::OtherParameters;
    a.Reason = why;
    return a;
  }
  a.Verdict = TAnswer::Joins;
  if (r.WithoutSound) return a;
  bool anySound = false;
  for (const TVideoFileInfo& f : r.Files) anySound = anySound || f.HasAudio;
  if (!anySound) return a;
  for (size_t i = 0; i < r.Files.size(); ++i) {
    const std::string why = NativeSoundDifference(r, i);
    if (why.empty()) continue;
    a.Verdict = TAnswer::JoinsWithoutSound;
    a.Reason = why;
    return a;
  }
  return a;
}

TAnswer AviAnswer(const TJoinRequest& r) {
  TAnswer a = NativeAnswer(r, kMediaAVI, TContainerId::Avi, TPlanRoute::AviCopy);
  // Sound that cannot be padded or cut to its video shifts later files'.
  if (a.Verdict == TAnswer::Joins && !r.WithoutSound && !r.ExactCopy) {
    std::vector<std::pair<std::string, const TAviHeaderInfo*>> files;
    for (const TVideoFileInfo& f : r.Files) files.emplace_back(f.FileName, &f.AviHeaders);
    const std::string note = AviSoundNote(files);
    if (!note.empty()) a.Notes.push_back(note);
  }
  return a;
}

// Pieces of one MPEG program stream, as a DVD stores a title in VOB files
// cut at sectors: each piece's clock continues the one before, so the
// pieces are one stream and are joined byte for byte, their time stamps
// kept. Any other set is not of its format.
TAnswer PiecesAnswer(const TJoinRequest& r) {
  TAnswer a;
  a.Reason = "the files are not pieces of one MPEG program stream";
  // A stream copied whole keeps its sound: leaving it out is the container
  // copy's to do.
  if (r.Files.size() < 2 || r.WithoutSound) return a;
  for (size_t i = 0; i < r.Files.size(); ++i) {
    const TVideoFileInfo& f = r.Files[i];
    if (f.MediaType != kMediaMPEG2 || !f.StreamClock.Known) return a;
    if (i > 0 && !ContinuesStream(r.Files[i - 1].StreamClock, f.StreamClock, r.Files.front().FrameRate)) return a;
  }
  a.Reason.clear();
  a.Verdict = TAnswer::Joins;
  a.Route = TPlanRoute::StreamPieces;
  a.Output = {TContainerId::MpegPs, "", ".mpg", "MPEG-PS", false};
  return a;
}

// The container a copy of files of the family first writes for this output
// name: the one the name asks for, else the first file's.
const TContainer& CopyOutput(const std::string& outputFileName, const TContainer& first) {
  const TContainer* named = ContainerOfFileName(outputFileName);
  return named && named->Copies() ? *named : first;
}

// Empty when the output container can hold the first file's video, and its
// sound unless left out; else why not ("a WebM file cannot hold h264
// video"). Subtitle and data streams it cannot hold are left out, not
// refused.
std::string OutputProblem(const TContainer& out, const TStreamFormats& streams, bool withoutSound) {
  const uint64_t bit = uint64_t{1} << static_cast<unsigned>(out.Id);
  for (const TStreamFormat& s : streams) {
    if (s.Kind != TStreamKind::Video && !(s.Kind == TStreamKind::Audio && !withoutSound)) continue;
    if (s.Refusers & bit)
      return ArticleFor(out.Shown) + out.Shown + " file cannot hold " + FieldText(s, ffCodec) + " " + StreamKindName(s.Kind);
  }
  return "";
}

// Which of the first file's streams the copy keeps: its video, its sound
// unless left out, and the subtitle and data streams every file has alike
// and the output can hold.
std::vector<TStreamPlan> StreamMap(const TJoinRequest& r, const TContainer& out, bool withoutSound) {
  const TStreamFormats& first = r.Files.front().Streams;
  std::vector<bool> unlike(first.size(), false);
  for (size_t i = 1; i < r.Files.size(); ++i)
    for (size_t n : CompareStreams(first, r.Files[i].Streams).OthersDiffering)
      if (n < unlike.size()) unlike[n] = true;
  std::vector<TStreamPlan> map;
  const uint64_t bit = uint64_t{1} << static_cast<unsigned>(out.Id);
  for (size_t n = 0; n < first.size(); ++n) {
    const TStreamFormat& s = first[n];
    TStreamPlan p;
    p.Kind = s.Kind;
    if (s.Kind == TStreamKind::Audio) p.Kept = !withoutSound;
    if (s.Kind == TStreamKind::Subtitle || s.Kind == TStreamKind::Data) {
      const std::string what = std::string("a ") + StreamKindName(s.Kind) + " stream (" + FieldText(s, ffCodec) + ")";
      p.Kept = false;
      if (unlike[n])
        p.Note = what + " was left out: not every file has it alike";
      else if (!(s.Holders & bit))
        p.Note = what + " was left out: " + ArticleFor(out.Shown) + out.Shown + " file cannot hold it";
      else
        p.Kept = true;
    }
    map.push_back(p);
  }
  return map;
}

TAnswer ContainerAnswer(const TJoinRequest& r) {
  TAnswer a;
  const TVideoFileInfo& first = r.Files.front();
  const TContainer& family = ContainerOf(first.Container);
  if (first.MediaType == kMediaAVI || first.MediaType == kMediaMPEG1 || first.Streams.empty() || !family.Copies()) {
    a.Reason = "the first file is not an " + CopyContainersText() + " file";
    return a;
  }
  a.Route = TPlanRoute::ContainerCopy;
  a.Verdict = TAnswer::OtherParameters;
  a.Output = {family.Id, family.CopyMuxer, family.Extensions.front(), family.Shown, family.Chapters};
  std::string soundDiffers;
  for (size_t i = 1; i < r.Files.size(); ++i) {
    const TCopyDifference d = ContainerDifference(r, i);
    if (!d.Video.empty()) {
      a.Reason = Label(r, i) + d.Video;
      return a;
    }
    if (soundDiffers.empty() && !d.Audio.empty()) soundDiffers = Label(r, i) + d.Audio;
  }
  const bool withoutSound = r.WithoutSound || !soundDiffers.empty();
  // The output's name, once chosen, picks the container written.
  const std::string ext = LowerExtension(r.OutputFileName);
  const TContainer* named = ContainerOfFileName(r.OutputFileName);
  const TContainer& out = CopyOutput(r.OutputFileName, family);
  a.Output = {out.Id, out.CopyMuxer, out.Extensions.front(), out.Shown, out.Chapters};
  if (!ext.empty() && !(named && named->Copies())) {
    a.Output.Extension = family.Extensions.front();
    a.Reason = "the output's extension " + ext + " is not one this join can write without recompression; name the output " +
               family.Extensions.front();
    return a;
  }
  if (!r.OutputFileName.empty()) {
    a.Reason = OutputProblem(out, first.Streams, withoutSound);
    if (!a.Reason.empty()) return a;
  }
  a.Streams = StreamMap(r, out, withoutSound);
  a.Verdict = soundDiffers.empty() || r.WithoutSound ? TAnswer::Joins : TAnswer::JoinsWithoutSound;
  if (!r.WithoutSound) a.Reason = soundDiffers;
  return a;
}

}  // namespace

std::string NativeVideoDifference(const TJoinRequest& r, size_t i, TDiffColumn* column, std::string* shown) {
  TVideoFileInfo f = r.Files[i];
  const TVideoFileInfo& first = r.Files.front();
  if (f.SameVideo(first)) return "";
  TDiffColumn c = TDiffColumn::Type;
  std::string is, why;
  if (f.MediaType != first.MediaType) {
    is = TypeWords(f);
    why = ArticleFor(is) + is + " file, the first file " + TypeWords(first);
  } else if (f.TypeDiffers) {
    is = "video " + FourCCToString(f.VideoFourCC);
    why = is + ", the first file " + FourCCToString(first.VideoFourCC);
  } else if (f.FrameSizeDiffers) {
    c = TDiffColumn::FrameSize;
    is = std::to_string(f.Width) + "x" + std::to_string(f.Height);
    why = "video " + is + ", the first file " + std::to_string(first.Width) + "x" + std::to_string(first.Height);
  } else {
    c = TDiffColumn::FrameRate;
    is = RateText(f.FrameRate);
    why = "video " + is + ", the first file " + RateText(first.FrameRate);
  }
  if (column) *column = c;
  if (shown) *shown = is;
  return Label(r, i) + why;
}

std::string NativeSoundDifference(const TJoinRequest& r, size_t i, TDiffColumn* column, std::string* shown) {
  const TVideoFileInfo& f = r.Files[i];
  const TVideoFileInfo& first = r.Files.front();
  std::string why, is;
  if (!f.HasAudio) {
    why = is = "no sound";
  } else if (i > 0 && !f.SameAudio(first)) {
    why = SoundWords(f) + ", the first file " + SoundWords(first);
    // The one value that differs, for a cell that would otherwise read the same.
    is = !first.HasAudio                         ? SoundWords(f)
         : f.SampleRate != first.SampleRate      ? KhzText(f.SampleRate)
         : f.Channels != first.Channels          ? std::to_string(f.Channels) + " channels"
         : f.BitsPerSample != first.BitsPerSample ? std::to_string(f.BitsPerSample) + " bits"
                                                  : "format tag " + std::to_string(f.AudioFormatTag);
  } else if (i > 0 && f.AviHeaders.Known && first.AviHeaders.Known &&
             !SameAudioFormat(first.AviHeaders, f.AviHeaders, r.ExactCopy)) {
    why = AudioFormatDifference(first.AviHeaders, f.AviHeaders);
    is = why.substr(0, why.find(", the first file"));
  }
  if (why.empty()) return "";
  if (column) *column = TDiffColumn::Audio;
  if (shown) *shown = is;
  return Label(r, i) + why;
}

TCopyDifference ContainerDifference(const TJoinRequest& r, size_t i) {
  TCopyDifference d;
  const TVideoFileInfo& first = r.Files.front();
  const TVideoFileInfo& f = r.Files[i];
  if (f.Container != first.Container) {
    const TContainer& c = ContainerOf(f.Container);
    const std::string shown = c.Copies()                ? c.Shown
                              : f.ContainerName.empty() ? f.MediaType
                                                        : f.ContainerName;
    d.Video = ArticleFor(shown) + shown + " file, the first file " + ContainerOf(first.Container).Shown;
    d.Column = TDiffColumn::Type;
    d.Shown = shown;
    return d;
  }
  const TStreamsDiff s = CompareStreams(first.Streams, f.Streams);
  d.Video = s.Video.Words;
  d.Audio = s.Audio.Words;
  const TStreamDifference& one = s.Video ? s.Video : s.Audio;
  if (one) {
    d.Shown = one.Shown;
    d.Column = &one == &s.Audio                ? TDiffColumn::Audio
               : one.Field == ffFrameSize      ? TDiffColumn::FrameSize
               : one.Field == ffFrameRate || one.Field == ffTimeBase ? TDiffColumn::FrameRate
                                                                     : TDiffColumn::Type;
  }
  return d;
}

TAnswer CopyAnswer(const TJoinRequest& r) {
  TAnswer a = AviAnswer(r);
  if (a.Verdict == TAnswer::OtherFormat) a = NativeAnswer(r, kMediaMPEG1, TContainerId::Mpeg1, TPlanRoute::MpegCopy);
  if (a.Verdict == TAnswer::OtherFormat) a = PiecesAnswer(r);
  if (a.Verdict == TAnswer::OtherFormat) a = ContainerAnswer(r);
  return a;
}

}  // namespace vantrel
