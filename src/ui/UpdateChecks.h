// The update checks of a windowed run. Each check decides and asks on a
// worker thread of its own and hands its notice to the window's thread,
// where the dialog is filled and shown. When the checks' owner goes (the
// application closing) it cancels the requests still under way and waits
// for their threads, so no thread outlives the windows.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "diagnostics/UpdateCheck.h"

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
  // The user's check: always answers.
  void CheckUpdate();

 signals:
  // A check ended: after its dialog closed, or without one (shown false).
  void CheckFinished(bool shown);

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void Start(bool manual);
  void Show(const TUpdateNotice& notice);

  ClientFactory factory_;
  std::atomic<bool> cancel_{false};
  std::mutex mutex_;
  std::vector<Worker> workers_;
};

// The checks the main window's "Check Update" uses (not owned; nullptr:
// none, and the command is unavailable).
void SetUpdateChecks(TUpdateChecks* checks);
TUpdateChecks* InstalledUpdateChecks();

}  // namespace lorvant
