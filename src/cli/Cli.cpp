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
#include "core/Exceptions.h"
#include "core/FileInfo.h"
#include "core/FileList.h"
#include "core/JoinCls.h"
#include "core/JoinOptions.h"
#include "core/PosixFile.h"
#include "core/SaveProjectCls.h"
#include "dshow/Compressors.h"

namespace vantrel::cli {
namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  vantrel-cli join [--copy | --recompress] -o OUTPUT [options] INPUT...\n"
    "  vantrel-cli probe [--json] FILE...\n"
    "  vantrel-cli codecs [--video | --audio]\n"
    "  vantrel-cli project save FILE.qmf INPUT...\n"
    "  vantrel-cli project show FILE.qmf\n"
    "  vantrel-cli --help | --version\n"
    "\n"
    "join: joins the INPUT files, in the order given, into OUTPUT. Without\n"
    "--copy or --recompress, the files are joined without recompression when\n"
    "they allow it with their sound, and recompressed otherwise.\n"
    "  --copy            join without recompression (AVI files with identical\n"
    "                    video, MPEG-1 system streams, MPEG video streams)\n"
    "  --recompress      decode and re-encode\n"
    "  -o, --output FILE the file to write\n"
    "  --project FILE.qmf  take the inputs from a project file (after any INPUT)\n"
    "  --without-sound   leave the sound out (the default when some input has\n"
    "                    no sound or a sound format different from the first)\n"
    "  --correct-timestamps\n"
    "                    MPEG-1: shift clock references and time stamps so that\n"
    "                    every file continues the previous one\n"
    "  -y, --overwrite   replace OUTPUT when it exists\n"
    "Recompression (defaults: as the join options dialog computes them):\n"
    "  --size WxH        output frame size\n"
    "  --rate R          output frame rate\n"
    "  --resize letterbox|crop|stretch|none\n"
    "  --vcodec NAME|none  video compressor (encoder name, see codecs)\n"
    "  --acodec NAME|none  audio compressor (encoder name, see codecs)\n"
    "  --vopt KEY=VALUE  video compressor option (b, g, quality, crf, preset, ...)\n"
    "  --aopt KEY=VALUE  audio compressor option (b, ...)\n"
    "  -q, --quiet       no progress display\n"
    "\n"
    "probe: one line per file with the file list's columns, tab-separated:\n"
    "File name, Duration, Type, Frame size, Frame rate, Audio, Folder.\n"
    "  --json            every probed field instead, difference flags included\n"
    "\n"
    "project: save writes the INPUT files' full paths as a project; show prints\n"
    "a project's paths, one per line.\n"
    "\n"
    "codecs: the compressors a recompressing join can use, as the join options\n"
    "dialog lists them, \"<description> (<encoder name>)\".\n"
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
  // Recompression; empty: the computed default.
  std::string size, rate, resize, vcodec, acodec;
  std::vector<std::string> vopts, aopts;
};

// Applies KEY=VALUE options to the encoder's stored values.
bool StoreOptions(const std::string& encoder, const std::vector<std::string>& opts) {
  if (encoder.empty() || opts.empty()) return true;
  auto values = CompressorOptionStore().Get(encoder);
  for (const std::string& o : opts) {
    size_t eq = o.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    values[o.substr(0, eq)] = o.substr(eq + 1);
  }
  CompressorOptionStore().Set(encoder, values);
  return true;
}

// Index of an encoder name in a moniker list, or -2 when absent.
int IndexOfEncoder(const std::vector<std::string>& monikers, const std::string& name) {
  for (size_t i = 0; i < monikers.size(); ++i)
    if (monikers[i] == name) return static_cast<int>(i);
  return -2;
}

// Fills the recompression settings: what was asked, else the defaults the
// join options dialog computes. Returns an exit status, or -1 to go on.
int RecompressionSettings(const TJoinArgs& args, const TFileList& list, TJoinOptions& o) {
  auto infos = list.Infos();
  TFrameRateItems rates = FillFrameRates(infos);
  TJoinDefaults d = ComputeDefaults(infos, rates.Items);
  o.FrameWidth = d.FrameWidth;
  o.FrameHeight = d.FrameHeight;
  o.FrameRateText = rates.Items[static_cast<size_t>(d.FrameRateIndex)];
  o.ResizeMethodIndex = d.ResizeMethod;
  if (!args.size.empty()) {
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(args.size.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') || w <= 0 ||
        h <= 0 || w > 16384 || h > 16384)
      return UsageError("--size takes WIDTHxHEIGHT, for example 352x288");
    o.FrameWidth = w;
    o.FrameHeight = h;
  }
  if (!args.rate.empty()) o.FrameRateText = args.rate;
  if (!args.resize.empty()) {
    const std::vector<std::string> names = {"letterbox", "crop", "stretch", "none"};
    auto it = std::find(names.begin(), names.end(), args.resize);
    if (it == names.end()) return UsageError("--resize takes letterbox, crop, stretch or none");
    o.ResizeMethodIndex = static_cast<int>(it - names.begin());
  }

  std::vector<std::string> vnames;
  EnumCompressors(false, &vnames, &o.VideoCompressors);
  std::vector<std::string> anames = {kNoCompressingItem};
  o.AudioCompressors = {""};
  EnumCompressors(true, &anames, &o.AudioCompressors);
  if (args.vcodec.empty()) {
    bool none = false;
    o.VideoCompressorIndex = ChooseVideoCompressor(vnames, -1, &none);
    if (none && !args.quiet) std::fprintf(stderr, "%s\n", kNoOptimumVideoCompressor);
  } else if (args.vcodec == "none") {
    o.VideoCompressorIndex = -1;
  } else if ((o.VideoCompressorIndex = IndexOfEncoder(o.VideoCompressors, args.vcodec)) < 0) {
    std::fprintf(stderr, "vantrel-cli: \"%s\" is not a video compressor here; see vantrel-cli codecs --video\n",
                 args.vcodec.c_str());
    return kExitFailure;
  }
  if (args.acodec.empty()) {
    o.AudioCompressorIndex = ChooseAudioCompressor(anames, -1);
  } else if (args.acodec == "none") {
    o.AudioCompressorIndex = 0;
  } else if ((o.AudioCompressorIndex = IndexOfEncoder(o.AudioCompressors, args.acodec)) < 1) {
    std::fprintf(stderr, "vantrel-cli: \"%s\" is not an audio compressor here; see vantrel-cli codecs --audio\n",
                 args.acodec.c_str());
    return kExitFailure;
  }
  auto chosen = [](const std::vector<std::string>& m, int i) {
    return i >= 0 && i < static_cast<int>(m.size()) ? m[static_cast<size_t>(i)] : std::string();
  };
  if (!StoreOptions(chosen(o.VideoCompressors, o.VideoCompressorIndex), args.vopts) ||
      !StoreOptions(chosen(o.AudioCompressors, o.AudioCompressorIndex), args.aopts))
    return UsageError("--vopt and --aopt take KEY=VALUE, for the compressor in use");
  if ((!args.vopts.empty() && chosen(o.VideoCompressors, o.VideoCompressorIndex).empty()) ||
      (!args.aopts.empty() && chosen(o.AudioCompressors, o.AudioCompressorIndex).empty()))
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
  for (const std::string& s : a) {
    if (s == "--video")
      audio = false;
    else if (s == "--audio")
      video = false;
    else
      return UsageError("unknown option \"" + s + "\"");
  }
  if (!video && !audio) video = audio = true;
  std::vector<std::string> vnames, anames = {kNoCompressingItem};
  EnumCompressors(false, &vnames, nullptr);
  EnumCompressors(true, &anames, nullptr);
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
  const bool withoutSound = args.withoutSound || flags.JoinWithoutSound;
  if (copy && !args.quiet && flags.JoinWithoutSound && !flags.NoAudio)
    std::fprintf(stderr, "%s\n", kNoteWithoutSound);
  TJoinOptions options;
  if (!copy) {
    int rc = RecompressionSettings(args, list, options);
    if (rc >= 0) return rc;
  }

  InstallInterruptHandler();
  const bool visible = !args.quiet && ::isatty(STDERR_FILENO);
  SetProgressFactory([visible] { return std::make_unique<TTerminalProgress>(stderr, visible); });
  try {
    for (const TFileListRow& row : list.Rows()) options.Files.push_back(row.Info);
    options.OutputFileName = args.output;
    options.JoinWithoutRecompression = copy;
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
      } else if (s == "--project") {
        if (i + 1 >= a.size()) return UsageError(s + " needs a file name");
        try {
          TProjectSettings project;
          project.LoadFromFile(a[++i]);
          args.inputs.insert(args.inputs.end(), project.Files.begin(), project.Files.end());
        } catch (const std::exception& e) {
          std::fprintf(stderr, "vantrel-cli: %s\n", e.what());
          return kExitFailure;
        }
      } else if (s == "--size" || s == "--rate" || s == "--resize" || s == "--vcodec" || s == "--acodec" ||
                 s == "--vopt" || s == "--aopt") {
        if (i + 1 >= a.size()) return UsageError(s + " needs a value");
        const std::string& v = a[++i];
        if (s == "--size") args.size = v;
        else if (s == "--rate") args.rate = v;
        else if (s == "--resize") args.resize = v;
        else if (s == "--vcodec") args.vcodec = v;
        else if (s == "--acodec") args.acodec = v;
        else if (s == "--vopt") args.vopts.push_back(v);
        else args.aopts.push_back(v);
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
  if (a[0] == "codecs") return RunCodecsCommand(rest);
  if (a[0] == "project") return RunProjectCommand(rest);
  return UsageError("unknown command \"" + a[0] + "\"");
}

}  // namespace vantrel::cli
