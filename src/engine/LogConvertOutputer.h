// Reports a run in a task log file: each failed record's text, stop
// messages, and a closing summary line. Used by command-line runs.
#pragma once

#include "engine/ConvertOutputer.h"

namespace lorvant {

class TLogConvertOutputer : public TConvertOutputer {
 protected:
  void HandleError() override { Output(Status->ErrorText); }
  void HandleMessage() override { Output(Status->Message); }
  void HandleBegin() override {}
  // "<done> records    Elapsed: hh:nn:ss.zzz" and, after failures,
  // ".  <n> rows can not convert.".
  void HandleEnd() override;
  void HandleProgress() override {}
};

}  // namespace lorvant
