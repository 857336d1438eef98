#include "ui/TaskAccountDlg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Mnemonics.h"

namespace lorvant {

TfrmTaskAccount::TfrmTaskAccount(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Task Account Details");
  edUserName = new QLineEdit(this);
  edUserName->setAccessibleName("User name");
  lblUserName = new QLabel("&User name:", this);
  lblUserName->setBuddy(edUserName);
  lblPasswordNote = new QLabel(
      "No password is needed or kept: the task runs from that user's own schedule.  Only root "
      "can schedule a task for another user.",
      this);
  lblPasswordNote->setWordWrap(true);
  ckbUseSystem = new QCheckBox("Use my own &account (no rights required)", this);
  btnOK = new QPushButton("OK", this);
  btnCancel = new QPushButton("Cancel", this);
  btnOK->setDefault(true);
  connect(ckbUseSystem, &QCheckBox::toggled, this, &TfrmTaskAccount::UpdateStates);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* form = new QFormLayout();
  form->addRow(lblUserName, edUserName);
  form->addRow(lblPasswordNote);
  form->addRow(ckbUseSystem);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  setMinimumWidth(420);
  AssignMnemonics(this);
}

void TfrmTaskAccount::UpdateStates() {
  const bool own = ckbUseSystem->isChecked();
  lblUserName->setEnabled(!own);
  edUserName->setEnabled(!own);
  // Focus in the first field that takes input.
  (own ? static_cast<QWidget*>(ckbUseSystem) : edUserName)->setFocus();
}

bool AskTaskAccount(std::string* user, QWidget* parent) {
  TfrmTaskAccount dialog(parent);
  dialog.edUserName->setText(QString::fromStdString(*user));
  dialog.ckbUseSystem->setChecked(user->empty() ||
                                  QString::fromStdString(*user).toLower() == "system");
  dialog.UpdateStates();
  if (dialog.exec() != QDialog::Accepted) return false;
  *user = dialog.ckbUseSystem->isChecked() ? "" : dialog.edUserName->text().trimmed().toStdString();
  return true;
}

}  // namespace lorvant
