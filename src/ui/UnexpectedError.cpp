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
  RunOnWindowThread([message] { Show(message); });
}

void RunOnWindowThread(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  if (QThread::currentThread() == app->thread()) {
    fn();
  } else {
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
  }
}

}  // namespace lorvant
