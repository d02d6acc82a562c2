// vantrel-cli: joins AVI and MPEG-1 files without recompression by itself,
// probing them from their own headers, so that a stream-copy join costs no
// more than the disk. Everything else (probing other files, recompression,
// the other commands) runs in vantrel-cli-full, which loads the media
// framework.
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CliJoin.h"
#include "core/CopyEngines.h"
#include "core/FileInfo.h"

namespace {

using namespace vantrel;
using namespace vantrel::cli;

// vantrel-cli-full is beside this executable in the build tree and in
// lib/vantrel/ of the installed tree, where programs users do not type live.
int ExecFull(char** argv) {
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path = "vantrel-cli-full";
  if (n > 0) {
    self[n] = '\0';
    std::string dir(self);
    dir = dir.substr(0, dir.rfind('/') + 1);
    path = dir + "vantrel-cli-full";
    const std::string installed = dir + "../lib/vantrel/vantrel-cli-full";
    if (::access(path.c_str(), X_OK) != 0 && ::access(installed.c_str(), X_OK) == 0) path = installed;
  }
  ::execv(path.c_str(), argv);
  std::fprintf(stderr, "vantrel-cli: cannot start %s: %s\n", path.c_str(), std::strerror(errno));
  return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "join") == 0) {
    // Files described from their own headers, joined by the copy engines;
    // anything else is handed over.
    TJoinServices services;
    services.Probe = NativeProbe;
    AddCopyEngines(services.Engines);
    int rc = RunJoinCommand(std::vector<std::string>(argv + 2, argv + argc), services);
    if (rc != kHandOver) return rc;
  }
  return ExecFull(argv);
}
