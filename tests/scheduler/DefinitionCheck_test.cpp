#include "scheduler/DefinitionCheck.h"

#include <functional>

#include <gtest/gtest.h>

#include "scheduler/SchedTestSupport.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/SchedulerService.h"

namespace lorvant {
namespace {

StoredTask Runnable() {
  StoredTask t = test::DailyTask("nightly");
  t.Definition.Actions[0].Arguments = "\"a b\" 'c'";
  return t;
}

struct Refused {
  const char* what;
  std::function<void(StoredTask&)> change;
  const char* message;  // a part of the reason
};

const Refused kRefused[] = {
    {"newline in the arguments", [](StoredTask& t) { t.Definition.Actions[0].Arguments = "a\nb"; },
     "Action 1 of the task \"nightly\" cannot start its program: The arguments hold a control"},
    {"unclosed quote", [](StoredTask& t) { t.Definition.Actions[0].Arguments = "\"a b"; },
     "cannot start its program: The arguments have an unclosed double quote."},
    {"no program", [](StoredTask& t) { t.Definition.Actions[0].Path = ""; },
     "Action 1 of the task \"nightly\" names no program to start."},
    {"no action", [](StoredTask& t) { t.Definition.Actions.clear(); },
     "The task \"nightly\" has no action to run."},
    {"once in the past", [](StoredTask& t) { t.Definition.Triggers[0].Type = kTriggerTime; },
     "Trigger 1 of the task \"nightly\" is to run once at 2024-03-01 09:30, which has passed"},
    {"end passed",
     [](StoredTask& t) { t.Definition.Triggers[0].EndBoundary = "2024-03-02T00:00:00"; },
     "Trigger 1 of the task \"nightly\" will not fire again"},
    {"idle trigger", [](StoredTask& t) { t.Definition.Triggers[0].Type = kTriggerIdle; },
     "(When computer is idle) never fires on this computer"},
    {"session trigger",
     [](StoredTask& t) {
       t.Definition.Triggers[0].Type = kTriggerSessionStateChange;
       t.Definition.Triggers[0].StateChange = 7;
     },
     "(At session lock) never fires on this computer"},
    {"no start time", [](StoredTask& t) { t.Definition.Triggers[0].StartBoundary = ""; },
     "has no valid start time"},
    {"cannot be loaded", [](StoredTask& t) { t.Definition.Settings.RestartCount = 5000; },
     "\"RestartCount\" is out of range (0 to 999)"},
    {"e-mail with a line break",
     [](StoredTask& t) {
       t.Definition.Actions[0].Type = kActionEmail;
       t.Definition.Actions[0].To = "ops\nBcc: all";
     },
     "e-mail receiver, sender or subject with a line break"},
    {"a name the list would show differently", [](StoredTask& t) { t.Name = "Name.job"; },
     "ends in \".job\""},
};

TEST(DefinitionCheck, DefinitionsThatCouldNeverRunAreRefusedWithTheReason) {
  test::ScopedTimeZone zone(test::kBerlin);
  int64_t now = test::Local(2024, 3, 4, 12, 0);
  EXPECT_EQ(DefinitionProblem(Runnable(), now), "");
  for (const Refused& r : kRefused) {
    StoredTask t = Runnable();
    r.change(t);
    std::string problem = DefinitionProblem(t, now);
    EXPECT_NE(problem.find(r.message), std::string::npos) << r.what << ": " << problem;
  }
}

TEST(DefinitionCheck, RegisteringARefusedDefinitionWritesNothing) {
  std::string dir = test::MakeTempDir("check");
  test::ScopedEnvVar crontab("LORVANT_CRONTAB", (dir + "/crontab").c_str());
  test::ScopedTimeZone zone(test::kBerlin);
  test::FakeSchedSystem sys;
  sys.SetLocal(2024, 3, 4, 12, 0);
  SchedulerService svc(dir + "/store");
  for (const Refused& r : kRefused) {
    StoredTask t = Runnable();
    r.change(t);
    EXPECT_NE(svc.CheckTask(t), "") << r.what;
    try {
      svc.Register(t);
      ADD_FAILURE() << r.what << " was registered";
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
    }
    EXPECT_TRUE(svc.store().ListNames().empty()) << r.what;
  }
  EXPECT_FALSE(test::PathExists(dir + "/crontab"));
  // A line too long for cron is refused too.
  StoredTask long_one = Runnable();
  long_one.Name = std::string(200, 'x');
  long_one.Definition.Triggers[0].Type = kTriggerBoot;
  SchedulerService deep(dir + "/" + std::string(250, 'd') + "/" + std::string(250, 'e') + "/" +
                        std::string(250, 'f'));
  EXPECT_NE(deep.CheckTask(long_one).find("longer than cron reads"), std::string::npos);
  EXPECT_EQ(svc.CheckTask(Runnable()), "");
}

}  // namespace
}  // namespace lorvant
