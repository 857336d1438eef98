// "Task Account Details": asks which account a scheduled task runs as when
// it is to run whether or not that user is logged on. Tasks here run from
// the account's own schedule, so no password is asked for or kept.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lorvant {

class TfrmTaskAccount : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmTaskAccount(QWidget* parent = nullptr);

  // Enables the account fields unless the own account is chosen.
  void UpdateStates();

  QLabel* lblUserName;
  QLineEdit* edUserName;
  QLabel* lblPasswordNote;
  QCheckBox* ckbUseSystem;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

// Shows the dialog with *user; true on OK, with *user the account chosen
// ("" for the task's own account), false on Cancel with *user unchanged.
bool AskTaskAccount(std::string* user, QWidget* parent = nullptr);

}  // namespace lorvant
