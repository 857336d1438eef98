#include "ui/UpdateChecks.h"

#include <QApplication>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>

#include "ui/NotifyUpdateDlg.h"

namespace lorvant {
namespace {

TUpdateChecks* installed = nullptr;

// How often a waiting notice looks whether the open dialogs have closed.
constexpr int kNoticeRetryMs = 400;

// The window a notice belongs to: the active one, else the first window of
// the program that is shown; nullptr while none is.
QWidget* NoticeOwner() {
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->parentWidget() == nullptr) return w;
  }
  return nullptr;
}

}  // namespace

void SetUpdateChecks(TUpdateChecks* checks) { installed = checks; }
TUpdateChecks* InstalledUpdateChecks() { return installed; }

TUpdateChecks::TUpdateChecks(ClientFactory factory, QObject* parent)
    : QObject(parent), factory_(std::move(factory)) {
  wait_timer_ = new QTimer(this);
  wait_timer_->setSingleShot(true);
  wait_timer_->setInterval(kNoticeRetryMs);
  connect(wait_timer_, &QTimer::timeout, this, &TUpdateChecks::ShowWaitingNotices);
}

TUpdateChecks::~TUpdateChecks() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Worker& worker : workers_) *worker.cancel = true;
    for (Worker& worker : workers_) worker.thread.join();
  }
  delete checking_.data();
  for (const QPointer<TNotifyUpdateDlg>& notice : notices_) delete notice.data();
}

void TUpdateChecks::NotifyUpdate() { Start(false); }

void TUpdateChecks::CheckUpdate() { Start(true); }

void TUpdateChecks::Start(bool manual) {
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  if (manual) {
    // The request may take until its time-out: the user sees that it runs
    // and may stop it.
    delete checking_.data();
    auto* progress = new QProgressDialog("Checking for updates...", "&Cancel", 0, 0,
                                         QApplication::activeWindow());
    progress->setWindowTitle("Check Update");
    progress->setWindowModality(Qt::ApplicationModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    if (auto* bar = progress->findChild<QProgressBar*>()) bar->setAccessibleName("Checking");
    // Cancel, Escape and the window's close button all stop the check.
    auto stop = [this, cancel] {
      if (cancel->exchange(true)) return;
      if (checking_) checking_->deleteLater();
      emit CheckFinished(false);
    };
    connect(progress, &QProgressDialog::canceled, this, stop);
    connect(progress, &QDialog::rejected, this, stop);
    checking_ = progress;
    progress->show();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // Threads of checks that ended are joined here, so the list stays short.
  std::erase_if(workers_, [](Worker& worker) {
    if (!*worker.done) return false;
    worker.thread.join();
    return true;
  });
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([this, manual, done, cancel] {
    TUpdateNotice notice;
    try {
      std::unique_ptr<THttpClient> http = factory_();
      notice = manual ? RunManualUpdateCheck(*http, LocalNow(), cancel.get())
                      : RunAutomaticUpdateCheck(*http, LocalNow(), cancel.get());
    } catch (const std::exception&) {
      notice.Show = false;  // a check never troubles the user with its own failure
    }
    if (!*cancel) {
      QMetaObject::invokeMethod(
          this, [this, notice, cancel, manual] { Answered(notice, cancel, manual); },
          Qt::QueuedConnection);
    }
    *done = true;
  });
  workers_.push_back(Worker{std::move(thread), std::move(done), std::move(cancel)});
}

void TUpdateChecks::Answered(const TUpdateNotice& notice,
                             const std::shared_ptr<std::atomic<bool>>& cancel, bool manual) {
  if (*cancel) return;  // the user stopped it; that was its end
  if (manual && checking_) {
    disconnect(checking_, nullptr, this, nullptr);
    delete checking_.data();
  }
  if (!notice.Show) {
    emit CheckFinished(false);
    return;
  }
  if (manual) {
    // The user asked and waited in the checking window: the answer takes
    // its place.
    TNotifyUpdateDlg dialog(QApplication::activeWindow());
    dialog.Fill(notice);
    dialog.exec();
    emit CheckFinished(true);
    return;
  }
  waiting_.push_back(notice);
  ShowWaitingNotices();
}

void TUpdateChecks::ShowWaitingNotices() {
  if (waiting_.empty()) return;
  // Nobody asked for the daily notice: it never comes between the user and
  // an open dialog, and it shows without taking the keyboard.
  // It belongs to a window of the program, and shows only once there is one.
  QWidget* owner = NoticeOwner();
  if (owner == nullptr || QApplication::activeModalWidget() != nullptr ||
      QApplication::activePopupWidget() != nullptr) {
    wait_timer_->start();
    return;
  }
  for (const TUpdateNotice& notice : waiting_) {
    auto* dialog = new TNotifyUpdateDlg(owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAttribute(Qt::WA_ShowWithoutActivating);
    dialog->setModal(false);
    dialog->Fill(notice);
    connect(dialog, &QDialog::finished, this, [this] { emit CheckFinished(true); });
    notices_.emplace_back(dialog);
    dialog->show();
  }
  waiting_.clear();
  std::erase_if(notices_, [](const QPointer<TNotifyUpdateDlg>& n) { return n.isNull(); });
}

}  // namespace lorvant
