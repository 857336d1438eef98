#include <gtest/gtest.h>

#include "base/RunMode.h"
#include "engine/LogConvertOutputer.h"
#include "engine/ProgressConvertOutputer.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

struct RecordingMonitor : TProgressMonitor {
  std::vector<std::string>* log;
  explicit RecordingMonitor(std::vector<std::string>* l) : log(l) {}
  void SetTotal(int64_t t) override { log->push_back("total " + std::to_string(t)); }
  void Progress(int64_t d) override {
    if (d % Step == 0) log->push_back("progress " + std::to_string(d));
  }
  void Finish(int64_t d) override { log->push_back("finish " + std::to_string(d)); }
  void Clear() override { log->push_back("clear"); }
  void SetNotify(const std::string& t) override { log->push_back("notify " + t); }
  void SetMessage(const std::string& t) override { log->push_back("message " + t); }
};

struct RecordingMemo : TLogMemo {
  std::vector<std::string> lines;
  void Clear() override { lines.clear(); }
  void AddLine(const std::string& t) override { lines.push_back(t); }
};

TEST(ProgressStepTest, StepTable) {
  SetProgressStepCap(100000);
  const std::pair<int64_t, int64_t> cases[] = {{-1, 1},
                                               {50, 1},
                                               {500, 10},
                                               {5000, 100},
                                               {12345, 124},
                                               {10000000, 100000},
                                               {20000000, 100000},
                                               {50000000, 100000}};
  for (auto [total, step] : cases) EXPECT_EQ(ChooseProgressStep(total), step) << total;
}

TEST(ProgressConvertOutputerTest, RunWithErrorsAndStopMessage) {
  std::vector<std::string> log;
  RecordingMemo memo;
  TProgressConvertOutputer out(std::make_unique<RecordingMonitor>(&log), &memo);
  TConvertStatus status;
  out.SetStatus(&status);
  out.BindStatus();
  status.Total = 500;
  status.Start();
  for (int i = 1; i <= 20; ++i) {
    status.Done = i;
    status.NotifyProgress();
  }
  status.ErrorCount = 2;
  status.ErrorText = "Serial: 7\r\nboom";
  status.NotifyError();
  status.Message = "Maxinum error count (1) exceeded. ";
  status.NotifyMessage();
  status.Finish();

  ASSERT_GE(log.size(), 8u);
  EXPECT_EQ(log[0], "total 500");
  EXPECT_EQ(log[1], "progress 0");
  EXPECT_EQ(log[2], "progress 10");
  EXPECT_EQ(log[3], "progress 20");
  EXPECT_EQ(log[4], "total 500");
  EXPECT_EQ(log[5], "finish 20");
  EXPECT_EQ(log[6].substr(0, 32), "message 20 records,    Elapsed: ");
  EXPECT_EQ(log[6].substr(log[6].size() - 28), ".    2 rows can not convert.");
  EXPECT_EQ(log[7], "notify Error, please see log.    Maxinum error count (1) exceeded. ");
  ASSERT_EQ(memo.lines.size(), 2u);
  EXPECT_EQ(memo.lines[0], "Serial: 7\r\nboom");

  out.Reset();
  EXPECT_TRUE(memo.lines.empty());
  EXPECT_EQ(log.back(), "clear");
}

TEST(ProgressConvertOutputerTest, CleanRunSetsNoNoticeAndResetWithoutMemo) {
  std::vector<std::string> log;
  TProgressConvertOutputer out(std::make_unique<RecordingMonitor>(&log), nullptr);
  TConvertStatus status;
  out.SetStatus(&status);
  out.BindStatus();
  status.Start();
  status.Finish();
  EXPECT_EQ(log.back().substr(log.back().size() - 5), ".    ");
  for (const auto& l : log) EXPECT_NE(l.rfind("notify", 0), 0u) << l;
  out.Reset();
  EXPECT_EQ(log.back(), "clear");
}

TEST(LogConvertOutputerTest, WritesErrorsAndSummaryOrNothing) {
  std::string file = test::MakeTempDir() + "/task.log";
  TLogConvertOutputer out;
  TConvertStatus status;
  out.SetStatus(&status);
  out.BindStatus();
  status.Start();  // no file name yet: nothing written, nothing raised
  status.Finish();
  EXPECT_FALSE(test::PathExists(file));

  out.SetLogFileName(file);
  status.Start();
  status.Done = 7;
  status.ErrorCount = 3;
  status.ErrorText = "Serial: 2\r\nno space";
  status.NotifyError();
  status.Finish();
  std::string text = test::ReadBytes(file);
  EXPECT_NE(text.find("] Serial: 2\r\nno space\r\n"), std::string::npos);
  EXPECT_NE(text.find("] 7 records    Elapsed: 00:00:"), std::string::npos);
  EXPECT_NE(text.find(".  3 rows can not convert.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace lorvant
