#include "engine/WriteBackQueue.h"

#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

namespace lorvant {
namespace {

struct Record {
  std::atomic<int> started{0};
  std::atomic<int> started_here{0};  // on the thread that added them
  std::atomic<int> entered{0};       // held at the gate, on the queue's thread
  std::atomic<int> released{0};
};

class FakeWriteBack : public WriteBack {
 public:
  FakeWriteBack(Record* record, std::shared_future<void> gate = {})
      : record_(record), gate_(std::move(gate)), adder_(std::this_thread::get_id()) {}
  ~FakeWriteBack() override { ++record_->released; }
  void Start() override {
    if (std::this_thread::get_id() == adder_) {
      ++record_->started_here;
    } else if (gate_.valid()) {
      ++record_->entered;
      gate_.wait();
    }
    ++record_->started;
  }

 private:
  Record* record_;
  std::shared_future<void> gate_;
  std::thread::id adder_;
};

TEST(WriteBackQueueTest, StartsOnItsThreadUnlessFull) {
  Record record;
  const int full = static_cast<int>(TWriteBackQueue::kMaxQueued);
  {
    TWriteBackQueue queue;
    for (int i = 0; i < 3; ++i) queue.Add(std::make_unique<FakeWriteBack>(&record));
    while (record.released < 3) std::this_thread::yield();
    EXPECT_EQ(record.started, 3);
    EXPECT_EQ(record.started_here, 0);

    // The thread held in one; the queue fills behind it, and the one after
    // that is started by the caller.
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    queue.Add(std::make_unique<FakeWriteBack>(&record, gate));
    while (record.entered < 1) std::this_thread::yield();
    for (int i = 0; i < full; ++i) queue.Add(std::make_unique<FakeWriteBack>(&record, gate));
    EXPECT_EQ(record.started_here, 0);
    queue.Add(std::make_unique<FakeWriteBack>(&record, gate));
    EXPECT_EQ(record.started_here, 1);
    open.set_value();
  }
  // Every handle is released at the end, started or not.
  EXPECT_EQ(record.released, 3 + 1 + full + 1);
}

}  // namespace
}  // namespace lorvant
