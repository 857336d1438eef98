// The update checks of a windowed run. Each check decides and asks on a
// worker thread of its own and hands its notice to the window's thread,
// where the dialog is filled and shown. The user's check shows at once that
// it is checking and can be cancelled there. The daily notice never takes
// the keyboard: it waits until no dialog is open and then shows without
// activating. When the checks' owner goes (the application closing) it
// cancels the requests still under way and waits for their threads, so no
// thread outlives the windows.
#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "diagnostics/UpdateCheck.h"
#include "ui/NotifyUpdateDlg.h"

class QTimer;

namespace lorvant {

class TUpdateChecks : public QObject {
  Q_OBJECT

 public:
  using ClientFactory = std::function<std::unique_ptr<THttpClient>()>;

  // Each check makes its own client through factory.
  explicit TUpdateChecks(ClientFactory factory, QObject* parent = nullptr);
  ~TUpdateChecks() override;

  // The automatic check (at most once a day, silent unless newer).
  void NotifyUpdate();
  // The user's check: always answers, unless the user cancels it.
  void CheckUpdate();

  // The "Checking for updates..." window of the user's check under way, or
  // nullptr.
  QProgressDialog* CheckingDialog() const { return checking_; }
  // True while a daily notice waits for the open dialogs to close.
  bool NoticeWaiting() const { return !waiting_.empty(); }

 signals:
  // A check ended: after its dialog closed, or without one (shown false).
  void CheckFinished(bool shown);

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
    std::shared_ptr<std::atomic<bool>> cancel;
  };

  void Start(bool manual);
  void Answered(const TUpdateNotice& notice, const std::shared_ptr<std::atomic<bool>>& cancel,
                bool manual);
  void ShowWaitingNotices();

  ClientFactory factory_;
  std::mutex mutex_;
  std::vector<Worker> workers_;  // guarded by mutex_
  QPointer<QProgressDialog> checking_;
  std::vector<TUpdateNotice> waiting_;
  QTimer* wait_timer_;
  std::vector<QPointer<TNotifyUpdateDlg>> notices_;
};

// The checks the main window's "Check Update" uses (not owned; nullptr:
// none, and the command is unavailable).
void SetUpdateChecks(TUpdateChecks* checks);
TUpdateChecks* InstalledUpdateChecks();

}  // namespace lorvant
