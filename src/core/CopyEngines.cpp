// The AVI and MPEG-1 joiners behind the engine interface.
#include "core/CopyEngines.h"

#include <algorithm>
#include <cstdio>

#include "avi/AVIJoin.h"
#include "avi/AVIRead.h"
#include "base/CopyFormat.h"
#include "base/Exceptions.h"
#include "base/JoinLoop.h"
#include "base/PosixFile.h"
#include "core/FileInfo.h"
#include "core/FileList.h"
#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGJoiner.h"
#include "mpeg/ProgramStreamClock.h"

namespace vantrel {

std::vector<std::string> FileNames(const TJoinRequest& request) {
  std::vector<std::string> names;
  for (const TVideoFileInfo& f : request.Files) names.push_back(f.FileName);
  return names;
}

namespace {

std::string Label(const TJoinRequest& r, size_t i) { return FileLabel(i, r.Files[i].FileName); }

// What a file is, in words: the container's name where the media type
// would only say "DirectShow".
std::string TypeWords(const TVideoFileInfo& f) {
  return f.MediaType == kMediaDirectShow && !f.ContainerName.empty() ? f.ContainerName : f.MediaType;
}

std::string RateWords(double rate) { return FormatFrameRate(rate) + " fps"; }

std::string SoundWords(const TVideoFileInfo& f) {
  if (!f.HasAudio) return "no sound";
  char khz[32];
  std::snprintf(khz, sizeof khz, "%g kHz", f.SampleRate / 1000.0);
  return std::string("sound ") + khz + (f.Channels == 1 ? " mono" : f.Channels == 2 ? " stereo" : " " +
         std::to_string(f.Channels) + " channels") + (f.BitsPerSample > 0 ? " " + std::to_string(f.BitsPerSample) +
         " bits" : "") + " (format tag " + std::to_string(f.AudioFormatTag) + ")";
}

// The answer of a joiner of one media type (AVI, MPEG-1) for the request:
// the first file's type must be its own, every file the first file's type
// and video format; the sound is left out when some file has none, another
// format, or (AVI) a format that cannot be carried under the first file's
// stream header.
TEngineAnswer NativeAnswer(const TJoinRequest& r, const char* type, const char* extension) {
  TEngineAnswer a;
  if (r.Files.empty() || r.Files.front().MediaType != type) {
    a.Reason = std::string("the first file is not ") + type;
    return a;
  }
  a.Extension = extension;
  const TVideoFileInfo& first = r.Files.front();
  for (size_t i = 1; i < r.Files.size(); ++i) {
    TVideoFileInfo f = r.Files[i];
    if (f.SameVideo(first)) continue;
    a.Verdict = TEngineAnswer::OtherParameters;
    if (f.MediaType != first.MediaType)
      a.Reason = Label(r, i) + ArticleFor(TypeWords(f)) + TypeWords(f) + " file, the first file " + TypeWords(first);
    else if (f.TypeDiffers)
      a.Reason = Label(r, i) + "video " + FourCCToString(f.VideoFourCC) + ", the first file " + FourCCToString(first.VideoFourCC);
    else if (f.FrameSizeDiffers)
      a.Reason = Label(r, i) + "video " + std::to_string(f.Width) + "x" + std::to_string(f.Height) + ", the first file " +
                 std::to_string(first.Width) + "x" + std::to_string(first.Height);
    else
      a.Reason = Label(r, i) + "video " + RateWords(f.FrameRate) + ", the first file " + RateWords(first.FrameRate);
    return a;
  }
  a.Verdict = TEngineAnswer::Joins;
  if (r.WithoutSound) return a;
  bool anySound = false;
  for (const TVideoFileInfo& f : r.Files) anySound = anySound || f.HasAudio;
  if (!anySound) return a;
  for (size_t i = 0; i < r.Files.size(); ++i) {
    const TVideoFileInfo& f = r.Files[i];
    std::string why;
    if (!f.HasAudio)
      why = Label(r, i) + "no sound";
    else if (i > 0 && !f.SameAudio(first))
      why = Label(r, i) + SoundWords(f) + ", the first file " + SoundWords(first);
    else if (i > 0 && f.AviHeaders.Known && first.AviHeaders.Known &&
             !SameAudioFormat(first.AviHeaders, f.AviHeaders, r.ExactCopy))
      why = Label(r, i) + AudioFormatDifference(first.AviHeaders, f.AviHeaders);
    if (why.empty()) continue;
    a.Verdict = TEngineAnswer::JoinsWithoutSound;
    a.Reason = why;
    return a;
  }
  return a;
}

// Reads the joined file's indexes back (cheap: the index, not the data)
// and compares the chunks they list with the chunks written.
TJoinReport CheckAVIOutput(const TAVIJoiner& joiner, const std::string& out) {
  TJoinReport report;
  report.Counted = true;
  report.VideoPackets = joiner.ChunksWritten(0);
  report.AudioPackets = joiner.ChunksWritten(1);
  report.Notes = joiner.DamagedNotes();
  report.Damaged = !report.Notes.empty();
  if (report.VideoPackets == 0) return report;  // cancelled before the first frame
  try {
    TAVIFileReader reader;
    reader.Open(out, false);
    auto check = [&out](const TAVIStream* s, int64_t written, const char* kind) {
      const int64_t listed = s ? s->IndexCount() : 0;
      if (listed != written)
        throw Exception("The joined file " + out + " does not read back as written: its " + kind + " stream has " +
                        std::to_string(listed) + " chunks, " + std::to_string(written) + " were written");
    };
    check(reader.VideoStream(), report.VideoPackets, "video");
    if (report.AudioPackets > 0) check(reader.AudioStream(), report.AudioPackets, "sound");
    const AVISTREAMHEADER& h = reader.VideoStream()->Header;
    if (h.dwRate > 0) report.Duration = static_cast<double>(h.dwLength) * h.dwScale / h.dwRate;
  } catch (...) {
    RaiseWithOutputRemoved(std::current_exception(), out);
  }
  // As written, but not what the inputs promised.
  report.Verified = !report.Damaged;
  return report;
}

// Reading an MPEG-1 stream back means reading all of it (there is no
// index), so it is done only when asked for.
TJoinReport CheckMPEGOutput(const TMPEGJoiner& joiner, const TJoinRequest& r) {
  TJoinReport report;
  report.Notes = joiner.DamagedNotes();
  report.Damaged = !report.Notes.empty();
  if (!joiner.Counted()) return report;
  report.Counted = true;
  // Pictures and sound frames: a packet holds any part of either.
  report.VideoPackets = joiner.Pictures();
  report.AudioPackets = joiner.AudioFrames();
  report.Duration = -1;  // known from the stream's time stamps only
  if (!r.VerifyFully) return report;
  int64_t video = 0, audio = 0;
  int64_t first = INT64_MAX, last = INT64_MIN;
  try {
    TMPEG1SystemReader reader;
    reader.Open(r.OutputFileName);
    while (reader.Next()) {
      if (reader.UnitKind != ukPacket) continue;
      const uint8_t id = reader.Packet.StreamId;
      if (id >= kFirstVideoStream && id <= kLastVideoStream) ++video;
      else if (id >= kFirstAudioStream && id < kFirstVideoStream) ++audio;
      if (reader.Packet.HasPTS && id >= kFirstVideoStream && id <= kLastVideoStream) {
        first = std::min(first, reader.Packet.PTS);
        last = std::max(last, reader.Packet.PTS);
      }
    }
    // 90 kHz presentation times of the pictures, plus the last one's span.
    const double rate = r.Files.empty() ? 0 : r.Files.front().FrameRate;
    if (first <= last && r.CorrectTimeStamps) report.Duration = (last - first) / 90000.0 + (rate > 0 ? 1 / rate : 0);
    if (video != joiner.VideoPackets() || audio != joiner.AudioPackets())
      throw Exception("The joined file " + r.OutputFileName + " does not read back as written: " +
                      std::to_string(video) + " video and " + std::to_string(audio) + " audio packets, " +
                      std::to_string(joiner.VideoPackets()) + " and " + std::to_string(joiner.AudioPackets()) +
                      " were written");
  } catch (...) {
    RaiseWithOutputRemoved(std::current_exception(), r.OutputFileName);
  }
  report.Verified = !report.Damaged;
  return report;
}

class TAVIEngine final : public IJoinEngine {
 public:
  TEngineKind Kind() const override { return TEngineKind::Copy; }
  TEngineAnswer Answer(const TJoinRequest& r) const override {
    TEngineAnswer a = NativeAnswer(r, kMediaAVI, ".avi");
    // Sound that cannot be padded or cut to its video shifts later files'.
    if (a.Verdict == TEngineAnswer::Joins && !r.WithoutSound && !r.ExactCopy) {
      std::vector<const TVideoFileInfo*> files;
      for (const TVideoFileInfo& f : r.Files) files.push_back(&f);
      const std::string note = AviSoundNote(files);
      if (!note.empty()) a.Notes.push_back(note);
    }
    return a;
  }
  TJoinReport Join(const TJoinRequest& r, IProgress& progress) override {
    TAVIJoiner joiner;
    joiner.Files = FileNames(r);
    for (const TVideoFileInfo& f : r.Files) joiner.Described.push_back(f.AviHeaders);
    joiner.OutputFileName = r.OutputFileName;
    joiner.WithoutSound = r.WithoutSound;
    joiner.ExactCopy = r.ExactCopy;
    joiner.Run(progress);
    return CheckAVIOutput(joiner, r.OutputFileName);
  }
};

class TMPEGEngine final : public IJoinEngine {
 public:
  TEngineKind Kind() const override { return TEngineKind::Copy; }
  TEngineAnswer Answer(const TJoinRequest& r) const override { return NativeAnswer(r, kMediaMPEG1, ".mpeg"); }
  TJoinReport Join(const TJoinRequest& r, IProgress& progress) override {
    TMPEGJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    joiner.FrameRate = r.Files.front().FrameRate;
    joiner.WithoutSound = r.WithoutSound;
    joiner.CorrectTimeStamps = r.CorrectTimeStamps;
    joiner.Run(progress);
    return CheckMPEGOutput(joiner, r);
  }
};

// Pieces of one MPEG program stream, as a DVD stores a title in VOB files
// cut at sectors: each piece's clock continues the one before, so the
// pieces are one stream and are joined byte for byte, their time stamps
// kept. Any other set is not of its format.
class TPiecesEngine final : public IJoinEngine {
 public:
  TEngineKind Kind() const override { return TEngineKind::Copy; }
  TEngineAnswer Answer(const TJoinRequest& r) const override {
    TEngineAnswer a;
    a.Reason = "the files are not pieces of one MPEG program stream";
    // A stream copied whole keeps its sound: leaving it out is the
    // container copy's to do.
    if (r.Files.size() < 2 || r.WithoutSound) return a;
    for (size_t i = 0; i < r.Files.size(); ++i) {
      const TVideoFileInfo& f = r.Files[i];
      if (f.MediaType != kMediaMPEG2 || !f.StreamClock.Known) return a;
      if (i > 0 && !ContinuesStream(r.Files[i - 1].StreamClock, f.StreamClock, r.Files.front().FrameRate)) return a;
    }
    a.Reason.clear();
    a.Verdict = TEngineAnswer::Joins;
    a.Extension = ".mpg";
    return a;
  }
  TJoinReport Join(const TJoinRequest& r, IProgress& progress) override {
    const std::vector<std::string> names = FileNames(r);
    int64_t total = 0, done = 0;
    for (const std::string& n : names) total += FileSizeOf(n);
    TOutputStream out;
    try {
      out.Create(r.OutputFileName);
    } catch (const EOSError& e) {
      RaiseCannotCreate(e.Code(), r.OutputFileName);
    }
    TJoinLoop loop(progress, names);
    loop.Run(
        r.OutputFileName,
        [&](size_t i) {
          TFile in;
          try {
            in = TFile::OpenRead(names[i]);
          } catch (const EOSError& e) {
            RaiseCannotOpen(e.Code(), names[i]);
          }
          constexpr size_t kBlock = 256 * 1024;
          for (int64_t pos = 0;;) {
            uint8_t* dest = out.Reserve(kBlock);
            const size_t n = in.ReadAt(dest, kBlock, pos);
            out.Commit(n);
            pos += static_cast<int64_t>(n);
            done += static_cast<int64_t>(n);
            if (total > 0) loop.SetProgress(100.0 * static_cast<double>(done) / static_cast<double>(total));
            if (n < kBlock || loop.Cancelled()) break;
          }
        },
        [&] { out.Close(); },
        // Cut at an arbitrary byte by a failed write: removed.
        [&] { return out.Failed(); });
    try {
      out.Close();
    } catch (...) {
      if (out.Failed()) RaiseWithOutputRemoved(std::current_exception(), r.OutputFileName);
      throw;
    }
    TJoinReport report;
    const TProgramStreamClock& first = r.Files.front().StreamClock;
    const TProgramStreamClock& last = r.Files.back().StreamClock;
    const double rate = r.Files.front().FrameRate;
    if (!loop.WasCancelled()) report.Duration = (last.LastPTS - first.FirstPTS) / 90000.0 + (rate > 0 ? 1 / rate : 0);
    return report;
  }

 private:
  static int64_t FileSizeOf(const std::string& name) {
    try {
      return TFile::OpenRead(name).Size();
    } catch (const EOSError&) {
      return 0;  // the copy names it
    }
  }
};

}  // namespace

std::unique_ptr<IJoinEngine> MakeAVIEngine() { return std::make_unique<TAVIEngine>(); }
std::unique_ptr<IJoinEngine> MakeMPEGEngine() { return std::make_unique<TMPEGEngine>(); }

void AddCopyEngines(TJoinEngines& engines) {
  engines.push_back(MakeAVIEngine());
  engines.push_back(MakeMPEGEngine());
  engines.push_back(std::make_unique<TPiecesEngine>());
}

}  // namespace vantrel
