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

// Whether a display is there to open windows on (X11 or Wayland), or Qt
// was told to draw without one (QT_QPA_PLATFORM offscreen or minimal).
bool DisplayAvailable();

}  // namespace lorvant
