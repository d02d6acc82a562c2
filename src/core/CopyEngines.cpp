// The AVI and MPEG-1 joiners behind the engine interface.
#include "core/CopyEngines.h"

#include <algorithm>

#include "avi/AVIJoin.h"
#include "avi/AVIRead.h"
#include "base/Exceptions.h"
#include "base/PosixFile.h"
#include "core/FileInfo.h"
#include "mpeg/MPEG1SysRead.h"
#include "mpeg/MPEGJoiner.h"

namespace vantrel {

std::vector<std::string> FileNames(const TJoinOptions& request) {
  std::vector<std::string> names;
  for (const TVideoFileInfo& f : request.Files) names.push_back(f.FileName);
  return names;
}

namespace {

// Only the first file's media type is consulted: the join options offer
// "Join without recompression" only when every file has the first file's
// type and video format.
std::string FirstFileIs(const TJoinOptions& r, const char* type) {
  if (!r.Files.empty() && r.Files.front().MediaType == type) return "";
  return std::string("the first file is not ") + type;
}

// Reads the joined file's indexes back (cheap: the index, not the data)
// and compares the chunks they list with the chunks written.
TJoinReport CheckAVIOutput(const TAVIJoiner& joiner, const std::string& out) {
  TJoinReport report;
  report.Counted = true;
  report.VideoPackets = joiner.ChunksWritten(0);
  report.AudioPackets = joiner.ChunksWritten(1);
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
  report.Verified = true;
  return report;
}

// Reading an MPEG-1 stream back means reading all of it (there is no
// index), so it is done only when asked for.
TJoinReport CheckMPEGOutput(const TMPEGJoiner& joiner, const TJoinOptions& r) {
  TJoinReport report;
  if (!joiner.Counted()) return report;
  report.Counted = true;
  report.VideoPackets = joiner.VideoPackets();
  report.AudioPackets = joiner.AudioPackets();
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
    if (video != report.VideoPackets || audio != report.AudioPackets)
      throw Exception("The joined file " + r.OutputFileName + " does not read back as written: " +
                      std::to_string(video) + " video and " + std::to_string(audio) + " audio packets, " +
                      std::to_string(report.VideoPackets) + " and " + std::to_string(report.AudioPackets) +
                      " were written");
  } catch (...) {
    RaiseWithOutputRemoved(std::current_exception(), r.OutputFileName);
  }
  report.Verified = true;
  return report;
}

class TAVIEngine final : public IJoinEngine {
 public:
  bool CopiesStreams() const override { return true; }
  std::string WhyNot(const TJoinOptions& r) const override { return FirstFileIs(r, kMediaAVI); }
  bool TakesFormatOf(const TJoinOptions& r) const override { return FirstFileIs(r, kMediaAVI).empty(); }
  const char* ProgressText() const override { return kFileBeingJoinedText; }
  TJoinReport Join(const TJoinOptions& r, IProgress& progress) override {
    TAVIJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    joiner.WithoutSound = r.JoinWithoutSound;
    joiner.ExactCopy = r.ExactCopy;
    joiner.Run(progress);
    return CheckAVIOutput(joiner, r.OutputFileName);
  }
};

class TMPEGEngine final : public IJoinEngine {
 public:
  bool CopiesStreams() const override { return true; }
  std::string WhyNot(const TJoinOptions& r) const override { return FirstFileIs(r, kMediaMPEG1); }
  bool TakesFormatOf(const TJoinOptions& r) const override { return FirstFileIs(r, kMediaMPEG1).empty(); }
  const char* ProgressText() const override { return kFileBeingJoinedText; }
  TJoinReport Join(const TJoinOptions& r, IProgress& progress) override {
    TMPEGJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    joiner.FrameRate = r.Files.front().FrameRate;
    joiner.WithoutSound = r.JoinWithoutSound;
    joiner.CorrectTimeStamps = r.CorrectTimeStamps;
    joiner.Run(progress);
    return CheckMPEGOutput(joiner, r);
  }
};

}  // namespace

std::unique_ptr<IJoinEngine> MakeAVIEngine() { return std::make_unique<TAVIEngine>(); }
std::unique_ptr<IJoinEngine> MakeMPEGEngine() { return std::make_unique<TMPEGEngine>(); }

std::string SoundSyncNote(const std::vector<std::string>& files, bool withoutSound, bool exact) {
  if (files.empty() || withoutSound || exact) return "";
  try {
    if (GetMediaType(files.front()) != kMediaAVI) return "";
    return AviSoundNote(files);
  } catch (const std::exception&) {
    return "";  // the join reports a file it cannot read
  }
}

void AddCopyEngines(TJoinEngines& engines) {
  engines.push_back(MakeAVIEngine());
  engines.push_back(MakeMPEGEngine());
}

}  // namespace vantrel
