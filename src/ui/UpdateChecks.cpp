#include "ui/UpdateChecks.h"

#include <QApplication>

#include "ui/NotifyUpdateDlg.h"

namespace lorvant {
namespace {
TUpdateChecks* installed = nullptr;
}  // namespace

void SetUpdateChecks(TUpdateChecks* checks) { installed = checks; }
TUpdateChecks* InstalledUpdateChecks() { return installed; }

TUpdateChecks::TUpdateChecks(ClientFactory factory, QObject* parent)
    : QObject(parent), factory_(std::move(factory)) {}

TUpdateChecks::~TUpdateChecks() {
  cancel_ = true;
  std::lock_guard<std::mutex> lock(mutex_);
  for (Worker& worker : workers_) worker.thread.join();
}

void TUpdateChecks::NotifyUpdate() { Start(false); }

void TUpdateChecks::CheckUpdate() { Start(true); }

void TUpdateChecks::Start(bool manual) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Threads of checks that ended are joined here, so the list stays short.
  std::erase_if(workers_, [](Worker& worker) {
    if (!*worker.done) return false;
    worker.thread.join();
    return true;
  });
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([this, manual, done] {
    TUpdateNotice notice;
    try {
      std::unique_ptr<THttpClient> http = factory_();
      notice = manual ? RunManualUpdateCheck(*http, LocalNow(), &cancel_)
                      : RunAutomaticUpdateCheck(*http, LocalNow(), &cancel_);
    } catch (const std::exception&) {
      notice.Show = false;  // a check never troubles the user with its own failure
    }
    if (!cancel_) {
      QMetaObject::invokeMethod(
          this, [this, notice] { Show(notice); }, Qt::QueuedConnection);
    }
    *done = true;
  });
  workers_.push_back(Worker{std::move(thread), std::move(done)});
}

void TUpdateChecks::Show(const TUpdateNotice& notice) {
  if (!notice.Show) {
    emit CheckFinished(false);
    return;
  }
  TNotifyUpdateDlg dialog(QApplication::activeWindow());
  dialog.Fill(notice);
  dialog.exec();
  emit CheckFinished(true);
}

}  // namespace lorvant
