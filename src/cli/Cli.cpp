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

#include "base/Exceptions.h"
#include "base/PosixFile.h"
#include "cli/CliJoin.h"
#include "cli/OpenedInputs.h"
#include "job/Encoders.h"
#include "job/FileList.h"
#include "job/JoinCls.h"
#include "job/SaveProjectCls.h"
#include "plan/EncoderCatalog.h"
#include "plan/JoinOptions.h"
#include "probe/FileInfo.h"

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
  // The list's cells need no encoders: its plan is not printed, and listing
  // this machine's encoders test-opens each of them.
  TFileList list([](const std::string& f) { return GetVideoFileInfo(f); }, '.', NoEncoders());
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
  const TContainer* format = nullptr;
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string& s = a[i];
    if (s == "--video") {
      audio = false;
    } else if (s == "--audio") {
      video = false;
    } else if (s == "--container" || s.rfind("--container=", 0) == 0) {
      const std::string name = s == "--container" ? (i + 1 < a.size() ? a[++i] : "") : s.substr(12);
      format = ContainerNamed(name);
      if (!format || !format->Recompresses())
        return UsageError("--container takes avi, mp4, mov, mkv or webm, not \"" + name + "\"");
    } else {
      return UsageError("unknown option \"" + s + "\"");
    }
  }
  if (!video && !audio) video = audio = true;
  const IEncoderCatalog& encoders = MachineEncoders();
  std::vector<std::string> vnames, anames;
  if (format && !format->IsAvi()) {
    // The encoder names --vcodec and --acodec take, the default first.
    vnames = encoders.Available(format->Id, false);
    anames = encoders.Available(format->Id, true);
    if (!vnames.empty()) vnames.front() += " (default)";
    if (!anames.empty()) anames.front() += " (default)";
  } else {
    anames.push_back(kNoCompressingItem);
    vnames = encoders.AviCompressors(false).Names;
    const std::vector<std::string>& sound = encoders.AviCompressors(true).Names;
    anames.insert(anames.end(), sound.begin(), sound.end());
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
  // Lengths are not shown here, and the recompressing join measures its
  // own. A file vantrel-cli opened already is read through its handle.
  services.Probe = [](const std::string& path, TVideoFileInfo& info) {
    info = ProbeFile(TakeOpenedOrOpen(path), path, false);
    return true;
  };
  services.Engines = &AllEngines();
  services.Encoders = &MachineEncoders();
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
