#include "base/Exception.h"

#include <cstring>

namespace lorvant {

EFOpenError::EFOpenError(const std::string& file_name, const std::string& reason, int error_number)
    : Exception("Cannot open file \"" + file_name + "\". " + reason, error_number) {}

EFOpenError::EFOpenError(const std::string& file_name, int error_number)
    : EFOpenError(file_name, SystemErrorText(error_number), error_number) {}

EFCreateError::EFCreateError(const std::string& file_name, const std::string& reason,
                             int error_number)
    : Exception("Cannot create file \"" + file_name + "\". " + reason, error_number) {}

EFCreateError::EFCreateError(const std::string& file_name, int error_number)
    : EFCreateError(file_name, SystemErrorText(error_number), error_number) {}

EReadError::EReadError(const std::string& file_name, int error_number)
    : Exception("Cannot read file \"" + file_name + "\". " + SystemErrorText(error_number),
                error_number) {}

EListError::EListError(long long index)
    : Exception("List index out of bounds (" + std::to_string(index) + ")") {}

std::string SystemErrorText(int error_number) {
  char buf[256];
  // The GNU strerror_r returns the text, which need not be in buf.
  return ::strerror_r(error_number, buf, sizeof(buf));
}

}  // namespace lorvant
