// vantrel-cli: probes and joins video files from the command line.
#include "cli/Cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/TerminalProgress.h"
#include "core/Exceptions.h"
#include "core/FileInfo.h"
#include "core/FileList.h"
#include "core/JoinCls.h"
#include "core/JoinOptions.h"
#include "core/PosixFile.h"

namespace vantrel::cli {
namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  vantrel-cli join [--copy | --recompress] -o OUTPUT [options] INPUT...\n"
    "  vantrel-cli probe [--json] FILE...\n"
    "  vantrel-cli --help | --version\n"
    "\n"
    "join: joins the INPUT files, in the order given, into OUTPUT. Without\n"
    "--copy or --recompress, the files are joined without recompression when\n"
    "they allow it with their sound, and recompressed otherwise.\n"
    "  --copy            join without recompression (AVI files with identical\n"
    "                    video, MPEG-1 system streams, MPEG video streams)\n"
    "  --recompress      decode and re-encode\n"
    "  -o, --output FILE the file to write\n"
    "  --without-sound   leave the sound out (the default when some input has\n"
    "                    no sound or a sound format different from the first)\n"
    "  --correct-timestamps\n"
    "                    MPEG-1: shift clock references and time stamps so that\n"
    "                    every file continues the previous one\n"
    "  -y, --overwrite   replace OUTPUT when it exists\n"
    "  -q, --quiet       no progress display\n"
    "\n"
    "probe: one line per file with the file list's columns, tab-separated:\n"
    "File name, Duration, Type, Frame size, Frame rate, Audio, Folder.\n"
    "  --json            every probed field instead, difference flags included\n"
    "\n"
    "Ctrl+C stops a join; the output then holds what was joined so far.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "vantrel-cli: %s\n\n%s", message.c_str(), kUsage);
  return kExitUsage;
}

// The full path of a file named on the command line.
std::string FullPath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[4096];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  std::string full = cwd;
  std::string rest = path;
  while (rest.rfind("./", 0) == 0) rest.erase(0, 2);
  return full == "/" ? "/" + rest : full + "/" + rest;
}

// Probes files as the desktop list adds them: a file the probe rejects is
// reported (by the name as given) and left out. Returns false when some file
// was left out.
bool ProbeFiles(const std::vector<std::string>& files, TFileList& list) {
  bool all = true;
  for (const std::string& f : files) {
    try {
      list.AddFile(FullPath(f));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Unable to add file %s: %s.\n", f.c_str(), e.what());
      all = false;
    }
  }
  list.UpdateDifferences();
  return all;
}

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

struct TJoinArgs {
  bool copy = false;
  bool recompress = false;
  bool withoutSound = false;
  bool correctTimeStamps = false;
  bool overwrite = false;
  bool quiet = false;
  std::string output;
  std::vector<std::string> inputs;
};

int RunJoinCommand(const TJoinArgs& args) {
  if (args.copy && args.recompress) return UsageError("--copy and --recompress exclude each other");
  if (args.output.empty()) return UsageError("no output file given (-o OUTPUT)");
  if (args.inputs.empty()) return UsageError("no input files given");

  for (const std::string& in : args.inputs) {
    struct stat st;
    if (::stat(in.c_str(), &st) != 0) {
      std::fprintf(stderr, "vantrel-cli: cannot open \"%s\": %s\n", in.c_str(), std::strerror(errno));
      return kExitFailure;
    }
    if (S_ISDIR(st.st_mode)) {
      std::fprintf(stderr, "vantrel-cli: \"%s\" is a folder, not a video file\n", in.c_str());
      return kExitFailure;
    }
  }
  if (FileExists(args.output) && !args.overwrite) {
    std::fprintf(stderr, "vantrel-cli: The \"%s\" file already exists.\nUse --overwrite (-y) to replace it.\n",
                 args.output.c_str());
    return kExitFailure;
  }

  // Decide as the desktop application does from its list.
  TFileList list;
  if (!ProbeFiles(args.inputs, list)) return kExitFailure;
  const TJoinFlags flags = list.JoinFlags();
  const std::string firstType = list.Row(0).Info.MediaType;
  bool copy;
  if (args.copy) {
    if (!flags.CanJoinWithoutRecompression) {
      std::fprintf(stderr, "vantrel-cli: %s\n",
                   JoinNotes(false, flags.JoinWithoutSound, flags.NoAudio, firstType).c_str());
      return kExitFailure;
    }
    copy = true;
  } else if (args.recompress) {
    copy = false;
  } else {
    copy = JoinWithoutRecompressionState(flags.CanJoinWithoutRecompression, flags.JoinWithoutSound, flags.NoAudio)
               .Checked;
  }
  if (!copy) {
    std::fprintf(stderr, "vantrel-cli: joining with recompression is not available yet\n");
    return kExitFailure;
  }
  const bool withoutSound = args.withoutSound || flags.JoinWithoutSound;
  if (!args.quiet && flags.JoinWithoutSound && !flags.NoAudio)
    std::fprintf(stderr, "%s\n", kNoteWithoutSound);

  InstallInterruptHandler();
  const bool visible = !args.quiet && ::isatty(STDERR_FILENO);
  SetProgressFactory([visible] { return std::make_unique<TTerminalProgress>(stderr, visible); });
  try {
    TJoinOptions options;
    for (const TFileListRow& row : list.Rows()) options.Files.push_back(row.Info);
    options.OutputFileName = args.output;
    options.JoinWithoutRecompression = true;
    options.JoinWithoutSound = withoutSound;
    options.CorrectTimeStamps = args.correctTimeStamps;
    RunJoin(options);
  } catch (const std::exception& e) {
    SetProgressFactory({});
    std::fprintf(stderr, "Join fails: %s\n", e.what());
    return kExitFailure;
  }
  SetProgressFactory({});
  if (InterruptRequested()) {
    std::fprintf(stderr, "Cancelled: \"%s\" holds what was joined so far.\n", args.output.c_str());
    return kExitCancelled;
  }
  if (!args.quiet) std::printf("%s\n", args.output.c_str());
  return kExitOk;
}

int ParseJoin(const std::vector<std::string>& a) {
  TJoinArgs args;
  bool optionsEnded = false;
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string& s = a[i];
    if (!optionsEnded && s.size() > 1 && s[0] == '-') {
      if (s == "--") {
        optionsEnded = true;
      } else if (s == "--copy") {
        args.copy = true;
      } else if (s == "--recompress") {
        args.recompress = true;
      } else if (s == "--correct-timestamps") {
        args.correctTimeStamps = true;
      } else if (s == "--without-sound") {
        args.withoutSound = true;
      } else if (s == "-y" || s == "--overwrite") {
        args.overwrite = true;
      } else if (s == "-q" || s == "--quiet") {
        args.quiet = true;
      } else if (s == "-o" || s == "--output") {
        if (i + 1 >= a.size()) return UsageError(s + " needs a file name");
        args.output = a[++i];
      } else if (s.rfind("--output=", 0) == 0) {
        args.output = s.substr(9);
      } else {
        return UsageError("unknown option \"" + s + "\"");
      }
    } else {
      args.inputs.push_back(s);
    }
  }
  return RunJoinCommand(args);
}

}  // namespace

int Main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.empty()) return UsageError("no command given");
  if (a[0] == "--help" || a[0] == "-h" || a[0] == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (a[0] == "--version") {
    std::puts("vantrel-cli 2.10");
    return kExitOk;
  }
  std::vector<std::string> rest(a.begin() + 1, a.end());
  if (a[0] == "join") return ParseJoin(rest);
  if (a[0] == "probe") return RunProbeCommand(rest);
  return UsageError("unknown command \"" + a[0] + "\"");
}

}  // namespace vantrel::cli
