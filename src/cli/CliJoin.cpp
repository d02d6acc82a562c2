// The join command's shared parts.
#include "cli/CliJoin.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/Cli.h"
#include "base/Exceptions.h"
#include "base/Names.h"
#include "plan/JoinPlan.h"
#include "plan/JoinOptions.h"
#include "base/PosixFile.h"
#include "job/SaveProjectCls.h"

namespace vantrel::cli {

namespace {

// Each command's lines of the synopsis and its section of the help, in the
// order the full usage text lists them.
struct TCommandHelp {
  const char* name;
  const char* synopsis;
  const char* text;
};

constexpr TCommandHelp kCommandHelp[] = {
    {"join", "  vantrel-cli join [--copy | --smart | --recompress] -o OUTPUT [options]\n"
     "                   [--in TIME] [--out TIME] INPUT...\n",
     "join: joins the INPUT files, in the order given, into OUTPUT. Without\n"
     "--copy, --smart or --recompress, the files are joined without\n"
     "recompression when they allow it with their sound, with a smart join when\n"
     "that applies, and recompressed otherwise.\n"
     "  --copy            join without recompression (AVI files with identical\n"
     "                    video, MPEG-1 system streams, MPEG video streams, and\n"
     "                    MP4, MOV, Matroska, WebM, MPEG-TS, MPEG-PS or FLV files\n"
     "                    with identical streams)\n"
     "  --smart           copy the files with identical streams that hold most of\n"
     "                    the playing time, re-encode only the others to their\n"
     "                    format (H.264, HEVC, VP9 or AV1 in MP4, MOV, Matroska,\n"
     "                    WebM or MPEG-TS)\n"
     "  --recompress      decode and re-encode\n"
     "  -o, --output FILE the file to write\n"
     "  --project FILE.qmf  take the inputs from a project file (after any INPUT)\n"
     "  --in TIME, --out TIME\n"
     "                    before an INPUT: join only its part from TIME in to\n"
     "                    TIME out (seconds or [[HH:]MM:]SS[.fff])\n"
     "  --cut exact|keyframe\n"
     "                    exact (the default): cut at the frames asked for, the\n"
     "                    files re-encoded; keyframe: cut at the key frame before\n"
     "                    each in-point and after each out-point, every packet\n"
     "                    copied (MP4, MOV, Matroska, WebM, MPEG-TS, FLV)\n"
     "  --without-sound   leave the sound out (the default when some input has\n"
     "                    no sound or a sound format different from the first)\n"
     "  --exact           AVI: copy every chunk as it is, without padding or cutting\n"
     "                    the sound to keep it with the video at each join\n"
     "  --no-correct-timestamps\n"
     "                    MPEG-1: copy clock references and time stamps as they\n"
     "                    are (by default they are shifted so that every file\n"
     "                    continues the previous one)\n"
     "  --verify          read the whole output back after a join without\n"
     "                    recompression and compare it with what was written\n"
     "                    (MP4, MOV and AVI outputs are always checked by their index)\n"
     "  -y, --overwrite   replace OUTPUT when it exists\n"
     "  -q, --quiet       no progress display and no report (what changes the\n"
     "                    output, such as sound left out, is still said)\n"
     "Recompression writes the file OUTPUT's extension names: .mp4, .m4v or .mov\n"
     "(H.264 and AAC), .mkv (H.264 and Opus), .webm (VP9 and Opus), each with the\n"
     "frame size and rate of the files that hold most of the playing time and\n"
     "a chapter per input; or .avi, with the join options dialog's defaults.\n"
     "  --size WxH        output frame size\n"
     "  --rate R          output frame rate (25, 29.97, 30000/1001, ...)\n"
     "  --resize letterbox|crop|stretch|none\n"
     "  --vcodec NAME|none  video compressor (encoder name, see codecs\n"
     "                    --container EXT; none: uncompressed, AVI only)\n"
     "  --acodec NAME|none  audio compressor (likewise)\n"
     "  --vopt KEY=VALUE  video compressor option (b, g, quality, crf, preset, ...)\n"
     "  --aopt KEY=VALUE  audio compressor option (b, ...)\n"
     "Ctrl+C (or SIGTERM, SIGHUP) stops a join; the output then holds what was\n"
     "joined so far. The output takes its name only when the join has ended.\n"
     "Exit status 3: the join ended, but an input gave less than it promised\n"
     "(cut short or damaged; each such file is named).\n"},
    {"probe", "  vantrel-cli probe [--json] FILE...\n",
     "probe: one line per file with the file list's columns, tab-separated:\n"
     "File name, Duration, Type, Frame size, Frame rate, Audio, Folder.\n"
     "  --json            every probed field instead, difference flags included\n"},
    {"codecs", "  vantrel-cli codecs [--video | --audio] [--container EXT]\n",
     "codecs: the compressors a recompressing join can use. For AVI, as the join\n"
     "options dialog lists them, \"<description> (<encoder name>)\"; for another\n"
     "container, the encoder names it takes, its default marked.\n"
     "  --video           only the video compressors\n"
     "  --audio           only the audio compressors\n"
     "  --container EXT   avi (the default), mp4, mov, mkv or webm\n"},
    {"project",
     "  vantrel-cli project save FILE.qmf INPUT...\n"
     "  vantrel-cli project show FILE.qmf\n",
     "project: save writes the INPUT files' full paths as a project; show prints\n"
     "a project's paths, one per line.\n"},
};

std::string FullUsage() {
  std::string usage = "Usage:\n";
  for (const TCommandHelp& c : kCommandHelp) usage += c.synopsis;
  usage += "  vantrel-cli --help | --version\n"
           "  vantrel-cli COMMAND --help (or -h)\n";
  for (const TCommandHelp& c : kCommandHelp) usage += std::string("\n") + c.text;
  return usage;
}

const std::string kFullUsage = FullUsage();

}  // namespace

const char* const kUsage = kFullUsage.c_str();

std::string CommandUsage(const std::string& command) {
  for (const TCommandHelp& c : kCommandHelp)
    if (command == c.name) return std::string("Usage:\n") + c.synopsis + "\n" + c.text;
  return {};
}

bool AsksForHelp(const std::vector<std::string>& a) {
  for (const std::string& s : a) {
    if (s == "--") return false;
    if (s == "--help" || s == "-h") return true;
  }
  return false;
}

std::string JoinReportText(int files, const TJoinReport& report) {
  return "Joined " + std::to_string(files) + (files == 1 ? " file: " : " files: ") +
         std::to_string(report.VideoPackets) + " video and " + std::to_string(report.AudioPackets) +
         " audio packets" + (report.Duration >= 0 ? ", " + FormatDuration(report.Duration) : std::string()) +
         (report.Verified ? ", verified" : "");
}

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

namespace {

// --in TIME and --out TIME for the next input, --cut MODE for all; an exit
// status, or -1 to go on. i moves past the option's value.
int ParseCutOption(const std::vector<std::string>& a, size_t& i, TTrim& next, TJoinArgs& args) {
  const std::string& s = a[i];
  if (s == "--cut") {
    if (i + 1 >= a.size() || (a[i + 1] != "exact" && a[i + 1] != "keyframe"))
      return UsageError("--cut takes exact or keyframe");
    args.cut = a[++i] == "exact" ? TCutMode::Exact : TCutMode::KeyFrame;
    return -1;
  }
  double t = 0;
  if (i + 1 >= a.size() || !ParseTimeText(a[i + 1], t))
    return UsageError(s + " takes a time: seconds or [[HH:]MM:]SS[.fff], such as 1.5 or 01:02.500");
  ++i;
  (s == "--in" ? next.In : next.Out) = t;
  return -1;
}

}  // namespace

int ParseJoinArgs(const std::vector<std::string>& a, TJoinArgs& args) {
  bool optionsEnded = false;
  TTrim next;  // for the next input named
  for (size_t i = 0; i < a.size(); ++i) {
    const std::string& s = a[i];
    if (!optionsEnded && s.size() > 1 && s[0] == '-') {
      if (s == "--in" || s == "--out" || s == "--cut") {
        const int rc = ParseCutOption(a, i, next, args);
        if (rc >= 0) return rc;
      } else if (s == "--") {
        optionsEnded = true;
      } else if (s == "--help" || s == "-h") {
        std::fputs(CommandUsage("join").c_str(), stdout);
        return kExitOk;
      } else if (s == "--copy") {
        args.copy = true;
      } else if (s == "--recompress") {
        args.recompress = true;
      } else if (s == "--smart") {
        args.smart = true;
      } else if (s == "--correct-timestamps") {
        args.correctTimeStamps = true;
      } else if (s == "--no-correct-timestamps") {
        args.correctTimeStamps = false;
      } else if (s == "--verify") {
        args.verify = true;
      } else if (s == "--exact") {
        args.exact = true;
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
          args.trims.resize(args.inputs.size());
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
      args.trims.resize(args.inputs.size());
      args.trims.back() = next;
      next = TTrim();
    }
  }
  if (!next.Empty()) return UsageError("--in and --out go before the file they cut");
  return -1;
}


int CheckJoinArgs(const TJoinArgs& args) {
  if (args.copy + args.recompress + args.smart > 1)
    return UsageError("--copy, --smart and --recompress exclude each other");
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
    // A FIFO or device would block the probe or feed it endless bytes.
    if (!S_ISREG(st.st_mode)) {
      std::fprintf(stderr, "vantrel-cli: %s is not a regular file\n", in.c_str());
      return kExitFailure;
    }
  }
  if (FileExists(args.output) && !args.overwrite) {
    std::fprintf(stderr, "vantrel-cli: The \"%s\" file already exists.\nUse --overwrite (-y) to replace it.\n",
                 args.output.c_str());
    return kExitFailure;
  }

  return -1;
}

}  // namespace vantrel::cli
