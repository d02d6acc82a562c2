// Read-ahead window over a file.
#include "base/FileBufs.h"

#include <utility>

#include <cstring>

#include "base/Exceptions.h"
#include "base/PosixFile.h"

namespace vantrel {

TFileReadBuffer::TFileReadBuffer(const TFile& file, uint32_t bufferSize, std::string name)
    : file_(file), name_(std::move(name)), buffer_size_(bufferSize) {
  if (buffer_size_ < 8192) buffer_size_ = 8192;
  int64_t size = -1;
  try {
    size = file_.Size();
  } catch (const EOSError&) {
    size = -1;
  }
  if (size < 0) throw Exception("Unable to receive file size");
  file_size_ = size;
  window_ = std::make_unique<uint8_t[]>(buffer_size_);
}

void TFileReadBuffer::Fill(int64_t position) {
  buffer_start_ = position & ~static_cast<int64_t>(4095);
  int64_t count = buffer_size_;
  if (buffer_start_ + count > file_size_) count = file_size_ - buffer_start_;
  ++read_calls_;
  size_t got = file_.ReadAt(window_.get(), static_cast<size_t>(count), buffer_start_);
  // The file shrank since it was measured (cut while it was read).
  if (static_cast<int64_t>(got) < count) throw Exception(name_.empty() ? "Unable to read file" : "Unable to read file " + name_);
}

int32_t TFileReadBuffer::Read(void* dest, uint32_t count, int64_t position) {
  if (position >= file_size_ || position < 0) return 0;
  if (count > buffer_size_ / 2) {
    ++read_calls_;
    return static_cast<int32_t>(file_.ReadAt(dest, count, position));
  }
  if (buffer_start_ < 0 || position < buffer_start_ ||
      position + count > buffer_start_ + static_cast<int64_t>(buffer_size_))
    Fill(position);
  int64_t length = count;
  if (position + length > file_size_) length = file_size_ - position;
  std::memcpy(dest, window_.get() + (position - buffer_start_), static_cast<size_t>(length));
  return static_cast<int32_t>(length);
}

}  // namespace vantrel
