// Media-service result check.
#include "ffmpeg/DSErrors.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cstdio>

#include "base/Exceptions.h"

namespace vantrel {
namespace {

// The words for a result: the detector's own codes, else FFmpeg's text of
// its code; empty when neither knows it.
std::string ResultText(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case static_cast<uint32_t>(VFW_E_INVALID_FILE_FORMAT): return "no stream of the file can be decoded";
    case static_cast<uint32_t>(VFW_E_INVALIDMEDIATYPE): return "not a video stream";
    case static_cast<uint32_t>(E_INVALIDARG): return "invalid argument";
    case static_cast<uint32_t>(E_UNEXPECTED): return "unexpected call";
    default: break;
  }
  if (hr >= 0) return "";
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(hr, buf, sizeof buf) != 0) return "";
  return buf;
}

}  // namespace

std::string DSErrorMessage(HRESULT hr) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<uint32_t>(hr));
  std::string message = std::string("DirectShow Error: ") + hex;
  const std::string text = ResultText(hr);
  return text.empty() ? message : message + " (" + text + ")";
}

void DSCheck(HRESULT hr) {
  if (hr != S_OK) throw Exception(DSErrorMessage(hr));
}

}  // namespace vantrel
