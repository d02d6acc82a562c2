// The join job.
#include "core/JoinCls.h"

#include "avi/AVIJoin.h"
#include "core/Exceptions.h"
#include "core/PosixFile.h"
#include "mpeg/MPEGJoiner.h"

namespace vantrel {

void RunJoin(const TJoinOptions& options) {
  TJoinWrapper wrapper(options);
  wrapper.Execute();
}

void TJoinWrapper::FillFileList(std::vector<std::string>& list) const {
  for (const TVideoFileInfo& f : options_.Files) list.push_back(f.FileName);
}

void TJoinWrapper::CheckOutputIsNotAnInput() const {
  // By identity, not by name: a hard link, a symbolic link or another
  // spelling of an input's path is still that input, and the engines delete
  // an existing output before writing it.
  for (const TVideoFileInfo& f : options_.Files)
    if (f.FileName == options_.OutputFileName || SameFile(f.FileName, options_.OutputFileName))
      throw Exception("The output file is one of the input files");
}

void TJoinWrapper::Execute() {
  if (options_.Files.empty()) throw Exception("There are no files to join");
  CheckOutputIsNotAnInput();
  if (options_.JoinWithoutRecompression) {
    const TVideoFileInfo& first = options_.Files.front();
    if (first.MediaType == kMediaAVI) {
      JoinAVI();
      return;
    }
    if (first.MediaType == kMediaMPEG1) {
      JoinMPEG(first.FrameRate);
      return;
    }
    throw Exception("Unable to join " + first.MediaType + " files without recompression");
  }
  throw Exception("Joining with recompression is not available in this build");
}

void TJoinWrapper::JoinAVI() {
  TAVIJoiner joiner;
  FillFileList(joiner.Files);
  joiner.OutputFileName = options_.OutputFileName;
  joiner.WithoutSound = options_.JoinWithoutSound;
  joiner.Run();
}

}  // namespace vantrel

namespace vantrel {

void TJoinWrapper::JoinMPEG(double frameRate) {
  TMPEGJoiner joiner;
  FillFileList(joiner.Files);
  joiner.OutputFileName = options_.OutputFileName;
  joiner.FrameRate = frameRate;
  joiner.WithoutSound = options_.JoinWithoutSound;
  joiner.CorrectTimeStamps = options_.CorrectTimeStamps;
  joiner.Run();
}

}  // namespace vantrel
