#include "ui/MainForm.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "base/RunMode.h"
#include "fs/AppFolders.h"
#include "fs/FileUtil.h"
#include "log/Log.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"
#include "tasks/TaskMRUList.h"
#include "ui/FileNameEdit.h"
#include "ui/FileSplitForm.h"
#include "ui/LinkButton.h"
#include "ui/LogViewerForm.h"
#include "ui/UiTestSupport.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove(RecentTaskListFile());
    dir_ = test::MakeTempDir("main");
    // The saved-task list starts empty for every test.
    fs::remove_all(test::TestRoot() + "/config");
  }
  void TearDown() override { SetWindowedRun(false); }

  std::vector<std::string> Shown(const std::array<TLinkButton*, TMainForm::kLinks>& links) {
    std::vector<std::string> out;
    for (TLinkButton* link : links) {
      if (!link->isHidden()) out.push_back(link->text().toStdString());
    }
    return out;
  }
  std::string MakeTask(const std::string& folder, const std::string& name) {
    fs::create_directories(folder);
    const std::string source = folder + "/" + name + ".txt";
    test::WriteBytes(source, "a\nb\nc\n");
    TFileSplitSession session;
    session.SourceFile = source;
    session.DestFolder = folder + "/" + name + "_out";
    session.MaxLines = 2;
    const std::string task = folder + "/" + name + ".sft";
    session.SaveToFile(task);  // also makes it the most recent saved task
    return task;
  }

  test::FakeDesktop desktop_;
  test::ErrorRecorder errors_;
  std::string dir_;
};

TEST_F(MainFormTest, FirstStartShowsHeadingsNewTaskAndMoreOnly) {
  TMainForm form(nullptr);
  EXPECT_EQ(form.windowTitle().toStdString(), "Lorvant");
  EXPECT_TRUE(Shown(form.lblRecentTask).empty());
  EXPECT_TRUE(Shown(form.lblSavedTask).empty());
  EXPECT_FALSE(form.alblWizard->isHidden());
  EXPECT_FALSE(form.lblSavedTaskMore->isHidden());
  EXPECT_TRUE(errors_.reported.empty());

  // Menus in order; the windows still to come are there but disabled.
  std::vector<std::string> menus;
  for (QAction* a : form.menuBar()->actions()) menus.push_back(a->text().toStdString());
  EXPECT_EQ(menus, (std::vector<std::string>{"&File", "&Tools", "&Help"}));
  std::vector<std::string> help;
  for (QAction* a : form.menuBar()->actions()[2]->menu()->actions()) {
    help.push_back(a->isSeparator() ? "-" : a->text().remove('&').toStdString());
  }
  EXPECT_EQ(help, (std::vector<std::string>{"Content", "-", "Show Log", "Open Exception File", "-",
                                            "Homepage", "Support Email", "-", "Check Update",
                                            "About Lorvant"}));
  EXPECT_TRUE(form.ScheduledTasks1->isEnabled());
  EXPECT_TRUE(form.mniCheckUpdate1->isEnabled());
  form.Content1->trigger();
  form.SupportEmail1->trigger();
  ASSERT_EQ(desktop_.opened.size(), 2u);
  EXPECT_EQ(desktop_.opened[0], "http://127.0.0.1:1/lorvant/?from=help-menu");
  EXPECT_TRUE(desktop_.opened[1].starts_with("mailto:"));
}

TEST_F(MainFormTest, ARunFromTheSplitWindowBecomesTheFirstRecentTask) {
  SetWindowedRun(true);
  TMainForm form(nullptr);
  const std::string task = MakeTask(dir_, "orders");
  TFileSplitForm* split = form.SplitForm();
  test::OnNextModal<TFileSplitForm>([&](TFileSplitForm* f) {
    QSignalSpy finished(f, &TFileSplitForm::runFinished);
    f->btnSplit->click();
    test::WaitForSignals(finished);
    f->close();
  });
  form.OpenSavedTaskFile(task);
  EXPECT_TRUE(test::PathExists(dir_ + "/orders_out/2.txt"));
  const std::vector<std::string> recent = Shown(form.lblRecentTask);
  ASSERT_EQ(recent.size(), 1u);
  EXPECT_TRUE(recent[0].ends_with("  orders.txt")) << recent[0];
  EXPECT_EQ(recent[0].size(), std::string("yyyy-mm-dd hh:nn:ss  orders.txt").size());
  EXPECT_EQ(Shown(form.lblSavedTask), std::vector<std::string>{"orders.sft"});
  EXPECT_EQ(split->Session().FileName, task);
  EXPECT_TRUE(errors_.reported.empty());
}

TEST_F(MainFormTest, SevenSavedTasksShowTheFiveMostRecentEachOpeningItsOwnFile) {
  std::vector<std::string> tasks;
  for (int i = 1; i <= 6; ++i) tasks.push_back(MakeTask(dir_, "t" + std::to_string(i)));
  // The same file name in another folder: its link opens its own file.
  tasks.push_back(MakeTask(dir_ + "/other", "t6"));
  TMainForm form(nullptr);
  EXPECT_EQ(Shown(form.lblSavedTask),
            (std::vector<std::string>{"t6.sft", "t6.sft", "t5.sft", "t4.sft", "t3.sft"}));
  EXPECT_EQ(form.SavedTaskPath(0), tasks[6]);
  EXPECT_EQ(form.SavedTaskPath(1), tasks[5]);

  // Opening the older t6 loads that file and moves it to the front.
  test::OnNextModal<TFileSplitForm>([](TFileSplitForm* f) { f->close(); });
  form.OpenSavedTask(1);
  EXPECT_EQ(form.SplitForm()->edtToSplitFile->Text(), dir_ + "/t6.txt");
  EXPECT_EQ(form.SavedTaskPath(0), tasks[5]);
  EXPECT_EQ(form.SavedTaskPath(1), tasks[6]);

  // "More ..." opens any task file; a cancelled picker does nothing.
  form.actOpenSessionExecute();
  desktop_.files = {tasks[0]};
  test::OnNextModal<TFileSplitForm>([](TFileSplitForm* f) { f->close(); });
  form.actOpenSessionExecute();
  EXPECT_EQ(form.SavedTaskPath(0), tasks[0]);
}

TEST_F(MainFormTest, AMalformedRecentTaskLineIsReportedWithoutACrash) {
  MakeTask(dir_, "saved");
  test::WriteBytes(RecentTaskListFile(), "2026-12-01 10:00:00|" + dir_ +
                                             "/a.sft|a.txt\r\nbroken line\r\n"
                                             "2026-12-01 09:00:00|" +
                                             dir_ + "/c.sft|c.txt\r\n");
  TMainForm form(nullptr);
  ASSERT_EQ(errors_.reported.size(), 1u);
  EXPECT_EQ(Shown(form.lblRecentTask), std::vector<std::string>{"2026-12-01 10:00:00  a.txt"});
  // The saved-task refresh that would follow is skipped.
  EXPECT_TRUE(Shown(form.lblSavedTask).empty());
}

TEST_F(MainFormTest, ATaskWhoseSourceIsGoneIsToldInAMessageAndTheWindowNotShown) {
  const std::string task = MakeTask(dir_, "gone");
  test::WriteBytes(RecentTaskListFile(), "2026-12-01 10:00:00|" + task + "|gone.txt\r\n");
  fs::remove(dir_ + "/gone.txt");
  TMainForm form(nullptr);
  const std::string error = "Cannot open file \"" + dir_ + "/gone.txt\". No such file or directory";
  form.OpenRecentTask(0);  // would block in the window's loop if it were shown
  form.OpenSavedTask(0);
  // The text file moved away is the user's to mend, not a fault to report.
  EXPECT_EQ(desktop_.messages, (std::vector<std::string>{error, error}));
  EXPECT_TRUE(errors_.reported.empty());
  EXPECT_FALSE(form.SplitForm()->isVisible());
}

// Ctrl+N, Ctrl+O, F1 and Ctrl+Q do what their menu items and links do.
TEST_F(MainFormTest, TheUsualShortcutsReachTheirActions) {
  TMainForm form(nullptr);
  form.show();
  auto press = [&form](QKeySequence keys) {
    QApplication::setActiveWindow(&form);  // the window shown before may have kept it
    QTest::keySequence(&form, keys);
  };
  bool split_shown = false;
  test::OnNextModal<TFileSplitForm>([&split_shown](TFileSplitForm* split) {
    split_shown = true;
    split->close();
  });
  press(QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_TRUE(split_shown);
  press(QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(desktop_.filters, std::vector<std::string>{"Split File Task (*.sft)|*.sft"});
  press(QKeySequence(Qt::Key_F1));
  ASSERT_EQ(desktop_.opened.size(), 1u);
  EXPECT_TRUE(desktop_.opened[0].ends_with("?from=help-menu")) << desktop_.opened[0];
  // Closing the only window must not end the tests' application.
  const bool quit_on_close = QApplication::quitOnLastWindowClosed();
  QApplication::setQuitOnLastWindowClosed(false);
  press(QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_FALSE(form.isVisible());
  QApplication::setQuitOnLastWindowClosed(quit_on_close);
  // The File menu still shows its two items only.
  EXPECT_EQ(form.mniSplit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_EQ(form.Exit1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(form.Content1->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(form.menuBar()->actions().front()->menu()->actions().size(), 2);
}

// "More ..." starts where saved tasks go, else in the documents folder.
TEST_F(MainFormTest, MoreStartsInTheFolderOfSavedTasks) {
  const std::string documents = GetDocumentsPath();
  ASSERT_FALSE(documents.empty());
  fs::remove_all(documents + "/Lorvant");
  TMainForm form(nullptr);
  form.lblSavedTaskMore->click();
  fs::create_directories(documents + "/Lorvant");
  form.lblSavedTaskMore->click();
  EXPECT_EQ(desktop_.starts, (std::vector<std::string>{documents, documents + "/Lorvant"}));
}

// A "&" in a task's file name is shown as it is, not taken as an accelerator.
TEST_F(MainFormTest, AnAmpersandInATaskNameIsShown) {
  MakeTask(dir_, "this & that");
  TMainForm form(nullptr);
  EXPECT_EQ(Shown(form.lblSavedTask), std::vector<std::string>{"this && that.sft"});
  EXPECT_EQ(form.lblSavedTask[0]->accessibleName().toStdString(), "this & that.sft");
}

TEST_F(MainFormTest, TheLogViewerShowsTheLogAsItWasAtEachOpening) {
  TMainForm form(nullptr);
  std::vector<std::string> seen;
  auto look = [&seen](TLogViewerForm* viewer) {
    seen.push_back(viewer->memLog->toPlainText().toStdString());
    viewer->close();
  };
  test::OnNextModal<TLogViewerForm>(look);
  form.ShowLog1Click();
  TLog::Global()->Debug("a line logged between the two openings");
  test::OnNextModal<TLogViewerForm>(look);
  form.ShowLog1Click();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].find("a line logged between"), std::string::npos);
  EXPECT_NE(seen[1].find("a line logged between"), std::string::npos);
}

}  // namespace
}  // namespace lorvant
