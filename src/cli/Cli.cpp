// vantrel-cli: joins video files from the command line.
#include "cli/Cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "avi/AVIRead.h"
#include "cli/TerminalProgress.h"
#include "core/Exceptions.h"
#include "core/FileInfo.h"
#include "core/JoinCls.h"
#include "core/PosixFile.h"
#include "mpeg/MPEGJoiner.h"

namespace vantrel::cli {
namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  vantrel-cli join --copy -o OUTPUT [options] INPUT...\n"
    "  vantrel-cli --help | --version\n"
    "\n"
    "join: joins the INPUT files, in the order given, into OUTPUT.\n"
    "  --copy            join without recompression (AVI files with identical\n"
    "                    video, MPEG-1 system streams, MPEG video streams)\n"
    "  -o, --output FILE the file to write\n"
    "  --without-sound   leave the sound out\n"
    "  --correct-timestamps\n"
    "                    MPEG-1: shift clock references and time stamps so that\n"
    "                    every file continues the previous one\n"
    "  -y, --overwrite   replace OUTPUT when it exists\n"
    "  -q, --quiet       no progress display\n"
    "\n"
    "Ctrl+C stops a join; the output then holds what was joined so far.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "vantrel-cli: %s\n\n%s", message.c_str(), kUsage);
  return kExitUsage;
}

struct TJoinArgs {
  bool copy = false;
  bool withoutSound = false;
  bool correctTimeStamps = false;
  bool overwrite = false;
  bool quiet = false;
  std::string output;
  std::vector<std::string> inputs;
};

// Without a probe the sound is carried only when every input's first audio
// stream has the first input's format, byte for byte.
bool DeriveWithoutSound(const std::vector<std::string>& inputs) {
  TAVIFileReader reader;
  std::vector<uint8_t> firstFormat;
  for (size_t i = 0; i < inputs.size(); ++i) {
    reader.Open(inputs[i], true);
    TAVIStream* audio = reader.AudioStream();
    if (!audio) return true;
    if (i == 0)
      firstFormat = audio->Format;
    else if (audio->Format != firstFormat)
      return true;
    reader.Close();
  }
  return false;
}

int RunJoinCommand(const TJoinArgs& args) {
  if (!args.copy)
    return UsageError("joining with recompression is not available yet; use --copy");
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

  InstallInterruptHandler();
  const bool visible = !args.quiet && ::isatty(STDERR_FILENO);
  SetProgressFactory([visible] { return std::make_unique<TTerminalProgress>(stderr, visible); });

  try {
    TJoinOptions options;
    for (const std::string& in : args.inputs) {
      TVideoFileInfo info;
      info.FileName = in;
      info.MediaType = GetMediaType(in);
      options.Files.push_back(info);
    }
    options.OutputFileName = args.output;
    options.JoinWithoutRecompression = true;
    options.CorrectTimeStamps = args.correctTimeStamps;
    // Until files are probed, an MPEG join takes its frame rate from the
    // first video sequence header of the first file.
    if (options.Files.front().MediaType == kMediaMPEG1)
      options.Files.front().FrameRate = ReadMPEGFrameRate(args.inputs.front());
    if (args.withoutSound)
      options.JoinWithoutSound = true;
    else if (options.Files.front().MediaType == kMediaAVI)
      options.JoinWithoutSound = DeriveWithoutSound(args.inputs);
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
  if (a[0] != "join") return UsageError("unknown command \"" + a[0] + "\"");

  TJoinArgs args;
  bool optionsEnded = false;
  for (size_t i = 1; i < a.size(); ++i) {
    const std::string& s = a[i];
    if (!optionsEnded && s.size() > 1 && s[0] == '-') {
      if (s == "--") {
        optionsEnded = true;
      } else if (s == "--copy") {
        args.copy = true;
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

}  // namespace vantrel::cli
