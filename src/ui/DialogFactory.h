// How the main window shows the about box and starts the user's update
// check.
#pragma once

class QWidget;

namespace lorvant {

class TDialogFactory {
 public:
  // The about box for "Lorvant", its link row left empty.
  void ShowAbout(QWidget* parent);
  // The user's update check, on the installed checks; it answers through
  // its own dialog. Nothing when no checks are installed.
  void CheckForUpdate();
};

}  // namespace lorvant
