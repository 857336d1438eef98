#include "engine/ConvertOutputer.h"

namespace lorvant {

void TConvertOutputer::BindStatus() {
  Status->OnError = [this](TConvertStatus&) { HandleError(); };
  Status->OnMessage = [this](TConvertStatus&) { HandleMessage(); };
  Status->OnBegin = [this](TConvertStatus&) { HandleBegin(); };
  Status->OnEnd = [this](TConvertStatus&) { HandleEnd(); };
  Status->OnProgress = [this](TConvertStatus&) { HandleProgress(); };
}

}  // namespace lorvant
