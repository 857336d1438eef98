#include "engine/ConvertStatus.h"

#include "os/Env.h"

namespace lorvant {

void TConvertStatus::Start() {
  Done = 0;
  ErrorCount = 0;
  SourceRead = 0;
  Message.clear();
  ErrorText.clear();
  StartTick = static_cast<double>(Env::Default()->MonotonicMs());
  Fire(OnBegin);
}

double TConvertStatus::ElapsedMs() const {
  return static_cast<double>(Env::Default()->MonotonicMs()) - StartTick;
}

}  // namespace lorvant
