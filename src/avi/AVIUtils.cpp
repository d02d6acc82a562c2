// FOURCC helpers.
#include "avi/AVIUtils.h"

namespace vantrel {

FOURCC MakeFourCC(const std::string& text) {
  std::string s = text;
  if (s.size() < 4) s.append(4 - s.size(), ' ');
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

std::string FourCCText(FOURCC code) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((code >> (8 * i)) & 0xFF);
  return s;
}

}  // namespace vantrel
