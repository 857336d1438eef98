// Writes a PNG of each window and dialog into a folder, for the README and
// for looking at them as a user would. Run it under Xvfb (make screenshots).
// Everything it touches lives in a temporary home of its own.
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>

#include "base/RunMode.h"
#include "diagnostics/DebugHelper.h"
#include "diagnostics/UpdateCheck.h"
#include "log/Log.h"
#include "net/CurlHttpClient.h"
#include "os/Env.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/SchedTime.h"
#include "scheduler/TaskItem.h"
#include "scheduler/TaskStore.h"
#include "tasks/FileSplitSession.h"
#include "tasks/TaskMRUList.h"
#include "ui/AboutBox.h"
#include "ui/BatchFileCreateDlg.h"
#include "ui/CaptureScreen.h"
#include "ui/ExceptionReportDlg.h"
#include "ui/FileNameEdit.h"
#include "ui/FileSplitForm.h"
#include "ui/GuiApplication.h"
#include "ui/HyperLink.h"
#include "ui/LogViewerForm.h"
#include "ui/MainForm.h"
#include "ui/NewTaskWizard.h"
#include "ui/NotifyUpdateDlg.h"
#include "ui/SessionSaveDlg.h"
#include "ui/TaskAccountDlg.h"
#include "ui/TaskListForm.h"
#include "ui/TaskPropsDlg.h"
#include "ui/VersionLabel.h"
#include "ui/WebBrowserForm.h"

namespace fs = std::filesystem;
using namespace lorvant;

namespace {

std::string out_dir;

void Shoot(QWidget* w, const std::string& name) {
  w->show();
  w->raise();
  w->activateWindow();
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
  const std::string path = out_dir + "/" + name + ".png";
  if (!w->grab().save(QString::fromStdString(path))) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::printf("%s\n", path.c_str());
}

std::string MakeSource(const std::string& path, int lines) {
  std::ofstream out(path, std::ios::binary);
  out << "id,date,customer,order,amount\n";
  for (int i = 1; i <= lines; ++i) {
    out << i << ",2026-12-" << (i % 28 + 1) << ",customer " << i % 977 << ",\"order "
        << i * 7 % 100003 << "\"," << (i % 500) * 1.25 << "\n";
  }
  return path;
}

// The system as it is, but with a cron daemon that runs and a clock that
// reads a fixed morning, so the pictures show the same times every day.
class ShotSchedSystem : public SchedSystem {
 public:
  explicit ShotSchedSystem(SchedSystem* real) : real_(real) {}
  bool IsCronRunning() override { return true; }
  bool StartCron() override { return true; }
  std::unique_ptr<CrontabAccess> Crontab(const std::string& user) override {
    return real_->Crontab(user);
  }
  ProcessResult RunProcess(const ProcessSpec& spec) override { return real_->RunProcess(spec); }
  bool StartDetached(const std::vector<std::string>&, const UserAccount&, std::string*) override {
    return true;
  }
  bool ProcessAlive(int64_t pid) override { return real_->ProcessAlive(pid); }
  void StopGroup(int64_t, int64_t, bool) override {}
  int64_t CurrentPid() override { return real_->CurrentPid(); }
  bool TryLock(const std::string& name, UniqueFd* lock) override {
    return real_->TryLock(name, lock);
  }
  std::string FindProgram(const std::string& name) override { return real_->FindProgram(name); }
  std::string RunnerPath() override { return "/usr/bin/lorvant-runner"; }
  bool WaitLock(const std::string& name, int64_t ms, UniqueFd* lock) override {
    return real_->WaitLock(name, ms, lock);
  }
  void SleepSeconds(int64_t) override {}
  bool NetworkAvailable() override { return true; }
  bool LookupUser(const std::string& name, UserAccount* account) override {
    return real_->LookupUser(name, account);
  }
  int ChangeOwner(const std::string&, const UserAccount&) override { return 0; }
  std::string CurrentUserName() override { return "alex"; }
  bool IsRoot() override { return false; }
  std::string HostName() override { return "workstation"; }

  int64_t now = 0;

 private:
  SchedSystem* real_;
};

// The system's wall clock reads the fixed morning too.
class ShotClock : public EnvWrapper {
 public:
  explicit ShotClock(const ShotSchedSystem* sched) : EnvWrapper(Env::Default()), sched_(sched) {}
  int64_t WallClockNs() override { return sched_->now * 1000000000; }

 private:
  const ShotSchedSystem* sched_;
};

// Makes a task through the wizard as a user would, taking a picture of
// each page when prefix is not empty.
void WizardTask(TTaskListForm* list, const std::string& program, const std::string& name, int entry,
                const std::function<void(TNewTaskWizard*)>& details, const std::string& prefix) {
  TNewTaskWizard w(&list->Scheduler);
  w.edtApplicationName->setText(QString::fromStdString(program));
  w.UpdateButtons();
  if (!prefix.empty()) Shoot(&w, prefix + "1-custom-data");
  w.btnNext->click();
  w.edtTaskName->setText(QString::fromStdString(name));
  w.ComboBox1->setCurrentIndex(entry);
  if (!prefix.empty()) Shoot(&w, prefix + "2-task-name");
  w.btnNext->click();
  if (w.PageControl1->currentWidget() == w.tsTriggerDetails) {
    if (details) details(&w);
    if (!prefix.empty()) Shoot(&w, prefix + "3-trigger-details");
    w.btnNext->click();
  }
  if (!prefix.empty()) Shoot(&w, prefix + "4-account-info");
  w.btnNext->click();
  if (!prefix.empty()) Shoot(&w, prefix + "5-finish");
  w.Item()->Deactivate(true);
  w.hide();
}

void ShootScheduler(const std::string& data, bool first) {
  const std::string gen = first ? "-gen1" : "";
  TTaskListForm list(nullptr, "", first);
  // The pictures hold the scheduler's items: the list reloads only when told.
  TTaskListForm::ReloadHold hold(&list);
  const std::string script = data + "/orders-2026.sh";
  WizardTask(
      &list, script, "Orders split", 1,
      [](TNewTaskWizard* w) { w->dtStartTimeDaily->setTime(QTime(2, 30)); },
      "task-wizard" + gen + "-");
  WizardTask(
      &list, script, "Weekly report", 2,
      [](TNewTaskWizard* w) {
        w->dtStartTimeWeekly->setTime(QTime(7, 0));
        w->cbWeekDays[0]->setChecked(true);
        w->cbWeekDays[3]->setChecked(true);
      },
      "");
  WizardTask(&list, data + "/clean-up.sh", "Clean up at start", 4, nullptr, "");
  TaskStore store(TaskStore::DefaultFolder());
  RunState state = store.LoadState("Orders split");
  state.LastRunTime = NowSeconds() - 3600 * 6;
  state.LastResult = 0;
  store.SaveState("Orders split", state);
  list.TaskSchedulerRefresh();
  list.ListView->topLevelItem(1)->setSelected(true);
  Shoot(&list, "task-list" + gen);

  TTaskItem* item = list.Scheduler.ActivateTask("Orders split");
  item->Activate();
  {
    TPropsDlg props(
        item, first ? TPropsDlg::Layout::kFirstGeneration : TPropsDlg::Layout::kSecondGeneration);
    props.Load();
    const char* const tabs[] = {"task", "schedule", "settings", "custom"};
    for (int i = 0; i < props.PageControl1->count(); ++i) {
      props.PageControl1->setCurrentIndex(i);
      Shoot(&props, std::string("task-properties") + gen + "-" + tabs[i]);
    }
    props.hide();
  }
  if (first) {
    TPropsDlg pages(item, TPropsDlg::Layout::kSchedulePages);
    pages.Load();
    Shoot(&pages, "task-properties-gen1-edit-pages");
    pages.hide();
  }
  item->Deactivate(false);
  for (const char* name : {"Orders split", "Weekly report", "Clean up at start"}) {
    list.Scheduler.DeleteTask(name);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  out_dir = fs::absolute(argv[1]).string();
  fs::create_directories(out_dir);
  char home_template[] = "/tmp/lorvant-shots-XXXXXX";
  const std::string home = mkdtemp(home_template);
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  unsetenv("XDG_DOCUMENTS_DIR");
  // The scheduler's windows write a crontab: never the user's own.
  setenv("LORVANT_CRONTAB", (home + "/crontab").c_str(), 1);
  ShotSchedSystem sched(SchedSystem::Default());
  ScopedSchedSystem sched_scope(&sched);
  SetWindowedRun(true);

  TGuiApplication app(argc, argv);
  const std::string data = home + "/data";
  fs::create_directories(data);
  const std::string source = MakeSource(data + "/orders-2026.csv", 3000000);
  // Saved and recent tasks, as after a few days of use.
  for (const char* name : {"orders-2026", "web-access", "sensor-readings"}) {
    TFileSplitSession s;
    s.SourceFile = data + "/" + name + ".csv";
    s.DestFolder = data + "/" + name + "_split";
    s.MaxLines = 10000;
    s.HeaderLines = 1;  // the column names start every piece
    s.SaveToFile(data + "/" + name + ".sft");
  }
  TTaskMRUList recent(RecentTaskListFile());
  for (const char* line : {"2026-12-09 17:42:10|", "2026-12-10 08:15:33|"}) {
    TTaskDesc desc;
    desc.FromText(std::string(line) + data + "/orders-2026.sft|orders-2026.csv");
    recent.Add(desc);
  }

  std::string screenshot;
  {
    TMainForm main_form(nullptr);
    Shoot(&main_form, "main-window");
    screenshot = CaptureWindow(&main_form, ScreenshotPath());

    TFileSplitForm* split = main_form.SplitForm();
    split->LoadFromFile(data + "/orders-2026.sft");
    QObject::connect(split, &TFileSplitForm::linesCounted, &app, &QApplication::quit);
    app.exec();
    Shoot(split, "split-window");

    // During a run: shot when the bar passes a third.
    bool shot = false;
    QObject::connect(split->pbSave, &QProgressBar::valueChanged, [&](int value) {
      if (!shot && value * 3 > split->pbSave->maximum()) {
        shot = true;
        // After the update that moved the bar has set the texts too.
        QTimer::singleShot(0, [split] {
          Shoot(split, "split-window-running");
          split->btnStopClick();
        });
      }
    });
    QObject::connect(split, &TFileSplitForm::runFinished, &app, &QApplication::quit);
    split->btnSplitClick();
    app.exec();
    split->pgcOutput->setCurrentIndex(1);
    Shoot(split, "split-window-log");
    split->pgcOutput->setCurrentIndex(0);
    split->hide();

    TLog::Global()->Debug("Screenshots taken of every window");
    main_form.LogViewer()->SetText(TDebugHelper::GetLog());
    Shoot(main_form.LogViewer(), "log-viewer");
    main_form.LogViewer()->hide();
  }

  TSessionSaveDlg save;
  TFileSplitSession session;
  session.SourceFile = source;
  session.DestFolder = data + "/orders-2026_split";
  session.MaxLines = 10000;
  session.HeaderLines = 1;
  save.SetDescription("Save Session (" + session.GetDescription() + ")");
  save.SetFileName(home + "/Documents/Lorvant/orders-2026.sft");
  Shoot(&save, "save-session-dialog");

  TSimpleBatchFileCreateDlg batch;
  batch.SetTaskFileLabel("Task File");
  const std::string task = home + "/Documents/Lorvant/orders-2026.sft";
  batch.SetNames(task, DeriveLogFileName(task), DeriveBatchFileName(task));
  Shoot(&batch, "batch-file-dialog");

  TAboutBox about;
  about.ProductName->setText(QString::fromStdString(AboutProductText("Lorvant")));
  about.VersionLabel1->SetFileName("self");
  about.HyperLink1->hide();
  about.ProgramIcon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
  Shoot(&about, "about-box");

  TCurlHttpClient http;  // never asked: nothing is sent
  TExceptionReportDlg report(http);
  report.Setup("Cannot open file \"" + data + "/orders-2026.csv\". Permission denied", screenshot);
  Shoot(&report, "error-report");

  for (const auto& [caption, latest, name] :
       {std::tuple{"Upgrade Notify", "1.1", "update-available"},
        std::tuple{"Check Update", "1.0", "update-latest"}}) {
    TUpdateNotice notice;
    notice.Caption = caption;
    notice.CurrentVersion = "1.0";
    notice.LatestVersion = latest;
    FillUpdateNotice(&notice, true);
    TNotifyUpdateDlg dialog;
    dialog.Fill(notice);
    Shoot(&dialog, name);
  }

  {
    DateTime morning;
    morning.year = 2026;
    morning.month = 12;
    morning.day = 11;
    morning.hour = 9;
    morning.minute = 41;
    sched.now = LocalToEpoch(morning);
    ShotClock clock(&sched);
    ScopedEnv clock_scope(&clock);
    ShootScheduler(data, false);
    ShootScheduler(data, true);
    TfrmTaskAccount account;
    account.edUserName->setText("alex");
    account.UpdateStates();
    Shoot(&account, "task-account");
  }

  TWebBrowserForm page;
  page.SetPage(
      "<h2>Known problem</h2><p>The file is open in another program. Close it and "
      "split again.</p><p><a href=\"http://www.pelmora.example/kb/17\">More about "
      "it</a></p>");
  Shoot(&page, "web-browser");

  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
