// The join job.
#include "core/JoinCls.h"

#include <charconv>
#include <cmath>

#include "base/Exceptions.h"
#include "base/PosixFile.h"

namespace vantrel {

TJoinOutcome RunJoin(const TJoinOptions& options, const TJoinEngines& engines) {
  TJoinWrapper wrapper(options, engines);
  return wrapper.Execute();
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

IJoinEngine* TJoinWrapper::ChooseEngine() const {
  for (const auto& e : engines_)
    if (e->CopiesStreams() == options_.JoinWithoutRecompression && e->WhyNot(options_).empty()) return e.get();
  return nullptr;
}

TJoinOutcome TJoinWrapper::Execute() {
  if (options_.Files.empty()) throw Exception("There are no files to join");
  CheckOutputIsNotAnInput();
  IJoinEngine* engine = ChooseEngine();
  if (!engine) {
    // An engine whose format the first file has knows what stands in the way.
    if (options_.JoinWithoutRecompression)
      for (const auto& e : engines_)
        if (e->CopiesStreams() && e->TakesFormatOf(options_))
          throw Exception("Unable to join these files without recompression: " + e->WhyNot(options_));
    if (options_.JoinWithoutRecompression)
      throw Exception("Unable to join " + options_.Files.front().MediaType + " files without recompression");
    throw Exception("The media framework is not loaded");
  }
  TJoinOptions request = options_;
  // The rate's text is converted before the engine runs.
  if (!options_.JoinWithoutRecompression && !options_.FrameRateText.empty())
    request.Recompress.FrameRate = StrToFloat(options_.FrameRateText, options_.DecimalSeparator);
  std::unique_ptr<IProgress> progress = ShowJoinProgress(engine->ProgressText());
  TJoinOutcome outcome;
  outcome.Report = engine->Join(request, *progress);
  outcome.Cancelled = progress->Cancelled();
  return outcome;
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

namespace {

// The dialog's list, in its order.
constexpr TResizeMethod kResizeOfItem[] = {rmLetterbox, rmCrop, rmStretch, rmNoResize};

}  // namespace

TResizeMethod ResizeMethodOfItem(int itemIndex, TResizeMethod otherwise) {
  if (itemIndex < 0 || itemIndex >= static_cast<int>(std::size(kResizeOfItem))) return otherwise;
  return kResizeOfItem[itemIndex];
}

int ItemOfResizeMethod(TResizeMethod method) {
  for (int i = 0; i < static_cast<int>(std::size(kResizeOfItem)); ++i)
    if (kResizeOfItem[i] == method) return i;
  return 0;
}

}  // namespace vantrel
