// The failures of the scheduled-task room: one exception class per
// component, each carrying only its message, and the service's own error,
// which carries a status code beside its text.
#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"

namespace lorvant {

// Raised by TTaskScheduler and the service objects it connects to.
class ESchedulerError : public Exception {
 public:
  using Exception::Exception;
};

// Raised by TTaskItem.
class ETaskError : public Exception {
 public:
  using Exception::Exception;
};

// Raised by TTriggers.
class ETriggerError : public Exception {
 public:
  using Exception::Exception;
};

// A call into the scheduler service failed: the message is the reason,
// followed by the status code in hexadecimal.
class EServiceError : public Exception {
 public:
  EServiceError(uint32_t status, const std::string& reason);
  uint32_t Status() const { return status_; }

 private:
  uint32_t status_;
};

// Status codes of the service, as the scheduler of the other platform
// numbers them, so that an exit code or a status reads the same there.
inline constexpr uint32_t kStatusReady = 0x00041300;
inline constexpr uint32_t kStatusRunning = 0x00041301;
inline constexpr uint32_t kStatusDisabled = 0x00041302;
inline constexpr uint32_t kStatusHasNotRun = 0x00041303;
inline constexpr uint32_t kStatusNoMoreRuns = 0x00041304;
inline constexpr uint32_t kStatusNotScheduled = 0x00041305;
inline constexpr uint32_t kStatusTerminated = 0x00041306;
inline constexpr uint32_t kStatusNoValidTriggers = 0x00041307;
// Failures.
inline constexpr uint32_t kErrorNotFound = 0x80070002;
inline constexpr uint32_t kErrorAccessDenied = 0x80070005;
inline constexpr uint32_t kErrorInvalidName = 0x8007007B;
inline constexpr uint32_t kErrorAlreadyExists = 0x800700B7;
inline constexpr uint32_t kErrorNotLocal = 0x800706BA;
inline constexpr uint32_t kErrorBadStore = 0x8007000D;
inline constexpr uint32_t kErrorFailed = 0x80004005;
inline constexpr uint32_t kErrorInvalidArgument = 0x80070057;
inline constexpr uint32_t kErrorBusy = 0x800700AA;  // the resource is in use
inline constexpr uint32_t kErrorTimeout = 0x800705B4;

// The message text of the service error every failed operation raises.
inline constexpr char kServiceNotRunning[] = "Task Scheduler service is not running.";

}  // namespace lorvant
