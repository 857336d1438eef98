// An outputer bound to a converter's status record: its five notifications
// become HandleBegin, HandleProgress, HandleError, HandleMessage, HandleEnd.
#pragma once

#include "engine/ConvertStatus.h"
#include "engine/Outputer.h"

namespace lorvant {

class TConvertOutputer : public TOutputer {
 public:
  TConvertStatus* Status = nullptr;  // not owned
  void SetStatus(TConvertStatus* status) { Status = status; }

  // Binds the five notifications of Status to this outputer.
  void BindStatus() override;

 protected:
  virtual void HandleError() = 0;
  virtual void HandleMessage() = 0;
  virtual void HandleBegin() = 0;
  virtual void HandleEnd() = 0;
  virtual void HandleProgress() = 0;
};

}  // namespace lorvant
