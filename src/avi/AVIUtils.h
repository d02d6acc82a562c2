// Small helpers for AVI FOURCC codes and little-endian fields.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "avi/AVIFormat.h"

namespace vantrel {

// The first four characters of text padded with blanks, first in the lowest byte.
FOURCC MakeFourCC(const std::string& text);
std::string FourCCText(FOURCC code);

inline uint32_t ReadLE32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint16_t ReadLE16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

}  // namespace vantrel
