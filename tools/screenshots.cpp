// Writes a PNG of each window and dialog into a folder, for the README and
// for looking at them as a user would. Run it under Xvfb (make screenshots).
// Everything it touches lives in a temporary home of its own.
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "base/RunMode.h"
#include "diagnostics/DebugHelper.h"
#include "diagnostics/UpdateCheck.h"
#include "log/Log.h"
#include "net/CurlHttpClient.h"
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
#include "ui/NotifyUpdateDlg.h"
#include "ui/SessionSaveDlg.h"
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
  about.ProductName->setText("Lorvant (x86)");
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
