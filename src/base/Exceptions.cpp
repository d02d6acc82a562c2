// Exception classes and the system error message.
#include "base/Exceptions.h"

#include <cerrno>
#include <cstring>

namespace vantrel {

std::string SysErrorMessage(int code) {
  char buf[256];
  // GNU strerror_r returns the text (possibly not in buf).
  const char* text = strerror_r(code, buf, sizeof buf);
  return "System Error.  Code: " + std::to_string(code) + ".\n" + text;
}

EOSError::EOSError(int code) : Exception(SysErrorMessage(code)), code_(code) {}

EOSError::EOSError(int code, const std::string& note) : Exception(SysErrorMessage(code) + "\n" + note), code_(code) {}

EOSError EOSError::Retold(int code, const std::string& message) { return EOSError(TWhole{}, code, message); }

void RaiseLastOSError() { RaiseOSError(errno); }

void RaiseOSError(int code) { throw EOSError(code); }

}  // namespace vantrel
