// The engines that need no media framework, as the job runs them: AVI
// chunks, MPEG-1 streams, and pieces of one program stream byte for byte.
#include <algorithm>
#include <climits>

#include "avi/AVIJoin.h"
#include "base/Exceptions.h"
#include "base/JoinLoop.h"
#include "base/PosixFile.h"
#include "job/Engines.h"
#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGJoiner.h"

namespace vantrel {

std::vector<std::string> FileNames(const std::vector<TVideoFileInfo>& files) {
  std::vector<std::string> names;
  for (const TVideoFileInfo& f : files) names.push_back(f.FileName);
  return names;
}

namespace {

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
TJoinReport CheckMPEGOutput(const TMPEGJoiner& joiner, const TJoinPlan& plan, const std::string& out) {
  TJoinReport report;
  report.Notes = joiner.DamagedNotes();
  report.Damaged = !report.Notes.empty();
  if (!joiner.Counted()) return report;
  report.Counted = true;
  // Pictures and sound frames: a packet holds any part of either.
  report.VideoPackets = joiner.Pictures();
  report.AudioPackets = joiner.AudioFrames();
  report.Duration = -1;  // known from the stream's time stamps only
  if (!plan.VerifyFully) return report;
  int64_t video = 0, audio = 0;
  int64_t first = INT64_MAX, last = INT64_MIN;
  try {
    TMPEG1SystemReader reader;
    reader.Open(out);
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
    const double rate = plan.MpegFrameRate;
    if (first <= last && plan.CorrectTimeStamps) report.Duration = (last - first) / 90000.0 + (rate > 0 ? 1 / rate : 0);
    if (video != joiner.VideoPackets() || audio != joiner.AudioPackets())
      throw Exception("The joined file " + out + " does not read back as written: " + std::to_string(video) +
                      " video and " + std::to_string(audio) + " audio packets, " + std::to_string(joiner.VideoPackets()) +
                      " and " + std::to_string(joiner.AudioPackets()) + " were written");
  } catch (...) {
    RaiseWithOutputRemoved(std::current_exception(), out);
  }
  report.Verified = !report.Damaged;
  return report;
}

TJoinReport JoinAVI(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                    IProgress& progress) {
  TAVIJoiner joiner;
  joiner.Files = FileNames(files);
  for (const TVideoFileInfo& f : files) joiner.Described.push_back(f.AviHeaders);
  joiner.OutputFileName = out;
  joiner.WithoutSound = plan.WithoutSound;
  joiner.ExactCopy = plan.ExactCopy;
  joiner.Run(progress);
  return CheckAVIOutput(joiner, out);
}

TJoinReport JoinMPEG(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                     IProgress& progress) {
  TMPEGJoiner joiner;
  joiner.Files = FileNames(files);
  // Described from their headers, the files were found to hold video.
  joiner.VideoKnown = true;
  for (const TVideoFileInfo& f : files) joiner.VideoKnown = joiner.VideoKnown && f.FrameRate > 0;
  joiner.OutputFileName = out;
  joiner.FrameRate = plan.MpegFrameRate;
  joiner.WithoutSound = plan.WithoutSound;
  joiner.CorrectTimeStamps = plan.CorrectTimeStamps;
  joiner.Run(progress);
  return CheckMPEGOutput(joiner, plan, out);
}

// Pieces of one stream: byte for byte, each opened once, its time stamps
// kept.
TJoinReport JoinPieces(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                       IProgress& progress) {
  const std::vector<std::string> names = FileNames(files);
  int64_t total = 0, done = 0;
  for (const TVideoFileInfo& f : files) total += f.FileSize;
  TOutputStream output;
  try {
    output.Create(out);
  } catch (const EOSError& e) {
    RaiseCannotCreate(e.Code(), out);
  }
  TJoinLoop loop(progress, names);
  loop.Run(
      out,
      [&](size_t i) {
        TFile in;
        try {
          in = TFile::OpenRead(names[i]);
        } catch (const EOSError& e) {
          RaiseCannotOpen(e.Code(), names[i]);
        }
        constexpr size_t kBlock = 256 * 1024;
        for (int64_t pos = 0;;) {
          uint8_t* dest = output.Reserve(kBlock);
          const size_t n = in.ReadAt(dest, kBlock, pos);
          output.Commit(n);
          pos += static_cast<int64_t>(n);
          done += static_cast<int64_t>(n);
          if (total > 0) loop.SetProgress(std::min(100.0, 100.0 * static_cast<double>(done) / static_cast<double>(total)));
          if (n < kBlock || loop.Cancelled()) break;
        }
      },
      [&] { output.Close(); },
      // Cut at an arbitrary byte by a failed write: removed.
      [&] { return output.Failed(); });
  try {
    output.Close();
  } catch (...) {
    if (output.Failed()) RaiseWithOutputRemoved(std::current_exception(), out);
    throw;
  }
  TJoinReport report;
  const TProgramStreamClock& first = files.front().StreamClock;
  const TProgramStreamClock& last = files.back().StreamClock;
  const double rate = plan.MpegFrameRate;
  if (!loop.WasCancelled()) report.Duration = (last.LastPTS - first.FirstPTS) / 90000.0 + (rate > 0 ? 1 / rate : 0);
  return report;
}

class TCopyEngines final : public IEngines {
 public:
  bool Runs(TPlanRoute route) const override {
    return route == TPlanRoute::AviCopy || route == TPlanRoute::MpegCopy || route == TPlanRoute::StreamPieces;
  }
  TJoinReport Join(const TJoinPlan& plan, const std::vector<TVideoFileInfo>& files, const std::string& out,
                   IProgress& progress) const override {
    switch (plan.Route) {
      case TPlanRoute::AviCopy: return JoinAVI(plan, files, out, progress);
      case TPlanRoute::MpegCopy: return JoinMPEG(plan, files, out, progress);
      case TPlanRoute::StreamPieces: return JoinPieces(plan, files, out, progress);
      default: throw Exception("This program cannot join these files: it has no engine for this join");
    }
  }
};

}  // namespace

const IEngines& CopyEngines() {
  static const TCopyEngines engines;
  return engines;
}

}  // namespace vantrel
