// POSIX file handle and buffered output stream.
#include "base/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Exceptions.h"

namespace vantrel {

TFile& TFile::operator=(TFile&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

TFile::~TFile() { Release(); }

namespace {

// A folder is the system's error; a FIFO, device or socket is named: opening
// one would block or read something that is not a file's content.
void CheckRegular(const struct stat& st, const std::string& path) {
  if (S_ISDIR(st.st_mode)) RaiseOSError(EISDIR);
  if (!S_ISREG(st.st_mode)) throw Exception(path + " is not a regular file");
}

}  // namespace

TFile TFile::OpenRead(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) RaiseLastOSError();
  CheckRegular(st, path);
  // Without blocking, in case the name was replaced by a FIFO since.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) RaiseLastOSError();
  TFile file(fd);
  if (::fstat(fd, &st) != 0) RaiseLastOSError();
  CheckRegular(st, path);
  // Back to blocking reads (O_NONBLOCK means nothing for a regular file, but
  // the flag should not leak to whoever shares the description).
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return file;
}

TFile TFile::Duplicate() const {
  const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) RaiseLastOSError();
  return TFile(fd);
}

TFile TFile::Adopt(int fd, const std::string& path) {
  TFile file(fd);
  struct stat mine, named;
  if (::fstat(fd, &mine) != 0) RaiseLastOSError();
  CheckRegular(mine, path);
  if (::stat(path.c_str(), &named) != 0) RaiseLastOSError();
  if (named.st_dev != mine.st_dev || named.st_ino != mine.st_ino) throw EOSError(ENOENT, path + " was replaced");
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return file;
}

TFile TFile::Create(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) RaiseLastOSError();
  TFile f(fd);
  // Emptied only when it holds something: truncating an empty file (the
  // hidden one a join writes first) makes ext4 flush all that is written to
  // it when it is closed, as for a file replaced by truncation.
  struct stat st;
  if (::fstat(fd, &st) != 0) RaiseLastOSError();
  if (st.st_size > 0 && ::ftruncate(fd, 0) != 0) RaiseLastOSError();
  return f;
}

int64_t TFile::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) RaiseLastOSError();
  return static_cast<int64_t>(st.st_size);
}

size_t TFile::ReadAt(void* dest, size_t count, int64_t pos) const {
  if (pos < 0) return 0;
  auto* p = static_cast<uint8_t*>(dest);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd_, p + done, count - done, static_cast<off_t>(pos + static_cast<int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastOSError();
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void TFile::WriteAt(const void* data, size_t count, int64_t pos) const {
  auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(fd_, p + done, count - done, static_cast<off_t>(pos + static_cast<int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseLastOSError();
    }
    if (n == 0) RaiseOSError(ENOSPC);
    done += static_cast<size_t>(n);
  }
}

void TFile::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  // close() must not be retried on EINTR on Linux: the descriptor is gone.
  if (::close(fd) != 0 && errno != EINTR) RaiseLastOSError();
}

void TFile::Release() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string RemoveIncompleteOutput(const std::string& path) {
  // Only a file the join made: a device or pipe named as the output stays.
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return "The output " + path + " is not a regular file; it was left as it is.";
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return "The incomplete output " + path + " was removed.";
  return "The incomplete output " + path + " could not be removed: " + std::strerror(errno) + ".";
}

void RaiseCannotOpen(int code, const std::string& path) { throw EOSError(code, "Cannot open file " + path); }

void RaiseCannotCreate(int code, const std::string& path) {
  std::string note = "Cannot create file " + path;
  if (code == EACCES || code == EPERM || code == EROFS) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    note += ": the folder " + folder + " cannot be written to";
  }
  throw EOSError(code, note);
}

void RaiseWithOutputRemoved(std::exception_ptr failure, const std::string& path) {
  const std::string note = RemoveIncompleteOutput(path);
  try {
    std::rethrow_exception(failure);
  } catch (const EOSError& e) {
    throw EOSError(e.Code(), note);
  } catch (const std::exception& e) {
    throw Exception(std::string(e.what()) + "\n" + note);
  }
}

TOutputStream::TOutputStream(size_t capacity) : capacity_(capacity) {}

TOutputStream::~TOutputStream() { Abandon(); }

void TOutputStream::Create(const std::string& path) {
  Abandon();
  file_ = TFile::Create(path);
  if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(capacity_);
  used_ = 0;
  flushed_ = 0;
  failed_ = false;
  failure_ = 0;
}

void TOutputStream::WriteFile(const void* data, size_t count, int64_t pos) {
  // After a failed write nothing more goes to the file: positions computed
  // from a rolled-back length would patch the wrong bytes.
  if (failed_) RaiseOSError(failure_);
  try {
    file_.WriteAt(data, count, pos);
  } catch (const EOSError& e) {
    failed_ = true;
    failure_ = e.Code();
    throw;
  }
}

void TOutputStream::Flush() {
  if (used_ == 0) return;
  size_t n = used_;
  // Drop the buffered bytes whatever happens: after a failed write the output
  // is broken anyway and a later flush must not write them at a wrong place.
  used_ = 0;
  WriteFile(buffer_.get(), n, flushed_);
  flushed_ += static_cast<int64_t>(n);
}

void TOutputStream::Write(const void* data, size_t count) {
  if (count == 0) return;
  if (used_ + count <= capacity_) {
    std::memcpy(buffer_.get() + used_, data, count);
    used_ += count;
    return;
  }
  Flush();
  if (count <= capacity_ / 2) {
    std::memcpy(buffer_.get(), data, count);
    used_ = count;
    return;
  }
  WriteFile(data, count, flushed_);
  flushed_ += static_cast<int64_t>(count);
}

void TOutputStream::WriteZeros(size_t count) {
  while (count > 0) {
    if (used_ == capacity_) Flush();
    size_t n = std::min(count, capacity_ - used_);
    std::memset(buffer_.get() + used_, 0, n);
    used_ += n;
    count -= n;
  }
}

uint8_t* TOutputStream::Reserve(size_t count) {
  if (count > capacity_) return nullptr;
  if (used_ + count > capacity_) Flush();
  return buffer_.get() + used_;
}

void TOutputStream::Commit(size_t count) { used_ += count; }

void TOutputStream::WriteAt(int64_t pos, const void* data, size_t count) {
  Flush();
  WriteFile(data, count, pos);
}

size_t TOutputStream::ReadAt(int64_t pos, void* dest, size_t count) {
  Flush();
  return file_.ReadAt(dest, count, pos);
}

void TOutputStream::Close() {
  if (!file_.IsOpen()) return;
  try {
    Flush();
  } catch (...) {
    file_.Release();
    throw;
  }
  try {
    file_.Close();
  } catch (const EOSError& e) {
    // A delayed write error (NFS, a full quota) surfaces at close.
    failed_ = true;
    failure_ = e.Code();
    throw;
  }
}

void TOutputStream::Abandon() noexcept {
  used_ = 0;
  file_.Release();
}

}  // namespace vantrel
