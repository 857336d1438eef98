// The scheduled-task windows on the offscreen platform, with the
// scheduler's clock and processes faked and its store and crontab in the
// test's own folders.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <functional>
#include <set>

#include "os/Env.h"
#include "scheduler/SchedTestSupport.h"
#include "scheduler/TaskScheduler.h"
#include "scheduler/TaskStore.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"
#include "tasks/SessionSaver.h"
#include "tasks/SimpleBatchFileCreator.h"
#include "ui/BatchFileCreateDlg.h"
#include "ui/FileNameEdit.h"
#include "ui/KeyboardCheck.h"
#include "ui/MainForm.h"
#include "ui/NewTaskWizard.h"
#include "ui/SessionSaveDlg.h"
#include "ui/TaskAccountDlg.h"
#include "ui/TaskListForm.h"
#include "ui/TaskPropsDlg.h"
#include "ui/TaskWindowsUtil.h"
#include "ui/UiTestSupport.h"

namespace lorvant {
namespace {

using WizardSteps = std::function<void(TNewTaskWizard*)>;

class TaskWindowsTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    sys_.SetLocal(2026, 12, 11, 8, 0);  // a Friday
    store_ = test::MakeTempDir("sched");
  }

  std::unique_ptr<TTaskListForm> OpenList(bool first_generation = false) {
    return std::make_unique<TTaskListForm>(nullptr, store_, first_generation);
  }

  // Fills the custom-data page, names the task, picks the schedule entry,
  // lets `details` fill the details page (when the kind has one) and
  // finishes.
  static WizardSteps Steps(const std::string& name, int entry, const WizardSteps& details) {
    return [=](TNewTaskWizard* w) {
      w->edtApplicationName->setText("/bin/true");
      w->btnNext->click();
      w->edtTaskName->setText(QString::fromStdString(name));
      w->ComboBox1->setCurrentIndex(entry);
      w->btnNext->click();
      if (w->PageControl1->currentWidget() == w->tsTriggerDetails) {
        if (details) details(w);
        w->btnNext->click();
      }
      ASSERT_EQ(w->PageControl1->currentWidget(), w->tsAccountInfo);
      w->btnNext->click();
      ASSERT_EQ(w->PageControl1->currentWidget(), w->tsFinished);
      EXPECT_EQ(w->btnNext->text(), "&Finish");
      w->btnNext->click();
    };
  }

  // Runs New Task on the list with the steps; true when a task was made.
  static bool RunWizard(TTaskListForm* list, const WizardSteps& steps) {
    test::OnNextModal<TNewTaskWizard>([steps](TNewTaskWizard* w) {
      steps(w);
      if (w->isVisible()) w->reject();
    });
    return list->ScheduleApplication("");
  }

  static QTreeWidgetItem* Row(TTaskListForm* list, const std::string& name) {
    auto found = list->ListView->findItems(QString::fromStdString(name), Qt::MatchExactly, 0);
    return found.isEmpty() ? nullptr : found.first();
  }

  static QStringList Names(TTaskListForm* list) {
    QStringList names;
    for (int i = 0; i < list->ListView->topLevelItemCount(); ++i) {
      names << list->ListView->topLevelItem(i)->text(0);
    }
    return names;
  }

  static QString At(int y, int mo, int d, int h, int mi) {
    return ListDateTimeText(EpochToDateTime(test::Local(y, mo, d, h, mi)));
  }

  test::FakeSchedSystem sys_;
  test::FakeDesktop desktop_;
  std::string store_;
};

struct KindCase {
  int entry;
  WizardSteps details;
  const char* schedule;  // the start of the Schedule column
  int next[5];           // y, m, d, h, mi; y 0 for "Never"
};

const KindCase kKinds[] = {
    {0,
     [](TNewTaskWizard* w) {
       w->dtStartTimeOnce->setTime(QTime(9, 30));
       w->dtStartDateOnce->setDate(QDate(2026, 12, 12));
     },
     "At 09:30:00 on ",
     {2026, 12, 12, 9, 30}},
    {1,
     [](TNewTaskWizard* w) { w->dtStartTimeDaily->setTime(QTime(9, 30)); },
     "At 09:30:00 every day",
     {2026, 12, 11, 9, 30}},
    {2,
     [](TNewTaskWizard* w) {
       w->dtStartTimeWeekly->setTime(QTime(9, 30));
       w->cbWeekDays[0]->setChecked(true);  // Monday
     },
     "At 09:30:00 every Monday of every week",
     {2026, 12, 14, 9, 30}},
    {3,
     [](TNewTaskWizard* w) {
       w->dtStartTimeMonthly->setTime(QTime(9, 30));
       w->seMonthDay->setValue(15);
       w->cbMonths[11]->setChecked(true);
     },
     "At 09:30:00 on day 15 of month 12",
     {2026, 12, 15, 9, 30}},
    {4, nullptr, "On system startup", {0, 0, 0, 0, 0}},
    {5, nullptr, "At logon", {0, 0, 0, 0, 0}},
};

TEST_P(TaskWindowsTest, TheWizardMakesATaskOfEveryKindItOffersAndTheListShowsIt) {
  const bool first_generation = GetParam();
  auto list = OpenList(first_generation);
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(c.schedule);
    const std::string name = "task " + std::to_string(c.entry);
    ASSERT_TRUE(RunWizard(list.get(), Steps(name, c.entry, c.details)));
    QTreeWidgetItem* row = Row(list.get(), name);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->text(1).startsWith(c.schedule)) << row->text(1).toStdString();
    const QString next = c.next[0] == 0 ? QString("Never")
                                        : At(c.next[0], c.next[1], c.next[2], c.next[3], c.next[4]);
    EXPECT_EQ(row->text(2), next);
    EXPECT_EQ(row->text(3), "Never");
    EXPECT_EQ(row->text(5), "tester");
  }
  // What the list shows is what the store keeps: a fresh list reads the same.
  auto again = OpenList(first_generation);
  EXPECT_EQ(Names(again.get()), Names(list.get()));
  EXPECT_EQ(again->ListView->topLevelItemCount(), static_cast<int>(std::size(kKinds)));
}

// Whether the keys go to expected (or a part of it) once window is active.
bool KeysGoTo(QWidget* window, QWidget* expected) {
  QWidget* focus = test::KeyboardFocus(window);
  return focus != nullptr && (focus == expected || expected->isAncestorOf(focus));
}

// The accelerators of window's commands that are missing or shared.
std::vector<std::string> CommandAcceleratorProblems(QWidget* window) {
  std::vector<std::string> problems;
  std::set<char> seen;
  for (QAction* action : window->actions()) {
    const char letter = test::AcceleratorOf(action->text());
    if (letter == 0 || !seen.insert(letter).second)
      problems.push_back(action->text().toStdString());
  }
  return problems;
}

TEST_P(TaskWindowsTest, EveryWindowStartsInItsFirstFieldWithAnAcceleratorForEachControl) {
  const bool first_generation = GetParam();
  using Problems = std::vector<std::string>;
  auto list = OpenList(first_generation);
  list->show();
  EXPECT_TRUE(KeysGoTo(list.get(), list->ListView));
  EXPECT_EQ(CommandAcceleratorProblems(list.get()), Problems{});
  // The menus show the commands' texts as they were, underlined.
  EXPECT_EQ(list->acNew->iconText(), "New Task");

  ASSERT_TRUE(RunWizard(list.get(), [&](TNewTaskWizard* w) {
    auto page_is_keyboard_ready = [w](QWidget* first, const char* page) {
      SCOPED_TRACE(page);
      EXPECT_TRUE(KeysGoTo(w, first));
      // Both letters are the design's own.
      EXPECT_EQ(test::AcceleratorProblems(w, {"&Browse...", "< &Back"}), Problems{});
    };
    page_is_keyboard_ready(w->edtApplicationName, "Custom Data");
    w->edtApplicationName->setText("/bin/true");
    w->btnNext->click();
    page_is_keyboard_ready(w->edtTaskName, "Task Name");
    w->edtTaskName->setText("keys");
    const int entries = w->ComboBox1->count();
    for (int entry = 4; entry < entries; ++entry) {
      w->ComboBox1->setCurrentIndex(entry);  // the user and connection groups
      page_is_keyboard_ready(w->edtTaskName, w->ComboBox1->currentText().toUtf8().constData());
    }
    QWidget* const first_of_kind[] = {w->dtStartTimeOnce, w->dtStartTimeDaily, w->dtStartTimeWeekly,
                                      w->dtStartTimeMonthly};
    for (int entry = 0; entry < 4; ++entry) {
      w->ComboBox1->setCurrentIndex(entry);
      w->btnNext->click();
      ASSERT_EQ(w->PageControl1->currentWidget(), w->tsTriggerDetails);
      page_is_keyboard_ready(first_of_kind[entry],
                             w->ComboBox1->currentText().toUtf8().constData());
      w->btnBack->click();
    }
    w->ComboBox1->setCurrentIndex(1);
    w->btnNext->click();
    w->btnNext->click();
    page_is_keyboard_ready(w->edtAccount, "Account Info");
    w->btnNext->click();
    ASSERT_EQ(w->PageControl1->currentWidget(), w->tsFinished);
    page_is_keyboard_ready(w->btnNext, "Finish");
    w->btnNext->click();
  }));

  list->ListView->clearSelection();
  Row(list.get(), "keys")->setSelected(true);
  bool closed = false;
  test::OnNextModal<TPropsDlg>([&](TPropsDlg* d) {
    EXPECT_TRUE(KeysGoTo(d, first_generation ? static_cast<QWidget*>(d->edtParameters)
                                             : static_cast<QWidget*>(d->edtExecName)));
    for (int tab = 0; tab < d->PageControl1->count(); ++tab) {
      d->PageControl1->setCurrentIndex(tab);
      SCOPED_TRACE(d->PageControl1->tabText(tab).toStdString());
      EXPECT_EQ(test::AcceleratorProblems(d), Problems{});
    }
    closed = test::EscapeCloses(d);
  });
  list->acProperties->trigger();
  EXPECT_TRUE(closed);

  std::string user = "tester";
  closed = false;
  test::OnNextModal<TfrmTaskAccount>([&](TfrmTaskAccount* a) {
    EXPECT_TRUE(KeysGoTo(a, a->edUserName));
    EXPECT_EQ(test::AcceleratorProblems(a), Problems{});
    closed = test::EscapeCloses(a);
  });
  EXPECT_FALSE(AskTaskAccount(&user));
  EXPECT_TRUE(closed);
  EXPECT_TRUE(test::EscapeCloses(list.get()));
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, TaskWindowsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "First" : "Second"; });

class TaskListTest : public TaskWindowsTest {};

TEST_F(TaskListTest, TheScheduleListOffersOnlyKindsThatFireHereAndTheFirstGenerationSix) {
  auto list = OpenList();
  test::OnNextModal<TNewTaskWizard>([](TNewTaskWizard* w) {
    auto* model = qobject_cast<QStandardItemModel*>(w->ComboBox1->model());
    ASSERT_EQ(model->rowCount(), 11);
    EXPECT_EQ(model->item(4)->text(), "Wen my computer starts");
    EXPECT_EQ(model->item(6)->text(), "Wnen Idle");
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(model->item(i)->isEnabled()) << i;
    for (int i = 6; i < 11; ++i) {
      EXPECT_FALSE(model->item(i)->isEnabled()) << i;
      EXPECT_FALSE(model->item(i)->toolTip().isEmpty()) << i;
    }
    EXPECT_TRUE(w->ckbVistaHighestPrivileges->isVisibleTo(w));
    EXPECT_FALSE(w->ckbVistaHighestPrivileges->isEnabled());  // not root
    EXPECT_TRUE(w->btnAdvanced->isHidden());
    w->reject();
  });
  list->ScheduleApplication("");
  auto first = OpenList(true);
  test::OnNextModal<TNewTaskWizard>([](TNewTaskWizard* w) {
    EXPECT_EQ(w->ComboBox1->count(), 6);
    EXPECT_FALSE(w->ckbVistaHighestPrivileges->isVisibleTo(w));
    w->reject();
  });
  first->ScheduleApplication("");
}

TEST_F(TaskListTest, NextStaysDisabledUntilThePageIsComplete) {
  auto list = OpenList();
  test::OnNextModal<TNewTaskWizard>([](TNewTaskWizard* w) {
    EXPECT_FALSE(w->btnBack->isEnabled());
    w->btnNext->click();
    EXPECT_TRUE(w->btnBack->isEnabled());
    EXPECT_TRUE(w->edtTaskName->hasFocus() || !w->isActiveWindow());
    EXPECT_FALSE(w->btnNext->isEnabled());  // no name
    w->edtTaskName->setText("weekly");
    EXPECT_TRUE(w->btnNext->isEnabled());
    w->ComboBox1->setCurrentIndex(2);
    w->btnNext->click();
    EXPECT_FALSE(w->btnNext->isEnabled());  // no weekday
    w->cbWeekDays[4]->setChecked(true);
    EXPECT_TRUE(w->btnNext->isEnabled());
    w->btnBack->click();
    w->ComboBox1->setCurrentIndex(3);
    w->btnNext->click();
    EXPECT_FALSE(w->btnNext->isEnabled());  // no month
    w->cbMonths[0]->setChecked(true);
    EXPECT_TRUE(w->btnNext->isEnabled());
    w->btnNext->click();
    w->edtAccount->clear();
    EXPECT_FALSE(w->btnNext->isEnabled());  // no user
    w->edtAccount->setText("tester");
    EXPECT_TRUE(w->btnNext->isEnabled());
    w->reject();
  });
  EXPECT_FALSE(list->ScheduleApplication(""));
  EXPECT_EQ(list->ListView->topLevelItemCount(), 0);
}

TEST_F(TaskListTest, MonthlyOnTheSecondFridayOfMarchIsStoredSo) {
  auto list = OpenList();
  ASSERT_TRUE(RunWizard(list.get(), Steps("march", 3, [](TNewTaskWizard* w) {
                          w->rbMonthlyDow->setChecked(true);
                          w->cbWhichWeek->setCurrentIndex(1);
                          w->cbDaysOfTheWeek->setCurrentIndex(5);
                          w->cbMonths[2]->setChecked(true);
                        })));
  TTaskScheduler scheduler(store_);
  scheduler.SetActive(true);
  scheduler.Refresh();
  TTaskItem* item = scheduler.ActivateTask("march");
  ASSERT_NE(item, nullptr);
  item->Activate();
  TTrigger* t = item->GetTriggers()->GetItem(0);
  ASSERT_EQ(t->GetTriggerType(), ttMonthlyDow);
  TaskTriggerRecord r = t->GetMonthlyDOWTrigger();
  EXPECT_EQ(r.Type.MonthlyDOW.wWhichWeek, 2);
  EXPECT_EQ(r.Type.MonthlyDOW.rgfDaysOfTheWeek, 0x20);
  EXPECT_EQ(r.Type.MonthlyDOW.rgfMonths, 0x4);
}

TEST_F(TaskListTest, AOneTimeStartThatHasPassedIsRefusedOnTheDetailsPage) {
  auto list = OpenList();
  test::OnNextModal<TNewTaskWizard>([](TNewTaskWizard* w) {
    w->btnNext->click();
    w->edtTaskName->setText("late");
    w->btnNext->click();
    w->dtStartTimeOnce->setTime(QTime(7, 0));  // an hour ago
    w->btnNext->click();
    EXPECT_EQ(w->PageControl1->currentWidget(), w->tsTriggerDetails);
    w->dtStartTimeOnce->setTime(QTime(9, 0));
    w->btnNext->click();
    EXPECT_EQ(w->PageControl1->currentWidget(), w->tsAccountInfo);
    w->reject();
  });
  EXPECT_FALSE(list->ScheduleApplication(""));
  ASSERT_EQ(desktop_.errors.size(), 1u);
  EXPECT_NE(desktop_.errors[0].find("has passed"), std::string::npos) << desktop_.errors[0];
}

TEST_F(TaskListTest, RootMayRunATaskWithHighestPrivileges) {
  sys_.root = true;
  auto list = OpenList();
  test::OnNextModal<TNewTaskWizard>([](TNewTaskWizard* w) {
    ASSERT_TRUE(w->ckbVistaHighestPrivileges->isEnabled());
    w->ckbVistaHighestPrivileges->setChecked(true);
    Steps("high", 4, nullptr)(w);
  });
  ASSERT_TRUE(list->ScheduleApplication(""));
  EXPECT_EQ(TaskStore(store_).Load("high").Definition.Principal.RunLevel, 1);
  list->ListView->clearSelection();
  Row(list.get(), "high")->setSelected(true);
  test::OnNextModal<TPropsDlg>([](TPropsDlg* d) {
    EXPECT_TRUE(d->ckbVistaHighestPrivileges->isChecked());
    d->ckbVistaHighestPrivileges->setChecked(false);
    d->btnOK->click();
  });
  list->acProperties->trigger();
  EXPECT_EQ(TaskStore(store_).Load("high").Definition.Principal.RunLevel, 0);
}

TEST_F(TaskListTest, AnExistingNameAsksBeforeReplacingAndNoStaysOnTheNamePage) {
  auto list = OpenList();
  ASSERT_TRUE(RunWizard(list.get(), Steps("nightly", 1, nullptr)));
  desktop_.answers = {false};
  test::OnNextModal<TNewTaskWizard>([](TNewTaskWizard* w) {
    w->btnNext->click();
    w->edtTaskName->setText("nightly");
    w->btnNext->click();
    EXPECT_EQ(w->PageControl1->currentWidget(), w->tsTaskName);
    EXPECT_EQ(w->Item(), nullptr);
    w->reject();
  });
  EXPECT_FALSE(list->ScheduleApplication(""));
  ASSERT_EQ(desktop_.questions.size(), 1u);
  EXPECT_EQ(desktop_.questions[0],
            "A task with the name nightly already exists.  Do you want to replace it?");
  // Yes replaces it: one task of that name, with the new schedule and one
  // program only.
  desktop_.answers = {true};
  ASSERT_TRUE(RunWizard(list.get(), Steps("nightly", 4, nullptr)));
  EXPECT_EQ(Names(list.get()), QStringList{"nightly"});
  EXPECT_EQ(Row(list.get(), "nightly")->text(1), "On system startup");
  TaskStore store(store_);
  StoredTask stored = store.Load("nightly");
  ASSERT_EQ(stored.Definition.Actions.size(), 1u);
  EXPECT_EQ(stored.Definition.Actions[0].Path, "/bin/true");
}

TEST_F(TaskListTest, BackFromTheDetailsDropsTheUnsavedTask) {
  auto list = OpenList();
  test::OnNextModal<TNewTaskWizard>([](TNewTaskWizard* w) {
    w->btnNext->click();
    w->edtTaskName->setText("dropped");
    w->ComboBox1->setCurrentIndex(1);
    w->btnNext->click();
    TTaskItem* first = w->Item();
    ASSERT_NE(first, nullptr);
    w->btnBack->click();
    EXPECT_EQ(w->Item(), nullptr);
    EXPECT_EQ(w->PageControl1->currentWidget(), w->tsTaskName);
    w->btnNext->click();
    EXPECT_NE(w->Item(), nullptr);
    w->reject();
  });
  EXPECT_FALSE(list->ScheduleApplication(""));
  EXPECT_TRUE(TaskStore(store_).ListNames().empty());
  EXPECT_EQ(list->ListView->topLevelItemCount(), 0);
}

TEST_F(TaskListTest, TheProgramItselfGetsTheTaskNameAndAScriptKeepsItsParameters) {
  auto list = OpenList();
  const std::string self = Env::Default()->ExecutablePath();
  test::OnNextModal<TNewTaskWizard>([&](TNewTaskWizard* w) {
    EXPECT_EQ(w->edtApplicationName->text().toStdString(), self);
    EXPECT_EQ(w->edtCreator->text(), "tester");
    w->btnBrowse->click();
    w->edtParameters->setText("--quiet");
    Steps("self", 4, nullptr)(w);
  });
  list->ScheduleApplication("");
  ASSERT_EQ(desktop_.filters.size(), 1u);
  EXPECT_EQ(desktop_.filters[0], "Shell scripts (*.sh)|*.sh|All Files (*.*)|*");
  // Steps typed /bin/true over the program: the parameters stay as typed.
  EXPECT_EQ(TaskStore(store_).Load("self").Definition.Actions[0].Arguments, "--quiet");

  test::OnNextModal<TNewTaskWizard>([&](TNewTaskWizard* w) {
    w->btnNext->click();
    w->edtTaskName->setText("own");
    w->ComboBox1->setCurrentIndex(4);
    w->btnNext->click();
    w->btnNext->click();
    w->btnNext->click();
  });
  ASSERT_TRUE(list->ScheduleApplication(""));
  const ActionDef own = TaskStore(store_).Load("own").Definition.Actions[0];
  EXPECT_EQ(own.Path, self);
  EXPECT_EQ(own.Arguments, " own");

  const std::string script = store_ + "/../job.sh";
  test::OnNextModal<TNewTaskWizard>([&](TNewTaskWizard* w) {
    EXPECT_EQ(w->edtApplicationName->text().toStdString(), script);
    w->btnNext->click();
    w->edtTaskName->setText("script");
    w->ComboBox1->setCurrentIndex(4);
    w->btnNext->click();
    w->btnNext->click();
    w->btnNext->click();
  });
  ASSERT_TRUE(list->ScheduleApplication(script));
  const ActionDef run = TaskStore(store_).Load("script").Definition.Actions[0];
  EXPECT_EQ(run.Path, script);
  EXPECT_EQ(run.Arguments, "");
}

TEST_F(TaskListTest, ActionsFollowTheSelection) {
  auto list = OpenList();
  EXPECT_FALSE(list->acProperties->isEnabled());
  EXPECT_FALSE(list->acRun->isEnabled());
  ASSERT_TRUE(RunWizard(list.get(), Steps("a", 4, nullptr)));
  ASSERT_TRUE(RunWizard(list.get(), Steps("b", 4, nullptr)));
  list->ListView->clearSelection();
  EXPECT_FALSE(list->acDelete->isEnabled());
  Row(list.get(), "a")->setSelected(true);
  EXPECT_TRUE(list->acProperties->isEnabled());
  Row(list.get(), "b")->setSelected(true);
  EXPECT_FALSE(list->acProperties->isEnabled());
  EXPECT_TRUE(list->acRun->isEnabled());
  EXPECT_TRUE(list->acDelete->isEnabled());
  EXPECT_EQ(list->acDelete->statusTip(), "Deletes the seleceted task(s)");
  EXPECT_EQ(list->acDelete->toolTip(), "Delete");
  EXPECT_EQ(list->pnlTarget->text().toStdString(), " Scheduled tasks on testhost");
}

TEST_F(TaskListTest, RunStartsTheSelectedTasksFirstRowFirst) {
  auto list = OpenList();
  for (const char* name : {"zeta", "alpha", "mid"}) {
    ASSERT_TRUE(RunWizard(list.get(), Steps(name, 4, nullptr)));
  }
  ASSERT_EQ(Names(list.get()), (QStringList{"alpha", "mid", "zeta"}));
  list->ListView->clearSelection();
  Row(list.get(), "zeta")->setSelected(true);
  Row(list.get(), "alpha")->setSelected(true);
  list->acRun->trigger();
  ASSERT_EQ(sys_.detached.size(), 2u);
  EXPECT_EQ(sys_.detached[0].back(), "alpha");
  EXPECT_EQ(sys_.detached[1].back(), "zeta");
  EXPECT_EQ(sys_.detached[0][1], "now");
}

TEST_F(TaskListTest, DeleteKeepsExactlyTheRowOfTheTaskThatCouldNotBeDeleted) {
  auto list = OpenList();
  for (const char* name : {"one", "two", "three"}) {
    ASSERT_TRUE(RunWizard(list.get(), Steps(name, 4, nullptr)));
  }
  list->ListView->selectAll();
  // The middle task goes behind the window's back: deleting it fails.
  TaskStore store(store_);
  ASSERT_TRUE(store.Remove("three"));
  desktop_.answers = {false, true};
  list->acDelete->trigger();
  EXPECT_EQ(list->ListView->topLevelItemCount(), 3);  // No keeps them all
  list->acDelete->trigger();
  EXPECT_EQ(desktop_.questions,
            std::vector<std::string>(2, "Are you sure you want to delete the selected task(s)?"));
  EXPECT_EQ(Names(list.get()), QStringList{"three"});
  EXPECT_TRUE(store.ListNames().empty());
}

TEST_F(TaskListTest, AServiceThatCannotBeReachedGivesItsMessageAndNoWindow) {
  sys_.cron_running = false;
  try {
    OpenList();
    FAIL() << "the list opened without a service";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Task Scheduler service is not running.");
  }
}

TEST_F(TaskListTest, TheListFollowsARunThatEndsWithoutAClick) {
  auto list = OpenList();
  ASSERT_TRUE(RunWizard(list.get(), Steps("job", 4, nullptr)));
  ASSERT_EQ(Row(list.get(), "job")->text(3), "Never");
  // The runner records a run, as it does when the task ends.
  TaskStore store(store_);
  RunState state = store.LoadState("job");
  state.LastRunTime = test::Local(2026, 12, 11, 8, 1);
  state.LastResult = 0;
  store.SaveState("job", state);
  const QString expected = At(2026, 12, 11, 8, 1);
  for (int i = 0; i < 500 && Row(list.get(), "job")->text(3) != expected; ++i) {
    QTest::qWait(10);
  }
  EXPECT_EQ(Row(list.get(), "job")->text(3), expected);
  EXPECT_EQ(Row(list.get(), "job")->text(4), "Ready");
}

TEST_F(TaskListTest, ToolsScheduledTasksShowsTheListOrTheServiceError) {
  TMainForm form(nullptr);
  sys_.cron_running = false;
  form.ScheduledTasks1->trigger();
  EXPECT_EQ(desktop_.errors, std::vector<std::string>{"Task Scheduler service is not running."});
  sys_.cron_running = true;
  std::string caption;
  test::OnNextModal<TTaskListForm>([&](TTaskListForm* l) {
    caption = l->windowTitle().toStdString();
    l->acClose->trigger();
  });
  form.ScheduledTasks1->trigger();
  EXPECT_EQ(caption, "Task Scheduler");
}

TEST_F(TaskListTest, CreateAndScheduleTaskSchedulesTheNewScriptAndShowsTheList) {
  const std::string dir = test::MakeTempDir("batch");
  TSimpleBatchFileCreator batch(nullptr);
  batch.SetDialogFactory([] { return std::make_unique<TSimpleBatchFileCreateDlg>(); });
  batch.OptionName = "task";
  TSessionManager manager(&batch);
  manager.SetDialogFactory([] { return std::make_unique<TSessionSaveDlg>(); });
  TFileSplitSession session;
  session.SourceFile = dir + "/data.csv";
  session.DestFolder = dir + "/out";
  session.MaxLines = 100;
  const std::string script = dir + "/nightly.sh";
  QString program;
  QStringList listed;
  test::OnNextModal<TSessionSaveDlg>([&](TSessionSaveDlg* save) {
    save->edtSessionFile->SetText(dir + "/nightly.sft");
    test::OnNextModal<TSimpleBatchFileCreateDlg>([&](TSimpleBatchFileCreateDlg* b) {
      test::OnNextModal<TNewTaskWizard>([&](TNewTaskWizard* w) {
        program = w->edtApplicationName->text();
        test::OnNextModal<TTaskListForm>([&](TTaskListForm* l) {
          listed = Names(l);
          l->acClose->trigger();
        });
        w->btnNext->click();
        w->edtTaskName->setText("nightly split");
        w->ComboBox1->setCurrentIndex(4);
        w->btnNext->click();
        w->btnNext->click();
        w->btnNext->click();
      });
      b->btnScheduleTask->click();
    });
    save->btnBatch->click();
  });
  EXPECT_TRUE(manager.SaveSession(&session));
  EXPECT_EQ(program.toStdString(), script);
  EXPECT_EQ(listed, QStringList{"nightly split"});
  EXPECT_TRUE(test::PathExists(script));
  const StoredTask task = TaskStore(TaskStore::DefaultFolder()).Load("nightly split");
  EXPECT_EQ(task.Definition.Actions.at(0).Path, script);
  TaskStore(TaskStore::DefaultFolder()).Remove("nightly split");
}

class TaskPropsTest : public TaskWindowsTest {
 protected:
  // Opens Properties on the task's row, lets fn act and press a button.
  void Properties(TTaskListForm* list, const std::string& name,
                  const std::function<void(TPropsDlg*)>& fn) {
    list->ListView->clearSelection();
    Row(list, name)->setSelected(true);
    test::OnNextModal<TPropsDlg>([fn](TPropsDlg* d) {
      fn(d);
      if (d->isVisible()) d->reject();
    });
    list->acProperties->trigger();
  }
};

TEST_F(TaskPropsTest, EditsAreReadBackOnReopening) {
  auto list = OpenList();
  ASSERT_TRUE(RunWizard(list.get(), Steps("daily", 1, [](TNewTaskWizard* w) {
                          w->dtStartTimeDaily->setTime(QTime(6, 0));
                          w->rbEvery->setChecked(true);
                          w->seIntervalDaily->setValue(2);
                        })));
  Properties(list.get(), "daily", [](TPropsDlg* d) {
    EXPECT_EQ(d->windowTitle(), "daily Properties");
    EXPECT_EQ(d->edtExecName->text(), "/bin/true");
    EXPECT_TRUE(d->cbSchedule->currentText().startsWith("At 06:00:00 every 2 days"));
    EXPECT_TRUE(d->rbEvery->isChecked());
    EXPECT_EQ(d->seDailyInterval->value(), 2);
    EXPECT_TRUE(d->CheckStopRuning->isChecked());  // three days by default
    EXPECT_EQ(d->EditStopRuning->currentText(), "3 days");
    d->edtExecParameters->setText("--verbose");
    d->memComments->setPlainText("made in a test");
    d->EditStopRuning->setCurrentText("8 hours");
    d->CheckTaskFails->click();
    EXPECT_EQ(d->EditRestartTime->currentText(), "15 minutes");
    d->EditRestartCount->setValue(3);
    d->seDailyInterval->setValue(3);
    d->btnOK->click();
  });
  Properties(list.get(), "daily", [](TPropsDlg* d) {
    EXPECT_EQ(d->edtExecParameters->text(), "--verbose");
    EXPECT_EQ(d->memComments->toPlainText(), "made in a test");
    EXPECT_EQ(d->EditStopRuning->currentText(), "8 hours");
    EXPECT_TRUE(d->CheckTaskFails->isChecked());
    EXPECT_EQ(d->EditRestartCount->value(), 3);
    EXPECT_EQ(d->seDailyInterval->value(), 3);
    d->btnCancel->click();
  });
  const TaskDefinitionData def = TaskStore(store_).Load("daily").Definition;
  EXPECT_EQ(def.Settings.ExecutionTimeLimit, "PT8H");
  EXPECT_EQ(def.Settings.RestartInterval, "PT15M");
  EXPECT_EQ(def.Settings.RestartCount, 3);
  EXPECT_EQ(def.Triggers.at(0).DaysInterval, 3);
  EXPECT_TRUE(Row(list.get(), "daily")->text(1).startsWith("At 06:00:00 every 3 days"));
}

TEST_F(TaskPropsTest, ATaskNotBoundToTheLogonAsksForItsAccount) {
  auto list = OpenList();
  ASSERT_TRUE(RunWizard(list.get(), Steps("acct", 4, nullptr)));
  Properties(list.get(), "acct", [](TPropsDlg* d) {
    ASSERT_EQ(d->clbFlags->item(tfvNeedLogon)->checkState(), Qt::Checked);
    d->clbFlags->item(tfvNeedLogon)->setCheckState(Qt::Unchecked);
    test::OnNextModal<TfrmTaskAccount>([](TfrmTaskAccount* a) {
      EXPECT_EQ(a->edUserName->text(), "tester");
      a->ckbUseSystem->setChecked(true);
      a->btnOK->click();
    });
    d->btnOK->click();
    EXPECT_FALSE(d->isVisible());
  });
  EXPECT_EQ(TaskStore(store_).Load("acct").Definition.Principal.UserId, "System");
}

TEST_F(TaskPropsTest, TheListWaitsForAnOpenDialogBeforeFollowingTheStore) {
  auto list = OpenList();
  ASSERT_TRUE(RunWizard(list.get(), Steps("busy", 4, nullptr)));
  TaskStore store(store_);
  Properties(list.get(), "busy", [&](TPropsDlg* d) {
    // A run ends while the dialog is open: the item it edits stays.
    RunState state = store.LoadState("busy");
    state.LastRunTime = test::Local(2026, 12, 11, 7, 59);
    store.SaveState("busy", state);
    QTest::qWait(400);
    EXPECT_EQ(Row(list.get(), "busy")->text(3), "Never");
    d->memComments->setPlainText("still here");
    d->btnOK->click();
  });
  EXPECT_EQ(store.Load("busy").Definition.Registration.Description, "still here");
  const QString expected = At(2026, 12, 11, 7, 59);
  for (int i = 0; i < 200 && Row(list.get(), "busy")->text(3) != expected; ++i) QTest::qWait(10);
  EXPECT_EQ(Row(list.get(), "busy")->text(3), expected);
}

TEST_F(TaskPropsTest, CancelWritesNothing) {
  auto list = OpenList();
  ASSERT_TRUE(RunWizard(list.get(), Steps("keep", 1, nullptr)));
  TaskStore store(store_);
  const std::string before = test::ReadBytes(store.TaskFile("keep"));
  Properties(list.get(), "keep", [](TPropsDlg* d) {
    d->memComments->setPlainText("not kept");
    d->CheckStopRuning->click();
    d->rbEvery->setChecked(true);
    d->btnCancel->click();
  });
  EXPECT_EQ(test::ReadBytes(store.TaskFile("keep")), before);
  Properties(list.get(), "keep", [](TPropsDlg* d) {
    EXPECT_EQ(d->memComments->toPlainText(), "");
    EXPECT_TRUE(d->CheckStopRuning->isChecked());
  });
}

TEST_F(TaskPropsTest, UncheckingAnOptionClearsItsListAndSavesNoValue) {
  auto list = OpenList();
  ASSERT_TRUE(RunWizard(list.get(), Steps("opts", 4, nullptr)));
  Properties(list.get(), "opts", [](TPropsDlg* d) {
    // Toggled as a screen reader does it, without a click.
    EXPECT_TRUE(test::AccessibleToggle(d->CheckStopRuning));
    EXPECT_FALSE(d->CheckStopRuning->isChecked());
    EXPECT_EQ(d->EditStopRuning->currentIndex(), -1);
    EXPECT_FALSE(d->EditStopRuning->isEnabled());
    EXPECT_TRUE(test::AccessibleToggle(d->CheckDeleteAfter));
    EXPECT_EQ(d->EditDeleteAfter->currentText(), "180 days");
    d->clbFlags->item(tfvNeedLogon)->setCheckState(Qt::Checked);  // no account question
    EXPECT_FALSE(d->EditIdle->isEnabled());
    d->clbFlags->item(tfvRunOnlyIfIdle)->setCheckState(Qt::Checked);
    EXPECT_TRUE(d->EditIdle->isEnabled());
    d->EditIdle->setCurrentText("1 hour");
    d->btnOK->click();
  });
  const TaskSettings s = TaskStore(store_).Load("opts").Definition.Settings;
  EXPECT_EQ(s.ExecutionTimeLimit, "");
  EXPECT_EQ(s.DeleteExpiredTaskAfter, "P180D");
  EXPECT_EQ(s.Idle.WaitTimeout, "PT1H");
}

// Calls fn with the next modal dialog of type T other than `not_this`.
template <class T>
void OnNextOtherModal(QWidget* not_this, std::function<void(T*)> fn, int turns = 5000) {
  QTimer::singleShot(0, [=] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog != nullptr && dialog != not_this) {
      fn(dialog);
    } else if (turns > 0) {
      OnNextOtherModal<T>(not_this, fn, turns - 1);
    }
  });
}

TEST_F(TaskPropsTest, TheFirstGenerationShowsItsProgramFlagsAndPagesAndSavesThem) {
  auto list = OpenList(true);
  test::OnNextModal<TNewTaskWizard>([](TNewTaskWizard* w) {
    EXPECT_FALSE(w->btnAdvanced->isHidden());
    w->edtApplicationName->setText("/bin/true");
    w->btnNext->click();
    w->edtTaskName->setText("old");
    w->ComboBox1->setCurrentIndex(1);
    w->btnNext->click();
    w->dtStartTimeDaily->setTime(QTime(6, 0));
    w->btnNext->click();
    w->btnNext->click();
    // Advanced: the schedule and settings pages of the work item.
    OnNextOtherModal<TPropsDlg>(nullptr, [](TPropsDlg* pages) {
      EXPECT_EQ(pages->windowTitle(), "old Properties");
      EXPECT_EQ(pages->PageControl1->count(), 2);
      pages->rbEvery->setChecked(true);
      pages->seDailyInterval->setValue(4);
      pages->btnOK->click();
    });
    w->btnAdvanced->click();
    EXPECT_TRUE(w->lblTaskNextTime->text().startsWith("At 06:00:00 every 4 days"))
        << w->lblTaskNextTime->text().toStdString();
    w->btnNext->click();
  });
  ASSERT_TRUE(list->ScheduleApplication(""));
  EXPECT_TRUE(Row(list.get(), "old")->text(1).startsWith("At 06:00:00 every 4 days"));

  Properties(list.get(), "old", [](TPropsDlg* d) {
    EXPECT_TRUE(d->PanelXPTask->isVisibleTo(d));
    EXPECT_FALSE(d->PanelVistaTasks->isVisibleTo(d));
    EXPECT_EQ(d->edtApplication->text(), "/bin/true");
    EXPECT_TRUE(d->edtApplication->isReadOnly());
    EXPECT_FALSE(d->btnEdit->isHidden());
    EXPECT_EQ(d->clbFlagsXP->item(tfRunOnlyIfLoggedOn)->checkState(), Qt::Checked);
    EXPECT_FALSE(d->seIdleMinutes->isEnabled());
    d->clbFlagsXP->item(tfStartOnlyIfIdle)->setCheckState(Qt::Checked);
    EXPECT_TRUE(d->seIdleMinutes->isEnabled());
    d->seIdleMinutes->setValue(25);
    d->edtParameters->setText("-x");
    d->memComments->setPlainText("first generation");
    d->cbPriority->setCurrentIndex(2);
    OnNextOtherModal<TPropsDlg>(d, [](TPropsDlg* pages) {
      // The pages show the settings as the dialog has them now.
      EXPECT_EQ(pages->seIdleMinutes->value(), 25);
      pages->seDailyInterval->setValue(5);
      pages->btnOK->click();
    });
    d->btnEdit->click();
    EXPECT_TRUE(d->cbSchedule->currentText().startsWith("At 06:00:00 every 5 days"));
    d->btnOK->click();
  });
  Properties(list.get(), "old", [](TPropsDlg* d) {
    EXPECT_EQ(d->edtParameters->text(), "-x");
    EXPECT_EQ(d->memComments->toPlainText(), "first generation");
    EXPECT_EQ(d->cbPriority->currentIndex(), 2);
    EXPECT_EQ(d->clbFlagsXP->item(tfStartOnlyIfIdle)->checkState(), Qt::Checked);
    EXPECT_EQ(d->seIdleMinutes->value(), 25);
    EXPECT_TRUE(d->cbSchedule->currentText().startsWith("At 06:00:00 every 5 days"));
  });
}

TEST(TaskDurations, ListEntriesBecomeIsoDurationsAndBack) {
  const std::pair<const char*, const char*> cases[] = {
      {"15 minutes", "PT15M"}, {"2 hours", "PT2H"}, {"90 days", "P90D"},
      {"1 day", "P1D"},        {"0", "0"},          {"", ""},
      {"Immediately", "PT0S"}};
  for (const auto& [text, iso] : cases) EXPECT_EQ(DurationFromListText(text), iso) << text;
  const std::vector<std::string> stop = {"1 hour",   "2 hours", "4 hours", "8 hours",
                                         "12 hours", "1 day",   "3 days"};
  EXPECT_EQ(GetTimeIndex("P3D", stop), 6);
  EXPECT_EQ(GetTimeIndex("PT1H0M", stop), 0);
  EXPECT_EQ(GetTimeIndex("PT72H", stop), 6);
  EXPECT_EQ(GetTimeIndex("PT5H", stop), -1);
  EXPECT_EQ(GetTimeIndex("", stop), -1);
}

TEST_F(TaskPropsTest, TheAccountDialogNeverAsksForAPassword) {
  std::string user = "tester";
  test::OnNextModal<TfrmTaskAccount>([](TfrmTaskAccount* a) {
    EXPECT_FALSE(a->ckbUseSystem->isChecked());
    EXPECT_TRUE(a->edUserName->isEnabled());
    a->ckbUseSystem->setChecked(true);
    EXPECT_FALSE(a->edUserName->isEnabled());
    a->btnOK->click();
  });
  ASSERT_TRUE(AskTaskAccount(&user));
  EXPECT_EQ(user, "");
  user = "System";
  test::OnNextModal<TfrmTaskAccount>([](TfrmTaskAccount* a) {
    EXPECT_TRUE(a->ckbUseSystem->isChecked());
    a->btnCancel->click();
  });
  EXPECT_FALSE(AskTaskAccount(&user));
  EXPECT_EQ(user, "System");
}

}  // namespace
}  // namespace lorvant
