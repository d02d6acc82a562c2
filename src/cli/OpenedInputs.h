// The inputs vantrel-cli opened to describe them before it handed the join
// to the full command line: their handles go with it, so that no input is
// opened more than once to be probed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/PosixFile.h"

namespace vantrel::cli {

// Leaves the files open across the exec that follows and names them in the
// environment, each by its full path.
void PassOpenedFiles(std::vector<std::pair<std::string, TFile>>& files);
// The file of this full path as the program that started this one opened
// it, else opened now; raises EOSError as TFile::OpenRead does.
TFile TakeOpenedOrOpen(const std::string& path);

}  // namespace vantrel::cli
