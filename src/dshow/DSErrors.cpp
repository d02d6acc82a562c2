// Media-service result check.
#include "dshow/DSErrors.h"

#include <cstdio>

#include "base/Exceptions.h"

namespace vantrel {

std::string DSErrorMessage(HRESULT hr) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<uint32_t>(hr));
  return std::string("DirectShow Error: ") + hex;
}

void DSCheck(HRESULT hr) {
  if (hr != S_OK) throw Exception(DSErrorMessage(hr));
}

}  // namespace vantrel
