#include "ui/GUIProgressMonitor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>
#include <thread>

#include "engine/ProgressConvertOutputer.h"
#include "os/Env.h"

namespace lorvant {
namespace {

class GUIProgressMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bar_ = new QProgressBar(&window_);
    message_ = new QLabel(&window_);
    notify_ = new QLabel(&window_);
    percent_ = new QLabel(&window_);
    monitor_.Bind(bar_, message_, notify_, percent_);
  }
  std::string Message() const { return message_->text().toStdString(); }
  std::string Percent() const { return percent_->text().toStdString(); }

  QWidget window_;
  QProgressBar* bar_;
  QLabel *message_, *notify_, *percent_;
  TGUIProgressMonitor monitor_;
};

TEST_F(GUIProgressMonitorTest, BindMakesTheNoticeBlueAndStartsEmpty) {
  EXPECT_EQ(notify_->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(monitor_.UnitName, "records");
  EXPECT_TRUE(Message().empty());
  EXPECT_EQ(bar_->value(), 0);
}

TEST_F(GUIProgressMonitorTest, ShowsCountsPercentAndTimesEveryStep) {
  monitor_.StartTime = static_cast<double>(Env::Default()->MonotonicMs());
  monitor_.SetTotal(250);
  monitor_.SetStep(10);
  monitor_.Progress(5);  // not a multiple of the step: nothing changes
  EXPECT_TRUE(Message().empty());
  EXPECT_EQ(monitor_.BarPosition(), 0);
  monitor_.Progress(10);
  EXPECT_EQ(monitor_.BarMaximum(), 250);
  EXPECT_EQ(monitor_.BarPosition(), 10);
  EXPECT_EQ(bar_->maximum(), 250);
  EXPECT_EQ(bar_->value(), 10);
  EXPECT_EQ(Percent(), "4 %");
  EXPECT_TRUE(Message().starts_with("10 records / 250 records    Elapsed: 00:00:")) << Message();
  EXPECT_NE(Message().find("    Remaining: "), std::string::npos);
  EXPECT_EQ(message_->toolTip(), message_->text());
}

TEST_F(GUIProgressMonitorTest, PercentagesRoundAndHoldForHugeCounts) {
  struct Case {
    int64_t done, total;
    const char* percent;
  } cases[] = {{1, 3, "33 %"},
               {2, 3, "67 %"},
               {30000000, 50000000, "60 %"},
               {3000000000LL, 4000000000LL, "75 %"}};
  for (const Case& c : cases) {
    monitor_.SetTotal(c.total);
    monitor_.SetStep(1);
    monitor_.Progress(c.done);
    EXPECT_EQ(Percent(), c.percent) << c.done << " of " << c.total;
  }
  // The control's int range is scaled, in proportion, past 2^31.
  EXPECT_EQ(monitor_.BarMaximum(), 4000000000LL);
  EXPECT_NEAR(static_cast<double>(bar_->value()) / bar_->maximum(), 0.75, 0.001);
}

TEST_F(GUIProgressMonitorTest, EmptySourceShowsNoPercentAndZeroTimes) {
  monitor_.StartTime = 0;
  monitor_.SetTotal(0);
  monitor_.SetStep(1);
  monitor_.Progress(0);
  EXPECT_EQ(monitor_.BarMaximum(), 0);
  EXPECT_TRUE(Percent().empty());
  EXPECT_TRUE(Message().starts_with("0 records / > 0 records    Elapsed: ")) << Message();
  EXPECT_TRUE(Message().ends_with("Remaining: 00:00:00")) << Message();
  // Not an endless busy bar.
  EXPECT_GT(bar_->maximum(), bar_->minimum());
}

TEST_F(GUIProgressMonitorTest, FinishFillsTheBarAndClearEmptiesEverything) {
  monitor_.SetTotal(100);
  monitor_.Finish(150);
  EXPECT_EQ(monitor_.BarPosition(), 100);
  EXPECT_EQ(bar_->value(), bar_->maximum());
  monitor_.SetTotal(-1);
  monitor_.Finish(42);  // unknown total: the bar ends full at the count
  EXPECT_EQ(monitor_.BarMaximum(), 42);
  EXPECT_EQ(monitor_.BarPosition(), 42);
  monitor_.SetNotify("Error, please see log.    ");
  monitor_.SetMessage("done");
  monitor_.Clear();
  EXPECT_EQ(bar_->value(), 0);
  EXPECT_TRUE(Message().empty());
  EXPECT_TRUE(Percent().empty());
  EXPECT_TRUE(notify_->text().isEmpty());
}

// A run reports from its own thread; the window shows the last state once
// its queue is processed, however many reports came in between.
TEST_F(GUIProgressMonitorTest, ReportsFromAWorkerThreadArriveOnTheWindowsThread) {
  monitor_.SetTotal(100000);
  monitor_.SetStep(ChooseProgressStep(100000));
  std::thread worker([this] {
    for (int64_t n = 0; n <= 100000; n += 1000) monitor_.Progress(n);
    monitor_.Finish(100000);
    monitor_.SetMessage("100000 records,    Elapsed: 00:00:00:001.    ");
  });
  worker.join();
  EXPECT_EQ(bar_->value(), 0);  // nothing touched the control off its thread
  QCoreApplication::processEvents();
  EXPECT_EQ(bar_->value(), bar_->maximum());
  EXPECT_EQ(Percent(), "100 %");
  EXPECT_EQ(Message(), "100000 records,    Elapsed: 00:00:00:001.    ");
}

}  // namespace
}  // namespace lorvant
