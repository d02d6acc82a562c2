// vantrel-cli: joins AVI and MPEG-1 files without recompression by itself,
// probing them from their own headers, so that a stream-copy join costs no
// more than the disk. Everything else (probing other files, recompression,
// the other commands) runs in vantrel-cli-full beside it, which loads the
// media framework.
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliJoin.h"
#include "core/NativeProbe.h"

namespace {

using namespace vantrel;
using namespace vantrel::cli;

int ExecFull(char** argv) {
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path = "vantrel-cli-full";
  if (n > 0) {
    self[n] = '\0';
    std::string dir(self);
    path = dir.substr(0, dir.rfind('/') + 1) + "vantrel-cli-full";
  }
  ::execv(path.c_str(), argv);
  std::fprintf(stderr, "vantrel-cli: cannot start %s: %s\n", path.c_str(), std::strerror(errno));
  return kExitFailure;
}

// A join this program can do alone: the route, or -1 to hand it on.
int TryJoin(const std::vector<std::string>& a) {
  TJoinArgs args;
  int rc = ParseJoinArgs(a, args);
  if (rc >= 0) return rc;
  if (args.recompress) return -1;
  if ((rc = CheckJoinArgs(args)) >= 0) return rc;
  std::map<std::string, TVideoFileInfo> probed;
  for (const std::string& in : args.inputs) {
    TVideoFileInfo info;
    if (!NativeProbe(FullPath(in), info)) return -1;
    probed[FullPath(in)] = info;
  }
  TFileList list([&probed](const std::string& f) { return probed.at(f); });
  for (const std::string& in : args.inputs) list.AddFile(FullPath(in));
  list.UpdateDifferences();
  // Decided exactly as the full command line decides, on the same fields.
  TJoinArgs quiet = args;
  quiet.quiet = true;  // notes are given once, by whoever joins
  switch (DecideJoinRoute(quiet, list)) {
    case TJoinRoute::Refused:
      return kExitFailure;
    case TJoinRoute::Recompress:
      return -1;
    case TJoinRoute::Copy:
      break;
  }
  DecideJoinRoute(args, list);  // the note on lost sound, if any
  TJoinOptions options;
  return RunJoinJob(args, list, options, true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "join") == 0) {
    int rc = TryJoin(std::vector<std::string>(argv + 2, argv + argc));
    if (rc >= 0) return rc;
  }
  return ExecFull(argv);
}
