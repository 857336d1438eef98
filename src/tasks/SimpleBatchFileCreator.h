// The batch-file creator the application uses: the dialog comes from a
// factory the windows supply, and the creator's keyword decides whether the
// dialog speaks of a "Task File" ("task") or a "Session File" ("session").
#pragma once

#include <functional>
#include <memory>

#include "tasks/BatchFileCreator.h"

namespace lorvant {

using TBatchFileDialogFactory = std::function<std::unique_ptr<TBatchFileDialog>()>;

class TSimpleBatchFileCreator : public TBatchFileCreator {
 public:
  explicit TSimpleBatchFileCreator(TBatchFileDialogFactory factory)
      : factory_(std::move(factory)) {}

  // A dialog from the factory with label and keyword set from OptionName:
  // "task" (any case) gives "Task File" and "task", anything else
  // "Session File" and "session". Throws Exception when no dialog comes.
  std::unique_ptr<TBatchFileDialog> CreateDialog() override;
  // The windows supply their dialog once they exist.
  void SetDialogFactory(TBatchFileDialogFactory factory) { factory_ = std::move(factory); }

 private:
  TBatchFileDialogFactory factory_;
};

}  // namespace lorvant
