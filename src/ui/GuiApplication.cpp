#include "ui/GuiApplication.h"

#include <QIcon>

#include "ui/UnexpectedError.h"

// The icon lives in the library's resources, which a static library must
// register itself (the macro works outside any namespace only).
static void InitResources() { Q_INIT_RESOURCE(lorvant); }

namespace lorvant {

TGuiApplication::TGuiApplication(int& argc, char** argv) : QApplication(argc, argv) {
  InitResources();
  setApplicationName("Lorvant");
  setApplicationDisplayName("Lorvant");
  setDesktopFileName("lorvant");
  setWindowIcon(QIcon(":/lorvant.svg"));
}

bool TGuiApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ReportUnexpectedError(e.what());
  } catch (...) {
    ReportUnexpectedError("Unknown error");
  }
  return false;
}

}  // namespace lorvant
