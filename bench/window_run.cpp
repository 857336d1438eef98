// Times a split started from the split window, as a user starts it: the
// task is loaded (its line count made by the window's worker, as when the
// file is picked), then Split is clicked and the clock runs until the run
// has ended and the window has written its closing line. Then times how
// long Stop takes to end a run in progress. Offscreen, no display needed.
// Usage: window_run TASK.sft RUNS
// Prints: "run <median s> <min s> <max s>" and "stop <median ms> <max ms>".
#include <stdlib.h>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TASK.sft RUNS\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  OkDesktop desktop;
  SetDesktop(&desktop);
  const int runs = std::max(1, atoi(argv[2]));
  TFileSplitForm form(nullptr);
  QMetaObject::Connection counted =
      QObject::connect(&form, &TFileSplitForm::linesCounted, &app, &QApplication::quit);
  form.LoadFromFile(argv[1]);
  app.exec();
  QObject::disconnect(counted);
  QObject::connect(&form, &TFileSplitForm::runFinished, &app, &QApplication::quit);

  std::vector<double> run_s;
  for (int i = 0; i < runs + 1; ++i) {  // the first run warms up
    QElapsedTimer clock;
    clock.start();
    form.btnSplit->click();
    app.exec();
    if (i > 0) run_s.push_back(clock.nsecsElapsed() / 1e9);
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
  std::printf("run %.3f %.3f %.3f\n", Median(run_s), *std::min_element(run_s.begin(), run_s.end()),
              *std::max_element(run_s.begin(), run_s.end()));
  if (stop_ms.empty()) {
    std::printf("stop none (the runs ended before a third)\n");
  } else {
    std::printf("stop %.1f %.1f\n", Median(stop_ms),
                *std::max_element(stop_ms.begin(), stop_ms.end()));
  }
  return 0;
}
