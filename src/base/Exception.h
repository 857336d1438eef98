// The failure model of the whole system: every error is an exception that
// carries a message text for the user. `Exception` is the family that the
// split loop, the executors and the application handler catch.
#pragma once

#include <stdexcept>
#include <string>

namespace lorvant {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A file could not be opened for reading: "Cannot open file "<name>". <reason>".
class EFOpenError : public Exception {
 public:
  EFOpenError(const std::string& file_name, const std::string& reason);
};

// A file could not be created: "Cannot create file "<name>". <reason>".
class EFCreateError : public Exception {
 public:
  EFCreateError(const std::string& file_name, const std::string& reason);
};

// A read returned fewer bytes than the file was known to hold.
class EReadError : public Exception {
 public:
  EReadError() : Exception("Stream read error") {}
  using Exception::Exception;
};

// A write failed or was short; the message carries the system's reason.
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

// "Unable to write to <file>" from the INI writer.
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

// A checked conversion (wrong session or outputer kind) failed.
class EInvalidCast : public Exception {
 public:
  EInvalidCast() : Exception("Invalid class typecast") {}
};

// A list was indexed outside its bounds.
class EListError : public Exception {
 public:
  explicit EListError(long long index);
};

// Ends the current operation without any message.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// The text of a system error number, as strerror gives it.
std::string SystemErrorText(int error_number);

}  // namespace lorvant
