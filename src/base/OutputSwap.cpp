#include "base/OutputSwap.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/Exceptions.h"
#include "base/PosixFile.h"

namespace vantrel {

TOutputSwap::TOutputSwap(const std::string& output) : output_(output), temp_(output) {
  struct stat st;
  if (::stat(output.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  const size_t slash = output.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : output.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
  // The extension stays last: what writes the file goes by it.
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  std::string pattern = folder + "." + name + "-XXXXXX" + ext;
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  const int fd = ::mkostemps(buf.data(), static_cast<int>(ext.size()), O_CLOEXEC);
  if (fd < 0) return;
  // mkstemp makes it readable by its owner alone; a join's output is made
  // as any file is, by the process's mask.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  temp_ = buf.data();
}

TOutputSwap::~TOutputSwap() {
  if (!committed_ && Hidden()) ::unlink(temp_.c_str());
}

void TOutputSwap::Commit(bool replace) {
  if (!Hidden()) {
    committed_ = true;
    return;
  }
  // A join that failed may have removed what it wrote: nothing to name.
  if (!FileExists(temp_)) {
    committed_ = true;
    return;
  }
  if (replace) {
    if (::rename(temp_.c_str(), output_.c_str()) != 0) RaiseCannotCreate(errno, output_);
  } else if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, output_.c_str(), RENAME_NOREPLACE) != 0) {
    const int code = errno;
    // A file system without the flag: a link fails alike when the name is
    // taken, and the hidden name goes after.
    if (code == EINVAL || code == ENOSYS) {
      if (::link(temp_.c_str(), output_.c_str()) != 0) {
        if (errno == EEXIST) throw Exception(output_ + " was created by another program during the join");
        RaiseCannotCreate(errno, output_);
      }
      ::unlink(temp_.c_str());
    } else if (code == EEXIST) {
      throw Exception(output_ + " was created by another program during the join");
    } else {
      RaiseCannotCreate(code, output_);
    }
  }
  committed_ = true;
}

void TOutputSwap::KeepWhatWasFinished(bool replace) {
  struct stat st;
  if (!Hidden() || ::stat(temp_.c_str(), &st) != 0 || st.st_size == 0) return;
  try {
    Commit(replace);
  } catch (const std::exception&) {
    // The join's own failure is the one to tell.
  }
}

std::string TOutputSwap::Named(std::string text) const {
  for (size_t at = 0; (at = text.find(temp_, at)) != std::string::npos; at += output_.size())
    text.replace(at, temp_.size(), output_);
  return text;
}

void CheckRegularOutput(const std::string& path) {
  struct stat st;
  // A folder's name gets the engines' own words (it cannot be replaced).
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    throw Exception(path + " is not a regular file");
}

}  // namespace vantrel
