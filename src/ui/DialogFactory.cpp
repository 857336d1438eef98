#include "ui/DialogFactory.h"

#include "ui/AboutBox.h"
#include "ui/UpdateChecks.h"

namespace lorvant {

void TDialogFactory::ShowAbout(QWidget* parent) {
  TAboutBoxDialog dialog;
  dialog.ProductName = "Lorvant";
  dialog.Execute(parent);
}

void TDialogFactory::CheckForUpdate() {
  if (TUpdateChecks* checks = InstalledUpdateChecks()) checks->CheckUpdate();
}

}  // namespace lorvant
