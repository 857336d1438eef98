#include "tasks/SavedTaskList.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Exception.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

// A key of its own per test, so that lists do not see each other's entries.
std::string FreshKey() {
  static int n = 0;
  return "Software\\Pelmora\\LorvantTest\\Tasks" + std::to_string(n++);
}

std::vector<std::string> Stored(const std::string& key) {
  TSavedTaskList list;
  list.SubKey = key;
  list.SetActive(true);
  return list.Items();
}

TEST(SavedTaskListTest, KeepsTenMostRecentFirst) {
  TSavedTaskList list;
  list.SubKey = FreshKey();
  list.SetActive(true);
  EXPECT_TRUE(list.Items().empty());
  for (int i = 0; i < 11; ++i) list.AddString("/tasks/t" + std::to_string(i) + ".sft");

  std::vector<std::string> expected;
  for (int i = 10; i >= 1; --i) expected.push_back("/tasks/t" + std::to_string(i) + ".sft");
  EXPECT_EQ(list.Items(), expected);
  EXPECT_EQ(Stored(list.SubKey), expected);

  std::vector<std::string> seen;
  list.EnumItems([&](const std::string& value, int index) {
    EXPECT_EQ(index, static_cast<int>(seen.size()));
    seen.push_back(value);
  });
  EXPECT_EQ(seen, expected);
}

TEST(SavedTaskListTest, EqualWithoutRegardToCaseMovesToFront) {
  for (const std::string again : {"/Tasks/a.sft", "/tasks/A.SFT"}) {
    TSavedTaskList list;
    list.SubKey = FreshKey();
    list.SetActive(true);
    list.AddString("/Tasks/a.sft");
    list.AddString("/Tasks/b.sft");
    list.AddString(again);
    // The entry names the file as last saved or opened.
    std::vector<std::string> expected{again, "/Tasks/b.sft"};
    EXPECT_EQ(list.Items(), expected) << again;
    EXPECT_EQ(Stored(list.SubKey), expected) << again;
  }
}

TEST(SavedTaskListTest, EntriesOfAnotherListOnTheKeySurvive) {
  std::string key = FreshKey();
  TSavedTaskList first, second;
  first.SubKey = second.SubKey = key;
  first.SetActive(true);
  second.SetActive(true);
  first.AddString("/t/one.sft");
  second.AddString("/t/two.sft");
  first.AddString("/t/three.sft");
  std::vector<std::string> expected{"/t/three.sft", "/t/two.sft", "/t/one.sft"};
  EXPECT_EQ(Stored(key), expected);
}

// Points XDG_CONFIG_HOME at a regular file for its lifetime.
class UnwritableStore {
 public:
  UnwritableStore() : old_(::getenv("XDG_CONFIG_HOME")) {
    std::string file = test::MakeTempDir("store") + "/not-a-folder";
    test::WriteBytes(file, "x");
    ::setenv("XDG_CONFIG_HOME", file.c_str(), 1);
  }
  ~UnwritableStore() { ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1); }

 private:
  std::string old_;
};

TEST(SavedTaskListTest, UnwritableStoreCannotCreateList) {
  UnwritableStore store;
  TSavedTaskList list;
  list.SubKey = FreshKey();
  try {
    list.SetActive(true);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to create MRU");
  }
  EXPECT_FALSE(list.Active());
  try {
    list.AddString("/t/a.sft");
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to create MRU");
  }
}

}  // namespace
}  // namespace lorvant
