// Growable contiguous byte block for appending fixed-size records.
#pragma once

#include <cstdint>

namespace vantrel {

class TMemoryBuf {
 public:
  TMemoryBuf() = default;
  TMemoryBuf(const TMemoryBuf&) = delete;
  TMemoryBuf& operator=(const TMemoryBuf&) = delete;
  ~TMemoryBuf() { Clear(); }

  uint8_t* Memory() const { return memory_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t Size() const { return size_; }
  int32_t Delta() const { return delta_; }
  void SetDelta(int32_t delta) { delta_ = delta; }

  // Grows the block by Delta (or to exactly n when that is more); never
  // shrinks it. Raises an Exception when the memory cannot be had or the size
  // would pass 4 GiB, so nobody writes through a missing block.
  void SetSize(uint32_t n);
  void Append(const void* data, uint32_t count);
  void Clear();

 private:
  uint8_t* memory_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t size_ = 0;
  int32_t delta_ = 10240;
};

}  // namespace vantrel
