// Saving a task through the save dialog: the saver runs the dialog for one
// task and writes the task file when the user confirms; the manager, one per
// application, runs a saver and then offers a batch file when asked for.
// The dialog belongs to the windows; this layer knows only what it needs.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace lorvant {

class TBatchFileCreator;
class TTaskSession;

// The save dialog as the saver uses it.
class TSessionSaveDialog {
 public:
  TSessionSaveDialog() = default;
  virtual ~TSessionSaveDialog() = default;
  TSessionSaveDialog(const TSessionSaveDialog&) = delete;
  TSessionSaveDialog& operator=(const TSessionSaveDialog&) = delete;

  virtual void SetFileName(const std::string& name) = 0;
  virtual void SetFilter(const std::string& filter) = 0;
  virtual void SetDefaultExt(const std::string& ext) = 0;
  virtual void SetDescription(const std::string& text) = 0;
  // Shows the dialog modally; true when a button confirmed it, and then
  // FileName() is complete and names a file that exists.
  virtual bool Execute() = 0;
  virtual std::string FileName() const = 0;
  // Confirmed with "Save && Make Batch File".
  virtual bool MakeBatch() const = 0;
};

using TSessionSaveDialogFactory = std::function<std::unique_ptr<TSessionSaveDialog>()>;

class TSessionSaver {
 public:
  TSessionSaver(TTaskSession* session, TSessionSaveDialogFactory factory)
      : Session(session), factory_(std::move(factory)) {}
  TSessionSaver(const TSessionSaver&) = delete;
  TSessionSaver& operator=(const TSessionSaver&) = delete;

  TTaskSession* const Session;  // not owned
  bool MakeBatchFile = false;

  // Runs the dialog on the session's file name, filter and default
  // extension with "Save Session (<display name, CR LF as two blanks>)";
  // when confirmed, SaveToFile with the dialog's name. Throws Exception
  // when no dialog can be made, and whatever SaveToFile throws.
  void Execute();

 private:
  TSessionSaveDialogFactory factory_;
};

class TSessionManager {
 public:
  explicit TSessionManager(TBatchFileCreator* batch_file_creator)
      : BatchFileCreator(batch_file_creator) {}
  TSessionManager(const TSessionManager&) = delete;
  TSessionManager& operator=(const TSessionManager&) = delete;

  TBatchFileCreator* BatchFileCreator;  // not owned

  // The windows supply their save dialog once they exist.
  void SetDialogFactory(TSessionSaveDialogFactory factory) { factory_ = std::move(factory); }
  // Saves session through the dialog; true when a file exists under the
  // session's FileName afterwards (also after a cancel, for a task saved
  // or loaded before). Then, when asked for, the batch-file dialog.
  bool SaveSession(TTaskSession* session);

 private:
  TSessionSaveDialogFactory factory_;
};

}  // namespace lorvant
