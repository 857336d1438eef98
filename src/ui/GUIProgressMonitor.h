// The split window's progress display: a bar, a percentage, a message line
// with counts and times, and a blue notification line. A run reports from
// its worker thread; the display state is kept here and handed to the
// window's thread in one queued update at a time, so the controls are only
// ever touched there and a fast run never floods the window's queue.
#pragma once

#include <QPointer>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/ProgressMonitor.h"

class QLabel;
class QProgressBar;

namespace lorvant {

class TGUIProgressMonitor : public TProgressMonitor {
 public:
  TGUIProgressMonitor() = default;

  int64_t Total = -1;
  bool TotalUnknown = true;

  // Keeps the controls (not owned), makes the notification line blue with
  // tooltips on it and the message line, UnitName := "records", Clear.
  void Bind(QProgressBar* bar, QLabel* message, QLabel* notify, QLabel* percent);

  void SetTotal(int64_t total) override;
  void Progress(int64_t done) override;
  void Finish(int64_t done) override;
  void Clear() override;
  void SetNotify(const std::string& text) override;
  void SetMessage(const std::string& text) override;

  // The bar as the run sees it (64-bit; the control itself is scaled when
  // the counts do not fit its range).
  int64_t BarMaximum() const;
  int64_t BarPosition() const;

 private:
  struct Display {
    int64_t bar_max = 0;
    int64_t bar_pos = 0;
    std::string percent;
    std::string message;
    std::string notify;
  };
  void SetBarPosition(int64_t n);  // with mutex_ held
  void ShowPercent(int64_t n);     // with mutex_ held
  // Shows the display now on the window's thread, else queues one update.
  void Publish();
  void Apply();

  mutable std::mutex mutex_;
  Display display_;
  bool update_queued_ = false;
  QPointer<QProgressBar> bar_;
  QPointer<QLabel> message_;
  QPointer<QLabel> notify_;
  QPointer<QLabel> percent_;
};

// percent of done out of total as "%.0f %%", right for any 64-bit counts.
std::string PercentText(int64_t done, int64_t total);

}  // namespace lorvant
