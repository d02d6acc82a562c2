// Result codes of the media services and the check that turns a failure
// into an exception.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// Media-service calls return 0 on success, else a negative 32-bit code (an
// FFmpeg AVERROR) or another non-zero value.
using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

// "DirectShow Error: " and the result in upper-case hexadecimal without
// leading zeros.
std::string DSErrorMessage(HRESULT hr);
// Raises Exception(DSErrorMessage(hr)) for any result other than 0.
void DSCheck(HRESULT hr);

}  // namespace vantrel
