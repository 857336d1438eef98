// The "Save Session" dialog: asks for the task file name, completes a bare
// name to the documents folder's Lorvant folder with ".sft", and makes sure
// the file exists or can be created before it confirms.
#pragma once

#include <QDialog>

#include "tasks/SessionSaver.h"

class QLabel;
class QPushButton;

namespace lorvant {

class TFileNameEdit;

class TSessionSaveDlg : public QDialog, public TSessionSaveDialog {
  Q_OBJECT

 public:
  explicit TSessionSaveDlg(QWidget* parent = nullptr);

  bool Confirmed = false;
  bool MakeBatchFlag = false;

  void SetFileName(const std::string& name) override;
  void SetFilter(const std::string& filter) override;
  void SetDefaultExt(const std::string& ext) override;
  void SetDescription(const std::string& text) override;
  bool Execute() override;
  std::string FileName() const override;
  bool MakeBatch() const override { return MakeBatchFlag; }

  // Completes and checks the name in the box (see the file comment); on a
  // failure shows its message, focuses the box and returns false.
  bool CheckFileName();

  QLabel* lblSessionDesc;
  QLabel* lblSessionFile;
  TFileNameEdit* edtSessionFile;
  QPushButton* btnSave;
  QPushButton* btnBatch;
  QPushButton* btnCancel;

 private slots:
  void btnSaveClick();
  void btnBatchClick();
};

// Plain forms with a cream background and a size fixed by their layout.
void StyleAsSmallDialog(QDialog* dialog);

}  // namespace lorvant
