#include "scheduler/SchedulerErrors.h"

#include <cstdio>

namespace lorvant {
namespace {

std::string WithStatus(uint32_t status, const std::string& reason) {
  char code[16];
  std::snprintf(code, sizeof(code), "%08X", static_cast<unsigned>(status));
  return reason + " (0x" + code + ")";
}

}  // namespace

EServiceError::EServiceError(uint32_t status, const std::string& reason)
    : Exception(WithStatus(status, reason)), status_(status) {}

}  // namespace lorvant
