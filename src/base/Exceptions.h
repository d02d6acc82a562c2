// Exception classes that carry the user-visible message texts of Vantrel.
#pragma once

#include <stdexcept>
#include <string>

namespace vantrel {

// Base of every error the engines raise; what() is the text shown to the user.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Format errors of AVI input.
class EAVIReadError : public Exception {
 public:
  using Exception::Exception;
};

// A failed text-to-number conversion.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An operating-system error: "System Error.  Code: %d." followed by a line
// break and the system's own text.
class EOSError : public Exception {
 public:
  explicit EOSError(int code);
  // The system's message followed by a line of what happened next.
  EOSError(int code, const std::string& note);
  // The same error told in other words (a file named otherwise).
  static EOSError Retold(int code, const std::string& message);
  int Code() const { return code_; }

 private:
  struct TWhole {};
  EOSError(TWhole, int code, const std::string& message) : Exception(message), code_(code) {}
  int code_;
};

// Builds the message of an EOSError for the given errno value.
std::string SysErrorMessage(int code);

// Throws EOSError for errno (or for `code` when given).
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(int code);

}  // namespace vantrel
