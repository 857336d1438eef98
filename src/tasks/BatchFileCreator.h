// Opens the batch-file dialog for a saved task file, with the log and batch
// file names derived from the task file's name. The dialog itself belongs
// to the windows; this layer only knows the operations it needs of it.
#pragma once

#include <memory>
#include <string>

#include "tasks/BatchOptions.h"

namespace lorvant {

// The batch-file dialog as the creators use it.
class TBatchFileDialog {
 public:
  TBatchFileDialog() = default;
  virtual ~TBatchFileDialog() = default;
  TBatchFileDialog(const TBatchFileDialog&) = delete;
  TBatchFileDialog& operator=(const TBatchFileDialog&) = delete;

  // The options the dialog checks and writes when confirmed.
  virtual TBatchOptions& Options() = 0;
  // Caption of the task file box ("Task File" or "Session File").
  virtual void SetTaskFileLabel(const std::string& label) = 0;
  // Fills the three name boxes.
  virtual void SetNames(const std::string& task_file, const std::string& log_file,
                        const std::string& batch_file) = 0;
  // Shows the dialog until the user closes it; returns its result.
  virtual int ShowModal() = 0;
};

class TBatchFileCreator {
 public:
  TBatchFileCreator() = default;
  virtual ~TBatchFileCreator() = default;
  TBatchFileCreator(const TBatchFileCreator&) = delete;
  TBatchFileCreator& operator=(const TBatchFileCreator&) = delete;

  std::string OptionName;  // keyword the dialog is to use

  // A new dialog, owned by the caller.
  virtual std::unique_ptr<TBatchFileDialog> CreateDialog() = 0;

  // Shows a new dialog for task_file with the derived log and batch file
  // names, modally; its result is not used.
  void CreateBatchFile(const std::string& task_file);
};

// task_file with the extension of its file name (from the last dot on)
// replaced by ".log"; a name without extension gets ".log" added.
std::string DeriveLogFileName(const std::string& task_file);
// The same with ".sh", the extension of a batch file here.
std::string DeriveBatchFileName(const std::string& task_file);

}  // namespace lorvant
