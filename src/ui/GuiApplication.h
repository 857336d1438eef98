// The Qt application object of a windowed run: an exception that escapes
// an event handler is handed to the application's error handling instead
// of ending the program.
#pragma once

#include <QApplication>

namespace lorvant {

class TGuiApplication : public QApplication {
 public:
  TGuiApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace lorvant
