// The parts of the command line shared by vantrel-cli and the full
// command line behind it: the usage text, the join's arguments, checks,
// route and run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job/FileList.h"
#include "job/JoinCls.h"
#include "plan/EncoderCatalog.h"

namespace vantrel::cli {

// The usage text of every command, for --help and usage errors.
extern const char* const kUsage;
// One command's synopsis and section of kUsage, for "COMMAND --help"; empty
// for a name that is no command.
std::string CommandUsage(const std::string& command);
// Whether a command's arguments ask for its help: --help or -h before "--".
bool AsksForHelp(const std::vector<std::string>& arguments);
int UsageError(const std::string& message);
// The full path of a file named on the command line.
std::string FullPath(const std::string& path);
// Probes files into the list as the desktop list adds them; a rejected file
// is reported by the name as given. False when some file was left out.
bool ProbeFiles(const std::vector<std::string>& files, TFileList& list);

struct TJoinArgs {
  bool copy = false;
  bool recompress = false;
  bool smart = false;
  bool withoutSound = false;
  bool correctTimeStamps = true;
  bool exact = false;
  bool overwrite = false;
  bool quiet = false;
  bool verify = false;
  std::string output;
  std::vector<std::string> inputs;
  // By input: --in and --out given before it.
  std::vector<TTrim> trims;
  TCutMode cut = TCutMode::Exact;
  // Recompression; empty: the computed default.
  std::string size, rate, resize, vcodec, acodec;
  std::vector<std::string> vopts, aopts;
};

// Parses the arguments after "join"; an exit status, or -1 to go on.
int ParseJoinArgs(const std::vector<std::string>& a, TJoinArgs& args);
// Usage, missing inputs, an existing output; an exit status, or -1.
int CheckJoinArgs(const TJoinArgs& args);

// "Joined 3 files: 360 video and 564 audio packets, 00:12, verified".
std::string JoinReportText(int files, const TJoinReport& report);
// The join's request from the arguments and the probed files: the route,
// the options and what the user set of the recompression. An exit status
// for arguments that make no sense (a usage error), or -1 to go on.
int MakeRequest(const TJoinArgs& args, std::vector<TVideoFileInfo> files, TJoinRequest& request);

// What an executable offers the join command.
struct TJoinServices {
  // Describes one file (by its full path) for the list; false when this
  // executable cannot describe it, raises when the file cannot be read.
  std::function<bool(const std::string& path, TVideoFileInfo& info)> Probe;
  const IEngines* Engines = nullptr;
  const IEncoderCatalog* Encoders = nullptr;
  // What this executable does before it hands the join over.
  std::function<void()> HandingOver;
};

// The join command, written once for both executables: parse, check,
// probe, decide, run, report. kHandOver when a file or the route needs
// what the services lack.
inline constexpr int kHandOver = -1;
int RunJoinCommand(const std::vector<std::string>& arguments, const TJoinServices& services);

}  // namespace vantrel::cli
