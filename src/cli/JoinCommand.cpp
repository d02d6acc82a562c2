// The join command, written once for vantrel-cli and the full command line:
// probe, make the request and its plan, say what the plan says, run it.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "base/Exceptions.h"
#include "cli/Cli.h"
#include "cli/CliJoin.h"
#include "cli/TerminalProgress.h"
#include "plan/JoinOptions.h"

namespace vantrel::cli {

namespace {

// KEY=VALUE options into values; false for one without a key.
bool ParseOptions(const std::vector<std::string>& opts, std::map<std::string, std::string>& values) {
  for (const std::string& o : opts) {
    size_t eq = o.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    values[o.substr(0, eq)] = o.substr(eq + 1);
  }
  return true;
}

// --size, --rate and --resize into the request; an exit status, or -1.
int ParseSettings(const TJoinArgs& args, TJoinRequest& r) {
  if (!args.size.empty()) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(args.size.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') || w <= 0 ||
        h <= 0 || w > 16384 || h > 16384)
      return UsageError("--size takes WIDTHxHEIGHT, for example 352x288");
    r.FrameWidth = w;
    r.FrameHeight = h;
  }
  if (!args.rate.empty()) {
    // A fraction too: 30000/1001 as exactly as 29.97 names it.
    int num = 0, den = 0;
    char slash = 0, extra = 0;
    if (std::sscanf(args.rate.c_str(), "%d%c%d%c", &num, &slash, &den, &extra) == 3 && slash == '/') {
      if (num <= 0 || den <= 0) return UsageError("--rate takes a rate above 0, such as 25, 29.97 or 30000/1001");
      r.FrameRate = static_cast<double>(num) / den;
    } else {
      try {
        r.FrameRate = StrToFloat(args.rate);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "Join fails: %s\n", e.what());
        return kExitFailure;
      }
    }
  }
  if (!args.resize.empty()) {
    const std::vector<std::string> names = {"letterbox", "crop", "stretch", "none"};
    auto it = std::find(names.begin(), names.end(), args.resize);
    if (it == names.end()) return UsageError("--resize takes letterbox, crop, stretch or none");
    r.ResizeMethod = ResizeMethodOfItem(static_cast<int>(it - names.begin()));
  }
  if (!ParseOptions(args.vopts, r.VideoOptions) || !ParseOptions(args.aopts, r.AudioOptions))
    return UsageError("--vopt and --aopt take KEY=VALUE, for the compressor in use");
  // "none": uncompressed.
  if (!args.vcodec.empty()) r.VideoEncoder = TEncoderChoice{args.vcodec == "none" ? "" : args.vcodec, {}};
  if (!args.acodec.empty()) r.AudioEncoder = TEncoderChoice{args.acodec == "none" ? "" : args.acodec, {}};
  return -1;
}

// The compressors named on the command line, against what this machine
// has for the output's format; an exit status, or -1.
int CheckCompressors(const TJoinArgs& args, const TJoinPlan& plan, const IEncoderCatalog& encoders) {
  const TContainer* named = RecompressContainerOfFileName(args.output);
  if (!named) return -1;
  const TContainer& format = *named;
  auto check = [&](const std::string& asked, bool audio) {
    if (asked.empty() || (asked == "none" && format.IsAvi())) return true;
    const std::vector<std::string> offered =
        format.IsAvi() ? encoders.AviCompressors(audio).Encoders : encoders.Available(format.Id, audio);
    if (std::find(offered.begin(), offered.end(), asked) != offered.end()) return true;
    const char* kind = audio ? "audio" : "video";
    if (format.IsAvi())
      std::fprintf(stderr, "vantrel-cli: \"%s\" is not a%s %s compressor here; see vantrel-cli codecs --%s\n",
                   asked.c_str(), audio ? "n" : "", kind, kind);
    else
      std::fprintf(stderr,
                   "vantrel-cli: \"%s\" is not a%s %s compressor for %s%s files here; see vantrel-cli codecs "
                   "--container %s\n",
                   asked.c_str(), audio ? "n" : "", kind, ArticleFor(format.Name).c_str(), format.Name,
                   format.Extensions.front().substr(1).c_str());
    return false;
  };
  if (!check(args.vcodec, false) || !check(args.acodec, true)) return kExitFailure;
  if (!plan.Accepted()) return -1;
  if ((!args.vopts.empty() && plan.VideoEncoder.Encoder.empty()) ||
      (!args.aopts.empty() && plan.AudioEncoder.Encoder.empty()))
    return UsageError("--vopt and --aopt need a compressor (uncompressed output has no options)");
  if (plan.NoOptimumVideoCompressor && args.vcodec.empty() && !args.quiet)
    std::fprintf(stderr, "%s\n", kNoOptimumVideoCompressor);
  return -1;
}

// Runs the join with progress on the terminal and Ctrl+C as cancel.
int RunJoinJob(const TJoinArgs& args, const TJoinRequest& request, const TJoinPlan& plan, const IEngines& engines) {
  InstallInterruptHandler();
  const bool visible = !args.quiet && ::isatty(STDERR_FILENO);
  TJoinReport report;
  try {
    TTerminalProgress progress(stderr, visible);
    progress.SetCaption(kJoiningCaption);
    // The dialog speaks of files when there are several.
    progress.SetText(request.Files.size() > 1 ? kFilesBeingJoinedText : kFileBeingJoinedText);
    progress.Show();
    report = RunJoin(request, plan, engines, progress).Report;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Join fails: %s\n", e.what());
    return kExitFailure;
  }
  if (InterruptRequested()) {
    std::fprintf(stderr, "Cancelled: \"%s\" holds what was joined so far.\n", args.output.c_str());
    return kExitCancelled;
  }
  for (const std::string& note : report.Notes) std::fprintf(stderr, "- %s\n", note.c_str());
  if (!args.quiet) {
    if (report.Counted)
      std::fprintf(stderr, "%s\n", JoinReportText(static_cast<int>(request.Files.size()), report).c_str());
    std::printf("%s\n", args.output.c_str());
  }
  return report.Damaged ? kExitDamaged : kExitOk;
}

}  // namespace

int MakeRequest(const TJoinArgs& args, std::vector<TVideoFileInfo> files, TJoinRequest& r) {
  r.Files = std::move(files);
  r.OutputFileName = args.output;
  r.Route = args.copy         ? TJoinRoute::Copy
            : args.recompress ? TJoinRoute::Recompress
            : args.smart      ? TJoinRoute::Smart
                              : TJoinRoute::Auto;
  r.WithoutSound = args.withoutSound;
  r.CorrectTimeStamps = args.correctTimeStamps;
  r.ExactCopy = args.exact;
  r.VerifyFully = args.verify;
  r.Overwrite = args.overwrite;
  r.Trims = args.trims;
  r.Cut = args.cut;
  return ParseSettings(args, r);
}

int RunJoinCommand(const std::vector<std::string>& arguments, const TJoinServices& services) {
  TJoinArgs args;
  int rc = ParseJoinArgs(arguments, args);
  if (rc >= 0) return rc;
  const bool recompresses = services.Engines->Runs(TPlanRoute::Recompress);
  auto handOver = [&] {
    if (services.HandingOver) services.HandingOver();
    return kHandOver;
  };
  if (args.recompress && !recompresses) return handOver();
  if ((rc = CheckJoinArgs(args)) >= 0) return rc;

  // Probe as the desktop list adds files: a file that cannot be read is
  // reported by the name as given and fails the command.
  std::vector<TVideoFileInfo> probed;
  bool all = true;
  for (const std::string& in : args.inputs) {
    TVideoFileInfo info;
    try {
      if (!services.Probe(FullPath(in), info)) return handOver();
      probed.push_back(info);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Unable to add file %s: %s.\n", in.c_str(), e.what());
      all = false;
    }
  }
  if (!all) return kExitFailure;
  TJoinRequest request;
  if ((rc = MakeRequest(args, std::move(probed), request)) >= 0) return rc;
  const TJoinPlan plan = MakeJoinPlan(request, *services.Encoders);
  // This executable lacks the engine the plan needs, or the encoders a
  // better plan would use.
  if (!recompresses && (!plan.Accepted() || !services.Engines->Runs(plan.Route))) return handOver();
  const bool compressorsNamed = !args.vcodec.empty() || !args.acodec.empty() || !args.vopts.empty() || !args.aopts.empty();
  if ((plan.Route == TPlanRoute::Recompress || (!plan.Accepted() && compressorsNamed)) &&
      (rc = CheckCompressors(args, plan, *services.Encoders)) >= 0)
    return rc;
  if (!plan.Accepted()) {
    // A refused copy names the first difference as the dialog does.
    const std::string why = args.copy && !plan.CanCopy ? plan.DialogNote : plan.Refusal;
    std::fprintf(stderr, "vantrel-cli: %s\n", why.c_str());
    return kExitFailure;
  }
  if (!args.quiet && !plan.WhyRecompress.empty())
    std::fprintf(stderr, "%s: %s\n", plan.Kind() == TEngineKind::Mixed ? "Joining with a smart join" : "Joining with recompression",
                 plan.WhyRecompress.c_str());
  // What changes the output (sound left out, a picture made shallower) is
  // said even when quiet: -q hides progress and the report only.
  for (const std::string& note : plan.Notes) std::fprintf(stderr, "%s\n", note.c_str());
  return RunJoinJob(args, request, plan, *services.Engines);
}

}  // namespace vantrel::cli
