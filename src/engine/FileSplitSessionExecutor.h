// Runs split tasks with one file splitter, reused for every run.
#pragma once

#include <memory>

#include "engine/FileSplitter.h"
#include "engine/SessionExecutor.h"

namespace lorvant {

class TFileSplitSessionExecutor : public TSessionExecutor {
 public:
  TFileSplitSessionExecutor();
  ~TFileSplitSessionExecutor() override;

  // Binds session and outputer to the splitter and runs it; a failure of
  // the run goes to the outputer and, prefixed, to the "Global" log; then
  // errors collected in a windowed run offer the exception report.
  // Throws EInvalidCast for a session or outputer of another kind.
  bool Execute() override;
  void Stop() override { Converter->Stop(); }
  void ResetStop() override { Converter->ResetStop(); }
  int64_t FailedRecords() const override { return Converter->Status().ErrorCount; }

  const std::unique_ptr<TFileSplitter> Converter;
};

}  // namespace lorvant
