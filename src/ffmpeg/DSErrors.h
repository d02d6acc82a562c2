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

// Error codes of the detector beyond FFmpeg's own.
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
// No stream of the file can be decoded (VFW_E_INVALID_FILE_FORMAT).
inline constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = static_cast<HRESULT>(0x8004022Fu);
// Not a video stream (VFW_E_INVALIDMEDIATYPE).
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = static_cast<HRESULT>(0x80040200u);

// "DirectShow Error: " and the result in upper-case hexadecimal without
// leading zeros, then in parentheses what the code means, where known
// (FFmpeg's own text of its codes).
std::string DSErrorMessage(HRESULT hr);
// Raises Exception(DSErrorMessage(hr)) for any result other than 0.
void DSCheck(HRESULT hr);

}  // namespace vantrel
