// Owning POSIX file handle with 64-bit positioned reads and writes, and a
// buffered sequential output stream used by the container writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace vantrel {

class TFile {
 public:
  TFile() = default;
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  TFile(TFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TFile& operator=(TFile&& other) noexcept;
  ~TFile();

  // Opens an existing file read-only; raises EOSError on failure.
  static TFile OpenRead(const std::string& path);
  // Creates (or truncates) a file for reading and writing; raises EOSError.
  static TFile Create(const std::string& path);

  // Another handle on the same open file (dup): no second open of the name,
  // so a file replaced since is still the one read. Raises EOSError.
  TFile Duplicate() const;
  // Takes a handle this process was given (a descriptor inherited from the
  // program that started it) as the file of path, which it must be: a
  // regular file, the same one the name names now. Raises EOSError.
  static TFile Adopt(int fd, const std::string& path);

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // Size of the file in bytes; raises EOSError.
  int64_t Size() const;

  // Reads up to count bytes at pos. Returns the bytes read, fewer only at the
  // end of the file. Raises EOSError on an I/O error.
  size_t ReadAt(void* dest, size_t count, int64_t pos) const;

  // Writes all bytes at pos or raises EOSError (a write that makes no progress
  // is reported as ENOSPC, which is what a full disk gives).
  void WriteAt(const void* data, size_t count, int64_t pos) const;

  // Closes the handle; raises EOSError when the system reports a failure
  // (the handle is released either way).
  void Close();
  // Closes the handle and ignores errors; for cleanup paths.
  void Release() noexcept;

 private:
  explicit TFile(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// True when both paths name the same existing file (same device and inode),
// whatever the names: hard links and symbolic links are seen through.
bool SameFile(const std::string& a, const std::string& b);
bool FileExists(const std::string& path);
// Removes an output that a failed write left incomplete, and returns the
// line that says so ("The incomplete output <path> was removed.", or that
// it could not be).
std::string RemoveIncompleteOutput(const std::string& path);
// The error of opening an input: the system's, with a line naming the file.
[[noreturn]] void RaiseCannotOpen(int code, const std::string& path);
// The error of creating an output: the system's, with a line naming the
// file, and the folder when it is the folder that cannot be written to.
[[noreturn]] void RaiseCannotCreate(int code, const std::string& path);

// Removes the incomplete output and raises the failure with that line added
// (an EOSError stays one).
[[noreturn]] void RaiseWithOutputRemoved(std::exception_ptr failure, const std::string& path);

// Sequential writer with a memory buffer in front of a TFile. Small writes
// collect in the buffer; Reserve/Commit let a caller read data straight into
// the buffer, so chunk data is copied only by the kernel.
class TOutputStream {
 public:
  explicit TOutputStream(size_t capacity = 1 << 20);
  TOutputStream(const TOutputStream&) = delete;
  TOutputStream& operator=(const TOutputStream&) = delete;
  ~TOutputStream();

  void Create(const std::string& path);
  bool IsOpen() const { return file_.IsOpen(); }

  // Logical position: bytes written so far, buffered or not.
  int64_t Position() const { return flushed_ + static_cast<int64_t>(used_); }

  void Write(const void* data, size_t count);
  void WriteZeros(size_t count);
  // Pointer to count free bytes at Position(), or nullptr when count is larger
  // than the buffer. The bytes become part of the output with Commit.
  uint8_t* Reserve(size_t count);
  void Commit(size_t count);

  void Flush();
  // True once a write to the file failed: what was written is incomplete,
  // and every later write or flush raises without touching the file.
  bool Failed() const { return failed_; }
  // Overwrites bytes already written (flushes first).
  void WriteAt(int64_t pos, const void* data, size_t count);
  size_t ReadAt(int64_t pos, void* dest, size_t count);

  // Flushes and closes; raises EOSError on failure, the handle is released
  // either way.
  void Close();
  // Releases the handle without flushing; for error paths.
  void Abandon() noexcept;

  size_t Capacity() const { return capacity_; }

 private:
  TFile file_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_;
  size_t used_ = 0;
  int64_t flushed_ = 0;
  bool failed_ = false;
  int failure_ = 0;  // errno of the failed write
  void WriteFile(const void* data, size_t count, int64_t pos);
};

}  // namespace vantrel
