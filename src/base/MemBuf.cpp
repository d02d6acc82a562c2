// Growable memory block.
#include "base/MemBuf.h"

#include <cstdlib>
#include <cstring>

#include "base/Exceptions.h"

namespace vantrel {

void TMemoryBuf::SetSize(uint32_t n) {
  if (n > capacity_) {
    uint64_t grown = static_cast<uint64_t>(capacity_) + static_cast<uint64_t>(delta_ > 0 ? delta_ : 0);
    uint64_t newCapacity = grown < n ? n : grown;
    if (newCapacity > UINT32_MAX) newCapacity = UINT32_MAX;
    void* p = std::realloc(memory_, static_cast<size_t>(newCapacity));
    if (!p) throw Exception("Out of memory");
    memory_ = static_cast<uint8_t*>(p);
    capacity_ = static_cast<uint32_t>(newCapacity);
  }
  size_ = n;
}

void TMemoryBuf::Append(const void* data, uint32_t count) {
  if (count == 0) return;
  uint32_t old = size_;
  if (static_cast<uint64_t>(old) + count > UINT32_MAX) throw Exception("Out of memory");
  SetSize(old + count);
  std::memcpy(memory_ + old, data, count);
}

void TMemoryBuf::Clear() {
  std::free(memory_);
  memory_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

}  // namespace vantrel
