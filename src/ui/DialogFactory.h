// How the main window shows the about box (and, once it exists, starts
// the user's update check).
#pragma once

class QWidget;

namespace lorvant {

class TDialogFactory {
 public:
  // The about box for "Lorvant", its link row left empty.
  void ShowAbout(QWidget* parent);
};

}  // namespace lorvant
