#include "tasks/SimpleBatchFileCreator.h"

#include "infra/Exception.h"

namespace lorvant {
namespace {

bool IsTask(const std::string& name) {
  static const char kTask[] = "task";
  if (name.size() != sizeof(kTask) - 1) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    if (c != kTask[i]) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<TBatchFileDialog> TSimpleBatchFileCreator::CreateDialog() {
  std::unique_ptr<TBatchFileDialog> dialog = factory_ ? factory_() : nullptr;
  if (!dialog) throw Exception("No batch file dialog available");
  bool task = IsTask(OptionName);
  dialog->SetTaskFileLabel(task ? "Task File" : "Session File");
  dialog->Options().OptionName = task ? "task" : "session";
  return dialog;
}

}  // namespace lorvant
