#include "ui/GUIProgressMonitor.h"

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QThread>
#include <climits>
#include <cstdio>

#include "engine/TimeUtil.h"
#include "os/Env.h"

namespace lorvant {

std::string PercentText(int64_t done, int64_t total) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%.0f %%",
                static_cast<double>(done) * 100.0 / static_cast<double>(total));
  return buf;
}

void TGUIProgressMonitor::Bind(QProgressBar* bar, QLabel* message, QLabel* notify,
                               QLabel* percent) {
  bar_ = bar;
  message_ = message;
  notify_ = notify;
  percent_ = percent;
  QPalette palette = notify->palette();
  palette.setColor(QPalette::WindowText, Qt::blue);
  notify->setPalette(palette);
  // Tooltips repeat the texts, set with them in Apply.
  UnitName = "records";
  Clear();
}

void TGUIProgressMonitor::SetTotal(int64_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  TotalUnknown = total == -1;
  Total = total;
  display_.bar_max = TotalUnknown ? 0 : total;
}

void TGUIProgressMonitor::SetBarPosition(int64_t n) {
  if (TotalUnknown) display_.bar_max = n + 1;
  display_.bar_pos = n < 0 ? 0 : (n > display_.bar_max ? display_.bar_max : n);
}

void TGUIProgressMonitor::ShowPercent(int64_t n) { display_.percent = PercentText(n, Total); }

void TGUIProgressMonitor::Progress(int64_t done) {
  if (Step == 0) Step = 1;
  if (done % Step != 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    SetBarPosition(done);
    std::string total_text;
    if (Total <= 0) {
      total_text = "> " + std::to_string(done);
    } else {
      ShowPercent(done);
      total_text = std::to_string(Total);
    }
    const double elapsed = static_cast<double>(Env::Default()->MonotonicMs()) - StartTime;
    const double remaining = EstimateRemaining(done, Total, elapsed);
    display_.message = std::to_string(done) + " " + UnitName + " / " + total_text + " " + UnitName +
                       "    Elapsed: " + FormatElapsed(false, elapsed) +
                       "    Remaining: " + FormatElapsed(false, remaining < 0 ? 0 : remaining);
  }
  Publish();
}

void TGUIProgressMonitor::Finish(int64_t done) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    SetBarPosition(done);
    if (TotalUnknown) display_.bar_max = done;
    if (Total > 0) ShowPercent(done);
  }
  Publish();
}

void TGUIProgressMonitor::Clear() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t max = display_.bar_max;
    display_ = Display();
    display_.bar_max = max;
  }
  Publish();
}

void TGUIProgressMonitor::SetNotify(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    display_.notify = text;
  }
  Publish();
}

void TGUIProgressMonitor::SetMessage(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    display_.message = text;
  }
  Publish();
}

int64_t TGUIProgressMonitor::BarMaximum() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return display_.bar_max;
}

int64_t TGUIProgressMonitor::BarPosition() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return display_.bar_pos;
}

void TGUIProgressMonitor::Publish() {
  if (!bar_) return;
  if (QThread::currentThread() == bar_->thread()) {
    Apply();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (update_queued_) return;  // the queued update will show this state too
    update_queued_ = true;
  }
  QMetaObject::invokeMethod(
      bar_, [this] { Apply(); }, Qt::QueuedConnection);
}

void TGUIProgressMonitor::Apply() {
  Display d;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    update_queued_ = false;
    d = display_;
  }
  if (!bar_ || !message_ || !notify_ || !percent_) return;
  // The control holds int; larger counts are shown in proportion.
  int64_t max = d.bar_max, pos = d.bar_pos;
  if (max > INT_MAX) {
    const int64_t scale = max / 1000000 + 1;
    max /= scale;
    pos /= scale;
  }
  // A range of 0..0 would make the control an endless busy bar.
  bar_->setRange(0, max > 0 ? static_cast<int>(max) : 1);
  bar_->setValue(static_cast<int>(pos));
  const QString message = QString::fromStdString(d.message);
  const QString notify = QString::fromStdString(d.notify);
  message_->setText(message);
  message_->setToolTip(message);
  notify_->setText(notify);
  notify_->setToolTip(notify);
  percent_->setText(QString::fromStdString(d.percent));
}

}  // namespace lorvant
