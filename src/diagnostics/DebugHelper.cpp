#include "diagnostics/DebugHelper.h"

#include "log/Log.h"

namespace lorvant {

std::string TDebugHelper::GetLog() { return TLog::DebugLog()->GetText(); }

void TDebugHelper::ClearLog() { TLog::DebugLog()->Clear(); }

}  // namespace lorvant
