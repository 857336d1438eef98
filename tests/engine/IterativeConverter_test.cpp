#include "engine/IterativeConverter.h"

#include <set>

#include <gtest/gtest.h>

#include "log/Log.h"

namespace lorvant {
namespace {

// Converts `records` records; the ones in `failing` fail.
class FakeConverter : public TIterativeConverter {
 public:
  int64_t records = 0;
  std::set<int64_t> failing;
  bool fail_prepare = false;
  int64_t index = 0;
  std::vector<std::string> events;

  explicit FakeConverter(int64_t n) : records(n) {
    Status().OnBegin = [this](TConvertStatus&) { events.push_back("begin"); };
    Status().OnEnd = [this](TConvertStatus&) { events.push_back("end"); };
    Status().OnError = [this](TConvertStatus&) { events.push_back("error"); };
    Status().OnMessage = [this](TConvertStatus&) { events.push_back("message"); };
  }

 protected:
  void Prepare() override {
    index = 0;
    if (fail_prepare) throw Exception("prepare failed");
  }
  void Close() override { events.push_back("close"); }
  bool HasNext() override { return index < records; }
  void Next() override { ++index; }
  void ConvertOneRecord() override {
    if (failing.count(index)) {
      ++Status().ErrorCount;
      RecordError("Serial: " + std::to_string(index + 1),
                  Exception("bad " + std::to_string(index)));
    }
  }
  void CountTotal() override { Status().Total = records; }
  int64_t CurrentRecordNumber() override { return index + 1; }
};

TEST(IterativeConverterTest, EmptySourceStillBeginsAndEnds) {
  FakeConverter c(0);
  EXPECT_TRUE(c.Run());
  EXPECT_EQ(c.events, (std::vector<std::string>{"begin", "end", "close"}));
  EXPECT_EQ(c.Status().Done, 0);
  EXPECT_EQ(c.Status().Total, 0);
}

TEST(IterativeConverterTest, SevenFailuresAreCountedFiveLogged) {
  FakeConverter c(20);
  c.failing = {1, 3, 5, 7, 9, 11, 13};
  TLog::DebugLog()->Clear();
  c.Run();
  EXPECT_EQ(c.Status().ErrorCount, 7);
  EXPECT_EQ(c.Status().Done, 13);
  EXPECT_EQ(c.Status().Total, 20);  // not settled: there were errors
  EXPECT_EQ(std::count(c.events.begin(), c.events.end(), "error"), 7);
  EXPECT_EQ(c.Status().ErrorText, "Serial: 14\r\nbad 13");
  int logged = 0;
  for (const auto& line : TLog::DebugLog()->Lines())
    logged += line.find("[error]\tbad ") != std::string::npos;
  EXPECT_EQ(logged, 5);
}

TEST(IterativeConverterTest, ErrorLimitStopsWithMessage) {
  FakeConverter c(20);
  c.MaxErrorCount = 3;
  c.failing = {0, 1, 2, 3, 4, 5};
  c.Run();
  EXPECT_EQ(c.Status().ErrorCount, 4);  // the fourth failure ends the loop
  EXPECT_EQ(c.Status().Message, "Maxinum error count (3) exceeded. ");
  EXPECT_EQ(std::count(c.events.begin(), c.events.end(), "message"), 1);
}

TEST(IterativeConverterTest, StopEndsBeforeNextRecordWithoutSettling) {
  struct Stopper : TEventPump {
    FakeConverter* c;
    int calls = 0;
    void ProcessPendingEvents() override {
      if (++calls == 4) c->Stop();
    }
  } pump;
  FakeConverter c(10);
  pump.c = &c;
  c.SetEventPump(&pump);
  c.Run();
  EXPECT_EQ(c.Status().Done, 4);
  EXPECT_EQ(c.Status().Total, 10);
  EXPECT_EQ(c.events, (std::vector<std::string>{"begin", "end", "close"}));
  c.SetEventPump(nullptr);
  c.ResetStop();
  c.Run();  // the next run starts afresh
  EXPECT_EQ(c.Status().Done, 10);
}

TEST(IterativeConverterTest, FewerRecordsThanCountedSettleTheTotal) {
  struct Short : FakeConverter {
    Short() : FakeConverter(5) {}
    void CountTotal() override { Status().Total = 8; }
  } c;
  c.Run();
  EXPECT_EQ(c.Status().Total, 5);
}

TEST(IterativeConverterTest, PrepareFailureClosesAndPropagates) {
  FakeConverter c(3);
  c.fail_prepare = true;
  EXPECT_THROW(c.Run(), Exception);
  EXPECT_EQ(c.events, std::vector<std::string>{"close"});
}

}  // namespace
}  // namespace lorvant
