// The failure model of the whole system: every error is an exception that
// carries a message text for the user. `Exception` is the family that the
// split loop, the executors and the application handler catch.
#pragma once

#include <stdexcept>
#include <string>

namespace lorvant {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message, int error_number = 0)
      : std::runtime_error(message), error_number_(error_number) {}
  std::string Message() const { return what(); }
  // The system's error number behind a file failure; 0 when none applies.
  int ErrorNumber() const { return error_number_; }

 private:
  int error_number_;
};

// A file could not be opened for reading: "Cannot open file "<name>". <reason>".
class EFOpenError : public Exception {
 public:
  EFOpenError(const std::string& file_name, const std::string& reason, int error_number = 0);
  // The reason is the system's text for error_number.
  EFOpenError(const std::string& file_name, int error_number);
};

// A file could not be created: "Cannot create file "<name>". <reason>".
class EFCreateError : public Exception {
 public:
  EFCreateError(const std::string& file_name, const std::string& reason, int error_number = 0);
  EFCreateError(const std::string& file_name, int error_number);
};

// A read failed, or returned fewer bytes than the file was known to hold.
class EReadError : public Exception {
 public:
  EReadError() : Exception("Stream read error") {}
  explicit EReadError(const std::string& message) : Exception(message) {}
  // "Cannot read file "<name>". <reason>" with the system's reason.
  EReadError(const std::string& file_name, int error_number);
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
