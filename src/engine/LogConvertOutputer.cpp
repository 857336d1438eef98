#include "engine/LogConvertOutputer.h"

#include "engine/TimeUtil.h"

namespace lorvant {

void TLogConvertOutputer::HandleEnd() {
  std::string text = std::to_string(Status->Done) + " records" +
                     "    Elapsed: " + FormatElapsed(true, Status->ElapsedMs());
  if (Status->ErrorCount > 0) {
    text += ".  " + std::to_string(Status->ErrorCount) + " rows can not convert.";
  }
  Output(text);
}

}  // namespace lorvant
