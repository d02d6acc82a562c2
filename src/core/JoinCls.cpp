// The join job.
#include "core/JoinCls.h"

#include "avi/AVIJoin.h"
#include "core/Exceptions.h"
#include "core/PosixFile.h"
#include "mpeg/MPEGJoiner.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

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
  // The job shows the progress of a recompressing join itself.
  std::unique_ptr<IProgress> progress = ShowJoinProgress(kFilesBeingJoinedText);
  progress_ = progress.get();
  struct Release {
    IProgress*& p;
    ~Release() { p = nullptr; }
  } release{progress_};
  JoinWithRecompression();
}

double StrToFloat(const std::string& text, char decimalSeparator) {
  std::string s = text;
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  s = a == std::string::npos ? "" : s.substr(a, b - a + 1);
  bool ok = !s.empty();
  for (char& c : s) {
    if (c == decimalSeparator)
      c = '.';
    else if (c == '.')
      ok = false;  // a point where the separator is another character
  }
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  double v = 0;
  if (ok) {
    // from_chars does not depend on the process's locale.
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    ok = ec == std::errc() && end == s.data() + s.size() && std::isfinite(v);
  }
  if (!ok) throw EConvertError("'" + text + "' is not a valid floating point value");
  return v;
}

int ResizeMethodOfItem(int itemIndex) {
  // Letterbox, Crop, Stretch, No resize in the dialog; rmStretch (0),
  // rmCrop (1), rmLetterbox (2), rmNoResize (3) in the engine.
  switch (itemIndex) {
    case 0: return 2;
    case 1: return 1;
    case 2: return 0;
    case 3: return 3;
    default: return -1;
  }
}

namespace {

TRecompressingJoin& RecompressingJoin() {
  static TRecompressingJoin join;
  return join;
}

}  // namespace

void SetRecompressingJoin(TRecompressingJoin join) { RecompressingJoin() = std::move(join); }

void TJoinWrapper::JoinWithRecompression() {
  TRecompressRequest r;
  FillFileList(r.Files);
  r.OutputFileName = options_.OutputFileName;
  r.FrameWidth = options_.FrameWidth;
  r.FrameHeight = options_.FrameHeight;
  // The text is converted before the engine runs.
  r.FrameRate = StrToFloat(options_.FrameRateText, options_.DecimalSeparator);
  r.ResizeMethod = ResizeMethodOfItem(options_.ResizeMethodIndex);
  r.VideoCompressors = options_.VideoCompressors;
  r.VideoCompressorIndex = options_.VideoCompressorIndex;
  r.AudioCompressors = options_.AudioCompressors;
  r.AudioCompressorIndex = options_.AudioCompressorIndex;
  r.OnProgress = [this](bool& cancel, double percent) { DSProgress(cancel, percent); };
  if (!RecompressingJoin()) throw Exception("The media framework is not loaded");
  RecompressingJoin()(r);
}

void TJoinWrapper::DSProgress(bool& cancel, double percent) {
  if (!progress_) return;
  progress_->SetProgress(percent);
  cancel = progress_->Cancelled();
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
