// vantrel-cli: probes and joins video files from the command line.
#include "cli/Cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/TerminalProgress.h"
#include "base/CopyFormat.h"
#include "base/Exceptions.h"
#include "core/FileInfo.h"
#include "core/FileList.h"
#include "core/JoinCls.h"
#include "core/JoinOptions.h"
#include "core/RecompressEngine.h"
#include "recompress/OutputFormats.h"
#include "base/PosixFile.h"
#include "core/SaveProjectCls.h"
#include "cli/CliJoin.h"
#include "recompress/Compressors.h"

#include <map>

namespace vantrel::cli {
namespace {

std::string JsonString(const std::string& s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          r += buf;
        } else {
          r += static_cast<char>(c);
        }
    }
  }
  return r + "\"";
}

std::string JsonNumber(double v) {
  if (!std::isfinite(v)) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string Json(const TVideoFileInfo& i) {
  auto b = [](bool v) { return v ? "true" : "false"; };
  std::string s = "  {\n";
  s += "    \"FileName\": " + JsonString(i.FileName) + ",\n";
  s += "    \"MediaType\": " + JsonString(i.MediaType) + ",\n";
  s += "    \"FrameRate\": " + JsonNumber(i.FrameRate) + ",\n";
  s += "    \"Width\": " + std::to_string(i.Width) + ",\n";
  s += "    \"Height\": " + std::to_string(i.Height) + ",\n";
  s += std::string("    \"HasAudio\": ") + b(i.HasAudio) + ",\n";
  s += "    \"Channels\": " + std::to_string(i.Channels) + ",\n";
  s += "    \"SampleRate\": " + std::to_string(i.SampleRate) + ",\n";
  s += "    \"BitsPerSample\": " + std::to_string(i.BitsPerSample) + ",\n";
  s += "    \"AudioFormatTag\": " + std::to_string(i.AudioFormatTag) + ",\n";
  s += "    \"Duration\": " + JsonNumber(i.Duration) + ",\n";
  s += "    \"VideoFourCC\": " + std::to_string(i.VideoFourCC) + ",\n";
  s += std::string("    \"VideoDiffers\": ") + b(i.VideoDiffers) + ",\n";
  s += std::string("    \"TypeDiffers\": ") + b(i.TypeDiffers) + ",\n";
  s += std::string("    \"FrameSizeDiffers\": ") + b(i.FrameSizeDiffers) + ",\n";
  s += std::string("    \"FrameRateDiffers\": ") + b(i.FrameRateDiffers) + ",\n";
  s += std::string("    \"AudioDiffers\": ") + b(i.AudioDiffers) + "\n";
  return s + "  }";
}

int RunProbeCommand(const std::vector<std::string>& a) {
  bool json = false;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (const std::string& s : a) {
    if (!optionsEnded && s == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && s == "--json") {
      json = true;
    } else if (!optionsEnded && s.size() > 1 && s[0] == '-') {
      return UsageError("unknown option \"" + s + "\"");
    } else {
      files.push_back(s);
    }
  }
  if (files.empty()) return UsageError("no files given");
  TFileList list;
  bool all = ProbeFiles(files, list);
  if (json) {
    std::string out = "[\n";
    for (int i = 0; i < list.Count(); ++i) out += Json(list.Row(i).Info) + (i + 1 < list.Count() ? ",\n" : "\n");
    std::fputs((out + "]\n").c_str(), stdout);
  } else {
    for (const TFileListRow& row : list.Rows()) {
      std::string line;
      for (size_t c = 0; c < row.Cells.size(); ++c) line += (c ? "\t" : "") + row.Cells[c];
      std::printf("%s\n", line.c_str());
    }
  }
  return all ? kExitOk : kExitFailure;
}

// KEY=VALUE options into values; false for one without a key.
bool ParseOptions(const std::vector<std::string>& opts, std::map<std::string, std::string>& values) {
  for (const std::string& o : opts) {
    size_t eq = o.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    values[o.substr(0, eq)] = o.substr(eq + 1);
  }
  return true;
}

// Index of an encoder name in a moniker list, or -2 when absent.
int IndexOfEncoder(const std::vector<std::string>& monikers, const std::string& name) {
  for (size_t i = 0; i < monikers.size(); ++i)
    if (monikers[i] == name) return static_cast<int>(i);
  return -2;
}

// The encoders for one of today's containers: those named, else the
// container's defaults. Returns an exit status, or -1 to go on.
int ContainerEncoders(const TJoinArgs& args, const TRecompressFormat& format, TJoinRequest& o) {
  auto pick = [&](const std::string& asked, bool audio, std::string& encoder) {
    const std::vector<std::string> offered = AvailableEncoders(format, audio);
    if (asked.empty()) {
      encoder = offered.empty() ? std::string() : offered.front();
      return true;
    }
    if (std::find(offered.begin(), offered.end(), asked) != offered.end()) {
      encoder = asked;
      return true;
    }
    std::fprintf(stderr, "vantrel-cli: \"%s\" is not a%s %s compressor for %s%s files here; see vantrel-cli codecs --container %s\n",
                 asked.c_str(), audio ? "n" : "", audio ? "audio" : "video", ArticleFor(format.Shown).c_str(),
                 format.Shown.c_str(), format.Extensions.front().substr(1).c_str());
    return false;
  };
  if (!pick(args.vcodec, false, o.VideoEncoder.Encoder) || !pick(args.acodec, true, o.AudioEncoder.Encoder))
    return kExitFailure;
  if (!ParseOptions(args.vopts, o.VideoEncoder.Options) || !ParseOptions(args.aopts, o.AudioEncoder.Options))
    return UsageError("--vopt and --aopt take KEY=VALUE, for the compressor in use");
  return -1;
}

// Fills the recompression settings: what was asked, else the defaults the
// join options dialog computes (for AVI), or those of the files that hold
// most of the playing time (for today's containers). Returns an exit
// status, or -1 to go on.
int RecompressionSettings(const TJoinArgs& args, TJoinRequest& o) {
  std::vector<const TVideoFileInfo*> infos;
  for (const TVideoFileInfo& f : o.Files) infos.push_back(&f);
  // The plan has refused a name the recompressing join cannot write.
  const TRecompressFormat* format = RecompressFormatOfFileName(o.OutputFileName);
  const bool avi = !format || format->Avi();
  std::string rateText;
  if (avi) {
    TFrameRateItems rates = FillFrameRates(infos);
    TJoinDefaults d = ComputeDefaults(infos, rates.Items);
    o.Recompress.FrameWidth = d.FrameWidth;
    o.Recompress.FrameHeight = d.FrameHeight;
    rateText = rates.Items[static_cast<size_t>(d.FrameRateIndex)];
    o.Recompress.ResizeMethod = d.ResizeMethod;
  } else {
    o.Recompress = MajorityFormat(infos);
  }
  if (!args.size.empty()) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(args.size.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') || w <= 0 ||
        h <= 0 || w > 16384 || h > 16384)
      return UsageError("--size takes WIDTHxHEIGHT, for example 352x288");
    o.Recompress.FrameWidth = w;
    o.Recompress.FrameHeight = h;
  }
  if (!args.rate.empty()) rateText = args.rate;
  if (!rateText.empty()) {
    // A fraction too: 30000/1001 as exactly as 29.97 names it.
    int num = 0, den = 0;
    char slash = 0, extra = 0;
    if (std::sscanf(rateText.c_str(), "%d%c%d%c", &num, &slash, &den, &extra) == 3 && slash == '/') {
      if (num <= 0 || den <= 0) return UsageError("--rate takes a rate above 0, such as 25, 29.97 or 30000/1001");
      o.Recompress.FrameRate = static_cast<double>(num) / den;
    } else {
      try {
        o.Recompress.FrameRate = StrToFloat(rateText);
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
    o.Recompress.ResizeMethod = ResizeMethodOfItem(static_cast<int>(it - names.begin()));
  }

  if (!avi) return ContainerEncoders(args, *format, o);

  std::vector<std::string> vnames, vmonikers;
  EnumCompressors(false, &vnames, &vmonikers);
  std::vector<std::string> anames = {kNoCompressingItem}, amonikers = {""};
  EnumCompressors(true, &anames, &amonikers);
  auto chosen = [](const std::vector<std::string>& m, int i) {
    return i >= 0 && i < static_cast<int>(m.size()) ? m[static_cast<size_t>(i)] : std::string();
  };
  // A compressor named on the command line: "none", or one of the list's.
  auto named = [](const std::string& asked, const std::vector<std::string>& monikers, const char* kind,
                  std::string& encoder) {
    if (asked == "none") return true;
    if (IndexOfEncoder(monikers, asked) < 0 || asked.empty()) {
      std::fprintf(stderr, "vantrel-cli: \"%s\" is not a%s %s compressor here; see vantrel-cli codecs --%s\n",
                   asked.c_str(), kind[0] == 'a' ? "n" : "", kind, kind);
      return false;
    }
    encoder = asked;
    return true;
  };
  if (args.vcodec.empty()) {
    bool none = false;
    o.VideoEncoder.Encoder = chosen(vmonikers, ChooseVideoCompressor(vnames, -1, &none));
    if (none && !args.quiet) std::fprintf(stderr, "%s\n", kNoOptimumVideoCompressor);
  } else if (!named(args.vcodec, vmonikers, "video", o.VideoEncoder.Encoder)) {
    return kExitFailure;
  }
  if (args.acodec.empty()) {
    o.AudioEncoder.Encoder = chosen(amonikers, ChooseAudioCompressor(anames, -1));
  } else if (!named(args.acodec, amonikers, "audio", o.AudioEncoder.Encoder)) {
    return kExitFailure;
  }
  if (!ParseOptions(args.vopts, o.VideoEncoder.Options) || !ParseOptions(args.aopts, o.AudioEncoder.Options))
    return UsageError("--vopt and --aopt take KEY=VALUE, for the compressor in use");
  if ((!args.vopts.empty() && o.VideoEncoder.Encoder.empty()) || (!args.aopts.empty() && o.AudioEncoder.Encoder.empty()))
    return UsageError("--vopt and --aopt need a compressor (uncompressed output has no options)");
  return -1;
}

int RunProjectCommand(const std::vector<std::string>& a) {
  if (a.size() >= 2 && a[0] == "show" && a.size() == 2) {
    try {
      TProjectSettings project;
      project.LoadFromFile(a[1]);
      for (const std::string& f : project.Files) std::printf("%s\n", f.c_str());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vantrel-cli: %s\n", e.what());
      return kExitFailure;
    }
    return kExitOk;
  }
  if (a.size() >= 2 && a[0] == "save") {
    try {
      TProjectSettings project;
      for (size_t i = 2; i < a.size(); ++i) project.Files.push_back(FullPath(a[i]));
      project.SaveToFile(a[1]);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vantrel-cli: %s\n", e.what());
      return kExitFailure;
    }
    return kExitOk;
  }
  return UsageError("project takes \"save FILE.qmf INPUT...\" or \"show FILE.qmf\"");
}

int RunCodecsCommand(const std::vector<std::string>& a) {
  bool video = true, audio = true;
  const TRecompressFormat* format = nullptr;
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string& s = a[i];
    if (s == "--video") {
      audio = false;
    } else if (s == "--audio") {
      video = false;
    } else if (s == "--container" || s.rfind("--container=", 0) == 0) {
      const std::string name = s == "--container" ? (i + 1 < a.size() ? a[++i] : "") : s.substr(12);
      format = RecompressFormatNamed(name);
      if (!format) return UsageError("--container takes avi, mp4, mov, mkv or webm, not \"" + name + "\"");
    } else {
      return UsageError("unknown option \"" + s + "\"");
    }
  }
  if (!video && !audio) video = audio = true;
  std::vector<std::string> vnames, anames;
  if (format && !format->Avi()) {
    // The encoder names --vcodec and --acodec take, the default first.
    vnames = AvailableEncoders(*format, false);
    anames = AvailableEncoders(*format, true);
    if (!vnames.empty()) vnames.front() += " (default)";
    if (!anames.empty()) anames.front() += " (default)";
  } else {
    anames.push_back(kNoCompressingItem);
    EnumCompressors(false, &vnames, nullptr);
    EnumCompressors(true, &anames, nullptr);
  }
  const bool both = video && audio;
  if (video) {
    if (both) std::puts("Video compressors:");
    for (const auto& n : vnames) std::printf("%s%s\n", both ? "  " : "", n.c_str());
  }
  if (audio) {
    if (both) std::puts("Audio compressors:");
    for (const auto& n : anames) std::printf("%s%s\n", both ? "  " : "", n.c_str());
  }
  return kExitOk;
}

int RunFullJoinCommand(const std::vector<std::string>& a) {
  TJoinServices services;
  // Lengths are not shown here, and the recompressing join measures its own.
  services.Probe = [](const std::string& path, TVideoFileInfo& info) {
    info = GetVideoFileInfo(path, false);
    return true;
  };
  services.Engines = AllEngines();
  services.RecompressionSettings = RecompressionSettings;
  return RunJoinCommand(a, services);
}

}  // namespace

int Main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.empty()) return UsageError("no command given");
  if (a[0] == "--help" || a[0] == "-h" || a[0] == "help") {
    // "help COMMAND" is "COMMAND --help".
    const std::string one = a[0] == "help" && a.size() > 1 ? CommandUsage(a[1]) : std::string();
    std::fputs(one.empty() ? kUsage : one.c_str(), stdout);
    return kExitOk;
  }
  if (a[0] == "--version") {
    std::puts("vantrel-cli " VANTREL_VERSION);
    return kExitOk;
  }
  std::vector<std::string> rest(a.begin() + 1, a.end());
  // join reads its own options, --help among them.
  if (a[0] != "join" && !CommandUsage(a[0]).empty() && AsksForHelp(rest)) {
    std::fputs(CommandUsage(a[0]).c_str(), stdout);
    return kExitOk;
  }
  if (a[0] == "join") return RunFullJoinCommand(rest);
  if (a[0] == "probe") return RunProbeCommand(rest);
  if (a[0] == "codecs") return RunCodecsCommand(rest);
  if (a[0] == "project") return RunProjectCommand(rest);
  return UsageError("unknown command \"" + a[0] + "\"");
}

}  // namespace vantrel::cli
