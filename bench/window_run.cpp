// Times a split started from the split window, as a user starts it: the
// task is loaded (its line count made by the window's worker, as when the
// file is picked), then Split is clicked and the clock runs until the run
// has ended and the window has written its closing line. Each window run
// is paired with the same task run by the command-line program just before
// it, so both meet the same machine. Then times how long Stop takes to end
// a run in progress. Offscreen, no display needed.
// Usage: window_run LORVANT TASK.sft RUNS
// Prints: "cli <median s> <min> <max>", "window <median s> <min> <max>",
// "pairs <ratio of medians> <lowest pair ratio> <highest>" and
// "stop <median ms> <max ms>".
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/Desktop.h"
#include "ui/FileSplitForm.h"

using namespace lorvant;

namespace {

// The user of these runs answers OK to "delete files in it?" at once.
class OkDesktop : public TDesktop {
 public:
  void ShowMessage(QWidget*, const std::string& text) override { Say(text); }
  void ShowError(QWidget*, const std::string& text) override { Say(text); }
  bool AskOkCancel(QWidget*, const std::string&) override { return true; }
  bool AskYesNo(QWidget*, const std::string&, bool) override { return true; }
  std::string OpenFileName(QWidget*, const std::string&, const std::string&,
                           const std::string&) override {
    return "";
  }
  std::string SaveFileName(QWidget*, const std::string&, const std::string&,
                           const std::string&) override {
    return "";
  }
  std::string FolderName(QWidget*, const std::string&) override { return ""; }
  int Open(const std::string&) override { return 42; }

 private:
  static void Say(const std::string& text) { std::fprintf(stderr, "window: %s\n", text.c_str()); }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs the command-line program on the task; its wall time in seconds.
double TimeCommandLine(const std::string& exe, const std::string& task) {
  std::string arg = "task=" + task;
  char* args[] = {const_cast<char*>(exe.c_str()), arg.data(), nullptr};
  QElapsedTimer clock;
  clock.start();
  pid_t pid;
  if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, args, environ) != 0) {
    std::perror("posix_spawn");
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return clock.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s LORVANT TASK.sft RUNS\n", argv[0]);
    return 2;
  }
  const std::string exe = argv[1], task = argv[2];
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  OkDesktop desktop;
  SetDesktop(&desktop);
  const int runs = std::max(1, atoi(argv[3]));
  TFileSplitForm form(nullptr);
  QMetaObject::Connection counted =
      QObject::connect(&form, &TFileSplitForm::linesCounted, &app, &QApplication::quit);
  form.LoadFromFile(task);
  app.exec();
  QObject::disconnect(counted);
  QObject::connect(&form, &TFileSplitForm::runFinished, &app, &QApplication::quit);

  std::vector<double> cli_s, run_s, ratios;
  for (int i = 0; i < runs + 1; ++i) {  // the first pair warms up
    // Every run starts with the previous pieces written back, so neither
    // pays for the other's write-back.
    sync();
    const double cli = TimeCommandLine(exe, task);
    sync();
    QElapsedTimer clock;
    clock.start();
    form.btnSplit->click();
    app.exec();
    const double window = clock.nsecsElapsed() / 1e9;
    if (i == 0) continue;
    cli_s.push_back(cli);
    run_s.push_back(window);
    ratios.push_back(window / cli);
  }

  // Stop clicked once a third of the lines are done.
  std::vector<double> stop_ms;
  QElapsedTimer stop_clock;
  bool stopped = false;
  QObject::connect(form.pbSave, &QProgressBar::valueChanged, [&](int value) {
    if (!stopped && value * 3 > form.pbSave->maximum()) {
      stopped = true;
      stop_clock.start();
      form.btnStop->click();
    }
  });
  for (int i = 0; i < runs; ++i) {
    stopped = false;
    form.btnSplit->click();
    app.exec();
    if (stopped) stop_ms.push_back(stop_clock.nsecsElapsed() / 1e6);
  }
  auto print = [](const char* what, const std::vector<double>& v) {
    std::printf("%s %.3f %.3f %.3f\n", what, Median(v), *std::min_element(v.begin(), v.end()),
                *std::max_element(v.begin(), v.end()));
  };
  print("cli", cli_s);
  print("window", run_s);
  std::printf("pairs %.2f %.2f %.2f\n", Median(run_s) / Median(cli_s),
              *std::min_element(ratios.begin(), ratios.end()),
              *std::max_element(ratios.begin(), ratios.end()));
  if (stop_ms.empty()) {
    std::printf("stop none (the runs ended before a third)\n");
  } else {
    std::printf("stop %.1f %.1f\n", Median(stop_ms),
                *std::max_element(stop_ms.begin(), stop_ms.end()));
  }
  return 0;
}
