#include "tasks/BatchFileCreator.h"

#include "fs/FileUtil.h"

namespace lorvant {

void TBatchFileCreator::CreateBatchFile(const std::string& task_file) {
  std::unique_ptr<TBatchFileDialog> dialog = CreateDialog();
  dialog->SetNames(task_file, DeriveLogFileName(task_file), DeriveBatchFileName(task_file));
  dialog->ShowModal();
}

std::string DeriveLogFileName(const std::string& task_file) {
  return RemoveFileExt(task_file) + ".log";
}

std::string DeriveBatchFileName(const std::string& task_file) {
  return RemoveFileExt(task_file) + ".sh";
}

}  // namespace lorvant
