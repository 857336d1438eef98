#include "diagnostics/ExceptionStat.h"

#include <memory>

#include "log/Log.h"
#include "log/MemoryLogAppender.h"

namespace lorvant {
namespace {

std::unique_ptr<TMemoryLogAppender>& ErrorLog() {
  static std::unique_ptr<TMemoryLogAppender> log;
  return log;
}

TExceptionStat::Reporter& TheReporter() {
  static TExceptionStat::Reporter reporter;
  return reporter;
}

}  // namespace

void TExceptionStat::StartErrorLog() {
  auto log = std::make_unique<TMemoryLogAppender>();
  log->SetLevelError();
  log->MaxSize = 1024;
  TLog::Global()->AddAppender(log.get());
  ErrorLog() = std::move(log);  // a previous log detaches itself when freed
}

void TExceptionStat::StopErrorLog() { ErrorLog().reset(); }

bool TExceptionStat::HasErrors() { return ErrorLog() && !ErrorLog()->GetText().empty(); }

void TExceptionStat::ClearErrors() {
  if (ErrorLog()) ErrorLog()->Clear();
}

void TExceptionStat::ReportIfErrors(const std::string& message) {
  if (!HasErrors()) return;
  ShowExceptionReport(message);
  ClearErrors();
}

void TExceptionStat::SetReporter(Reporter reporter) { TheReporter() = std::move(reporter); }

void TExceptionStat::ShowExceptionReport(const std::string& message) {
  if (TheReporter()) TheReporter()(message);
}

}  // namespace lorvant
