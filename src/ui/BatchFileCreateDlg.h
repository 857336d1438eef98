// The batch-file dialog: the task file to run, the log file of its runs and
// the shell script to write. "OK" checks the names, writes the script, says
// so and opens it in the desktop's editor. TBatchFileCreateDlg holds what
// every such dialog shares; TSimpleBatchFileCreateDlg is the one shown.
#pragma once

#include <QDialog>
#include <memory>

#include "tasks/BatchFileCreator.h"

class QLabel;
class QPushButton;

namespace lorvant {

class TFileNameEdit;

class TBatchFileCreateDlg : public QDialog, public TBatchFileDialog {
  Q_OBJECT

 public:
  explicit TBatchFileCreateDlg(QWidget* parent = nullptr);

  bool Confirmed = false;

  TBatchOptions& Options() override { return *options_; }
  void SetTaskFileLabel(const std::string& label) override;
  void SetNames(const std::string& task_file, const std::string& log_file,
                const std::string& batch_file) override;
  int ShowModal() override { return Execute() ? 1 : 0; }
  virtual bool Execute() = 0;

 protected:
  // Writes the batch file from the boxes; false after showing why not.
  bool WriteBatchFile();

  // Set by the concrete dialog when it builds its controls.
  QLabel* task_file_label_ = nullptr;
  TFileNameEdit* task_file_box_ = nullptr;
  TFileNameEdit* log_file_box_ = nullptr;
  TFileNameEdit* batch_file_box_ = nullptr;

 private:
  std::unique_ptr<TBatchOptions> options_;
};

class TSimpleBatchFileCreateDlg : public TBatchFileCreateDlg {
  Q_OBJECT

 public:
  explicit TSimpleBatchFileCreateDlg(QWidget* parent = nullptr);

  bool Execute() override;

  QLabel* lblSessionFile;
  TFileNameEdit* edtSessionFile;
  QLabel* lblLogFile;
  TFileNameEdit* edtLogFile;
  QLabel* lblBatchFile;
  TFileNameEdit* edtBatchFile;
  QPushButton* btnOK;
  QPushButton* btnScheduleTask;
  QPushButton* btnCancel;

 private slots:
  void btnOKClick();
  // Writes the batch file, then schedules it through the wizard and shows
  // the task list.
  void btnScheduleTaskClick();
};

}  // namespace lorvant
