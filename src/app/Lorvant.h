// The Lorvant application: runs split task files from the command line and,
// without parameters, the windows. Owns the batch-file creator.
#pragma once

#include <memory>

#include "app/DataApp.h"
#include "tasks/SimpleBatchFileCreator.h"

namespace lorvant {

class TLorvant : public TDataApp {
 public:
  TLorvant();
  ~TLorvant() override;

  std::unique_ptr<TSimpleBatchFileCreator> BatchFileCreator;

  void SetLimits() override { SetProgressStepCap(100000); }
  // Creates the instance on the first call.
  static TLorvant& Instance();
  // The instance; throws Exception "TLorvant not create." when there is none.
  static TLorvant& App();
  // Runs the task named by the parameters; sets ExitCode.
  bool RunCommandLine() override;
  // This build has no windows: tells how to run a task instead.
  void RunWindowed() override;
};

}  // namespace lorvant
