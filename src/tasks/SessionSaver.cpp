#include "tasks/SessionSaver.h"

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/FileUtil.h"
#include "tasks/BatchFileCreator.h"
#include "tasks/TaskSession.h"

namespace lorvant {

void TSessionSaver::Execute() {
  std::unique_ptr<TSessionSaveDialog> dialog = factory_ ? factory_() : nullptr;
  if (!dialog) throw Exception("No save dialog available");
  dialog->SetFileName(Session->FileName);
  dialog->SetFilter(Session->FileFilter);
  dialog->SetDefaultExt(Session->DefaultExt);
  dialog->SetDescription("Save Session (" + ReplaceAll(Session->GetDisplayName(), "\r\n", "  ") +
                         ")");
  if (dialog->Execute()) Session->SaveToFile(dialog->FileName());
  MakeBatchFile = dialog->MakeBatch();
}

bool TSessionManager::SaveSession(TTaskSession* session) {
  bool make_batch;
  {
    TSessionSaver saver(session, factory_);
    saver.Execute();
    make_batch = saver.MakeBatchFile;
  }
  const bool result = !session->FileName.empty() && FileExists(session->FileName);
  if (result && make_batch && BatchFileCreator != nullptr) {
    BatchFileCreator->CreateBatchFile(session->FileName);
  }
  return result;
}

}  // namespace lorvant
