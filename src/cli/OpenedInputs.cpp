// Handles of opened inputs across vantrel-cli's hand-over.
#include "cli/OpenedInputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>

namespace vantrel::cli {

namespace {

// "<fd> <length of the path>:<path>" for each file, one after another.
constexpr const char* kVariable = "VANTREL_OPENED_INPUTS";

std::map<std::string, int> Parse(const char* text) {
  std::map<std::string, int> files;
  if (!text) return files;
  const std::string s = text;
  size_t at = 0;
  while (at < s.size()) {
    const size_t space = s.find(' ', at), colon = s.find(':', at);
    if (space == std::string::npos || colon == std::string::npos || colon < space) break;
    char* end = nullptr;
    const long fd = std::strtol(s.c_str() + at, &end, 10);
    const unsigned long length = std::strtoul(s.c_str() + space + 1, nullptr, 10);
    if (end != s.c_str() + space || fd < 3 || length > s.size() - colon - 1) break;
    files[s.substr(colon + 1, length)] = static_cast<int>(fd);
    at = colon + 1 + length;
  }
  return files;
}

}  // namespace

void PassOpenedFiles(std::vector<std::pair<std::string, TFile>>& files) {
  std::string text;
  for (auto& [path, file] : files) {
    if (!file.IsOpen()) continue;
    ::fcntl(file.Fd(), F_SETFD, 0);  // kept across the exec
    text += std::to_string(file.Fd()) + " " + std::to_string(path.size()) + ":" + path;
  }
  ::setenv(kVariable, text.c_str(), 1);
}

TFile TakeOpenedOrOpen(const std::string& path) {
  // Read once; each handle is taken at most once, and the variable goes so
  // that programs this one starts do not take them.
  static std::mutex mutex;
  static std::map<std::string, int> opened = [] {
    std::map<std::string, int> files = Parse(std::getenv(kVariable));
    ::unsetenv(kVariable);
    return files;
  }();
  int fd = -1;
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = opened.find(path);
    if (it != opened.end()) {
      fd = it->second;
      opened.erase(it);
    }
  }
  if (fd >= 0) {
    try {
      return TFile::Adopt(fd, path);
    } catch (const std::exception&) {
      // Not the file of that name any more: opened again, by its name.
    }
  }
  return TFile::OpenRead(path);
}

}  // namespace vantrel::cli
