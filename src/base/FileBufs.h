// Read-ahead window over a file opened by someone else: serves the many small
// reads of index parsing and start-code scanning from memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vantrel {

class TFile;

class TFileReadBuffer {
 public:
  // The window is bufferSize bytes (at least 8192, so a buffered request
  // always fits after one load). Raises "Unable to receive file size".
  // name: the file's, for the message of a read that comes short.
  TFileReadBuffer(const TFile& file, uint32_t bufferSize, std::string name = {});

  // Copies up to count bytes found at position; returns the number copied,
  // 0 at or past the end of the file.
  int32_t Read(void* dest, uint32_t count, int64_t position);

  int64_t FileSize() const { return file_size_; }
  int64_t BufferStart() const { return buffer_start_; }
  uint32_t BufferSize() const { return buffer_size_; }
  // System reads issued so far (window loads and direct reads).
  uint64_t ReadCalls() const { return read_calls_; }

 private:
  void Fill(int64_t position);

  const TFile& file_;
  std::string name_;
  uint32_t buffer_size_;
  int64_t buffer_start_ = -1;
  int64_t file_size_ = 0;
  std::unique_ptr<uint8_t[]> window_;
  uint64_t read_calls_ = 0;
};

}  // namespace vantrel
