// The AVI and MPEG-1 joiners behind the engine interface.
#include "core/CopyEngines.h"

#include "avi/AVIJoin.h"
#include "core/FileInfo.h"
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

class TAVIEngine final : public IJoinEngine {
 public:
  bool CopiesStreams() const override { return true; }
  std::string WhyNot(const TJoinOptions& r) const override { return FirstFileIs(r, kMediaAVI); }
  const char* ProgressText() const override { return kFileBeingJoinedText; }
  void Join(const TJoinOptions& r, IProgress& progress) override {
    TAVIJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    joiner.WithoutSound = r.JoinWithoutSound;
    joiner.ExactCopy = r.ExactCopy;
    joiner.Run(progress);
  }
};

class TMPEGEngine final : public IJoinEngine {
 public:
  bool CopiesStreams() const override { return true; }
  std::string WhyNot(const TJoinOptions& r) const override { return FirstFileIs(r, kMediaMPEG1); }
  const char* ProgressText() const override { return kFileBeingJoinedText; }
  void Join(const TJoinOptions& r, IProgress& progress) override {
    TMPEGJoiner joiner;
    joiner.Files = FileNames(r);
    joiner.OutputFileName = r.OutputFileName;
    joiner.FrameRate = r.Files.front().FrameRate;
    joiner.WithoutSound = r.JoinWithoutSound;
    joiner.CorrectTimeStamps = r.CorrectTimeStamps;
    joiner.Run(progress);
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
