// Fuzz target: the container copy's input side on arbitrary files. The
// media probe describes the file as the file list does; when it is of a
// family the copy joins (MP4, Matroska, TS, PS, FLV...), the file is joined
// with itself, the output read back fully. Damaged inputs must come out as
// a join that says so, or a clear refusal; never a crash, hang, leak or a
// report that contradicts itself.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "base/CopyFormat.h"
#include "base/Exceptions.h"
#include "base/Progress.h"
#include "probe/VideoFileInfo.h"
#include "probe/FileInfo.h"
#include "remux/RemuxJoin.h"

using namespace vantrel;

namespace {

class TQuietProgress final : public IProgress {
 public:
  void SetCaption(const std::string&) override {}
  void SetText(const std::string&) override {}
  void Show() override {}
  void SetProgress(double percent) override {
    if (!(percent >= 0 && percent <= 100.0001)) fuzz::Fail("progress outside 0 to 100");
  }
  bool Cancelled() override { return false; }
  int CancelInterval() const override { return 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile file("remux-input");
  static fuzz::ScratchFile output("remux-output.mkv");
  file.Write(data, size);

  TVideoFileInfo info;
  try {
    info = GetVideoFileInfo(file.Path());
  } catch (const std::exception&) {
    return 0;  // refused by the probe, with its message
  }
  const TCopyFamily* family = CopyFamilyOf(info.ContainerName);
  if (!family || info.CopyFormat.empty()) return 0;

  TRemuxJoiner joiner;
  joiner.Files = {file.Path(), file.Path()};
  joiner.CopyFormats = {info.CopyFormat, info.CopyFormat};
  joiner.InputFamily = family;
  joiner.OutputFileName = output.Path();
  joiner.VerifyFully = true;
  TQuietProgress progress;
  try {
    const TRemuxReport report = joiner.Run(progress);
    if (report.Damaged && report.Notes.empty()) fuzz::Fail("damaged without a note saying so");
    if (report.Damaged && report.Verified) fuzz::Fail("a damaged join called verified");
    if (report.VideoPackets < 0 || report.AudioPackets < 0) fuzz::Fail("negative packet counts");
  } catch (const std::exception&) {
    // A refusal or failure with its message: the output is removed.
  }
  output.Remove();
  return 0;
}
