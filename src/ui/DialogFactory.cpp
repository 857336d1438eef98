#include "ui/DialogFactory.h"

#include "ui/AboutBox.h"

namespace lorvant {

void TDialogFactory::ShowAbout(QWidget* parent) {
  TAboutBoxDialog dialog;
  dialog.ProductName = "Lorvant";
  dialog.Execute(parent);
}

}  // namespace lorvant
