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
#include "cli/OpenedInputs.h"
#include "job/Engines.h"
#include "probe/FileInfo.h"

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
  // Kept open until the exec: the full command line takes them over.
  std::vector<std::pair<std::string, TFile>> opened;
  if (argc > 1 && std::strcmp(argv[1], "join") == 0) {
    // Files described from their own headers, joined by the copy engines;
    // anything else is handed over, with the files opened so far, so that
    // the full command line reads them through the same handles.
    TJoinServices services;
    services.Probe = [&opened](const std::string& path, TVideoFileInfo& info) {
      TFile file;
      try {
        file = TFile::OpenRead(path);
      } catch (const std::exception&) {
        return false;  // the full command line says why
      }
      const bool described = NativeProbe(file.Duplicate(), path, info);
      opened.emplace_back(path, std::move(file));
      return described;
    };
    services.Engines = &CopyEngines();
    services.Encoders = &NoEncoders();
    services.HandingOver = [&opened] { PassOpenedFiles(opened); };
    int rc = RunJoinCommand(std::vector<std::string>(argv + 2, argv + argc), services);
    if (rc != kHandOver) return rc;
  }
  return ExecFull(argv);
}
