#include "ui/BatchFileCreateDlg.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "base/Exception.h"
#include "ui/Desktop.h"
#include "ui/FileNameEdit.h"
#include "ui/SessionSaveDlg.h"
#include "ui/TaskListForm.h"
#include "ui/UnexpectedError.h"

namespace lorvant {

TBatchFileCreateDlg::TBatchFileCreateDlg(QWidget* parent)
    : QDialog(parent), options_(std::make_unique<TBatchOptions>()) {}

void TBatchFileCreateDlg::SetTaskFileLabel(const std::string& label) {
  QString text = QString::fromStdString(label);
  // The caption comes without an accelerator; its first letter gets it.
  if (!text.contains('&')) text.prepend('&');
  task_file_label_->setText(text);
  task_file_box_->SetAccessibleLabel(QString::fromStdString(label));
}

void TBatchFileCreateDlg::SetNames(const std::string& task_file, const std::string& log_file,
                                   const std::string& batch_file) {
  task_file_box_->SetText(task_file);
  log_file_box_->SetText(log_file);
  batch_file_box_->SetText(batch_file);
}

bool TBatchFileCreateDlg::WriteBatchFile() {
  options_->SessionFile = task_file_box_->Text();
  options_->LogFile = log_file_box_->Text();
  options_->BatchFile = batch_file_box_->Text();
  if (!options_->Validate()) {
    Desktop().ShowMessage(this, options_->ErrorMessage);
    return false;
  }
  try {
    options_->SaveBatchFile();
  } catch (const Exception& e) {
    // Most often a folder typed wrong: the user's to mend, in place.
    Desktop().ShowMessage(this, e.Message());
    batch_file_box_->LineEdit()->setFocus();
    return false;
  } catch (const std::exception& e) {
    ReportUnexpectedError(e.what());
    return false;
  }
  return true;
}

TSimpleBatchFileCreateDlg::TSimpleBatchFileCreateDlg(QWidget* parent)
    : TBatchFileCreateDlg(parent) {
  setWindowTitle("Create Batch File");
  lblSessionFile = new QLabel("Session File", this);
  edtSessionFile = new TFileNameEdit(TFileNameEdit::Kind::kOpenFile, this);
  edtSessionFile->Filter = "Split File Task (*.sft)|*.sft";
  edtSessionFile->DefaultExt = "sft";
  lblLogFile = new QLabel("&Log File", this);
  edtLogFile = new TFileNameEdit(TFileNameEdit::Kind::kSaveFile, this);
  edtLogFile->Filter = "Log files (*.log)|*.log";
  edtLogFile->DefaultExt = "log";
  edtLogFile->SetAccessibleLabel("Log File");
  lblBatchFile = new QLabel("&Batch File", this);
  edtBatchFile = new TFileNameEdit(TFileNameEdit::Kind::kSaveFile, this);
  edtBatchFile->Filter = "Shell scripts (*.sh)|*.sh";
  edtBatchFile->DefaultExt = "sh";
  edtBatchFile->SetAccessibleLabel("Batch File");
  lblSessionFile->setBuddy(edtSessionFile->LineEdit());
  lblLogFile->setBuddy(edtLogFile->LineEdit());
  lblBatchFile->setBuddy(edtBatchFile->LineEdit());
  btnOK = new QPushButton("&OK", this);
  btnScheduleTask = new QPushButton("C&reate && Schedule Task", this);
  btnCancel = new QPushButton("&Cancel", this);
  btnOK->setDefault(true);

  auto* grid = new QGridLayout();
  grid->addWidget(lblSessionFile, 0, 0);
  grid->addWidget(edtSessionFile, 0, 1);
  grid->addWidget(lblLogFile, 1, 0);
  grid->addWidget(edtLogFile, 1, 1);
  grid->addWidget(lblBatchFile, 2, 0);
  grid->addWidget(edtBatchFile, 2, 1);
  grid->setColumnMinimumWidth(1, 480);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnScheduleTask);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  StyleAsSmallDialog(this);

  task_file_label_ = lblSessionFile;
  task_file_box_ = edtSessionFile;
  log_file_box_ = edtLogFile;
  batch_file_box_ = edtBatchFile;
  SetTaskFileLabel("Session File");

  connect(btnOK, &QPushButton::clicked, this, &TSimpleBatchFileCreateDlg::btnOKClick);
  connect(btnScheduleTask, &QPushButton::clicked, this,
          &TSimpleBatchFileCreateDlg::btnScheduleTaskClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  edtSessionFile->LineEdit()->setFocus();
}

bool TSimpleBatchFileCreateDlg::Execute() {
  Confirmed = false;
  exec();
  return Confirmed;
}

void TSimpleBatchFileCreateDlg::btnOKClick() {
  if (!WriteBatchFile()) return;
  Desktop().ShowMessage(this, "File " + edtBatchFile->Text() + " Created.");
  Confirmed = true;
  Desktop().Open(edtBatchFile->Text());  // the desktop's editor; its outcome is not examined
  accept();
}

void TSimpleBatchFileCreateDlg::btnScheduleTaskClick() {
  if (!WriteBatchFile()) return;
  Confirmed = true;
  const std::string script =
      QFileInfo(QString::fromStdString(edtBatchFile->Text())).absoluteFilePath().toStdString();
  // The task list is made only now: a missing scheduler must not keep the
  // batch file from being written.
  std::unique_ptr<TTaskListForm> list;
  try {
    list = std::make_unique<TTaskListForm>(this);
  } catch (const std::exception& e) {
    Desktop().ShowError(this, e.what());
    accept();
    return;
  }
  list->ScheduleApplication(script);
  hide();
  list->exec();
  accept();
}

}  // namespace lorvant
