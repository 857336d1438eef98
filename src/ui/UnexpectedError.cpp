#include "ui/UnexpectedError.h"

#include <QApplication>
#include <QMetaObject>
#include <QThread>

#include "ui/Desktop.h"

namespace lorvant {
namespace {

TUnexpectedErrorHandler& Handler() {
  static TUnexpectedErrorHandler handler;
  return handler;
}

// Runs fn on the application's thread: now when called there, else queued.
template <class F>
void OnWindowThread(F fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  if (QThread::currentThread() == app->thread()) {
    fn();
  } else {
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
  }
}

void Show(const std::string& message) {
  if (Handler()) {
    Handler()(message);
  } else {
    Desktop().ShowError(QApplication::activeWindow(), message);
  }
}

}  // namespace

void SetUnexpectedErrorHandler(TUnexpectedErrorHandler handler) { Handler() = std::move(handler); }

void ReportUnexpectedError(const std::string& message) {
  OnWindowThread([message] { Show(message); });
}

void ShowErrorMessage(const std::string& message) {
  OnWindowThread([message] { Desktop().ShowError(QApplication::activeWindow(), message); });
}

}  // namespace lorvant
