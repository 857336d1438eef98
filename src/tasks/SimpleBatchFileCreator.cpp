#include "tasks/SimpleBatchFileCreator.h"

#include "base/Exception.h"
#include "base/TextUtil.h"

namespace lorvant {
namespace {

bool IsTask(const std::string& name) { return SameTextIgnoreCase(name, "task"); }

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
